#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "exchange/MspdiFormat.h"
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

// ---- round trips

// A plan of 2,000 tasks below three levels of summaries, with every link type, every constraint,
// milestones, holidays, priorities and statuses of all kinds, notes and resources.
std::string GeneratedPlan() {
  using namespace std::chrono;
  const auto date = [](int ADay, const char* ATime) {
    const year_month_day day{sys_days{2025y / January / 6} + days{ADay / 5 * 7 + ADay % 5}};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%s", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()), ATime);
    return std::string(text);
  };
  const char* const constraints[] = {"AsLateAsPossible", "AsSoonAsPossible", "FinishNoEarlierThan", "FinishNoLaterThan",
                                     "MustFinishOn", "MustStartOn", "StartNoEarlierThan", "StartNoLaterThan"};
  const char* const linkTypes[] = {"FinishToStart", "StartToStart", "FinishToFinish", "StartToFinish"};
  // Leaves are numbered 0..1999 in tree order; their node IDs follow from the tree's shape.
  std::vector<int> leafIDs;
  int counter = 0;
  for (int a = 0; a < 10; ++a) {
    ++counter;
    for (int b = 0; b < 5; ++b) {
      ++counter;
      for (int c = 0; c < 5; ++c) {
        ++counter;
        for (int d = 0; d < 8; ++d) leafIDs.push_back(++counter);
      }
    }
  }
  // Each leaf follows the one before it, and every eighth one also a leaf 37 back, in every type;
  // links only run forward, so they form no circle.
  struct TLinks {
    std::vector<std::vector<std::pair<int, int>>> Into = std::vector<std::vector<std::pair<int, int>>>(2000);
    std::vector<std::vector<std::pair<int, int>>> OutOf = std::vector<std::vector<std::pair<int, int>>>(2000);
    void Add(int AFrom, int ATo, int AType) {
      Into[ATo].emplace_back(AFrom, AType);
      OutOf[AFrom].emplace_back(ATo, AType);
    }
  } links;
  for (int leaf = 1; leaf < 2000; ++leaf) {
    if (leaf % 8) links.Add(leaf - 1, leaf, leaf % 4);
    if (leaf % 8 == 0 && leaf >= 37) links.Add(leaf - 37, leaf, leaf / 8 % 4);
  }
  const char* const priorities[] = {"", "High", "Low", "Medium", "Unassigned", "Launch-critical"};
  std::string text = R"(<Map Version="1"><Title>Generated &amp; big</Title><Notes>the whole plan</Notes>
<Settings TaskScheduling="true"><WorkingDays>Monday Tuesday Wednesday Thursday Friday</WorkingDays>
<WorkingPeriods><Period Start="08:00" Finish="12:00"/><Period Start="13:00" Finish="17:00"/></WorkingPeriods>
<Holidays><Holiday>2025-04-18</Holiday><Holiday>2025-12-25</Holiday></Holidays>
<ScheduleStart>2025-01-06T08:00:00</ScheduleStart></Settings>
)";
  int id = 0, leaf = 0;
  for (int a = 0; a < 10; ++a) {
    text += "<Node ID=\"" + std::to_string(++id) + "\"><Title>Phase " + std::to_string(a) + "</Title>";
    for (int b = 0; b < 5; ++b) {
      text += "<Node ID=\"" + std::to_string(++id) + "\"><Title>Stage</Title>";
      // Every other stage is a summary with an action of its own, the rest carry none.
      if (b % 2) text += "<Action><StartDate>2025-01-06T08:00:00</StartDate></Action>";
      for (int c = 0; c < 5; ++c) {
        text += "<Node ID=\"" + std::to_string(++id) + "\"><Title>Work package</Title>";
        for (int d = 0; d < 8; ++d, ++leaf) {
          const int task = ++id;
          const bool milestone = leaf % 50 == 7;
          const int start = leaf % 230, length = milestone ? 0 : 1 + leaf % 4;
          const int complete = leaf % 3 == 0 ? 0 : leaf % 3 == 1 ? 40 : 100;
          const char* status = leaf % 11 == 0 ? "Waiting" : complete == 0 ? "Not Started"
                               : complete == 100                        ? "Completed"
                                                                        : "In Progress";
          text += "<Node ID=\"" + std::to_string(task) + "\"><Title>Task " + std::to_string(leaf) +
                  " &lt;&quot;x&quot;, y&gt;</Title>";
          if (leaf % 9 == 0) text += "<Notes>note of task " + std::to_string(leaf) + "\nsecond line</Notes>";
          if (leaf % 13 == 0)
            text += "<Resources><Resource Name=\"Ana " + std::to_string(leaf % 5) + "\" Email=\"ana" +
                    std::to_string(leaf % 5) + "@example.com\"/></Resources>";
          text += std::string("<Action Milestone=\"") + (milestone ? "true" : "false") + "\"><Complete>" +
                  std::to_string(complete) + "</Complete><CompletedDate>" +
                  date(start + (length ? length - 1 : 0), milestone ? "08:00:00" : "17:00:00") +
                  "</CompletedDate><Cost>" + std::to_string(leaf % 7 * 125) + ".5</Cost>" +
                  (leaf % 6 == 0 ? "<DueDate>" + date(start + 9, "17:00:00") + "</DueDate>" : "") +
                  "<Duration Measure=\"" + (leaf % 2 ? "Hours\">" + std::to_string(length * 8) : "Days\">" + std::to_string(length)) +
                  "</Duration><Priority>" + priorities[leaf % 6] + "</Priority><StartDate>" + date(start, "08:00:00") +
                  "</StartDate><Status>" + status + "</Status><Work Measure=\"Hours\">" + std::to_string(leaf % 5 * 4) +
                  "</Work><ConstraintType>qz:" + constraints[leaf % 8] + "</ConstraintType>" +
                  (leaf % 8 > 1 ? "<ConstraintDate>" + date(start, "08:00:00") + "</ConstraintDate>" : "") + "</Action>";
          std::string predecessors, successors;
          for (const auto& [from, type] : links.Into[leaf])
            predecessors += "<Link Node=\"" + std::to_string(leafIDs[from]) + "\" Type=\"qz:" + linkTypes[type] + "\"/>";
          for (const auto& [to, type] : links.OutOf[leaf])
            successors += "<Link Node=\"" + std::to_string(leafIDs[to]) + "\" Type=\"qz:" + linkTypes[type] + "\"/>";
          if (!predecessors.empty()) text += "<TaskLinks>" + predecessors + "</TaskLinks>";
          if (!successors.empty()) text += "<SuccessorTaskLinks>" + successors + "</SuccessorTaskLinks>";
          text += "</Node>";
        }
        text += "</Node>";
      }
      text += "</Node>";
    }
    text += "</Node>";
  }
  return text + "</Map>";
}

