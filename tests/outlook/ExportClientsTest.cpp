// The example map exported with the lumeta program as a user runs it, edited, exported again, and
// the store then read by libical and by todoman, a client nobody here wrote.
#include <gtest/gtest.h>

#include <libical/ical.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/outlook/CalendarCheck.h"
#include "tests/support/ShellRun.h"
#include "tests/support/TestFiles.h"

namespace {

using TRun = TShellRun;

// One VTODO as the tests compare it.
struct TStoredTask {
  std::string Summary, Status, Method, Attendees;
  int Sequence = 0;
};

std::map<std::string, TStoredTask> ReadTasks(const std::string& AFolder, std::multimap<std::string, std::string>* ARequests = nullptr) {
  std::map<std::string, TStoredTask> tasks;
  for (const auto& entry : std::filesystem::directory_iterator(AFolder)) {
    icalcomponent* calendar = icalparser_parse_string(ReadText(entry.path().string()).c_str());
    if (!calendar) continue;
    icalcomponent* todo = icalcomponent_get_first_component(calendar, ICAL_VTODO_COMPONENT);
    TStoredTask task;
    const char* summary = icalcomponent_get_summary(todo);
    task.Summary = summary ? summary : "";
    task.Status = icalproperty_status_to_string(icalcomponent_get_status(todo));
    task.Sequence = icalcomponent_get_sequence(todo);
    if (icalproperty* method = icalcomponent_get_first_property(calendar, ICAL_METHOD_PROPERTY))
      task.Method = icalproperty_method_to_string(icalproperty_get_method(method));
    const std::string uid = icalcomponent_get_uid(todo);
    for (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_ATTENDEE_PROPERTY); p;
         p = icalcomponent_get_next_property(todo, ICAL_ATTENDEE_PROPERTY))
      if (ARequests) ARequests->emplace(icalproperty_get_attendee(p), uid);
    tasks[ARequests ? entry.path().filename().string() : uid] = task;
    icalcomponent_free(calendar);
  }
  return tasks;
}

class ExportClientsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(LUMETA_EXAMPLE_MAP, MapPath());
    Env = "LUMETA_SETTINGS_DIR='" + FSettings.Path() + "' LUMETA_TASKS_DIR='" + FStore.Path() + "' ";
    const TRun setup = Lumeta("", "tasks register; tasks owner \"Nina Lead\" nina@nimbus.example");
    ASSERT_EQ(setup.Status, 0) << setup.Output;
  }
  std::string MapPath() const { return FFolder / "launch.xml"; }
  std::string Tasks() const { return FStore / "tasks"; }
  TRun Lumeta(const std::string& AMap, const std::string& ACommands) {
    std::string quoted;
    for (const char c : ACommands) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return Shell(Env + "'" + LUMETA_BINARY + "' " + (AMap.empty() ? "" : "'" + AMap + "' ") + "-c '" + quoted + "'");
  }
  // The todoman command line over the store's tasks, ending in a space; empty when it is not installed.
  std::string Todoman() {
    const char* program = Shell("command -v todoman").Status == 0 ? "todoman" : Shell("command -v todo").Status == 0 ? "todo" : nullptr;
    if (!program) return {};
    WriteText(FFolder / "todoman.py", "path = \"" + Tasks() + "\"\ncache_path = \"" + (FFolder / "cache.sqlite") +
                                          "\"\ndate_format = \"%Y-%m-%d\"\ntime_format = \"%H:%M\"\ndefault_list = \"tasks\"\n");
    return std::string(program) + " --config '" + (FFolder / "todoman.py") + "' ";
  }
  static constexpr const char* KNoTodoman = "todoman is not installed (Debian package todoman; scripts/setup.sh installs it)";
  void Replace(const std::string& AOld, const std::string& ANew) {
    std::string text = ReadText(MapPath());
    const size_t at = text.find(AOld);
    ASSERT_NE(at, std::string::npos) << AOld;
    WriteText(MapPath(), text.replace(at, AOld.size(), ANew));
  }

  TTempFolder FFolder, FSettings, FStore;
  std::string Env;
};

