// The schedule follows what task dates depend on, through the real host and plug-in library: each
// edit moves what it should in the same step, and one undo gives the saved map back byte for byte.
// Conflicts the rules let stand are named as the step that makes them runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "apps/LumetaScript.h"
#include "apps/LumetaShell.h"
#include "com/DialogService.h"
#include "com/LumetaLocale.h"
#include "session/ScheduleConflictWatch.h"
#include "tests/support/TestFiles.h"

namespace {

std::string PlugInDir() {
  const char* dir = std::getenv("LUMETA_PLUGIN_DIR");
  return dir ? dir : "";
}

class ScheduleFollow : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLocaleService(std::make_shared<TFixedLocaleService>(46500, "yyyy-MM-dd"));
    SetDialogService(std::make_shared<TStreamDialogService>(FDialogs));
  }

  // Opens APath in a new shell and runs the script's commands.
  std::unique_ptr<TLumetaShell> Run(const std::string& APath, const std::string& AScript) {
    auto shell = std::make_unique<TLumetaShell>(FOut, FErr);
    shell->Open(PlugInDir(), APath);
    for (const TScriptCommand& command : SplitScript(AScript)) shell->Run(command.Words);
    return shell;
  }

  std::string Get(TLumetaShell& AShell, const std::string& AID, const std::string& AField) {
    FOut.str("");
    AShell.Run({"get", AID, AField});
    std::string value = FOut.str();
    if (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
  }

  TTempFolder FFolder;
  std::ostringstream FOut, FErr, FDialogs;
};

// An office move: a phase of three chained tasks, a handover after the phase, a task of its own
// that starts no earlier than the schedule start, and booking the movers, which Pack waits for
// although it comes later in the map. Unpack holds a constraint date but is scheduled as soon as
// possible.
constexpr const char* KOfficeMove =
    "calendar start 2027-05-03; scheduling on; add 0 \"Office move\"; add 1 Pack; add 1 Transport; add 1 Unpack;"
    "add 0 Handover; add 0 \"Clean old office\"; add 0 \"Book movers\"; convert 1 2 3 4 5 6 7; set 2 Duration 3;"
    "set 4 Duration 2; link add 2 3; link add 3 4; link add 1 5; link add 7 2;"
    "set 4 \"Constraint Date\" 2027-05-17T08:00:00; set 6 \"Constraint Type\" tcStartNoEarlierThan; save";

TEST_F(ScheduleFollow, EachInputMovesItsTasksInOneUndoableStep) {
  const std::string base = FFolder / "base.xml";
  Run(base, KOfficeMove);
  const std::string saved = ReadText(base);
  struct TCase {
    const char* Edit;
    // Dates after the edit, as ID, field, value.
    std::vector<std::vector<std::string>> Expected;
    bool Scheduling = true;
  };
  const TCase cases[] = {
      // A holiday inside Pack: its three days end a day later, and everything after it follows.
      {"calendar holiday add 2027-05-04",
       {{"2", "Start Date", "2027-05-05T08:00:00"}, {"2", "Completed Date", "2027-05-07T17:00:00"},
        {"3", "Start Date", "2027-05-10T08:00:00"}, {"5", "Start Date", "2027-05-13T08:00:00"}}},
      {"calendar days Mon,Tue,Wed,Thu", {{"3", "Start Date", "2027-05-10T08:00:00"}}},
      {"calendar hours 09:00-13:00",
       {{"2", "Completed Date", "2027-05-06T13:00:00"}, {"6", "Start Date", "2027-05-03T09:00:00"}}},
      {"calendar start 2027-05-10",
       {{"2", "Start Date", "2027-05-11T08:00:00"}, {"5", "Start Date", "2027-05-19T08:00:00"},
        {"6", "Start Date", "2027-05-10T08:00:00"}}},
      // The stored date now counts, and the handover follows the phase.
      {"set 4 \"Constraint Type\" tcStartNoEarlierThan",
       {{"4", "Start Date", "2027-05-17T08:00:00"}, {"5", "Start Date", "2027-05-19T08:00:00"}}},
      {"set 6 \"Constraint Date\" 2027-05-24T08:00:00", {{"6", "Start Date", "2027-05-24T08:00:00"}}},
      {"edit 3 --page advanced --set \"Constraint Type=Must Start On\" --set \"Constraint Date=2027-05-12\" --ok",
       {{"3", "Start Date", "2027-05-12T08:00:00"}, {"4", "Start Date", "2027-05-13T08:00:00"}}},
      // A start typed for the phase holds back its subtasks.
      {"set 1 \"Start Date\" 2027-05-12",
       {{"2", "Start Date", "2027-05-12T08:00:00"}, {"5", "Start Date", "2027-05-20T08:00:00"}}},
      {"link remove 3 4", {{"4", "Start Date", "2027-05-03T08:00:00"}, {"5", "Start Date", "2027-05-10T08:00:00"}}},
      {"link add 2 6", {{"6", "Start Date", "2027-05-07T08:00:00"}}},
      // Without scheduling nothing moves.
      {"calendar holiday add 2027-05-04", {{"2", "Completed Date", "2027-05-06T17:00:00"}}, false},
      {"set 4 \"Constraint Type\" tcStartNoEarlierThan", {{"4", "Start Date", "2027-05-10T08:00:00"}}, false},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(std::string(test.Edit) + (test.Scheduling ? "" : " (scheduling off)"));
    const std::string path = FFolder / "edited.xml";
    WriteText(path, saved);
    std::unique_ptr<TLumetaShell> shell = Run(path, test.Scheduling ? "" : "scheduling off");
    for (const TScriptCommand& command : SplitScript(test.Edit)) shell->Run(command.Words);
    for (const std::vector<std::string>& expected : test.Expected)
      EXPECT_EQ(Get(*shell, expected[0], expected[1]), expected[2]) << "task " << expected[0] << ' ' << expected[1];
    shell->Run({"undo"});
    EXPECT_FALSE(shell->Model()->GetCommandProcessor()->CanUndo()) << "the edit took more than one step";
    if (!test.Scheduling) shell->Run({"scheduling", "on"});
    shell->Run({"save"});
    EXPECT_EQ(ReadText(path), saved);
  }
}