// Exported and imported again, a map is the same plan: same table, same calendar.
TEST(Mspdi, EveryExampleAndAGeneratedPlanComeBackTheSame) {
  const TTempFolder dir;
  WriteText(dir / "generated.xml", GeneratedPlan());
  for (const std::string& map : {KLaunch, dir / "generated.xml"}) {
    SCOPED_TRACE(map);
    const TRun original = Lumeta(map + " -c 'show --format json; calendar; write mspdi " + dir / "plan.xml" + "'");
    ASSERT_EQ(original.Status, 0) << original.Err;
    ASSERT_EQ(original.Err, "");
    const TRun again = Lumeta("-c 'import mspdi " + dir / "plan.xml" + "; save " + dir / "again.xml" +
                              "; show --format json; calendar'");
    ASSERT_EQ(again.Status, 0) << again.Err;
    EXPECT_EQ(again.Err, "");
    EXPECT_EQ(again.Out, original.Out);
    // The saved map reads back as the same plan.
    EXPECT_EQ(Lumeta(dir / "again.xml" + " -c 'show --format json; calendar'").Out, original.Out);
  }
}

// Durations as files write them: whole parts, fractions, long numbers; refused: signs, years,
// units out of order, a number without its unit.
TEST(Mspdi, DurationsReadEveryPartAndRefuseWhatIsNoWorkingTime) {
  EXPECT_EQ(MspdiDurationSeconds("PT8H0M0S"), 8 * 3600.0);
  EXPECT_EQ(MspdiDurationSeconds(" P1DT2H30M15S "), 86400 + 2 * 3600 + 30 * 60 + 15.0);
  EXPECT_EQ(MspdiDurationSeconds("PT1.5H"), 5400.0);
  EXPECT_EQ(MspdiDurationSeconds("PT0.25M"), 15.0);
  EXPECT_EQ(MspdiDurationSeconds("PT1234567890123456S"), 1234567890123456.0);
  for (const char* bad : {"PT-5H", "P1Y", "P2W", "PT5M3H", "PT5", "PTH", "T5H", "PT5H5H", "PT1.2.3H"})
    EXPECT_FALSE(MspdiDurationSeconds(bad)) << bad;
}