TEST_F(ExportClientsTest, EditsAndExportsAgainKeepOneTaskPerActionThatClientsList) {
  const std::string export1 = "export --range map --include Notes,Categories,Status,Priority,Complete,StartDate,DueDate";
  const TRun run = Lumeta(MapPath(), export1 + " --all; save");
  ASSERT_EQ(run.Status, 0) << run.Output;
  const std::map<std::string, TStoredTask> first = ReadTasks(Tasks());
  ASSERT_EQ(first.size(), 4u) << "Market survey, Certification, Retail partners, Launch event";

  // Rename, complete, delete an assigned node, add a link; then give a resource another address.
  const TRun edit = Lumeta(MapPath(), "title 22 \"Launch party\"; set 10 Status Completed; set 10 Complete 100; "
                                      "delete 19; link add 2 10 FS; save");
  ASSERT_EQ(edit.Status, 0) << edit.Output;
  Replace("maria.jensen@example.com", "maria@nimbus.example");

  for (const char* all : {"", " --all"}) {
    const TRun run = Lumeta(MapPath(), export1 + all + "; save");
    ASSERT_EQ(run.Status, 0) << run.Output;
    const std::map<std::string, TStoredTask> tasks = ReadTasks(Tasks());
    ASSERT_EQ(tasks.size(), 4u) << "no second task for any action" << all;
    std::set<std::string> live;
    for (const auto& [uid, task] : tasks) {
      EXPECT_GT(task.Sequence, first.at(uid).Sequence) << task.Summary << all;
      if (task.Status != "CANCELLED") live.insert(task.Summary);
    }
    EXPECT_EQ(live, (std::set<std::string>{"Market survey", "Certification", "Launch party"})) << all;
  }
  // The deleted node's task was withdrawn from its assignee.
  std::multimap<std::string, std::string> requests;  // attendee, UID
  const std::map<std::string, TStoredTask> outbox = ReadTasks(FStore / "outbox", &requests);
  bool cancelled = false;
  for (const auto& [file, request] : outbox)
    cancelled |= request.Method == "CANCEL" && request.Summary == "Retail partners" && request.Status == "CANCELLED";
  EXPECT_TRUE(cancelled);
  // Each assignee's requests are versions of the tasks assigned to them, never a second task.
  std::map<std::string, std::set<std::string>> uidsOf;
  for (const auto& [attendee, uid] : requests) uidsOf[attendee].insert(uid);
  for (const auto& [attendee, uids] : uidsOf) EXPECT_EQ(uids.size(), 1u) << attendee;
  EXPECT_EQ(uidsOf.size(), 3u) << "Maria at both addresses, Sam";
  EXPECT_EQ(LibicalFaults([&] {
              std::vector<std::string> files;
              for (const char* folder : {"tasks", "outbox"})
                for (const auto& entry : std::filesystem::directory_iterator(FStore / folder)) files.push_back(entry.path());
              return files;
            }()),
            "");

  // todoman lists every task of the collection, each one not done with its due date.
  const std::string todoman = Todoman();
  if (todoman.empty()) GTEST_SKIP() << KNoTodoman;
  const TRun listed = Shell(todoman + "--porcelain list --status ANY");
  ASSERT_EQ(listed.Status, 0) << listed.Output;
  // One object a task, each with "due", "summary" and "completed" on lines of their own.
  std::map<std::string, std::string> dueOf;  // summary, due
  std::string due, done;
  size_t at = 0;
  while ((at = listed.Output.find('\n', at)) != std::string::npos) {
    const size_t end = listed.Output.find('\n', at + 1);
    const std::string line = listed.Output.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    at = at + 1;
    const size_t colon = line.find("\": ");
    if (colon == std::string::npos) continue;
    const std::string key = line.substr(line.find('"') + 1, colon - line.find('"') - 1);
    std::string value = line.substr(colon + 3);
    if (!value.empty() && value.back() == ',') value.pop_back();
    if (key == "completed") done = value;
    if (key == "due") due = value;
    if (key == "summary") dueOf[value] = done == "true" ? "done" : due;
  }
  EXPECT_EQ(dueOf.size(), 4u) << listed.Output;
  for (const char* summary : {"\"Launch party\"", "\"Retail partners\""})
    EXPECT_NE(dueOf[summary], "null") << summary << " has no due date in todoman:\n" << listed.Output;
  EXPECT_EQ(dueOf["\"Certification\""], "done");
  EXPECT_EQ(dueOf["\"Market survey\""], "done");
}

