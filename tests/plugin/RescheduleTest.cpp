#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "attributes/LumetaAttributeFactory.h"
#include "com/OleDate.h"
#include "host/LumetaModel.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "plugin/RescheduleCommands.h"
#include "tests/support/CalendarScheduler.h"

namespace {

// Monday 2 March 2026 at the given hour, and the days after it.
double Day(int ADay, double AHour = 8) { return EncodeDate(2026, 3, 1 + ADay) + AHour / 24; }
const double Monday = Day(1), Tuesday = Day(2), Wednesday = Day(3), Thursday = Day(4), Friday = Day(5);
double EndOf(double ADay) { return std::trunc(ADay) + 17.0 / 24; }

// Records the kind of every change reported, and the node of every property change.
class TChangeLog : public TImplements<TAggregableObject, IObserver> {
 public:
  void Update(IUnknown* ASubject) override {
    ComPtr<IChanges> changes = QueryAs<ISubject>(ASubject)->GetChanges();
    for (int32_t i = 0; i < changes->GetCount(); ++i) {
      ComPtr<IChange> change = changes->GetItem(i);
      ++Kinds[change->GetKind()];
      if (ComPtr<INode> node = QueryAs<INode>(change->GetObject().get()); node && change->GetKind() == 11)
        Written.push_back(node->GetID());
    }
  }
  std::map<int32_t, int> Kinds;
  std::vector<std::string> Written;
};

class Reschedule : public testing::Test {
 protected:
  void SetUp() override {
    ComPtr<TLumetaAttributeFactory> factory = make<TLumetaAttributeFactory>();
    RegisterStandardAttributeClasses(factory.get());
    RegisterPlugInAttributeClasses(factory.get());
    SetAttributeFactory(factory.get());
    Model = make<TLumetaModel>();
    Model->RegisterManager(make<TActionPropertyManager>().get());
    Model->RegisterManager(make<TLumetaNodeLinksPropertyManager>().get());
    Model->RegisterManager(make<TLumetaSuccessorLinksPropertyManager>().get());
    InstallCalendarScheduler(Model->Map(), Monday);
    Log = make<TChangeLog>();
    Model->Subject()->Attach(Log.get());
  }
  void TearDown() override {
    Model->Subject()->Detach(Log.get());
    Model->Close();
    SetAttributeFactory(nullptr);
  }

  // A task of ADays days starting at AStart, under the node titled AParent ("" for a main branch).
  INode* Task(const std::string& ATitle, double AStart, double ADays = 1, const std::string& AParent = "") {
    TLumetaNode* node = Model->Map().AddNode(AParent.empty() ? Model->Map().Root() : Nodes.at(AParent), ATitle);
    Nodes[ATitle] = node;
    if (AStart == 0) return node;  // a summary: its dates roll up
    ComPtr<IProperty> property = Model->NewProperty("Action");
    property.as<IAttribute>()->SetFlagEx(afLoaded, true, true);
    ComPtr<IActionAttribute> action = property.as<IActionAttribute>();
    action->SetStartDate(AStart);
    action->SetCompletedDate(Model->Map().Settings() ? Scheduler()->FinishForStart(AStart, ADays) : 0);
    action->SetDuration(ADays);
    action->SetDurationMeasure(amDays);
    action->SetConstraintType(tcAsSoonAsPossible);
    node->SetProperty(property.get());
    return node;
  }
  IWorkingScheduler* Scheduler() { return FindWorkingScheduler(Model->Map().Root()).get(); }
  INodeLinkList2* Links(INode* ANode, const char* AName) {
    if (!ANode->FindProperty(AName)) {
      ComPtr<IProperty> property = Model->NewProperty(AName);
      property.as<IAttribute>()->SetFlagEx(afLoaded, true, true);
      ANode->SetProperty(property.get());
    }
    return QueryAs<INodeLinkList2>(ANode->FindProperty(AName).get()).get();
  }
  void Link(const std::string& APredecessor, const std::string& ASuccessor, TTaskLinkType AType = ltFinishToStart) {
    Links(N(APredecessor), "SuccessorNodeLinks")->AddLink(N(ASuccessor)).as<ITaskLink>()->SetLinkType(AType);
    Links(N(ASuccessor), "NodeLinks")->AddLink(N(APredecessor)).as<ITaskLink>()->SetLinkType(AType);
  }
  INode* N(const std::string& ATitle) { return Nodes.at(ATitle); }
  IActionAttribute* A(const std::string& ATitle) {
    return QueryAs<IActionAttribute>(N(ATitle)->FindProperty("Action").get()).get();
  }
  double Start(const std::string& ATitle) { return A(ATitle)->GetStartDate(); }
  double Finish(const std::string& ATitle) { return A(ATitle)->GetCompletedDate(); }

