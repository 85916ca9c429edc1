#include "host/MapEditCommands.h"
#include "commands/CompositeCommands.h"
#include "contract/InteractionIntf.h"
#include "plugin/TaskCommands.h"
#include "plugin/TaskLinkHelper.h"
#include "tests/plugin/RescheduleFixture.h"

namespace {

using namespace schedule_test;

using TaskCommands = Reschedule;

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
  Undo();
  EXPECT_EQ(Start("B"), Tuesday);
  EXPECT_EQ(A("A")->GetDuration(), 1);
}

TEST_F(TaskCommands, AnActionWithoutDatesBecomesAOneDayTaskAtTheScheduleStart) {
  Task("A", 0);
  ComPtr<IActionAttribute> old =
      AttributeFactory()->CreateAttribute(uuidof<IActionAttribute>()).as<IActionAttribute>();
  Model->GetCommandProcessor()->Execute(
      make<TConvertActionToTaskCommand>(Model.get(), N("A"), old.get(), Scheduler()).get(), NodeSelection(N("A")).get());
  ASSERT_TRUE(A("A"));
  EXPECT_EQ(A("A")->GetDuration(), 1);
  EXPECT_EQ(A("A")->GetDurationMeasure(), amDays);
  EXPECT_EQ(Start("A"), Monday);
  EXPECT_EQ(Finish("A"), EndOf(Monday));
}

// The states a link command moves between.
struct TState {
  double StartB, StartC;
  bool Linked;
  friend bool operator==(const TState&, const TState&) = default;
};

TEST_F(TaskCommands, UndoAndRedoOfALinkAlternateBetweenTheSameTwoStates) {
  Task("A", Monday);
  Task("B", Monday);
  Task("C", Tuesday);
  Link("B", "C");
  const auto state = [&] {
    return TState{Start("B"), Start("C"), Links(N("B"), "NodeLinks")->ContainsLink(N("A"))};
  };
  const TState before = state();
  Run(make<TAddTaskLinkCommand>(Model.get(), N("A")->GetID(), N("B")->GetID(), ltFinishToStart, true).get(), nullptr);
  const TState after = state();
  EXPECT_EQ(after, (TState{Tuesday, Wednesday, true}));
  EXPECT_TRUE(Links(N("A"), "SuccessorNodeLinks")->ContainsLink(N("B")));
  for (int i = 0; i < 2; ++i) {
    Undo();
    EXPECT_EQ(state(), before);
    EXPECT_FALSE(Links(N("A"), "SuccessorNodeLinks")->ContainsLink(N("B")));
    Redo();
    EXPECT_EQ(state(), after);
  }
}

TEST_F(TaskCommands, RemovingALinkRestartsTheSuccessorWhereItsConstraintPutsIt) {
  Task("A", Monday, 2);
  Task("B", Wednesday);
  Task("C", Wednesday);
  Link("A", "B");
  Link("A", "C");
  A("C")->SetConstraintType(tcStartNoEarlierThan);
  A("C")->SetConstraintDate(Tuesday);
  Run(make<TRemoveTaskLinkCommand>(Model.get(), N("A")->GetID(), N("B")->GetID(), ltFinishToStart, true).get(),
      nullptr);
  Run(make<TRemoveTaskLinkCommand>(Model.get(), N("A")->GetID(), N("C")->GetID(), ltFinishToStart, true).get(),
      nullptr);
  EXPECT_EQ(Start("B"), Monday) << "the schedule start";
  EXPECT_EQ(Start("C"), Tuesday);
  Undo();
  Undo();
  EXPECT_EQ(Start("B"), Wednesday);
  EXPECT_TRUE(Links(N("B"), "NodeLinks")->ContainsLink(N("A")));
}

TEST_F(TaskCommands, ALinkToASummaryIsPushedDownAndUndoneFirst) {
  Task("A", Monday, 2);
  Task("S", 0);
  Task("X", Monday, 1, "S");
  Task("Y", Tuesday, 1, "S");
  Run(make<TAddTaskLinkCommand>(Model.get(), N("A")->GetID(), N("S")->GetID(), ltFinishToStart, true).get(), nullptr);
  EXPECT_EQ(Start("X"), Wednesday);
  EXPECT_EQ(Start("Y"), Wednesday);
  Undo();
  EXPECT_EQ(Start("X"), Monday);
  EXPECT_EQ(Start("Y"), Tuesday);
}

TEST_F(TaskCommands, LinkCommandsSurviveTheirNodesBeingDeletedAndRestored) {
  Task("A", Monday);
  Task("B", Monday);
  const std::string a = N("A")->GetID(), b = N("B")->GetID();
  Run(make<TAddTaskLinkCommand>(Model.get(), a, b, ltFinishToStart, true).get(), nullptr);
  Undo();
  Run(make<TDeleteNodeCommand>(Model.get(), std::stoll(b)).get(), nullptr);
  Undo();  // B is back, a new object under the same ID
  Model->GetCommandProcessor()->Clear();
  ComPtr<TAddTaskLinkCommand> link = make<TAddTaskLinkCommand>(Model.get(), a, b, ltStartToStart, true);
  Run(link.get(), nullptr);
  Run(make<TDeleteNodeCommand>(Model.get(), std::stoll(b)).get(), nullptr);
  Undo();
  Undo();
  INode* restored = Model->GetTree()->FindNode(b).get();
  EXPECT_FALSE(Links(restored, "NodeLinks")->ContainsLink(N("A")));
  Redo();
  EXPECT_TRUE(Links(restored, "NodeLinks")->ContainsLink(N("A")));
}

TEST_F(TaskCommands, ATaskGroupPostsOneChangeBracketAroundItsCommands) {
  Task("A", Monday);
  Task("B", Monday);
  ComPtr<TMultipleTaskCommand> group = make<TMultipleTaskCommand>(Model.get());
  group->AddCommand(Move("A", Tuesday).get(), NodeSelection(N("A")).get());
  group->AddCommand(Move("B", Wednesday).get(), NodeSelection(N("B")).get());
  Run(group.get(), nullptr);
  EXPECT_EQ(Log->Kinds[KRescheduleBeginChange], 3);
  EXPECT_EQ(Log->Kinds[KRescheduleEndChange], 3);
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
  Undo();
  EXPECT_EQ(Start("A"), Monday);
  EXPECT_EQ(Start("B"), Tuesday);
}

// Dropping nodes under a target (interaction kind 2).
class TDrop : public TImplements<TAggregableObject, IInteraction> {
 public:
  int32_t GetKind() override { return 2; }
  ComPtr<INodeList> GetNodes() override { return {}; }
};

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
  TTaskLinkHelper::BuildInvalidLinks(make<TDrop>().get(), NodeSelection(N("T")).get(), commands.get(), false, true);
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

TEST_F(TaskCommands, RefreshStartsEveryTaskAgainAndLetsItsPredecessorsPlaceIt) {
  Task("A", Wednesday);
  Task("S", 0);
  Task("X", Friday, 1, "S");
  Task("Y", Friday, 1, "S");
  Link("A", "Y");
  Run(make<TRefreshProjectCommand>(Model.get(), nullptr).get(), nullptr);
  EXPECT_EQ(Start("A"), Monday);
  EXPECT_EQ(Start("X"), Monday);
  EXPECT_EQ(Start("Y"), Tuesday);
}

}  // namespace
