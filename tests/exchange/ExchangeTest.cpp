#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "tests/support/TestFiles.h"

namespace {

struct TRun {
  int Status = -1;
  std::string Out;  // standard output
  std::string Err;  // standard error
};

TRun Shell(const std::string& ACommand) {
  const TTempFolder errors;
  TRun result;
  FILE* pipe = popen((ACommand + " 2>" + errors / "err").c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  while (size_t count = fread(buffer, 1, sizeof buffer, pipe)) result.Out.append(buffer, count);
  const int status = pclose(pipe);
  result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.Err = ReadText(errors / "err");
  return result;
}

TRun Lumeta(const std::string& AArguments) { return Shell(std::string(LUMETA_BINARY) + " " + AArguments); }

bool HasProgram(const std::string& AName) { return Shell("command -v " + AName).Status == 0; }

const std::string KLaunch = std::string(EXAMPLES_DIR) + "/launch.xml";

// A small map whose titles need quoting in every format.
const char* const KAwkwardMap = R"(<Map Version="1">
  <Title>Awkward</Title>
  <Settings TaskScheduling="true" />
  <Node ID="1">
    <Title>comma, "quote"
line</Title>
    <Action><StartDate>2025-09-01T08:00:00</StartDate><CompletedDate>2025-09-01T17:00:00</CompletedDate>
      <Duration Measure="Hours">8</Duration><Priority>Medium</Priority><Status>Waiting</Status></Action>
    <SuccessorTaskLinks><Link Node="2" Type="qz:StartToFinish" /></SuccessorTaskLinks>
  </Node>
  <Node ID="2">
    <Title>plain</Title>
    <Action><StartDate>2025-09-02T08:00:00</StartDate><CompletedDate>2025-09-02T17:00:00</CompletedDate>
      <Duration Measure="Days">1</Duration><Complete>50</Complete></Action>
    <TaskLinks><Link Node="1" Type="qz:StartToFinish" /></TaskLinks>
  </Node>
  <Node ID="3"><Title>no action, no tasks below</Title></Node>
</Map>
)";

TEST(Tables, CsvAndJsonQuoteWhatTheyMustAndPickFields) {
  const TTempFolder dir;
  WriteText(dir / "awkward.xml", KAwkwardMap);
  const TRun csv = Lumeta(dir / "awkward.xml" + " -c 'show --format csv --fields id,title,predecessors'");
  ASSERT_EQ(csv.Status, 0) << csv.Err;
  EXPECT_EQ(csv.Out,
            "id,title,predecessors\r\n1,\"comma, \"\"quote\"\"\nline\",\r\n2,plain,1SF\r\n"
            "3,\"no action, no tasks below\",\r\n");
  const TRun json = Lumeta(dir / "awkward.xml" + " -c 'show --format json'");
  ASSERT_EQ(json.Status, 0) << json.Err;
  EXPECT_NE(json.Out.find(R"("title": "comma, \"quote\"\u000aline")"), std::string::npos) << json.Out;
  EXPECT_NE(json.Out.find(R"("start": "2025-09-02T08:00:00", "due": null, "done": "2025-09-02T17:00:00", )"
                          R"("duration": 1, "measure": "days", "complete": 50, "status": "")"),
            std::string::npos)
      << json.Out;
  EXPECT_NE(json.Out.find(R"("predecessors": [{"id": 1, "type": "SF"}])"), std::string::npos);
  EXPECT_NE(json.Out.find(R"("title": "no action, no tasks below", "depth": 1, "start": null)"), std::string::npos);
  // The file form is the same table behind a byte order mark; a wrong field is named.
  ASSERT_EQ(Lumeta(dir / "awkward.xml" + " -c 'write csv " + dir / "t.csv" + " --fields id,title,predecessors'").Status,
            0);
  EXPECT_EQ(ReadText(dir / "t.csv"), "\xEF\xBB\xBF" + csv.Out);
  const TRun wrong = Lumeta(dir / "awkward.xml" + " -c 'show --format csv --fields id,colour'");
  EXPECT_NE(wrong.Status, 0);
  EXPECT_NE(wrong.Err.find("unknown field 'colour'"), std::string::npos) << wrong.Err;
}

// Planner's own converter reads the exported file: every task with its predecessors and their types.
TEST(Mspdi, PlannerConverterListsEveryTaskWithItsPredecessors) {
  if (!HasProgram("xsltproc") || !ReadText("/usr/share/planner/stylesheets/msp2planner.xsl").size())
    GTEST_SKIP() << "xsltproc or planner is not installed (scripts/setup.sh installs both)";
  const TTempFolder dir;
  ASSERT_EQ(Lumeta(KLaunch + " -c 'write mspdi " + dir / "plan.xml" + "'").Status, 0);
  ASSERT_EQ(Shell("xsltproc -o " + dir / "plan.planner" + " /usr/share/planner/stylesheets/msp2planner.xsl " +
                dir / "plan.xml")
                .Status,
            0);
  pugi::xml_document exported, planner;
  ASSERT_TRUE(exported.load_file((dir / "plan.xml").c_str()));
  ASSERT_TRUE(planner.load_file((dir / "plan.planner").c_str()));
  // Task ID -> its predecessors as "ID:TYPE", on both sides.
  std::map<std::string, std::vector<std::string>> ours, theirs;
  const char* const codes[] = {"FF", "FS", "SF", "SS"};
  for (pugi::xpath_node task : exported.select_nodes("//*[local-name()='Task'][*[local-name()='OutlineLevel'] > 0]")) {
    std::vector<std::string>& links = ours[task.node().child_value("ID")];
    for (pugi::xml_node link : task.node().children("PredecessorLink"))
      links.push_back(std::string(link.child_value("PredecessorUID")) + ":" + codes[link.child("Type").text().as_int()]);
  }
  for (pugi::xpath_node task : planner.select_nodes("//task")) {
    std::vector<std::string>& links = theirs[task.node().attribute("id").value()];
    for (pugi::xml_node link : task.node().child("predecessors").children("predecessor"))
      links.push_back(std::string(link.attribute("predecessor-id").value()) + ":" + link.attribute("type").value());
  }
  EXPECT_EQ(ours.size(), 24u);
  EXPECT_EQ(theirs, ours);
}

}  // namespace