// A must-start-on date before the predecessor's finish, and a finish-to-finish successor pulled
// before the schedule start: the rules keep both dates, and both are named.
TEST_F(ScheduleFollow, ConflictsTheRulesLetStandAreNamed) {
  std::unique_ptr<TLumetaShell> shell =
      Run("", "calendar start 2025-10-20; scheduling on; add 0 P; add 0 Q; add 0 R; add 0 F; convert 1 2 3 4;"
              "set 1 Duration 3; link add 1 2; set 4 Duration 3");
  EXPECT_EQ(FErr.str(), "");
  shell->Run({"set", "2", "Constraint Type", "tcMustStartOn"});
  EXPECT_EQ(FErr.str(), "") << "the date the type takes is the task's start: no conflict yet";
  shell->Run({"set", "2", "Constraint Date", "2025-10-21T08:00:00"});
  EXPECT_EQ(FErr.str(),
            "warning: task 2 starts 2025-10-21T08:00:00, before its FS link from task 1 allows (2025-10-23T08:00:00) "
            "(held by its constraint Must Start On 2025-10-21T08:00:00)\n");
  FErr.str("");
  shell->Run({"link", "add", "3", "4", "FF"});
  EXPECT_EQ(FErr.str(),
            "warning: task 4 starts 2025-10-16T08:00:00, before the schedule start 2025-10-20T08:00:00 (placed there "
            "by its FF link from task 3)\n");

  const std::vector<TScheduleConflict> conflicts = TScheduleConflictWatch::Find(shell->Model());
  ASSERT_EQ(conflicts.size(), 2u);
  EXPECT_EQ(conflicts[0].TaskID, "2");
  EXPECT_EQ(conflicts[0].Kind, TConflictKind::BeforeLink);
  EXPECT_EQ(conflicts[0].PredecessorID, "1");
  EXPECT_TRUE(conflicts[0].Held);
  EXPECT_EQ(conflicts[0].Constraint, tcMustStartOn);
  EXPECT_LT(conflicts[0].Date, conflicts[0].Allowed);
  EXPECT_EQ(conflicts[1].TaskID, "4");
  EXPECT_EQ(conflicts[1].Kind, TConflictKind::BeforeScheduleStart);
  EXPECT_EQ(conflicts[1].LinkType, ltFinishToFinish);
  EXPECT_FALSE(conflicts[1].Held);

  // Standing conflicts are not named again by later steps, nor by undo and redo.
  FErr.str("");
  shell->Run({"add", "0", "Notes"});
  shell->Run({"undo"});
  shell->Run({"undo"});
  shell->Run({"redo"});
  EXPECT_EQ(FErr.str(), "");
  shell->Run({"set", "2", "Constraint Type", "tcAsSoonAsPossible"});
  shell->Run({"link", "remove", "3", "4"});
  EXPECT_TRUE(TScheduleConflictWatch::Find(shell->Model()).empty());
  EXPECT_EQ(FErr.str(), "");
}

}  // namespace