  // Runs the command as one undo step.
  void Run(ICommand* ACommand, INode* ANode) { Model->GetCommandProcessor()->Execute(ACommand, NodeSelection(ANode).get()); }
  ComPtr<TMoveTaskCommand> Move(const std::string& ATitle, double AStart, bool ASkipConstraint = true) {
    return make<TMoveTaskCommand>(Model.get(), N(ATitle), AStart, TTaskSwitches{true, ASkipConstraint, true, true});
  }
  void Undo() { Model->GetCommandProcessor()->UndoLast(); }
  void Redo() { Model->GetCommandProcessor()->Redo(); }

  ComPtr<TLumetaModel> Model;
  ComPtr<TChangeLog> Log;
  std::map<std::string, TLumetaNode*> Nodes;
};

TEST_F(Reschedule, AChainMovesInsideOneCommandAndOneUndoRestoresIt) {
  Task("A", Monday);
  Task("B", Tuesday);
  Task("C", Wednesday);
  Link("A", "B");
  Link("B", "C");

  Run(Move("A", Tuesday).get(), N("A"));
  EXPECT_EQ(Start("B"), Wednesday);
  EXPECT_EQ(Start("C"), Thursday);
  EXPECT_EQ(Finish("C"), EndOf(Thursday));
  EXPECT_EQ(Model->GetCommandProcessor()->GetUndoCount(), 1);
  const std::vector<std::string> order = Log->Written;
  EXPECT_EQ(order, (std::vector<std::string>{N("A")->GetID(), N("B")->GetID(), N("C")->GetID()}));

  Undo();
  EXPECT_EQ(Start("A"), Monday);
  EXPECT_EQ(Start("B"), Tuesday);
  EXPECT_EQ(Start("C"), Wednesday);

  Log->Written.clear();
  Redo();
  EXPECT_EQ(Log->Written, order) << "redo repeats the same order";
  EXPECT_EQ(Start("C"), Thursday);
  EXPECT_EQ(Log->Kinds[KRescheduleBeginChange], Log->Kinds[KRescheduleEndChange]);
  EXPECT_GT(Log->Kinds[KRescheduleBeginChange], 0);
}

TEST_F(Reschedule, PropagationStopsAtASuccessorAlreadyInPlace) {
  Task("A", Monday);
  Task("B", Tuesday);
  Task("C", Friday);
  Link("A", "B");
  Link("B", "C");
  ComPtr<TRescheduleSuccessorsCommand> command = make<TRescheduleSuccessorsCommand>(Model.get(), N("A"));
  Run(command.get(), N("A"));
  ASSERT_EQ(command->QueueCount(), 1);
  auto* toB = dynamic_cast<TRescheduleCommand*>(command->QueuedCommand(0));
  ASSERT_TRUE(toB);
  EXPECT_EQ(toB->QueueCount(), 0) << "B starts right after A: no move";
  EXPECT_EQ(Start("C"), Friday) << "C is not looked at";
}

TEST_F(Reschedule, EachLinkTypePlacesItsSuccessor) {
  Task("P", Tuesday, 2);
  Task("SS", Monday);
  Task("FF", Monday);
  Task("SF", Friday, 1);
  Link("P", "SS", ltStartToStart);
  Link("P", "FF", ltFinishToFinish);
  Link("P", "SF", ltStartToFinish);
  Run(make<TRescheduleSuccessorsCommand>(Model.get(), N("P")).get(), N("P"));
  EXPECT_EQ(Start("SS"), Tuesday);
  EXPECT_EQ(Finish("FF"), EndOf(Wednesday));
  EXPECT_EQ(Finish("SF"), EndOf(Monday)) << "finishes before P starts";
}

TEST_F(Reschedule, ASummarySuccessorPassesTheLinkToItsSubtasksExceptThoseItLeadsTo) {
  Task("A", Tuesday);
  Task("S", 0);
  Task("X", Monday, 1, "S");
  Task("Y", Monday, 1, "S");
  Task("Sub", 0, 1, "S");
  Task("Z", Monday, 1, "Sub");
  Link("A", "S");
  Link("S", "Y");
  Run(make<TRescheduleSuccessorsCommand>(Model.get(), N("A")).get(), N("A"));
  EXPECT_EQ(Start("X"), Wednesday);
  EXPECT_EQ(Start("Z"), Wednesday) << "summaries below take the link too";
  EXPECT_EQ(Start("Y"), Monday) << "reached from the summary itself";
}

TEST_F(Reschedule, DatesTypedByHandBecomeConstraints) {
  Task("A", Tuesday);
  Run(Move("A", Thursday, false).get(), N("A"));
  EXPECT_EQ(A("A")->GetConstraintType(), tcStartNoEarlierThan);
  EXPECT_EQ(A("A")->GetConstraintDate(), Thursday);
  EXPECT_EQ(Start("A"), Thursday);

  // A finish before the start moves the whole task, keeping its duration.
  Task("B", Thursday, 2);
  TTaskSwitches byHand{true, false, true, false};
  Run(make<TRescheduleTaskFinishCommand>(Model.get(), N("B"), EndOf(Tuesday), byHand).get(), N("B"));
  EXPECT_EQ(A("B")->GetConstraintType(), tcFinishNoEarlierThan);
  EXPECT_EQ(A("B")->GetConstraintDate(), EndOf(Tuesday));
  EXPECT_EQ(Finish("B"), EndOf(Tuesday));
  EXPECT_EQ(Start("B"), Monday);
  Undo();
  EXPECT_EQ(Start("B"), Thursday);
  EXPECT_EQ(A("B")->GetConstraintType(), tcAsSoonAsPossible);
}

TEST_F(Reschedule, ALaterFinishChangesTheDurationUnlessTheMoveSwitchIsOn) {
  Task("A", Monday);
  Task("B", Monday);
  Link("A", "B", ltStartToStart);
  const TTaskSwitches computed{true, true, true, false};
  Run(make<TRescheduleTaskFinishCommand>(Model.get(), N("A"), EndOf(Tuesday), computed).get(), N("A"));
  EXPECT_EQ(Start("A"), Monday);
  EXPECT_EQ(A("A")->GetDuration(), 2);

  Run(make<TRescheduleTaskFinishCommand>(Model.get(), N("A"), EndOf(Thursday), computed, true).get(), N("A"));
  EXPECT_EQ(Start("A"), Wednesday) << "moved, two days long";
  EXPECT_EQ(Start("B"), Wednesday) << "its successor follows";
}

// Fails in its work after the first sub-command ran.
class TFailingCommand : public TRescheduleCommand {
 public:
  using TRescheduleCommand::TRescheduleCommand;