// ---- files this program did not write

// A plan TaskJuggler scheduled comes across with TaskJuggler's own dates and working hours.
TEST(Mspdi, TaskJugglerPlanKeepsItsDatesAndWorkingHours) {
  if (!HasProgram("tj3")) GTEST_SKIP() << "tj3 is not installed (scripts/setup.sh installs it)";
  const TTempFolder dir;
  WriteText(dir / "plan.tjp", R"(project plan "Launch" 2025-09-01 +3m {
  timezone "UTC"
  workinghours mon - fri 9:00 - 17:00
  workinghours sat, sun off
}
leaves holiday "Day off" 2025-09-03
resource dev "Developer"
task phase1 "Phase one" {
  task a "Design" { effort 3d allocate dev }
  task b "Build" { depends !a duration 5d }
  task c "Review" { depends !a { onstart } length 1d }
}
task phase2 "Phase two" {
  depends phase1
  task d "Test" { length 2d }
  task m "Release" { depends !d milestone }
}
export "tjplan" { formats mspxml }
)");
  ASSERT_EQ(Shell("cd " + dir.Path() + " && tj3 --silent plan.tjp").Status, 0);
  pugi::xml_document theirs;
  ASSERT_TRUE(theirs.load_file((dir / "tjplan.xml").c_str()));
  const TRun imported = Lumeta("-c 'import mspdi " + dir / "tjplan.xml" +
                               "; show --format csv --fields id,title,depth,start,done,milestone,predecessors; calendar'");
  ASSERT_EQ(imported.Status, 0) << imported.Err;
  // Every task to the minute, in TaskJuggler's tree, with its links and their types.
  std::string expected = "id,title,depth,start,done,milestone,predecessors\r\n";
  for (pugi::xml_node task : theirs.child("Project").child("Tasks").children("Task")) {
    std::string links;
    for (pugi::xml_node link : task.children("PredecessorLink"))
      links += std::string(links.empty() ? "" : ", ") + link.child_value("PredecessorUID") +
               (link.child("Type").text().as_int() == 1 ? "FS" : "SS");
    expected += std::string(task.child_value("UID")) + "," + task.child_value("Name") + "," +
                std::to_string(task.child("OutlineLevel").text().as_int() + 1) + "," + task.child_value("Start") + "," +
                task.child_value("Finish") + "," + (task.child("Milestone").text().as_int() ? "true" : "false") + "," +
                (links.find(',') != std::string::npos ? "\"" + links + "\"" : links) + "\r\n";
  }
  EXPECT_EQ(imported.Out.substr(0, expected.size()), expected);
  // TaskJuggler's 09:00-17:00 week is the map's calendar; it writes no holidays, so there are none.
  EXPECT_NE(imported.Out.find("days Monday Tuesday Wednesday Thursday Friday\nhours 09:00-17:00\nholidays\n"),
            std::string::npos)
      << imported.Out;
}

