#include <gtest/gtest.h>

#include <cstdlib>

#include "host/MapEditCommands.h"
#include "session/ActionEditor.h"
#include "session/MapDocument.h"

namespace {

// A scheduled map: Phase (1) over Design (2) and Build (3), all tasks, planned from 2025-11-03.
class ActionEditorTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* dir = std::getenv("LUMETA_PLUGIN_DIR");
    ASSERT_TRUE(dir) << "LUMETA_PLUGIN_DIR is not set";
    Document.Open(dir, "");
    TLumetaModel* model = Document.Model();
    model->Map().MapSettings()->SetScheduleStart(45964 + 8.0 / 24);  // Monday 2025-11-03 08:00
    for (const auto& [parent, title] : {std::pair{0, "Phase"}, {1, "Design"}, {1, "Build"}})
      Run(make<TAddNodeCommand>(model, parent, title).get());
    model->Map().Settings()->SetTaskScheduling(true);
    Run(make<TConvertNodesCommand>(model, std::vector<int64_t>{1, 2, 3}).get());
  }
  void Run(ICommand* ACommand) { Document.Model()->Processor()->Execute(ACommand, nullptr); }
  int32_t UndoCount() { return Document.Model()->Processor()->GetUndoCount(); }
  std::string Get(const char* AID, TActionField AField, bool AStored = false) {
    return Editor.FieldText(AID, AField, AStored).value_or("(none)");
  }

  TMapDocument Document;
  TActionEditor Editor{Document};
};

TEST_F(ActionEditorTest, SummaryFieldsAreRefusedAndReadRolledUp) {
  ASSERT_TRUE(Editor.SetField("2", acComplete, "50"));
  ASSERT_TRUE(Editor.SetField("3", "Complete", "100"));
  const int32_t steps = UndoCount();
  for (const auto& [field, text] : {std::pair{acComplete, "10"}, {acCompletedDate, "2025-11-10"},
                                    {acStatus, "Deferred"}, {acDuration, "4"}}) {
    const TEditResult result = Editor.SetField("1", field, text);
    EXPECT_EQ(result.Error, std::string(KActionFieldNames[field]) + " cannot be set on node 1: it is a summary task, "
                                "whose " + KActionFieldNames[field] +
                                " is worked out from its subtasks while the map schedules tasks");
  }
  EXPECT_EQ(UndoCount(), steps) << "a refused edit leaves no undo step";
  // The summary answers what its subtasks work out; its record stores its own value.
  EXPECT_EQ(Get("1", acComplete), "75");
  EXPECT_EQ(Get("1", acStatus), "In Progress");
  EXPECT_EQ(Get("1", acComplete, true), "0");
  EXPECT_TRUE(Editor.SetField("1", acPriority, "High")) << "a field the summary does not roll up";
  // With scheduling off the summary shows and takes its own values.
  Document.Model()->Map().Settings()->SetTaskScheduling(false);
  EXPECT_TRUE(Editor.SetField("1", acComplete, "10"));
  EXPECT_EQ(Get("1", acComplete), "10");
}

TEST_F(ActionEditorTest, DaysTypedAloneLandInWorkingTime) {
  // A finish typed as a day keeps the finish's time of day; a Saturday start moves to Monday.
  ASSERT_TRUE(Editor.SetField("2", acCompletedDate, "2025-11-05"));
  EXPECT_EQ(Get("2", acCompletedDate), "2025-11-05T17:00:00");
  ASSERT_TRUE(Editor.SetField("3", acStartDate, "2025-11-15"));
  EXPECT_EQ(Get("3", acStartDate), "2025-11-17T08:00:00");
  // A constraint takes the start or the end of its day as its type fits, never midnight.
  ASSERT_TRUE(Editor.SetField("3", acConstraintType, "tcMustFinishOn"));
  ASSERT_TRUE(Editor.SetField("3", acConstraintDate, "2025-11-20"));
  EXPECT_EQ(Get("3", acConstraintDate), "2025-11-20T17:00:00");
  ASSERT_TRUE(Editor.SetField("3", acConstraintType, "tcStartNoEarlierThan"));
  ASSERT_TRUE(Editor.SetField("3", acConstraintDate, "2025-11-20"));
  EXPECT_EQ(Get("3", acConstraintDate), "2025-11-20T08:00:00");
  // The due date is stored while the map schedules, as the dialog and the panel store it.
  ASSERT_TRUE(Editor.SetField("2", acDueDate, "2025-11-28"));
  EXPECT_EQ(Get("2", acDueDate), "2025-11-28T00:00:00");
}

TEST_F(ActionEditorTest, DisabledEntriesSayWhy) {
  ASSERT_TRUE(Editor.Select({"2", "3"}));
  const TEditResult edit = Editor.RunEntry(ciEditAction, {});
  EXPECT_EQ(edit.Error, "entry 7 (Edit Action) is disabled for the current selection: while the map schedules "
                        "tasks it edits one node at a time, and 2 nodes (2, 3) are selected");
  EXPECT_FALSE(Editor.UpdateEntry(ciEditAction).Reason.empty());
  ASSERT_TRUE(Editor.Select({}));
  EXPECT_EQ(Editor.UpdateEntry(ciStartDate).Reason, "nothing is selected");
  EXPECT_FALSE(Editor.Select({"2", "99"})) << "an ID naming no node";
}

TEST_F(ActionEditorTest, LinksAndPredecessorListsGoThroughTheRules) {
  ASSERT_TRUE(Editor.ChangeLink(TLinkChange::Add, "2", "3"));
  EXPECT_TRUE(Editor.ChangeLink(TLinkChange::Add, "2", "3", ltStartToStart).Warned) << "a second link";
  EXPECT_EQ(Editor.ChangeLink(TLinkChange::Remove, "3", "2").Error, "task 2 does not follow task 3");
  // A task may not follow the summary above it: the rules' warning is shown, and the result says so.
  const TEditResult refused = Editor.ChangeLink(TLinkChange::Add, "1", "3");
  EXPECT_FALSE(refused);
  EXPECT_TRUE(refused.Warned);
  ASSERT_TRUE(Editor.ChangeLink(TLinkChange::Retype, "2", "3", ltStartToStart));
  ASSERT_EQ(Editor.TaskLinks(3, true).size(), 1u);
  EXPECT_STREQ(Editor.TaskLinks(3, true)[0].Type, "SS");
  EXPECT_EQ(Editor.TaskLinks(2, false)[0].NodeID, 3);

  std::vector<TPredecessorChange> changes;
  ASSERT_TRUE(Editor.PredecessorChanges(3, "2ff", changes));
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].Change, TLinkChange::Retype);
  EXPECT_EQ(changes[0].Type, ltFinishToFinish);
  ASSERT_TRUE(Editor.PredecessorChanges(3, "", changes));
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].Change, TLinkChange::Remove);
  EXPECT_TRUE(Editor.PredecessorChanges(3, "2, 2SS", changes).Warned) << "one task typed with two types";
  ASSERT_TRUE(Editor.ChangeLink(TLinkChange::Remove, "2", "3"));
  EXPECT_TRUE(Editor.TaskLinks(3, true).empty());
}

}  // namespace
