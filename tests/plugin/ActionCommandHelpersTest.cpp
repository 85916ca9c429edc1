#include <functional>

#include "commands/SelectionData.h"
#include "plugin/ActionCommandHelpers.h"
#include "plugin/ActionHelpers.h"
#include "tests/plugin/PlugInModel.h"

namespace {

using namespace plugin_test;

class CommandHelpers : public TPlugInModel {
 protected:
  // A and B on Monday, C after A.
  void SetUp() override {
    TPlugInModel::SetUp();
    Task("A", Monday);
    Task("B", Monday);
    Task("C", Tuesday);
    Link("A", "C");
  }
  ComPtr<ISelection> Selection(std::initializer_list<const char*> ATitles) {
    ComPtr<TData> selection = make<TData>();
    for (const char* title : ATitles) selection->Add(N(title));
    return selection;
  }
};

struct TEditCase {
  const char* Name;
  std::function<ComPtr<ICommand>(ILumetaModel*, ISelection*)> Prepare;
  double StartA, FinishA, StartC;
  TTaskConstraintType ConstraintA = tcAsSoonAsPossible;
};

TEST_F(CommandHelpers, EachEditGivesTheTaskCommandThatMovesTheTaskAndItsSuccessors) {
  const TEditCase cases[] = {
      {"start",
       [](ILumetaModel* M, ISelection* S) {
         return TActionHelper::PrepareChangeTaskStartCmd(M, S, Wednesday, true, true);
       },
       Wednesday, EndOf(Wednesday), Thursday},
      {"start as a constraint",
       [](ILumetaModel* M, ISelection* S) {
         return TActionHelper::PrepareChangeTaskStartCmd(M, S, Wednesday, true, false);
       },
       Wednesday, EndOf(Wednesday), Thursday, tcStartNoEarlierThan},
      {"finish",
       [](ILumetaModel* M, ISelection* S) {
         return TActionHelper::PrepareChangeTaskFinishCmd(M, S, EndOf(Tuesday), true, true, false);
       },
       Monday, EndOf(Tuesday), Wednesday},
      {"finish moving the task",
       [](ILumetaModel* M, ISelection* S) {
         return TActionHelper::PrepareChangeTaskFinishCmd(M, S, EndOf(Wednesday), true, true, true);
       },
       Wednesday, EndOf(Wednesday), Thursday},
      {"duration",
       [](ILumetaModel* M, ISelection* S) { return TActionHelper::PrepareChangeTaskDurationCmd(M, S, 3, amDays); },
       Monday, EndOf(Wednesday), Thursday},
      {"measure",
       [](ILumetaModel* M, ISelection* S) { return TActionHelper::PrepareChangeTaskDurationMeasureCmd(M, S, amHours); },
       Monday, Day(1, 9), Day(1, 9)},
  };
  for (const TEditCase& edit : cases) {
    SCOPED_TRACE(edit.Name);
    ComPtr<ISelection> selection = Selection({"A"});
    ComPtr<ICommand> command = edit.Prepare(Model.get(), selection.get());
    ASSERT_TRUE(command);
    EXPECT_FALSE(QueryAs<IMultipleCommand>(command.get())) << "one node: its own command";
    Model->GetCommandProcessor()->Execute(command.get(), selection.get());
    EXPECT_NEAR(Start("A"), edit.StartA, 1e-9);
    EXPECT_NEAR(Finish("A"), edit.FinishA, 1e-9);
    EXPECT_NEAR(Start("C"), edit.StartC, 1e-9);
    EXPECT_EQ(A("A")->GetConstraintType(), edit.ConstraintA);
    Undo();
    EXPECT_EQ(Start("A"), Monday);
    EXPECT_EQ(Start("C"), Tuesday);
  }
}

TEST_F(CommandHelpers, SeveralNodesGiveOneCombinedCommandWithAOneNodeSelectionEach) {
  ComPtr<ISelection> selection = Selection({"A", "B"});
  ComPtr<ICommand> command =
      TActionHelper::PrepareChangeTaskStartCmd(Model.get(), selection.get(), Wednesday, true, true);
  ComPtr<IMultipleCommand> combined = QueryAs<IMultipleCommand>(command.get());
  ASSERT_TRUE(combined);
  const TInterfaceList<ICommandListItem> items = combined->GetCommandList();
  ASSERT_EQ(items.Count(), 2);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(items.Items(i)->GetSelection()->GetCount(), 1);
    EXPECT_TRUE(SameObject(items.Items(i)->GetSelection()->GetItem(0).get(), selection->GetItem(i).get()));
  }
  Model->GetCommandProcessor()->Execute(command.get(), selection.get());
  EXPECT_EQ(Start("A"), Wednesday);
  EXPECT_EQ(Start("B"), Wednesday);
  EXPECT_EQ(Start("C"), Thursday);
  Undo();
  EXPECT_EQ(Start("A"), Monday);
  EXPECT_EQ(Start("B"), Monday);
  EXPECT_EQ(Start("C"), Tuesday);

  EXPECT_FALSE(TActionHelper::PrepareChangeTaskStartCmd(Model.get(), Selection({}).get(), Wednesday, true, true));
  ComPtr<TData> notNodes = make<TData>();
  notNodes->Add(make<TData>().get());
  EXPECT_THROW(TActionHelper::PrepareChangeTaskStartCmd(Model.get(), notNodes.get(), Wednesday, true, true),
               ENoInterface);
}

TEST_F(CommandHelpers, AMilestoneWithoutDurationFirstTakesTheWorkingTimeBetweenItsDates) {
  struct TCase {
    double Duration;
    int32_t Measure;
    double Expected;
  };
  for (const TCase& milestone : {TCase{0, amDays, 3}, TCase{0, amHours, 24}, TCase{2, amDays, 2}}) {
    SCOPED_TRACE(milestone.Measure);
    A("B")->SetCompletedDate(EndOf(Wednesday));
    A("B")->SetDuration(milestone.Duration);
    A("B")->SetDurationMeasure(milestone.Measure);
    ComPtr<ISelection> selection = Selection({"B"});
    Model->GetCommandProcessor()->Execute(
        TActionHelper::PrepareSetMilestoneCmd(Model.get(), selection.get(), true).get(), selection.get());
    EXPECT_TRUE(A("B")->GetIsMilestone());
    EXPECT_NEAR(A("B")->GetDuration(), milestone.Expected, 1e-9);
    EXPECT_EQ(Finish("B"), EndOf(Wednesday)) << "only the duration and the flag change";
    Undo();
    EXPECT_FALSE(A("B")->GetIsMilestone());
  }
}

}  // namespace
