#include "commands/CompositeCommands.h"
#include "plugin/TaskCommands.h"
#include "plugin/TaskLinkHelper.h"
#include "tests/plugin/PlugInModel.h"

namespace {

using namespace plugin_test;
using TaskCommands = TPlugInModel;

TEST_F(TaskCommands, ShortDurationsInHoursRoundUpAndZeroMakesAMilestone) {
  Task("A", Day(1, 10));
  A("A")->SetDurationMeasure(amHours);
  A("A")->SetDuration(8);
  Run(make<TRescheduleTaskDurationCommand>(Model.get(), N("A"), 0.5).get(), N("A"));
  EXPECT_EQ(A("A")->GetDuration(), 1);
  EXPECT_EQ(Finish("A"), Day(1, 11));

  Task("M", Day(1, 12.5));  // in the lunch break
  Run(make<TRescheduleTaskDurationCommand>(Model.get(), N("M"), 0).get(), N("M"));
  EXPECT_TRUE(A("M")->GetIsMilestone());
  EXPECT_EQ(Start("M"), Day(1, 13));
  EXPECT_EQ(Finish("M"), Day(1, 12));

  Run(make<TRescheduleTaskDurationCommand>(Model.get(), N("M"), 2, amDays).get(), N("M"));
  EXPECT_FALSE(A("M")->GetIsMilestone());
  EXPECT_NEAR(Finish("M"), Day(3, 12), 1e-6);  // sixteen working hours from Monday 13:00
}

TEST_F(TaskCommands, ALongerDurationPushesTheSuccessors) {
  Task("A", Monday);
  Task("B", Tuesday);
  Link("A", "B");
  Run(make<TRescheduleTaskDurationCommand>(Model.get(), N("A"), 3).get(), N("A"));
  EXPECT_EQ(Finish("A"), EndOf(Wednesday));
  EXPECT_EQ(Start("B"), Thursday);
}

// An action's dates are days: Monday to Friday is five working days, and a weekend start waits
// for Monday morning, also as the constraint it keeps. One without dates or length becomes a
// one-day task at the schedule start.
TEST_F(TaskCommands, AnActionsDaysBecomeWorkingTime) {
  const auto convert = [&](const std::string& ATitle, double AStart, double AFinish) {
    Task(ATitle, 0);
    ComPtr<IActionAttribute> old =
        AttributeFactory()->CreateAttribute(uuidof<IActionAttribute>()).as<IActionAttribute>();
    old->SetStartDate(AStart);
    old->SetCompletedDate(AFinish);
    Model->GetCommandProcessor()->Execute(
        make<TConvertActionToTaskCommand>(Model.get(), N(ATitle), old.get(), Scheduler()).get(),
        NodeSelection(N(ATitle)).get());
  };
  convert("Week", DateOf(Monday), DateOf(Friday));
  EXPECT_EQ(Start("Week"), Monday);
  EXPECT_EQ(Finish("Week"), EndOf(Friday));
  EXPECT_EQ(A("Week")->GetDuration(), 5);

  convert("Weekend", DateOf(Day(6)), DateOf(Day(8)));
  EXPECT_EQ(Start("Weekend"), Day(8));
  EXPECT_EQ(Finish("Weekend"), EndOf(Day(8)));
  EXPECT_EQ(A("Weekend")->GetConstraintDate(), Day(8));

  convert("Undated", 0, 0);
  ASSERT_TRUE(A("Undated"));
  EXPECT_EQ(A("Undated")->GetDuration(), 1);
  EXPECT_EQ(A("Undated")->GetDurationMeasure(), amDays);
  EXPECT_EQ(Start("Undated"), Monday);
  EXPECT_EQ(Finish("Undated"), EndOf(Monday));
}

TEST_F(TaskCommands, ATaskGroupPostsOneChangeBracketAroundItsCommands) {
  Task("A", Monday);
  Task("B", Monday);
  ComPtr<TMultipleTaskCommand> group = make<TMultipleTaskCommand>(Model.get());
  group->AddCommand(Move("A", Tuesday).get(), NodeSelection(N("A")).get());
  group->AddCommand(Move("B", Wednesday).get(), NodeSelection(N("B")).get());
  Run(group.get(), nullptr);
  EXPECT_EQ(Log->Count(KRescheduleBeginChange), 3);
  EXPECT_EQ(Log->Count(KRescheduleEndChange), 3);
  Undo();
  EXPECT_EQ(Start("A"), Monday);
  EXPECT_EQ(Start("B"), Monday);
}

TEST_F(TaskCommands, AnEditedStartMovesTheTaskAndItsSuccessors) {
  Task("A", Monday);
  Task("B", Tuesday);
  Link("A", "B");
  ComPtr<IActionAttribute> edited =
      AttributeFactory()->CreateAttribute(uuidof<IActionAttribute>()).as<IActionAttribute>();
  edited->Assign(A("A"));
  edited->SetStartDate(Wednesday);
  Run(make<TUpdateTaskCommand>(Model.get(), N("A"), edited.get()).get(), N("A"));
  EXPECT_EQ(Start("A"), Wednesday);
  EXPECT_EQ(Finish("A"), EndOf(Wednesday));
  EXPECT_EQ(Start("B"), Thursday);
}

TEST_F(TaskCommands, ATaskAboutToBecomeASummaryLosesItsFinishLinksFirst) {
  Task("P", Monday);
  Task("Q", Monday);
  Task("R", Monday);
  Task("T", Tuesday);
  Link("P", "T", ltFinishToFinish);
  Link("Q", "T", ltFinishToStart);
  Link("R", "T", ltStartToFinish);
  ComPtr<TMultipleCommand> commands = make<TMultipleCommand>(Model.get());
  ComPtr<TMoveTaskCommand> pending = Move("T", Wednesday);
  commands->AddCommand(pending.get(), NodeSelection(N("T")).get());
  // Dropping nodes under a target: interaction kind 2.
  TTaskLinkHelper::BuildInvalidLinks(make<TInteraction>(2).get(), NodeSelection(N("T")).get(), commands.get(), false, true);
  ASSERT_EQ(commands->Count(), 3);
  EXPECT_TRUE(SameObject(commands->GetCommandList().Last()->GetCommand().get(), static_cast<ICommand*>(pending.get())))
      << "the removals come first";
  Run(commands.get(), nullptr);
  EXPECT_FALSE(Links(N("T"), "NodeLinks")->ContainsLink(N("P")));
  EXPECT_FALSE(Links(N("R"), "SuccessorNodeLinks")->ContainsLink(N("T")));
  EXPECT_TRUE(Links(N("T"), "NodeLinks")->ContainsLink(N("Q")));
  Undo();
  EXPECT_TRUE(Links(N("T"), "NodeLinks")->ContainsLink(N("P")));
}

}  // namespace