// Standard output's lines of a run (warnings, notes and errors left out), in order.
std::vector<std::string> ResultLines(const std::string& AOutput) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < AOutput.size()) {
    const size_t end = std::min(AOutput.find('\n', start), AOutput.size());
    const std::string line = AOutput.substr(start, end - start);
    if (!line.starts_with("warning: ") && !line.starts_with("note: ") && !line.starts_with("error: ")) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

TEST_F(ExportClientsTest, SyncBringsBackWhatTodomanTickedOffAsOneUndoStep) {
  // Without % complete: the tasks then hold 0 % however far the actions are.
  const TRun run = Lumeta(MapPath(), "export --range map --all --include Status,DueDate; save");
  ASSERT_EQ(run.Status, 0) << run.Output;
  const std::string todoman = Todoman();
  if (todoman.empty()) GTEST_SKIP() << KNoTodoman;
  const TRun done = Shell(todoman + "--porcelain list --status ANY | python3 -c 'import json, sys; print(next(t[\"id\"] "
                                    "for t in json.load(sys.stdin) if t[\"summary\"] == \"Certification\"))' | xargs " +
                          todoman + "done");
  ASSERT_EQ(done.Status, 0) << done.Output;
  // Somebody deletes the task of Market survey.
  for (const auto& entry : std::filesystem::directory_iterator(Tasks()))
    if (entry.path().string().ends_with("-2.ics")) std::filesystem::remove(entry.path());

  // Sales training (20) follows Certification (10): the schedule moves it with the completion.
  const TRun sync = Lumeta(MapPath(), "sync; get 10 Complete; get 10 Status; get 19 Complete; get 20 \"Start Date\"; "
                                      "undo; get 10 Complete; get 10 Status; get 20 \"Start Date\"; get 2 Status; "
                                      "sync; save");
  ASSERT_EQ(sync.Status, 0) << sync.Output;
  const std::vector<std::string> lines = ResultLines(sync.Output);
  ASSERT_EQ(lines.size(), 10u) << sync.Output;
  EXPECT_TRUE(lines[0].starts_with("10 Certification: 0 % -> 100 %, Completed, Completed Date 2025-10-16 17:00 -> "))
      << lines[0];
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 4),
            (std::vector<std::string>{"100", "Completed", "50"}));
  EXPECT_GT(lines[4], "2025-10-18") << "Sales training did not move after Certification's completion";
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 5, lines.end()),
            (std::vector<std::string>{"0", "Not Started", "2025-10-17T08:00:00", "Completed", lines[0]}));
  EXPECT_NE(sync.Output.find("warning: node 2 'Market survey': its task is no longer in the task store"),
            std::string::npos) << sync.Output;

  // What came back is the map's now: a second sync finds nothing new.
  const TRun again = Lumeta(MapPath(), "sync; undo");
  EXPECT_EQ(ResultLines(again.Output), std::vector<std::string>{}) << again.Output;
  EXPECT_NE(again.Output.find("note: nothing changed"), std::string::npos) << again.Output;
  EXPECT_NE(again.Output.find("error: nothing to undo"), std::string::npos) << again.Output;
}

}  // namespace