 protected:
  void Reschedule() override {
    ComPtr<IActionAttribute> changes = NewChanges();
    changes->SetStartDate(Friday);
    WriteAction(Node().get(), changes.get());
    throw ELumetaError("no");
  }
};

TEST_F(Reschedule, AFailingRunStillEndsItsChangeBracketAndLeavesTheMapAsItWas) {
  Task("A", Monday);
  ComPtr<TMoveTaskCommand> outer = Move("A", Tuesday);
  Task("B", Monday);
  ComPtr<TMultipleCommand> both = make<TMultipleCommand>(Model.get());
  both->AddCommand(outer.get(), NodeSelection(N("A")).get());
  both->AddCommand(make<TFailingCommand>(Model.get(), N("B")).get(), NodeSelection(N("B")).get());
  EXPECT_THROW(Run(both.get(), N("A")), ELumetaError);
  EXPECT_GE(Log->Kinds[KRescheduleBeginChange], 2) << "both ran; the roll-back undoes the first";
  EXPECT_EQ(Log->Kinds[KRescheduleBeginChange], Log->Kinds[KRescheduleEndChange]);
  EXPECT_EQ(Start("A"), Monday);
  EXPECT_EQ(Start("B"), Monday);
}

TEST_F(Reschedule, AMissingTaskMakesAnEmptyCommandThatStillUndoes) {
  Task("A", Monday);
  ComPtr<TMoveTaskCommand> move = Move("A", Tuesday);
  ComPtr<TLumetaNode> detached = Model->Map().DetachNode(dynamic_cast<TLumetaNode*>(N("A")));
  Run(move.get(), nullptr);
  EXPECT_EQ(move->QueueCount(), 0);
  Undo();
}

// Long enough to overflow the stack if any step nested a native call per task.
TEST_F(Reschedule, AHundredThousandTaskChainReschedulesAndUndoesWithoutRecursion) {
  constexpr int KCount = 100000;
  std::vector<TLumetaNode*> chain;
  ComPtr<IWorkingScheduler> scheduler(Scheduler());
  double start = Monday;
  for (int i = 0; i < KCount; ++i) {
    chain.push_back(dynamic_cast<TLumetaNode*>(Task("T" + std::to_string(i), start)));
    start = scheduler->StartAfter(scheduler->FinishForStart(start, 1));
    if (i > 0) Link("T" + std::to_string(i - 1), "T" + std::to_string(i));
  }
  const double lastStart = Start("T99999");
  Run(Move("T0", Tuesday).get(), N("T0"));
  EXPECT_EQ(Start("T99999"), scheduler->StartAfter(EndOf(lastStart)));
  Undo();
  EXPECT_EQ(Start("T99999"), lastStart);
  Model->GetCommandProcessor()->Clear();  // releases the whole nested command at once
}

}  // namespace
