#include <algorithm>
#include <functional>
#include <random>
#include <set>

#include "tests/plugin/PlugInModel.h"
#include "tests/support/Thrown.h"

namespace {

using namespace plugin_test;
using Reschedule = TPlugInModel;

TEST_F(Reschedule, AChainMovesInsideOneCommandAndOneUndoRestoresIt) {
  Task("A", Monday);
  Task("B", Tuesday);
  Task("C", Wednesday);
  Link("A", "B");
  Link("B", "C");

  ComPtr<TMoveTaskCommand> move = Move("A", Tuesday);
  Run(move.get(), N("A"));
  EXPECT_EQ(Start("B"), Wednesday);
  EXPECT_EQ(Start("C"), Thursday);
  EXPECT_EQ(Finish("C"), EndOf(Thursday));
  EXPECT_EQ(Model->GetCommandProcessor()->GetUndoCount(), 1);
  const std::vector<std::string> order = Log->Nodes(11);
  EXPECT_EQ(order, (std::vector<std::string>{N("A")->GetID(), N("B")->GetID(), N("C")->GetID()}));
  // The step keeps the three writes; the successors' moves that worked them out are gone.
  ASSERT_EQ(move->QueueCount(), 3);
  for (int32_t i = 0; i < 3; ++i) EXPECT_FALSE(dynamic_cast<TRescheduleCommand*>(move->QueuedCommand(i)));

  Undo();
  EXPECT_EQ(Start("A"), Monday);
  EXPECT_EQ(Start("B"), Tuesday);
  EXPECT_EQ(Start("C"), Wednesday);

  Log->Changes.clear();
  Redo();
  EXPECT_EQ(Log->Nodes(11), order) << "redo repeats the same order";
  EXPECT_EQ(Start("C"), Thursday);
  EXPECT_EQ(Log->Count(KRescheduleBeginChange), Log->Count(KRescheduleEndChange));
  EXPECT_GT(Log->Count(KRescheduleBeginChange), 0);
}

TEST_F(Reschedule, PropagationStopsAtASuccessorAlreadyInPlace) {
  Task("A", Monday);
  Task("B", Tuesday);
  Task("C", Friday);
  Link("A", "B");
  Link("B", "C");
  ComPtr<TRescheduleSuccessorsCommand> command = make<TRescheduleSuccessorsCommand>(Model.get(), N("A"));
  Run(command.get(), N("A"));
  EXPECT_EQ(command->QueueCount(), 0) << "B starts right after A: no move";
  EXPECT_EQ(Start("C"), Friday) << "C is not looked at";
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

// What follows a phase follows it whichever of its subtasks moves it: one nested two phases deep,
// or, with a link pushed into the phase, one that is not its last subtask.
TEST_F(Reschedule, APhasesSuccessorFollowsTheSubtaskThatMovesThePhase) {
  Model->Map().Settings()->SetTaskScheduling(true);  // phases show their subtasks' dates
  Task("Outer", Monday);
  Task("Inner", Monday, 1, "Outer");
  Task("Deep", Monday, 1, "Inner");
  Task("Next", Tuesday);
  Link("Outer", "Next");
  Run(Move("Deep", Wednesday).get(), N("Deep"));
  EXPECT_EQ(Start("Next"), Thursday);

  Task("P", Monday);
  Task("S", Tuesday);
  Task("X", Tuesday, 3, "S");
  Task("Y", Wednesday, 1, "S");
  Task("C", Friday);
  Link("P", "S");
  Link("S", "C");
  // P a day later pushes X to Wednesday to Friday; Y, the last subtask, already starts right after P.
  Run(Move("P", Tuesday).get(), N("P"));
  EXPECT_EQ(Start("X"), Wednesday);
  EXPECT_EQ(Start("Y"), Wednesday);
  EXPECT_EQ(Start("C"), Day(8));
}

// Phases of chained tasks, chained themselves: the link each phase pushes into its subtasks reaches
// tasks its chain has moved already, and what follows a phase is looked at once its subtasks are in
// place, so every task is written once.
TEST_F(Reschedule, MovingTheHeadOfChainedPhasesWritesEachTaskOnce) {
  Model->Map().Settings()->SetTaskScheduling(true);
  const std::vector<std::string> phases{"P", "Q", "R"};
  std::vector<std::string> tasks;
  int day = 1;
  for (size_t p = 0; p < phases.size(); ++p) {
    const std::string& phase = phases[p];
    Task(phase, Monday);  // a record of its own, which shows its subtasks' dates
    if (p > 0) Link(phases[p - 1], phase);
    for (int i = 1; i <= 3; ++i, day += day % 7 == 5 ? 3 : 1) {
      tasks.push_back(phase + std::to_string(i));
      Task(tasks.back(), Day(day), 1, phase);
      if (i > 1) Link(phase + std::to_string(i - 1), tasks.back());
    }
  }
  Run(Move("P1", Tuesday).get(), N("P1"));
  const std::vector<std::string> written = Log->Nodes(11);
  EXPECT_EQ(written.size(), tasks.size()) << "each task written once";
  EXPECT_EQ(std::set<std::string>(written.begin(), written.end()).size(), tasks.size());
  const int after[] = {2, 3, 4, 5, 8, 9, 10, 11, 12};  // a working day later each
  for (size_t i = 0; i < tasks.size(); ++i) EXPECT_EQ(Start(tasks[i]), Day(after[i])) << tasks[i];
  Undo();
  EXPECT_EQ(Start("R3"), Day(11));
  // The pushes were judged as they went: redo replays what they queued, judging nothing again.
  Log->Changes.clear();
  Redo();
  EXPECT_EQ(Log->Nodes(11), written);
  for (size_t i = 0; i < tasks.size(); ++i) EXPECT_EQ(Start(tasks[i]), Day(after[i])) << tasks[i];
}

// A subtask that a push has yet to reach is placed by the push, once, after everything the subtasks
// before it moved: here B follows A inside the phase and X outside it, which A moves too. B's
// pushed start is where it stands already, yet A and X moved it on.
TEST_F(Reschedule, ASubtaskThatAPushReachesLaterMovesOnceAfterAllItsPredecessors) {
  Model->Map().Settings()->SetTaskScheduling(true);
  Task("P", Monday);
  Task("S", Tuesday);
  Task("A", Tuesday, 1, "S");
  Task("B", Thursday, 1, "S");
  Task("X", Wednesday);
  Task("C", Friday);
  Link("P", "S");
  Link("A", "B");
  Link("A", "X");
  Link("X", "B");
  Link("S", "C");
  Task("T", Tuesday);  // a phase whose second subtask starts where the pushed link puts it
  Task("T1", Tuesday, 1, "T");
  Task("T2", Wednesday, 1, "T");
  Link("P", "T");
  Link("T1", "T2");

  Run(Move("P", Tuesday).get(), N("P"));
  EXPECT_EQ(Start("A"), Wednesday);
  EXPECT_EQ(Start("X"), Thursday);
  EXPECT_EQ(Start("B"), Friday);
  EXPECT_EQ(Start("C"), Day(8)) << "what follows the phase follows its new finish";
  EXPECT_EQ(Start("T1"), Wednesday);
  EXPECT_EQ(Start("T2"), Thursday) << "its predecessor moved, though the pushed start is its own";
  const std::vector<std::string> written = Log->Nodes(11);
  EXPECT_EQ(written.size(), 7u);
  EXPECT_EQ(std::set<std::string>(written.begin(), written.end()).size(), 7u) << "each task written once";
}

// A link pushed into a phase reaches a subtask that another predecessor holds in place: that
// subtask does not move, but what follows it is still put where its link says.
TEST_F(Reschedule, APushedLinkPutsTheSuccessorsOfASubtaskInPlaceThatItLeavesAlone) {
  Model->Map().Settings()->SetTaskScheduling(true);
  Task("P", Day(1));
  Task("X", Day(4));
  Task("Q", Day(1));
  Task("Q1", Day(2), 1, "Q");
  Task("Q2", Day(5), 1, "Q");
  Task("W", Day(9));
  Link("P", "Q");
  Link("X", "Q2");
  Link("Q2", "W");
  Run(Move("P", Day(2)).get(), N("P"));
  EXPECT_EQ(Start("Q1"), Day(3));
  EXPECT_EQ(Start("Q2"), Day(5)) << "held by X";
  EXPECT_EQ(Start("W"), Day(8)) << "the working day after Q2";
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
  EXPECT_GE(Log->Count(KRescheduleBeginChange), 2) << "both ran; the roll-back undoes the first";
  EXPECT_EQ(Log->Count(KRescheduleBeginChange), Log->Count(KRescheduleEndChange));
  EXPECT_EQ(Start("A"), Monday);
  EXPECT_EQ(Start("B"), Monday);
}

// Links that lead in a circle, as a tree move or an edited file can leave them: through a summary
// above the first task and one around the last. The run stops with an error naming a link of the
// circle instead of moving the tasks later without end, and the map stays as it was.
TEST_F(Reschedule, ACircleOfLinksEndsTheRunWithAnErrorAndChangesNothing) {
  Task("Outer", 0);
  Task("A", Monday, 1, "Outer");
  Task("Around", 0);
  Task("B", Monday, 1, "Around");
  Task("Before", Monday);
  Link("A", "Around");
  Link("B", "Outer");
  Link("Before", "A");
  const std::string error = ThrownText<ELumetaError>([&] { Run(Move("Before", Tuesday).get(), N("Before")); });
  EXPECT_NE(error.find("the task links lead in a circle: the link from node "), std::string::npos) << error;
  EXPECT_EQ(Start("Before"), Monday);
  EXPECT_EQ(Start("A"), Monday);
  EXPECT_EQ(Start("B"), Monday);
  EXPECT_EQ(Model->GetCommandProcessor()->GetUndoCount(), 0);
}

TEST_F(Reschedule, AMissingTaskMakesAnEmptyCommandThatStillUndoes) {
  Task("A", Monday);
  ComPtr<TMoveTaskCommand> move = Move("A", Tuesday);
  ComPtr<TLumetaNode> detached = Model->Map().DetachNode(dynamic_cast<TLumetaNode*>(N("A")));
  Run(move.get(), nullptr);
  EXPECT_EQ(move->QueueCount(), 0);
  Undo();
}

// A command keeps its node's identifier, not the node: made before the node was deleted and
// another put in its place under the same identifier, it moves the one there when it runs.
TEST_F(Reschedule, ACommandMadeBeforeItsNodeWasReplacedMovesTheNodeNowCarryingItsIdentifier) {
  Task("A", Monday);
  const std::string id = N("A")->GetID();
  ComPtr<TMoveTaskCommand> move = Move("A", Wednesday);
  ComPtr<TLumetaNode> old = Model->Map().DetachNode(Nodes.at("A"));
  Nodes.erase("A");
  TLumetaNode* added = Model->Map().AddNodeWithID(Model->Map().Root(), std::stoll(id));
  ComPtr<IProperty> record = Model->NewProperty("Action");
  record.as<IAttribute>()->SetFlagEx(afLoaded, true, true);
  record.as<IActionAttribute>()->Assign(QueryAs<IActionAttribute>(old->FindProperty("Action").get()).get());
  added->SetProperty(record.get());
  Nodes["A"] = added;

  Run(move.get(), N("A"));
  EXPECT_EQ(Start("A"), Wednesday);
  EXPECT_EQ(QueryAs<IActionAttribute>(old->FindProperty("Action").get())->GetStartDate(), Monday);
  EXPECT_EQ(Log->Nodes(11), std::vector<std::string>{id});
  Undo();
  EXPECT_EQ(Start("A"), Monday);
}

// Writes B's dates, then another field through a property command (which puts a new record on the
// node), then B's dates again.
class TInterleavedWrites : public TRescheduleCommand {
 public:
  using TRescheduleCommand::TRescheduleCommand;

 protected:
  void Reschedule() override {
    ComPtr<INode> node = Node();
    WriteDates(node.get(), Wednesday, EndOf(Wednesday));
    ComPtr<IActionAttribute> changes = NewChanges();
    changes->SetConstraintDate(Friday);
    WriteAction(node.get(), changes.get());
    WriteDates(node.get(), Thursday, EndOf(Thursday));
  }
};

std::string Dump(IActionAttribute* AAction) { return QueryAs<IAttribute>(AAction)->DebugText(); }

TEST_F(Reschedule, DatesAreWrittenAsAPropertyEditWouldAndUndoRestoresTheRecordExactly) {
  Task("A", Monday);
  Task("B", Tuesday);
  Link("A", "B");
  const std::string before = Dump(A("B"));

  Run(Move("A", Wednesday).get(), N("A"));
  const std::string moved = Dump(A("B"));
  EXPECT_EQ(Start("B"), Thursday);
  Undo();
  EXPECT_EQ(Dump(A("B")), before) << "values and flags";

  ComPtr<IActionAttribute> changes =
      Model->GetPropertyClasses()->NewProperty("Action").as<IActionAttribute>();
  changes->SetStartDate(Thursday);
  changes->SetCompletedDate(EndOf(Thursday));
  Run(Model->GetCommandHelper()->PreparePropertyCommand(QueryAs<IProperty>(changes.get()).get(), nullptr, -1).get(),
      N("B"));
  EXPECT_EQ(Dump(A("B")), moved) << "the same record as a property command writes";
  Undo();

  Run(make<TInterleavedWrites>(Model.get(), N("B")).get(), N("B"));
  const std::string written = Dump(A("B"));
  EXPECT_EQ(A("B")->GetConstraintDate(), Friday);
  EXPECT_EQ(Start("B"), Thursday);
  Undo();
  EXPECT_EQ(Dump(A("B")), before);
  Redo();
  EXPECT_EQ(Dump(A("B")), written);
  Undo();
  EXPECT_EQ(Dump(A("B")), before);
}

// A start-no-earlier-than task that a phase holds later keeps its own start as its constraint
// date: the validation asks for that date and the move writes it as a step that undo takes back.
TEST_F(Reschedule, ConstraintDatesTheRulesAskForAreUndone) {
  Task("Phase", Thursday);
  A("Phase")->SetConstraintType(tcMustStartOn);
  A("Phase")->SetConstraintDate(Thursday);
  Task("T", Monday, 1, "Phase");
  A("T")->SetConstraintType(tcStartNoEarlierThan);
  A("T")->SetConstraintDate(Monday);
  const std::string before = Dump(A("T"));
  Run(Move("T", Tuesday).get(), N("T"));
  EXPECT_EQ(Start("T"), Thursday);
  EXPECT_EQ(A("T")->GetConstraintDate(), Tuesday);
  Undo();
  EXPECT_EQ(Dump(A("T")), before);
}

// Tasks 0..n-1 with finish-to-start links from lower to higher numbers, placed as a forward pass
// places them; moving task 0 must leave every task where a forward pass from its new start puts it,
// however many paths lead there.
TEST_F(Reschedule, DiamondsAndLatticesEndWhereAForwardPassPutsThem) {
  std::mt19937 random(5);
  std::uniform_int_distribution<int> days(1, 4);
  const auto check = [&](const std::string& AName, int ACount, const std::vector<std::pair<int, int>>& AEdges) {
    SCOPED_TRACE(AName);
    std::vector<int> durations(ACount);
    for (int& d : durations) d = days(random);
    const auto forwardPass = [&](double AFirstStart) {
      std::vector<double> start(ACount, Monday), finish(ACount);
      for (int i = 0; i < ACount; ++i) {
        if (i == 0) start[i] = AFirstStart;
        for (auto [from, to] : AEdges)
          if (to == i) start[i] = std::max(start[i], Scheduler()->StartAfter(finish[from]));
        finish[i] = Scheduler()->FinishForStart(start[i], durations[i]);
      }
      return start;
    };
    const std::vector<double> before = forwardPass(Monday);
    for (int i = 0; i < ACount; ++i) Task(AName + std::to_string(i), before[i], durations[i]);
    for (auto [from, to] : AEdges) Link(AName + std::to_string(from), AName + std::to_string(to));
    const auto starts = [&] {
      std::vector<double> result;
      for (int i = 0; i < ACount; ++i) result.push_back(Start(AName + std::to_string(i)));
      return result;
    };
    Run(Move(AName + "0", Wednesday).get(), N(AName + "0"));
    EXPECT_EQ(starts(), forwardPass(Wednesday));
  };

  for (int graph = 0; graph < 5; ++graph) {
    std::vector<std::pair<int, int>> edges;
    std::bernoulli_distribution linked(0.3);
    for (int from = 0; from < 12; ++from)
      for (int to = from + 1; to < 12; ++to)
        if (linked(random)) edges.emplace_back(from, to);
    check("dag" + std::to_string(graph) + "_", 12, edges);
  }
  std::vector<std::pair<int, int>> lattice;
  for (int row = 0; row < 6; ++row)
    for (int column = 0; column < 6; ++column) {
      if (column < 5) lattice.emplace_back(row * 6 + column, row * 6 + column + 1);
      if (row < 5) lattice.emplace_back(row * 6 + column, row * 6 + column + 6);
    }
  check("lattice_", 36, lattice);
}

// Phases of tasks, some chained inside a phase, some linked across phases, the phases linked to
// later ones: a run asks again about tasks it has placed, and what it has read of them must not go
// stale when a later placement changes a predecessor. Moving the first task later, then earlier,
// must leave every task where a forward pass puts it.
TEST_F(Reschedule, PhasesLinkedAcrossEndWhereAForwardPassPutsThem) {
  Model->Map().Settings()->SetTaskScheduling(true);
  std::mt19937 random(11);
  std::uniform_int_distribution<int> days(1, 3);
  std::bernoulli_distribution chained(0.7), crossed(0.15), phaseLinked(0.6);
  constexpr int KPhases = 4, KSize = 5, KCount = KPhases * KSize;
  for (int graph = 0; graph < 16; ++graph) {
    SCOPED_TRACE(graph);
    const std::string prefix = "g" + std::to_string(graph) + "_";
    const auto phase = [&](int AP) { return prefix + "P" + std::to_string(AP); };
    const auto task = [&](int AI) { return prefix + std::to_string(AI); };
    std::vector<int> durations(KCount);
    for (int& d : durations) d = days(random);
    std::vector<std::pair<int, int>> taskLinks, phaseLinks;
    for (int to = 0; to < KCount; ++to)
      for (int from = 0; from < to; ++from)
        if (from / KSize == to / KSize ? from + 1 == to && chained(random) : crossed(random))
          taskLinks.emplace_back(from, to);
    for (int to = 1; to < KPhases; ++to)
      for (int from = 0; from < to; ++from)
        if (phaseLinked(random)) phaseLinks.emplace_back(from, to);
    // A phase's link holds every task in the later phase after the earlier phase's last finish.
    const auto forwardPass = [&](double AFirstStart) {
      std::vector<double> start(KCount, Monday), finish(KCount), phaseFinish(KPhases, 0);
      for (int i = 0; i < KCount; ++i) {
        if (i == 0) start[i] = AFirstStart;
        for (auto [from, to] : taskLinks)
          if (to == i) start[i] = std::max(start[i], Scheduler()->StartAfter(finish[from]));
        for (auto [from, to] : phaseLinks)
          if (to == i / KSize) start[i] = std::max(start[i], Scheduler()->StartAfter(phaseFinish[from]));
        finish[i] = Scheduler()->FinishForStart(start[i], durations[i]);
        phaseFinish[i / KSize] = std::max(phaseFinish[i / KSize], finish[i]);
      }
      return start;
    };
    const std::vector<double> before = forwardPass(Monday);
    for (int p = 0; p < KPhases; ++p) Task(phase(p), Monday);
    for (int i = 0; i < KCount; ++i) Task(task(i), before[i], durations[i], phase(i / KSize));
    for (auto [from, to] : taskLinks) Link(task(from), task(to));
    for (auto [from, to] : phaseLinks) Link(phase(from), phase(to));
    const auto starts = [&] {
      std::vector<double> result;
      for (int i = 0; i < KCount; ++i) result.push_back(Start(task(i)));
      return result;
    };
    Run(Move(task(0), Thursday).get(), N(task(0)));
    EXPECT_EQ(starts(), forwardPass(Thursday));
    Run(Move(task(0), Tuesday).get(), N(task(0)));
    EXPECT_EQ(starts(), forwardPass(Tuesday));
  }
}

// Long enough to overflow the stack if any step nested a native call per task.
// Does something once, at the first change it hears of.
class TOnFirstChange : public TImplements<TAggregableObject, IObserver> {
 public:
  void Update(IUnknown*) override {
    if (std::function<void()> action = std::exchange(Action, nullptr)) action();
  }
  std::function<void()> Action;
};

// A second map with its own processor, for runs that cross models.
struct TOtherModel : TPlugInModel {
  using TPlugInModel::Link, TPlugInModel::Model, TPlugInModel::Move, TPlugInModel::N, TPlugInModel::Run,
      TPlugInModel::SetUp, TPlugInModel::Start, TPlugInModel::Task, TPlugInModel::TearDown, TPlugInModel::Undo;
  void TestBody() override {}
};

TEST_F(Reschedule, ARunStartedByAnObserverOfAnotherRunWorksOnItsOwnModel) {
  TOtherModel other;
  other.SetUp();
  other.Task("X", Monday);
  other.Task("Y", Tuesday);
  other.Link("X", "Y");
  Task("A", Monday);
  Task("B", Tuesday);
  Link("A", "B");
  ComPtr<TOnFirstChange> observer = make<TOnFirstChange>();
  ComPtr<TMoveTaskCommand> otherMove;
  observer->Action = [&] {
    otherMove = other.Move("X", Tuesday);
    other.Run(otherMove.get(), other.N("X"));
  };
  Model->Subject()->Attach(observer.get());
  Run(Move("A", Tuesday).get(), N("A"));
  Model->Subject()->Detach(observer.get());

  EXPECT_EQ(Start("B"), Wednesday);
  EXPECT_EQ(other.Start("Y"), Wednesday);
  EXPECT_EQ(Model->GetCommandProcessor()->GetUndoCount(), 1);
  EXPECT_EQ(other.Model->GetCommandProcessor()->GetUndoCount(), 1);
  // The other run keeps for its undo what it wrote, both tasks, and nothing of this run.
  EXPECT_EQ(otherMove->QueueCount(), 2) << "the writes of X and of its successor Y";
  other.Undo();
  EXPECT_EQ(other.Start("Y"), Tuesday);
  EXPECT_EQ(Start("B"), Wednesday) << "the other map's undo leaves this one";
  Undo();
  EXPECT_EQ(Start("B"), Tuesday);
  other.TearDown();
}

// Nodes find their properties by the map's class order: every change of places must be seen.
TEST_F(Reschedule, PropertiesAreFoundByNameAfterTheyChangePlacesOrMaps) {
  Task("A", Monday);
  Task("B", Tuesday);
  Link("A", "B");
  INode* a = N("A");
  const auto nameOf = [&](const char* AName) {
    ComPtr<IProperty> property = a->FindProperty(AName);
    return property ? property->GetPropertyName() : std::string("-");
  };
  const auto expectNames = [&](const std::string& AAction, const std::string& APredecessors,
                               const std::string& ASuccessors) {
    EXPECT_EQ(nameOf("Action"), AAction);
    EXPECT_EQ(nameOf("NodeLinks"), APredecessors);
    EXPECT_EQ(nameOf("SuccessorNodeLinks"), ASuccessors);
    EXPECT_EQ(nameOf("NoSuchClass"), "-");
  };
  expectNames("Action", "-", "SuccessorNodeLinks");
  Links(a, "NodeLinks");  // lands between the two others
  expectNames("Action", "NodeLinks", "SuccessorNodeLinks");
  ASSERT_TRUE(a->RemoveProperty("Action"));
  expectNames("-", "NodeLinks", "SuccessorNodeLinks");
  ComPtr<IProperty> action = Model->NewProperty("Action");
  a->SetProperty(action.get());
  expectNames("Action", "NodeLinks", "SuccessorNodeLinks");
  EXPECT_EQ(a->FindProperty("Action").get(), action.get());

  TLumetaMap other;  // knows no property classes
  Model->Map().Swap(other);
  expectNames("Action", "NodeLinks", "SuccessorNodeLinks");
  Model->Map().Swap(other);
  expectNames("Action", "NodeLinks", "SuccessorNodeLinks");

  // The model answers for its subject first; the answer is the same as the subject's own.
  ComPtr<ISubject> subject = QueryAs<ISubject>(static_cast<ILumetaModel*>(Model.get()));
  EXPECT_EQ(subject.get(), static_cast<ISubject*>(Model->Subject()));
  EXPECT_EQ(QueryAs<IUnknown>(subject.get()).get(), QueryAs<IUnknown>(static_cast<ILumetaModel*>(Model.get())).get());
}

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