// Bad files give a located error and no map, or a named warning and the rest of the plan.
TEST(Mspdi, BadInputIsRefusedWithItsPlaceOrNamedInAWarning) {
  const TTempFolder dir;
  const std::string head = R"(<?xml version="1.0"?>
<Project xmlns="http://schemas.microsoft.com/project"><Name>p</Name><Tasks>
)";
  const auto task = [](int AUID, int ALevel, const std::string& AMore = "") {
    return "<Task><UID>" + std::to_string(AUID) + "</UID><Name>t" + std::to_string(AUID) + "</Name><OutlineLevel>" +
           std::to_string(ALevel) + "</OutlineLevel><Start>2025-09-01T08:00:00</Start><Finish>2025-09-01T17:00:00</Finish>" +
           AMore + "</Task>\n";
  };
  const std::string tail = "</Tasks></Project>\n";
  struct TCase {
    const char* Name;
    std::string File;
    std::string Message;  // the error, or the warning with the file's name before it
    bool Refused;
  };
  const TCase cases[] = {
      {"truncated", head + task(1, 1).substr(0, 40), "truncated.xml:3:40: not well-formed XML", true},
      {"foreign", "<Project xmlns=\"urn:other\"><Tasks/></Project>",
       "foreign.xml:1:1: not an MS Project XML file: the root element is <Project> in the namespace 'urn:other'", true},
      {"uid-twice", head + task(1, 1) + task(1, 1) + tail, "uid-twice.xml:4:1: the task UID 1 is used twice", true},
      {"no-task", head + task(1, 1) + task(2, 1, "<PredecessorLink><PredecessorUID>9</PredecessorUID></PredecessorLink>") + tail,
       "no-task.xml:4: task UID 2: the predecessor UID 9 names no task; link left out", false},
      {"jump", head + task(1, 1) + task(2, 3) + tail,
       "jump.xml:4: task UID 2: its outline level 3 follows level 1; it is placed one level below that", false},
      {"negative", head + task(1, 1, "<Duration>PT-5H</Duration>") + tail,
       "negative.xml:3: task UID 1: the duration 'PT-5H' is no working-time duration (PTnHnMnS); read as 0", false},
      {"years", head + task(1, 1, "<Duration>P1Y</Duration>") + tail,
       "years.xml:3: task UID 1: the duration 'P1Y' is no working-time duration (PTnHnMnS); read as 0", false},
      {"lag", head + task(1, 1) + task(2, 1, "<PredecessorLink><PredecessorUID>1</PredecessorUID><Type>3</Type>"
                                             "<LinkLag>4800</LinkLag></PredecessorLink>") + tail,
       "lag.xml:4: task UID 2: the link from UID 1 has a lag (4800 tenths of a minute)", false},
      {"custom", head + task(1, 1, "<ExtendedAttribute><FieldID>188743752</FieldID><Value>x</Value></ExtendedAttribute>"
                                   "<Baseline><Number>0</Number></Baseline><Recurring>1</Recurring>") + tail,
       "custom.xml:3: task UID 1: a recurring task is kept as one task", false},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    const std::string file = dir / (std::string(test.Name) + ".xml");
    WriteText(file, test.File);
    const TRun run = Lumeta("-c 'import mspdi " + file + "; save " + dir / "out.xml" + "'");
    EXPECT_EQ(run.Status, test.Refused ? 1 : 0) << run.Err;
    EXPECT_NE(run.Err.find((test.Refused ? "error: " + dir.Path() + "/" : "warning: " + dir.Path() + "/") + test.Message),
              std::string::npos)
        << run.Err;
    // A refused file leaves no map behind; an accepted one is saved.
    EXPECT_EQ(ReadText(dir / "out.xml").empty(), test.Refused);
    std::remove((dir / "out.xml").c_str());
  }
  const TRun custom = Lumeta("-c 'import mspdi " + dir / "custom.xml" + "'");
  EXPECT_NE(custom.Err.find("task UID 1: its baselines are not kept"), std::string::npos);
  EXPECT_NE(custom.Err.find("task UID 1: the custom field 188743752 is not kept"), std::string::npos);

  // 10 MB of notes come across whole; a map that holds nodes takes no import and stays as it was.
  const std::string notes(10 << 20, 'n');
  WriteText(dir / "notes.xml", head + task(1, 1, "<Notes>" + notes + "</Notes>") + tail);
  ASSERT_EQ(Lumeta("-c 'import mspdi " + dir / "notes.xml" + "; save " + dir / "notes-map.xml" + "'").Status, 0);
  EXPECT_NE(ReadText(dir / "notes-map.xml").find("<Notes>" + notes + "</Notes>"), std::string::npos);
  const std::string before = ReadText(dir / "notes-map.xml");
  const TRun full = Lumeta(dir / "notes-map.xml" + " -c 'import mspdi " + dir / "jump.xml" + "; save'");
  EXPECT_EQ(full.Status, 1);
  EXPECT_NE(full.Err.find("import builds a new map, and this one holds nodes"), std::string::npos) << full.Err;
  EXPECT_EQ(ReadText(dir / "notes-map.xml"), before);
}

}  // namespace
