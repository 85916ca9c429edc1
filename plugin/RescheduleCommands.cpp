#include "plugin/RescheduleCommands.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "commands/PropertyCommandHelper.h"
#include "com/ComObject.h"
#include "commands/SelectionData.h"
#include "plugin/ActionAttributes.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "contract/SubjectHoldIntf.h"
#include "plugin/ActionHelpers.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "plugin/NodeTable.h"
#include "plugin/RolledUpAction.h"
#include "plugin/TaskLinkHelper.h"

class TSummaryMovedCommand;

// What one run shares: the model with its processor, subject and tree, the map's scheduler, the
// roll-ups and predecessor lists validations read, and the summaries whose moved check is queued
// and has not run yet, so that a chain of subtasks rolls its summary up twice per run rather than
// twice per subtask. A run writes dates and constraints, never the map settings or the tree.
struct TScheduleRun {
  TScheduleRun(TRescheduleCommand* ATop, ILumetaModel* AModel)
      : Top(ATop), Serial(ATop->StartRun()), Model(AModel), Processor(AModel->GetCommandProcessor().get()),
        Tree(AModel->GetTree().get()) {
    ComPtr<ISubject> subject = QueryAs<ISubject>(static_cast<IUnknown*>(AModel));
    Subject = subject.get();  // the model's: it outlives the run
  }
  TScheduleRun(const TScheduleRun&) = delete;
  TScheduleRun& operator=(const TScheduleRun&) = delete;

  const TRescheduleCommand* Top;
  uint32_t Serial;
  ILumetaModel* Model;         // none of these is counted: the model holds them
  ICommandProcessor* Processor;
  ITree* Tree;
  ISubject* Subject = nullptr;
  // The working scheduler of the map whose root is SchedulerRoot, once asked: the look-up costs
  // several queries per task.
  INode* SchedulerRoot = nullptr;
  ComPtr<IWorkingScheduler> Scheduler;
  TRollUpMemo RollUps;
  TScheduleReads Reads{&RollUps};
  std::unordered_map<INode*, TSummaryMovedCommand*> PendingSummaries;  // the map holds the nodes
  // Subtasks that a link pushed into their summary has yet to reach, each with whether a successor
  // walk left its move to the push: the push validates the subtask against all its links once,
  // after the subtasks before it, where the walk and then the push each did so.
  class TPushPending {
   public:
    bool Empty() const noexcept { return FPending == 0; }
    // Notes a subtask the push will reach; one noted already keeps its state.
    void Add(INode* ASubtask) {
      if (TState& state = FStates[ASubtask]; state == TState::None) {
        state = TState::Pending;
        ++FPending;
      }
    }
    // Leaves the subtask's move to its push; false when no push is pending for it.
    bool Owe(INode* ASubtask) noexcept {
      TState* state = FStates.Find(ASubtask);
      if (!state || *state == TState::None) return false;
      *state = TState::Owed;
      return true;
    }
    // The push reaches the subtask: whether a walk left its move to the push.
    bool Take(INode* ASubtask) noexcept {
      TState* state = FStates.Find(ASubtask);
      if (!state || *state == TState::None) return false;
      const bool owed = *state == TState::Owed;
      *state = TState::None;
      // The last push done: its subtasks leave the table, which stays as small as a phase.
      if (--FPending == 0) FStates.Clear();
      return owed;
    }

   private:
    enum class TState : uint8_t { None, Pending, Owed };
    TNodeTable<TState> FStates;
    size_t FPending = 0;
  } PushPending;
  // The run posts several changes per task; held here, the subject's rounds need not count.
  ComPtr<ISubjectHold> Held = QueryAs<ISubjectHold>(static_cast<IUnknown*>(Model));

  // On the outermost command's first run: every command the run carries out, taken over in the
  // order it does so. The outermost command keeps this list for undo and redo, and the commands
  // that worked it out go as soon as they are done, so a run that moves every task of a large plan
  // reuses their memory, and undo walks one list instead of a command per task.
  bool Recording = false;
  TRescheduleCommand::TQueue Done;
};

namespace {

ICommandProcessor* ProcessorOf(ILumetaModel* AModel) {
  return AModel ? AModel->GetCommandProcessor().get() : nullptr;  // the model owns it; the base refuses none
}

}  // namespace

// Writes a task's start and finish into the record on the node, keeping only those fields' old
// values: a run writes the dates of every task it moves, and a property command would copy the
// whole record twice for each. Reports change 11 on the node as a property command does.
class TActionDatesCommand : public TImplements<TComObject, ICommand> {
 public:
  // ARecord, when given, is the node's record as the caller read it, sparing the first run a look-up.
  TActionDatesCommand(const TScheduleRun& ARun, const TTaskNode& ANode, double AStart, double AFinish,
                      IActionAttribute* ARecord)
      : FTree(ARun.Tree),
        FSubject(ARun.Subject),
        FNodeID(ANode.ID),
        FStart(AStart),
        FFinish(AFinish),
        FFirstNode(ANode.Node),
        FFirstRecord(ARecord) {}

  static void* operator new(size_t ASize) { return TAttribute::operator new(ASize); }
  static void operator delete(void* AObject, size_t ASize) noexcept { TAttribute::operator delete(AObject, ASize); }

  ComPtr<ISubject> GetSubject() override { return ComPtr<ISubject>(FSubject); }
  std::string GetDescription() override { return {}; }
  ComPtr<ISelection> GetState() override { return NodeSelection(FindNode().get()); }
  ComPtr<INode> GetUndoNode() override { return {}; }
  // The node is known by its identifier; the selection adds nothing.
  void SetState(ISelection*) override {}

  // A node or record gone meanwhile leaves nothing to write, as for a property command.
  void Execute() override {
    // The first run comes straight from the command that has the node in hand; redo looks it up.
    ComPtr<INode> node = FFirstNode ? ComPtr<INode>(std::exchange(FFirstNode, nullptr)) : FindNode();
    IActionAttribute* known = std::exchange(FFirstRecord, nullptr);
    FAction = known ? ComPtr<IActionAttribute>(known) : TActionHelper::GetAction(node.get(), false);
    FRecord = TActionAttribute::FromAction(FAction.get());
    if (!FRecord) return FAction.reset();
    FBefore = FRecord->SaveDates();
    FRecord->WriteDates(FStart, FFinish);
    Report(node.get());
  }
  // Restores the very record it wrote, wherever it is now: it is the node's again once the
  // commands after this one are undone.
  void UnExecute() override {
    if (!FAction || !FRecord) return;
    FRecord->RestoreDates(FBefore);
    FAction.reset();
    FRecord = nullptr;
    if (ComPtr<INode> node = FindNode()) Report(node.get());
  }

  // Undo walks thousands of these in a row, each with a record far from the last in a large map:
  // it asks for each command's memory, then its record's, then the record's slots, some steps
  // ahead, so that the waits overlap. Each step reads only what the one before asked for.
  void PrefetchUndo(int AStep) noexcept {
    if (AStep == 0) {
      const char* first = reinterpret_cast<const char*>(this);
      for (const char* line = first; line < first + sizeof(*this); line += 64) __builtin_prefetch(line);
    } else if (FRecord) {
      if (AStep == 1)
        FRecord->PrefetchRecord();
      else
        FRecord->PrefetchDates();
    }
  }

 private:
  ComPtr<INode> FindNode() { return FTree ? FTree->FindNode(FNodeID) : nullptr; }
  void Report(INode* ANode) {
    if (FSubject) FSubject->AddChange(KPropertyWriteChange, ANode);
  }

  static constexpr int32_t KPropertyWriteChange = 11;

  // Not counted, as for every composite: the model, which holds both, outlives its commands.
  ITree* FTree;
  ISubject* FSubject;
  std::string FNodeID;
  double FStart;
  double FFinish;
  ComPtr<IActionAttribute> FAction;  // the record written, until undone
  TActionAttribute* FRecord = nullptr;  // the object behind FAction, which holds it
  TActionAttribute::TDatesState FBefore;
  INode* FFirstNode;  // not counted: the node of the first run, which follows construction at once
  IActionAttribute* FFirstRecord;  // likewise, its record
};

void ThrowLinkCircle(const std::vector<TTaskLinkHelper::TLinkEnds>& ACircle) {
  throw ELumetaError("the task links lead in a circle: " + TTaskLinkHelper::CircleText(ACircle) +
                     ", so the tasks on the way would move later without end; remove or change one of those links");
}

ComPtr<ISelection> NodeSelection(INode* ANode) {
  ComPtr<TData> selection = make<TData>();
  if (ANode) selection->Add(ANode);
  return selection;
}

// Not counted: the top command is held by whoever runs it, every other by its parent's queue,
// which a run only appends to.
struct TRunFrame {
  TRescheduleCommand* Command;
  size_t Next;  // entries done so far (undo counts from the back)
  ComPtr<ICommand> Held;  // the command, when the one that queued it has gone already
};

// A frame stack whose room outlives the run: a chain's stack can grow to a frame per task, and
// growing it afresh every run copied it and, past a few hundred kilobytes, faulted in new pages.
// The outermost command keeps it for its undo and redo.
struct TFrameRoom {
  std::vector<TRunFrame> Frames;
  uint32_t RunsStarted = 0;  // runs the command opened as the outermost
};

uint32_t TRescheduleCommand::StartRun() {
  if (!FFrameRoom) FFrameRoom = std::make_unique<TFrameRoom>();
  return ++FFrameRoom->RunsStarted;
}

// Runs nested queues depth first with an explicit stack of frames: an entry that is itself a
// reschedule command is opened in place (its own queue pushed as a frame) rather than executed
// through the processor, which would nest one native call per task.
class TRescheduleRunner {
 public:
  static void Execute(TRescheduleCommand* ATop) { Run(ATop, false); }
  static void UnExecute(TRescheduleCommand* ATop) { Run(ATop, true); }

 private:
  using TFrame = TRunFrame;

  // A circle of task links would move its tasks later and later without end, and a map can hold
  // one: a tree move or an edited file can close it where no link command would. A task whose
  // commands open again and again in one run is checked for a successor link that leads back (each
  // circle holds such a link, and the task it starts from moves in every round). The count that
  // calls for the next check doubles, so a task with many predecessors that all moved costs few.
  class TCircleGuard {
   public:
    void Opened(const TScheduleRun& ARun, TRescheduleCommand* ACommand) {
      // Commands made during the run know their node; the few made before it are not counted.
      if (!ACommand->FRunNode || ACommand->FMadeByTop != ARun.Top || ACommand->FMadeInRun != ARun.Serial) return;
      if (FirstOpen(ACommand->FRunNode)) return;
      TCount& count = FCounts[ACommand->FRunNode];
      if (++count.Opened < count.NextCheck) return;
      count.NextCheck *= 2;
      if (const TTaskLinkHelper::TLinkEnds link = TTaskLinkHelper::LinkLeadingBack(ACommand->FRunNode, false))
        ThrowLinkCircle({link});
    }

   private:
    struct TCount {
      uint32_t Opened = 0;
      uint32_t NextCheck = 16;
    };
    // Most tasks open once a run: a bit per task, hashed, tells a first open without the table,
    // which then holds only tasks seen before (and the few that share a bit with one). The bits
    // grow with the opens; what a growth forgets only delays a check by an open.
    bool FirstOpen(const INode* ANode) {
      if (++FOpens * 8 > FSeen.size() * 64 && FSeen.size() < KMaxSeenWords)
        FSeen.assign(std::max<size_t>(FSeen.size() * 4, 64), 0);
      uint64_t x = reinterpret_cast<uintptr_t>(ANode);
      x ^= x >> 33;
      x *= 0xff51afd7ed558ccdULL;
      x ^= x >> 33;
      const size_t bit = static_cast<size_t>(x) & (FSeen.size() * 64 - 1);
      uint64_t& word = FSeen[bit / 64];
      const uint64_t mask = uint64_t{1} << (bit % 64);
      const bool first = !(word & mask);
      word |= mask;
      return first;
    }
    static constexpr size_t KMaxSeenWords = size_t{1} << 15;  // 2 million bits
    std::vector<uint64_t> FSeen;
    size_t FOpens = 0;
    TNodeTable<TCount> FCounts;
  };

  // Undo goes through a run's record from the back: the date writes some entries before the one
  // about to be undone are asked, step by step, for the memory their undo will read.
  static void ReadAheadForUndo(TRescheduleCommand::TQueue& AQueue, size_t AIndex) {
    constexpr size_t KStride = 4;
    for (int step = 0; step < 3; ++step) {
      const size_t ahead = KStride * static_cast<size_t>(3 - step);
      if (AIndex < ahead) continue;
      // The entry's command holds the one it names.
      if (const TRescheduleCommand::TEntry& entry = AQueue[AIndex - ahead]; entry.Dates && entry.Command)
        entry.Dates->PrefetchUndo(step);
    }
  }

  static void Post(TScheduleRun& ARun, TRescheduleCommand* ACommand, int32_t ACode) {
    if (ARun.Subject) ARun.Subject->AddChange(ACode, static_cast<ICommand*>(ACommand));
  }

  static void Open(std::vector<TFrame>& AStack, TCircleGuard& AGuard, TScheduleRun& ARun, TRescheduleCommand* ACommand,
                   bool AUndo, ComPtr<ICommand> AHeld = {}) {
    if (!AUndo) AGuard.Opened(ARun, ACommand);
    Post(ARun, ACommand, KRescheduleBeginChange);
    AStack.push_back({ACommand, 0, std::move(AHeld)});
    ACommand->FScheduleRun = &ARun;
    if (!AUndo && !ACommand->FRescheduled) {
      ACommand->FRescheduled = true;
      ACommand->Reschedule();
    }
  }

  static void Run(TRescheduleCommand* ATop, bool AUndo) {
    // A command run through the processor by another of the same run joins that run.
    std::optional<TScheduleRun> own;
    TScheduleRun* run = ATop->FScheduleRun;
    if (!run) run = &own.emplace(ATop, ATop->Model());
    const bool first = own && !AUndo && !ATop->FRescheduled;
    if (first) {
      run->Recording = true;
      // Entries added and run before the command itself ran come first; they stay marked as run.
      for (size_t i = 0; i < ATop->FQueue.size(); ++i)
        if (TRescheduleCommand::TEntry& entry = ATop->FQueue[i]; entry.Executed)
          run->Done.push_back({std::move(entry.Command), std::move(entry.Selection), nullptr, false});
    }
    // The outermost command keeps the room of its frame stack; a joining one borrows its own.
    if (!ATop->FFrameRoom) ATop->FFrameRoom = std::make_unique<TFrameRoom>();
    std::vector<TFrame> stack = std::move(ATop->FFrameRoom->Frames);
    stack.clear();
    TCircleGuard guard;
    const auto leave = [&](TRescheduleCommand* ACommand) {
      ACommand->FScheduleRun = nullptr;
      Post(*run, ACommand, KRescheduleEndChange);
    };
    // Closes the innermost frame. While the run records, its command is let go: what it did is in
    // the record, and the entry that opened it, or the frame itself, held the last reference.
    const auto close = [&] {
      TRescheduleCommand* done = stack.back().Command;
      const ComPtr<ICommand> held = std::move(stack.back().Held);
      stack.pop_back();
      leave(done);
      if (!run->Recording || stack.empty()) return;
      const TFrame& parent = stack.back();
      if (TRescheduleCommand::TEntry& opened = parent.Command->FQueue[parent.Next - 1]; opened.Nested == done)
        opened = {};
    };
    try {
      Open(stack, guard, *run, ATop, AUndo);
      while (!stack.empty()) {
        TFrame& frame = stack.back();
        TRescheduleCommand* command = frame.Command;
        auto& queue = command->FQueue;
        if (frame.Next == queue.size()) {
          if (!AUndo && command->Continue()) continue;
          close();
          continue;
        }
        if (AUndo) ReadAheadForUndo(queue, queue.size() - 1 - frame.Next);
        TRescheduleCommand::TEntry& entry = queue[AUndo ? queue.size() - 1 - frame.Next : frame.Next];
        ++frame.Next;
        if (!AUndo && entry.Executed) {
          entry.Executed = false;  // ran when it was added
          continue;
        }
        ICommand* next = entry.Command.get();
        if (TRescheduleCommand* nested = entry.Nested) {
          // The sub-commands a command queues itself come without a selection: each knows its node.
          if (!AUndo && entry.Selection) nested->SetState(entry.Selection.get());
          ComPtr<ICommand> held;
          // A command with nothing left to do but open its last entry, and nothing to add after it,
          // closes first: a chain of moves, each queueing the next, then keeps one frame open
          // rather than one per task, and each move goes once it is done. The outermost stays open
          // around everything.
          if (run->Recording && frame.Next == queue.size() && command != ATop && !command->MayContinue()) {
            held = std::move(entry.Command);
            entry = {};
            close();
          }
          Open(stack, guard, *run, nested, AUndo, std::move(held));  // may invalidate frame
        } else if (AUndo) {
          run->Processor->Undo(next);
        } else {
          run->Processor->Execute(next, entry.Selection.get());
          if (run->Recording) run->Done.push_back(std::move(entry));
          run->RollUps.Clear();  // it may have written any record, or put new ones on nodes
          run->Reads.Forget();
        }
      }
    } catch (...) {
      const std::exception_ptr error = std::current_exception();
      while (!stack.empty()) {
        TRescheduleCommand* command = stack.back().Command;
        const ComPtr<ICommand> held = std::move(stack.back().Held);
        stack.pop_back();
        try {
          leave(command);
        } catch (...) {
          // the command's own error is the one to pass on
        }
      }
      ATop->FFrameRoom->Frames = std::move(stack);
      std::rethrow_exception(error);
    }
    ATop->FFrameRoom->Frames = std::move(stack);
    if (first) {
      // From now on undo and redo replay what the run did; the commands that worked it out go.
      std::swap(ATop->FQueue, run->Done);
      run->Recording = false;
      run->Done.clear();
    }
  }
};

// ---- TRescheduleCommand

TRescheduleCommand::TRescheduleCommand(ILumetaModel* AModel, const TTaskNode& ANode)
    : TCompositeCommand(AModel, ProcessorOf(AModel)), FNodeID(ANode.ID), FRunNode(ANode.Node) {}

const TRescheduleCommand::TEntry& TRescheduleCommand::TQueue::at(size_t AIndex) const {
  if (AIndex >= size()) throw std::out_of_range("reschedule queue index");
  return AIndex < KInline ? FInline[AIndex] : FMore[AIndex - KInline];
}

void TRescheduleCommand::TQueue::push_back(TEntry&& AEntry) {
  if (FInlineCount < KInline)
    FInline[FInlineCount++] = std::move(AEntry);
  else
    FMore.push_back(std::move(AEntry));
}

void TRescheduleCommand::TQueue::clear() noexcept {
  for (size_t i = 0; i < FInlineCount; ++i) FInline[i] = TEntry{};
  FInlineCount = 0;
  FMore.clear();
}

TRescheduleCommand::~TRescheduleCommand() {
  // A long chain nests a command per task. The entries of nested commands that only this one
  // holds are taken over before each is let go, so that each dies with an empty queue and no
  // destructor runs inside another.
  if (FQueue.size() == 0) return;
  std::vector<TEntry> pending;
  const auto takeQueue = [&pending](TQueue& AQueue) {
    for (size_t i = 0; i < AQueue.size(); ++i) pending.push_back(std::move(AQueue[i]));
    AQueue.clear();
  };
  const auto release = [&takeQueue](TEntry AEntry) {
    if (TRescheduleCommand* nested = AEntry.Nested) {
      nested->AddRef();
      if (nested->Release() == 1) takeQueue(nested->FQueue);  // the entry holds the last reference
    }
  };
  // The own queue goes from the back where it lies: a run's record holds an entry per task moved,
  // and copying them all out first wrote as much memory again. Each entry's nested ones go before
  // the entry before it, as they would from one stack.
  for (size_t i = FQueue.size(); i-- > 0;) {
    // Each command lies far from the last in a large map: asked for some entries ahead.
    if (constexpr size_t ahead = 8; i >= ahead)
      if (const TEntry& next = FQueue[i - ahead]; next.Dates && next.Command) next.Dates->PrefetchUndo(0);
    release(std::move(FQueue[i]));
    while (!pending.empty()) {
      TEntry entry = std::move(pending.back());
      pending.pop_back();
      release(std::move(entry));
    }
  }
  FQueue.clear();
}

// Each class from the pool of its size: a chain's run makes one move per task, and the moves of a
// run then lie one after another.
void* TRescheduleCommand::operator new(size_t ASize) { return TAttribute::operator new(ASize); }

void TRescheduleCommand::operator delete(void* AObject, size_t ASize) noexcept {
  TAttribute::operator delete(AObject, ASize);
}

void TRescheduleCommand::Execute() { TRescheduleRunner::Execute(this); }

void TRescheduleCommand::UnExecute() { TRescheduleRunner::UnExecute(this); }

void TRescheduleCommand::Adopt(TRescheduleCommand* ACommand) const noexcept {
  if (!FScheduleRun) return;
  ACommand->FMadeByTop = FScheduleRun->Top;
  ACommand->FMadeInRun = FScheduleRun->Serial;
}

void TRescheduleCommand::AddCommand(ICommand* ACommand, ISelection* ASelection, bool AExecuteNow) {
  if (!ACommand) return;
  TRescheduleCommand* nested = dynamic_cast<TRescheduleCommand*>(ACommand);
  if (nested) Adopt(nested);
  // A command run now while the run records goes straight to the record; a reschedule command that
  // joins the run records what it does itself.
  const bool recorded = AExecuteNow && !nested && FScheduleRun && FScheduleRun->Recording;
  TEntry entry{ComPtr<ICommand>(ACommand), ComPtr<ISelection>(ASelection), nested, AExecuteNow};
  if (!recorded) FQueue.push_back(std::move(entry));
  if (!AExecuteNow) return;
  // A reschedule command run now joins this one's run.
  if (nested) nested->FScheduleRun = FScheduleRun;
  CommandProcessor()->Execute(ACommand, ASelection);
  if (recorded) FScheduleRun->Done.push_back({std::move(entry.Command), std::move(entry.Selection), nullptr, false});
  if (FScheduleRun) {
    TRollUpMemo& memo = FScheduleRun->RollUps;
    const int32_t count = ASelection ? ASelection->GetCount() : 0;
    if (count == 0 || nested) memo.Clear();
    FScheduleRun->Reads.Forget();  // a property command puts new records on its nodes
    for (int32_t i = 0; i < count; ++i) memo.ForgetAbove(QueryAs<INode>(ASelection->GetItem(i).get()).get());
  }
}

void TRescheduleCommand::Queue(ComPtr<TRescheduleCommand> ACommand) {
  if (!ACommand) return;
  TRescheduleCommand* nested = ACommand.get();
  Adopt(nested);
  FQueue.push_back({ComPtr<ICommand>(std::move(ACommand)), nullptr, nested, false});
}

TScheduleReads* TRescheduleCommand::Reads() const noexcept { return FScheduleRun ? &FScheduleRun->Reads : nullptr; }

TRollUpMemo* TRescheduleCommand::RollUps() const noexcept { return FScheduleRun ? &FScheduleRun->RollUps : nullptr; }

ComPtr<IWorkingScheduler> TRescheduleCommand::GetWorkingScheduler() { return MapScheduler(Node().get()); }

ComPtr<IWorkingScheduler> TRescheduleCommand::MapScheduler(INode* ATask) {
  TScheduleRun* run = FScheduleRun;
  if (!run) return FindWorkingScheduler(ATask ? ATask : Model()->GetTree()->GetRoot().get());
  // Every task of a run is a node of the run's tree: one map, one scheduler.
  if (run->SchedulerRoot) return run->Scheduler;
  const ComPtr<INode> root = ATask ? ATask->GetRoot() : run->Tree->GetRoot();
  if (!root) return {};
  if (root.get() != run->SchedulerRoot) {
    run->Scheduler = FindWorkingScheduler(root.get());
    run->SchedulerRoot = root.get();
  }
  return run->Scheduler;
}

namespace {

// Leaves the move of a successor by a start link to the push that has yet to reach it, noting that
// it owes one; true when it did.
bool LeaveToPush(TScheduleRun* ARun, ITaskLink* ALink, INode* ASuccessor) {
  if (!ARun || ARun->PushPending.Empty()) return false;
  const TTaskLinkType type = ALink->GetLinkType();
  if (type != ltFinishToStart && type != ltStartToStart) return false;
  return ARun->PushPending.Owe(ASuccessor);
}

// Whether a successor walk from ANode would queue nothing: it has no successor, or each is left to a
// push.
bool AllLeftToPushes(TScheduleRun* ARun, INode* ANode) {
  ComPtr<INodeLinkList2> links = TLumetaSuccessorLinksProperty::Of(ANode);
  const int32_t count = links ? links->GetCount() : 0;
  bool all = true;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<ITaskLink> link = QueryAs<ITaskLink>(links->GetLink(i).get());
    ComPtr<INode> successor = link ? link->GetLinkedNode() : nullptr;
    if (successor && (successor->IsSummaryTask() || !LeaveToPush(ARun, link.get(), successor.get()))) all = false;
  }
  return all;
}

}  // namespace

void TRescheduleCommand::CheckSuccessors(const TTaskNode& ANode) {
  const bool pushing = FScheduleRun && !FScheduleRun->PushPending.Empty();
  if (pushing ? AllLeftToPushes(FScheduleRun, ANode.Node) : !TTaskLinkHelper::HasSuccessors(ANode.Node)) return;
  Queue(make<TRescheduleSuccessorsCommand>(Model(), ANode));
}

ComPtr<TRescheduleCommand> TRescheduleCommand::CreateLinkCommand(ILumetaModel* AModel, TTaskLinkType ALinkType,
                                                                 const TTaskNode& ASuccessor, const TTaskNode& APredecessor,
                                                                 bool ACarried) {
  switch (ALinkType) {
    case ltFinishToStart: return make<TRescheduleFinishToStartCommand>(AModel, ASuccessor, APredecessor, ACarried);
    case ltStartToStart: return make<TRescheduleStartToStartCommand>(AModel, ASuccessor, APredecessor, ACarried);
    case ltFinishToFinish: return make<TRescheduleFinishToFinishCommand>(AModel, ASuccessor, APredecessor, ACarried);
    case ltStartToFinish: return make<TRescheduleStartToFinishCommand>(AModel, ASuccessor, APredecessor, ACarried);
  }
  return {};
}

ComPtr<INode> TRescheduleCommand::Node() { return RunNode(FRunNode, FNodeID); }

ComPtr<INode> TRescheduleCommand::RunNode(INode* ANode, const std::string& AID) {
  const TScheduleRun* run = FScheduleRun;
  if (ANode && run && FMadeByTop == run->Top && FMadeInRun == run->Serial) return ComPtr<INode>(ANode);
  return FindNode(AID);
}

ComPtr<INode> TRescheduleCommand::FindNode(const std::string& AID) {
  if (AID.empty()) return {};
  if (FScheduleRun) return FScheduleRun->Tree->FindNode(AID);
  ComPtr<ITree> tree = Model()->GetTree();
  return tree ? tree->FindNode(AID) : nullptr;
}

ComPtr<IActionAttribute> TRescheduleCommand::NewChanges() {
  return Model()->GetPropertyClasses()->NewProperty(TActionPropertyManager::ClassDescription).as<IActionAttribute>();
}

void KeepTaskStatus(INode* ANode, IActionAttribute* AChanges) {
  ComPtr<IStructuredAttribute> changes = QueryAs<IStructuredAttribute>(AChanges);
  ComPtr<IAttribute> status = changes ? changes->FindChild("Status") : nullptr;
  if (!status || !status->IsModified()) return;
  TActionAttribute* record = TActionAttribute::FromAction(TActionHelper::GetAction(ANode, false).get());
  if (record && !record->StoredStatus().empty()) status->SetFlagEx(afLoaded | afModified, false, false);
}

void TRescheduleCommand::WriteAction(INode* ANode, IActionAttribute* AChanges) {
  KeepTaskStatus(ANode, AChanges);
  ComPtr<ISelection> selection = NodeSelection(ANode);
  ComPtr<ICommand> command =
      TPropertyCommandHelper::PreparePropertyCommand(QueryAs<IProperty>(AChanges).get(), selection.get(), Model(), -1);
  ++FRecordWrites;
  AddCommand(command.get(), selection.get(), true);
}

void TRescheduleCommand::WriteDates(const TTaskNode& ANode, double AStart, double AFinish, IActionAttribute* ARecord) {
  // As AddCommand, knowing the write is no reschedule command: the cast that would find out fails
  // only after searching the whole class tree.
  // Outside a run the dates are written through a property command, as any other change.
  if (!FScheduleRun) {
    ComPtr<IActionAttribute> changes = NewChanges();
    changes->SetStartDate(AStart);
    changes->SetCompletedDate(AFinish);
    return WriteAction(ANode.Node, changes.get());
  }
  // A task that a run reaches again, in place already, is left alone: no step to undo, no change to
  // report, no roll-up to forget. A summary's pushed link reaches every subtask so.
  ComPtr<IActionAttribute> known = ARecord ? ComPtr<IActionAttribute>(ARecord) : TActionHelper::GetAction(ANode.Node, false);
  if (TActionAttribute* record = TActionAttribute::FromAction(known.get())) {
    constexpr uint32_t written = afLoaded | afModified;  // the flags a write leaves
    const TActionAttribute::TDatesState now = record->SaveDates();
    if (now.Start == AStart && now.Finish == AFinish && now.StartFlags == written && now.FinishFlags == written) return;
  }
  ComPtr<TActionDatesCommand> dates = make<TActionDatesCommand>(*FScheduleRun, ANode, AStart, AFinish, known.get());
  ComPtr<ICommand> command(dates.get());
  CommandProcessor()->Execute(command.get(), nullptr);
  if (FScheduleRun->Recording)
    FScheduleRun->Done.push_back({std::move(command), nullptr, nullptr, false, dates.get()});
  else
    FQueue.push_back({std::move(command), nullptr, nullptr, true, dates.get()});
  FScheduleRun->RollUps.ForgetAbove(ANode.Node);
}

void TRescheduleCommand::SetConstraint(INode* ANode, TTaskConstraintType AType, double ADate) {
  ComPtr<IActionAttribute> action = TActionHelper::GetAction(ANode, false);
  ComPtr<IWorkingScheduler> scheduler = GetWorkingScheduler();
  if (!action || !scheduler) return;
  const double days = action->GetDurationInDays();
  ComPtr<IActionAttribute> changes = NewChanges();
  changes->SetConstraintDate(ADate);
  changes->SetConstraintType(AType);
  switch (AType) {
    case tcFinishNoEarlierThan:
    case tcFinishNoLaterThan:
    case tcMustFinishOn:
      changes->SetCompletedDate(ADate);
      changes->SetStartDate(scheduler->StartForFinish(ADate, days));
      break;
    case tcMustStartOn:
    case tcStartNoEarlierThan:
    case tcStartNoLaterThan:
      changes->SetStartDate(ADate);
      changes->SetCompletedDate(scheduler->FinishForStart(ADate, days));
      break;
    case tcAsLateAsPossible:
    case tcAsSoonAsPossible:
      break;
  }
  WriteAction(ANode, changes.get());
}

void TRescheduleCommand::ApplyConstraintChanges(const TConstraintChanges& AChanges) {
  for (const TConstraintChange& change : AChanges) {
    ComPtr<IActionAttribute> changes = NewChanges();
    changes->SetConstraintDate(change.Date);
    WriteAction(change.Node.get(), changes.get());
  }
}

bool TRescheduleCommand::AdjustToConstraint(INode* ANode, IWorkingScheduler* AScheduler, double& AStart,
                                            double& AFinish, double ADays, IActionAttribute* ARecord) {
  TConstraintChanges changes;
  const bool changed = ConstrainedDates(ANode, AScheduler, AStart, AFinish, ADays, changes, ARecord);
  ApplyConstraintChanges(changes);
  return changed;
}

bool TRescheduleCommand::ConstrainedDates(INode* ANode, IWorkingScheduler* AScheduler, double& AStart,
                                          double& AFinish, double ADays, TConstraintChanges& AChanges,
                                          IActionAttribute* ARecord) {
  const double start = AStart, finish = AFinish;
  double constrainedStart = 0, constrainedFinish = 0;
  const auto [startApplies, finishApplies] = TActionHelper::ValidateTaskDates(
      ANode, AStart, AFinish, AScheduler, constrainedStart, constrainedFinish, &AChanges, Reads(), ARecord);
  if (startApplies && finishApplies) {
    if (constrainedFinish < AScheduler->FinishForStart(constrainedStart, ADays)) {
      AFinish = constrainedFinish;
      AStart = AScheduler->StartForFinish(AFinish, ADays);
    } else if (constrainedStart != AStart) {
      AStart = constrainedStart;
      AFinish = AScheduler->FinishForStart(AStart, ADays);
    }
  } else if (startApplies) {
    AStart = constrainedStart;
    AFinish = AScheduler->FinishForStart(AStart, ADays);
  } else if (finishApplies && constrainedFinish != AFinish) {
    AFinish = constrainedFinish;
    AStart = AScheduler->StartForFinish(AFinish, ADays);
  }
  return AStart != start || AFinish != finish;
}

// ---- successors

namespace {

// A predecessor's start and finish as the schedule shows them (a summary's rolled up); false when
// it has no record. A phase pushing its link into each subtask is rolled up once for all of them:
// a summary the memo keeps had a record when it was rolled up, and a run takes no record off a node.
bool ShownDatesOf(TRollUpMemo* AMemo, INode* ATask, double& AStart, double& AFinish) {
  const bool summary = AMemo && ATask && ATask->IsSummaryTask();
  if (const TRolledUpValues* kept = summary ? AMemo->Find(ATask) : nullptr) {
    AStart = kept->Start;
    AFinish = kept->Finish;
    return true;
  }
  ComPtr<IActionAttribute> action = TActionHelper::GetAction(ATask, false);
  if (!action) return false;
  AStart = summary ? AMemo->Start(ATask, action.get()) : action->GetStartDate();
  AFinish = summary ? AMemo->Finish(ATask, action.get()) : action->GetCompletedDate();
  return true;
}

double LinkedStart(TTaskLinkType AType, IWorkingScheduler* AScheduler, double APredecessorStart,
                   double APredecessorFinish, IActionAttribute* ASuccessor);

// Whether what a summary leads to can lie below it: only when a task below it, or a summary above
// it, has a predecessor outside the summary. Walking the summary's subtree is cheap; walking all
// that follows it, for each phase of a long plan, was not.
bool MayLeadBelow(INode* ASummary) {
  // A predecessor among the summary's own subtasks is told by its parent, without climbing the tree.
  const auto outside = [&](INode* ANode) {
    ComPtr<INodeLinkList2> links = TLumetaNodeLinksProperty::Of(ANode);
    const int32_t count = links ? links->GetCount() : 0;
    for (int32_t i = 0; i < count; ++i) {
      ComPtr<INodeLink> link = links->GetLink(i);
      ComPtr<INode> node = link ? link->GetLinkedNode() : nullptr;
      if (node && node->GetParent().get() != ASummary && !node->IsDescendantOf(ASummary)) return true;
    }
    return false;
  };
  for (ComPtr<INode> above = TTaskLinkHelper::SummaryAbove(ASummary); above; above = TTaskLinkHelper::SummaryAbove(above.get()))
    if (ComPtr<INodeLinkList2> links = TLumetaNodeLinksProperty::Of(above.get()); links && links->GetCount() > 0)
      return true;
  std::vector<ComPtr<INode>> pending;
  for (ComPtr<INode> child = ASummary->GetFirstChild(); child; child = child->GetNextSibling()) pending.push_back(child);
  while (!pending.empty()) {
    ComPtr<INode> node = std::move(pending.back());
    pending.pop_back();
    if (outside(node.get())) return true;
    for (ComPtr<INode> child = node->GetFirstChild(); child; child = child->GetNextSibling()) pending.push_back(child);
  }
  return false;
}

}  // namespace

void TRescheduleSuccessorsCommand::Reschedule() {
  ComPtr<INode> node = Node();
  FollowSuccessors(Task(node.get()));
}

void TRescheduleCommand::FollowSuccessors(const TTaskNode& ANode) {
  ComPtr<INodeLinkList2> links = TLumetaSuccessorLinksProperty::Of(ANode.Node);
  if (!links) return;
  const int32_t count = links->GetCount();
  TScheduleRun* run = ScheduleRun();
  // Until a command is queued here, nothing can run before the next link would be judged: the link
  // is judged at once, sparing a chain a link command per task.
  bool judgeNow = run != nullptr;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<ITaskLink> link = QueryAs<ITaskLink>(links->GetLink(i).get());
    ComPtr<INode> successor = link ? link->GetLinkedNode() : nullptr;
    if (!successor) continue;
    ComPtr<TRescheduleCommand> command;
    if (!successor->IsSummaryTask()) {
      // A start link to a subtask that a push has yet to reach: the push places it by all its links.
      if (LeaveToPush(run, link.get(), successor.get())) continue;
      if (judgeNow) {
        command = CarriedMove(link->GetLinkType(), successor.get(), ANode.Node);
        if (!command) continue;
      } else {
        command = CreateLinkCommand(Model(), link->GetLinkType(), successor.get(), ANode, true);
      }
    } else {
      command = make<TRescheduleSummaryCommand>(
          Model(), successor.get(),
          MayLeadBelow(successor.get()) ? TRescheduleSummaryCommand::ReachableFrom(successor.get()) : nullptr,
          TCarriedLink{link->GetLinkType(), ANode.ID});
    }
    Queue(std::move(command));
    judgeNow = false;
  }
}

ComPtr<TRescheduleCommand> TRescheduleCommand::CarriedMove(TTaskLinkType ALinkType, INode* ASuccessor,
                                                           INode* APredecessor) {
  // As a carried link command would judge it when it runs.
  if (ALinkType < ltFinishToStart || ALinkType > ltStartToFinish) return {};
  ComPtr<IActionAttribute> successorAction = TActionHelper::GetAction(ASuccessor, false);
  // The first read of the successor's record in this run: its move reads the rest soon after.
  if (TActionAttribute* record = TActionAttribute::FromAction(successorAction.get())) record->PrefetchSlots();
  ComPtr<IWorkingScheduler> scheduler = MapScheduler(ASuccessor);
  double predecessorStart = 0, predecessorFinish = 0;
  if (!successorAction || !scheduler ||
      !ShownDatesOf(RollUps(), APredecessor, predecessorStart, predecessorFinish))
    return {};
  const double start = LinkedStart(ALinkType, scheduler.get(), predecessorStart, predecessorFinish, successorAction.get());
  if (start == successorAction->GetStartDate()) return {};
  // Queued first, it opens next: the record is still the node's then.
  return make<TMoveTaskCommand>(Model(), ASuccessor, start, TTaskSwitches{true, true, true, true},
                                successorAction.get());
}

TRescheduleSuccessorTaskCommand::TRescheduleSuccessorTaskCommand(ILumetaModel* AModel, const TTaskNode& ASuccessor,
                                                                 const TTaskNode& APredecessor, bool ACarried)
    : TRescheduleCommand(AModel, ASuccessor),
      FPredecessorID(APredecessor.ID),
      FPredecessor(APredecessor.Node),
      FCarried(ACarried) {}

void TRescheduleSuccessorTaskCommand::Reschedule() {
  ComPtr<INode> successor = Node();
  ComPtr<INode> predecessor = RunNode(FPredecessor, FPredecessorID);
  ComPtr<IActionAttribute> successorAction = TActionHelper::GetAction(successor.get(), false);
  ComPtr<IWorkingScheduler> scheduler = MapScheduler(successor.get());
  if (!successorAction || !scheduler) return;
  TDates dates{};
  if (!ShownDatesOf(RollUps(), predecessor.get(), dates.Start, dates.Finish)) return;
  const double start = NewStart(scheduler.get(), dates, successorAction.get());
  if (start == successorAction->GetStartDate()) return;
  // A move that need not be carried is dropped when it would leave everything in place.
  if (!FCarried && MoveChangesNothing(successor.get(), successorAction.get(), scheduler.get(), start)) return;
  Queue(make<TMoveTaskCommand>(Model(), Task(successor.get()), start, TTaskSwitches{true, true, true, FCarried}));
}

namespace {

// Where a link of the type puts its successor, from the predecessor's shown start and finish.
double LinkedStart(TTaskLinkType AType, IWorkingScheduler* AScheduler, double APredecessorStart,
                   double APredecessorFinish, IActionAttribute* ASuccessor) {
  switch (AType) {
    case ltFinishToStart: return AScheduler->StartAfter(APredecessorFinish);
    case ltStartToStart: return APredecessorStart;
    case ltFinishToFinish: return AScheduler->StartForFinish(APredecessorFinish, ASuccessor->GetDurationInDays());
    case ltStartToFinish:
      return AScheduler->StartForFinish(AScheduler->FinishBefore(APredecessorStart), ASuccessor->GetDurationInDays());
  }
  return 0;
}

}  // namespace

double TRescheduleFinishToStartCommand::NewStart(IWorkingScheduler* AScheduler, const TDates& APredecessor,
                                                 IActionAttribute* ASuccessor) {
  return LinkedStart(ltFinishToStart, AScheduler, APredecessor.Start, APredecessor.Finish, ASuccessor);
}

double TRescheduleStartToStartCommand::NewStart(IWorkingScheduler* AScheduler, const TDates& APredecessor,
                                                IActionAttribute* ASuccessor) {
  return LinkedStart(ltStartToStart, AScheduler, APredecessor.Start, APredecessor.Finish, ASuccessor);
}

double TRescheduleFinishToFinishCommand::NewStart(IWorkingScheduler* AScheduler, const TDates& APredecessor,
                                                  IActionAttribute* ASuccessor) {
  return LinkedStart(ltFinishToFinish, AScheduler, APredecessor.Start, APredecessor.Finish, ASuccessor);
}

double TRescheduleStartToFinishCommand::NewStart(IWorkingScheduler* AScheduler, const TDates& APredecessor,
                                                 IActionAttribute* ASuccessor) {
  return LinkedStart(ltStartToFinish, AScheduler, APredecessor.Start, APredecessor.Finish, ASuccessor);
}

bool TRescheduleCommand::MoveChangesNothing(INode* ANode, IActionAttribute* AAction, IWorkingScheduler* AScheduler,
                                            double AStart) {
  // As TMoveTaskCommand::Reschedule with the switches of a successor move, but writing nothing.
  if (!HasWholeDay(AStart)) return false;
  TActionAttribute* record = TActionAttribute::FromAction(AAction);
  if (!record) return false;
  const double days = ShownDays(RollUps(), ANode, AAction);
  double start = AStart, finish = AScheduler->FinishForStart(AStart, days);
  TConstraintChanges changes;
  ConstrainedDates(ANode, AScheduler, start, finish, days, changes, AAction);
  if (!changes.empty()) return false;
  // The same test by which WriteDates leaves a task in place alone.
  constexpr uint32_t written = afLoaded | afModified;
  const TActionAttribute::TDatesState now = record->SaveDates();
  if (now.Start != start || now.Finish != finish || now.StartFlags != written || now.FinishFlags != written)
    return false;
  // Its successor walk would stop at every successor: each already starts where its link puts it.
  ComPtr<INodeLinkList2> links = TLumetaSuccessorLinksProperty::Of(ANode);
  const int32_t count = links ? links->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<ITaskLink> link = QueryAs<ITaskLink>(links->GetLink(i).get());
    ComPtr<INode> successor = link ? link->GetLinkedNode() : nullptr;
    if (!successor) continue;
    if (successor->IsSummaryTask()) return false;
    ComPtr<IActionAttribute> successorAction = TActionHelper::GetAction(successor.get(), false);
    if (!successorAction || !MapScheduler(successor.get())) continue;
    const TTaskLinkType type = link->GetLinkType();
    if (type < ltFinishToStart || type > ltStartToFinish) continue;
    if (LinkedStart(type, AScheduler, start, finish, successorAction.get()) != successorAction->GetStartDate())
      return false;
  }
  return true;
}

// ---- summaries

TRescheduleSummaryCommand::TRescheduleSummaryCommand(ILumetaModel* AModel, INode* ASummary,
                                                     ComPtr<TNodeList> AExclusion, std::optional<TCarriedLink> ALink)
    : TRescheduleCommand(AModel, ASummary), FExclusion(std::move(AExclusion)), FLink(std::move(ALink)) {}

namespace {

// A summary's dates as they read before a change, to tell whether the change moved them.
struct TSummaryDates {
  ComPtr<INode> Summary;
  double Start = 0;
  double Finish = 0;

  // AMemo: the run's roll-ups, when one is in progress.
  static TSummaryDates Of(ComPtr<INode> ASummary, TRollUpMemo* AMemo) {
    TSummaryDates dates;
    dates.Summary = std::move(ASummary);
    if (ComPtr<IActionAttribute> action = TActionHelper::GetAction(dates.Summary.get(), false)) {
      dates.Start = ShownStart(AMemo, dates.Summary.get(), action.get());
      dates.Finish = ShownFinish(AMemo, dates.Summary.get(), action.get());
    }
    return dates;
  }
  bool MovedTo(const TSummaryDates& ANow) const { return ANow.Start != Start || ANow.Finish != Finish; }
};


}  // namespace

// Looks, once the commands queued before it have run, whether they moved the summary, and then
// moves what follows it. A link pushed into a summary moves its subtasks, and only the last one
// carries the summary's own check: when that one was in place already, the summary's successors
// stayed where they were although an earlier subtask had moved its finish. Moves below a summary
// queue one such check per run rather than one each.
class TSummaryMovedCommand : public TRescheduleCommand {
 public:
  TSummaryMovedCommand(ILumetaModel* AModel, TSummaryDates ABefore, bool AFinishOnly = false)
      : TRescheduleCommand(AModel, ABefore.Summary.get()), FBefore(std::move(ABefore)), FFinishOnly(AFinishOnly) {
    FBefore.Summary.reset();  // found again by its identifier, as every command finds its node
  }
  // A move below also looks at the start.
  void WatchStart() noexcept { FFinishOnly = false; }

 protected:
  void Reschedule() override {
    ComPtr<INode> summary = Node();
    // From here on, a move below the summary needs a check of its own.
    if (TScheduleRun* run = ScheduleRun(); run && summary) {
      const auto pending = run->PendingSummaries.find(summary.get());
      if (pending != run->PendingSummaries.end() && pending->second == this) run->PendingSummaries.erase(pending);
    }
    if (!summary) return;
    const TSummaryDates now = TSummaryDates::Of(summary, RollUps());
    if (FFinishOnly ? now.Finish != FBefore.Finish : FBefore.MovedTo(now)) CheckSuccessors(Task(summary.get()));
  }

 private:
  TSummaryDates FBefore;  // the summary's dates before the subtasks moved
  bool FFinishOnly;
};


std::vector<ComPtr<TRescheduleCommand>> TRescheduleCommand::WatchSummariesAbove(INode* ANode, bool AFinishOnly) {
  std::vector<ComPtr<TRescheduleCommand>> checks;
  TScheduleRun* run = ScheduleRun();
  for (ComPtr<INode> summary = TTaskLinkHelper::SummaryAbove(ANode); summary;
       summary = TTaskLinkHelper::SummaryAbove(summary.get())) {
    // A check is pending only for a summary with successors: each subtask of a phase finds it so.
    if (run) {
      if (const auto pending = run->PendingSummaries.find(summary.get()); pending != run->PendingSummaries.end()) {
        if (!AFinishOnly) pending->second->WatchStart();
        continue;
      }
    }
    // Nothing follows a summary without successors: no look needed, and a deep tree stays cheap.
    if (!TTaskLinkHelper::HasSuccessors(summary.get())) continue;
    ComPtr<TSummaryMovedCommand> check =
        make<TSummaryMovedCommand>(Model(), TSummaryDates::Of(summary, RollUps()), AFinishOnly);
    if (run) run->PendingSummaries.emplace(summary.get(), check.get());
    checks.push_back(std::move(check));
  }
  return checks;
}

ComPtr<TNodeList> TRescheduleSummaryCommand::ReachableFrom(INode* ASummary) {
  ComPtr<TNodeList> reached = make<TNodeList>();
  std::unordered_set<INode*> seen;
  std::vector<ComPtr<INode>> pending;
  const auto follow = [&](INode* ANode) {
    ComPtr<INodeLinkList2> links = TLumetaSuccessorLinksProperty::Of(ANode);
    const int32_t count = links ? links->GetCount() : 0;
    // Pushed last first, so that the list comes out in link order.
    for (int32_t i = count - 1; i >= 0; --i)
      if (ComPtr<ITaskLink> link = QueryAs<ITaskLink>(links->GetLink(i).get()))
        if (ComPtr<INode> linked = link->GetLinkedNode()) pending.push_back(linked);
  };
  if (ASummary) follow(ASummary);
  while (!pending.empty()) {
    ComPtr<INode> node = std::move(pending.back());
    pending.pop_back();
    if (!seen.insert(node.get()).second) continue;
    reached->Add(node.get());
    follow(node.get());
    if (node->IsSummaryTask())
      for (ComPtr<INode> child = node->GetFirstChild(); child; child = child->GetNextSibling())
        pending.push_back(child);
  }
  return reached;
}

// A link pushed into the summary's subtasks: the subtask to look at next, and what the push ends with.
struct TRescheduleSummaryCommand::TPush {
  ComPtr<INode> Next;
  INode* Predecessor;  // not counted: a run deletes no nodes
  std::unordered_set<INode*> Excluded;
  bool LinkValid;  // a link type outside the enumeration moves no subtask
  ComPtr<TRescheduleCommand> Check;  // the look at the summary's successors, queued last
  // The run that fills the queue; its redo replays it.
  const TRescheduleCommand* Top;
  uint32_t Serial;
};

TRescheduleSummaryCommand::~TRescheduleSummaryCommand() = default;

void TRescheduleSummaryCommand::Reschedule() {
  ComPtr<INode> summary = Node();
  if (!summary) return;
  std::unordered_set<INode*> excluded;
  if (FExclusion)
    for (const ComPtr<INode>& node : FExclusion->Items()) excluded.insert(node.get());
  ComPtr<INode> predecessor = FLink ? FindNode(FLink->PredecessorID) : nullptr;
  if (FLink && !predecessor) return;
  TScheduleRun* run = ScheduleRun();
  // Queued after the subtasks' commands, so that it looks once all of them have run; moves below
  // meanwhile leave the look to it rather than queue one each, which would push the summary's
  // links on before its last subtasks are in place, and again after.
  ComPtr<TRescheduleCommand> check;
  if (TTaskLinkHelper::HasSuccessors(summary.get())) {
    TSummaryMovedCommand* outer = nullptr;
    if (run)
      if (const auto pending = run->PendingSummaries.find(summary.get()); pending != run->PendingSummaries.end())
        outer = pending->second;
    if (outer) {
      outer->WatchStart();  // an outer check, queued later, looks for it
    } else {
      ComPtr<TSummaryMovedCommand> moved = make<TSummaryMovedCommand>(Model(), TSummaryDates::Of(summary, RollUps()));
      if (run) run->PendingSummaries.emplace(summary.get(), moved.get());
      check = std::move(moved);
    }
  }
  if (FLink && run) {
    // One command pushes the link into every subtask, each judged when the ones before it have
    // moved; walks that reach a subtask first leave it to the push.
    const TTaskLinkType type = FLink->LinkType;
    const bool valid = type >= ltFinishToStart && type <= ltStartToFinish;
    if (valid)
      for (ComPtr<INode> child = summary->GetFirstChild(); child; child = child->GetNextSibling())
        if (!excluded.count(child.get()) && !child->IsSummaryTask()) run->PushPending.Add(child.get());
    FPush.reset(new TPush{summary->GetFirstChild(), predecessor.get(), std::move(excluded), valid, std::move(check),
                          run->Top, run->Serial});
    return;
  }
  for (ComPtr<INode> child = summary->GetFirstChild(); child; child = child->GetNextSibling()) {
    if (excluded.count(child.get())) continue;
    const bool last = !child->GetNextSibling();
    if (child->IsSummaryTask())
      Queue(make<TRescheduleSummaryCommand>(Model(), child.get(), FExclusion, FLink));
    else if (!FLink)
      Queue(make<TMoveTaskCommand>(Model(), child.get(), 0.0, TTaskSwitches{true, true, true, last}));
  }
  Queue(std::move(check));
}

bool TRescheduleSummaryCommand::Continue() {
  const TScheduleRun* run = ScheduleRun();
  if (!FPush || !run || run->Top != FPush->Top || run->Serial != FPush->Serial) return false;
  while (ComPtr<INode> child = std::move(FPush->Next)) {
    FPush->Next = child->GetNextSibling();
    if (FPush->Excluded.count(child.get())) continue;
    ComPtr<TRescheduleCommand> command;
    if (child->IsSummaryTask())
      command = make<TRescheduleSummaryCommand>(Model(), child.get(), FExclusion, FLink);
    else if (FPush->LinkValid)
      command = PushedMove(child.get(), !FPush->Next);  // only the last subtask carries the summary's check
    if (!command) continue;
    Queue(std::move(command));
    return true;
  }
  ComPtr<TRescheduleCommand> check = std::move(FPush->Check);
  FPush.reset();
  if (!check) return false;
  Queue(std::move(check));
  return true;
}

ComPtr<TRescheduleCommand> TRescheduleSummaryCommand::PushedMove(INode* ASubtask, bool ACarried) {
  // A subtask a walk left to this push moves whatever its start: its predecessor moved.
  const bool owed = ScheduleRun()->PushPending.Take(ASubtask);
  ComPtr<IActionAttribute> action = TActionHelper::GetAction(ASubtask, false);
  if (TActionAttribute* record = TActionAttribute::FromAction(action.get())) record->PrefetchSlots();  // as in CarriedMove
  ComPtr<IWorkingScheduler> scheduler = MapScheduler(ASubtask);
  if (!action || !scheduler) return {};
  double predecessorStart = 0, predecessorFinish = 0;
  const bool dated = ShownDatesOf(RollUps(), FPush->Predecessor, predecessorStart, predecessorFinish);
  if (!dated && !owed) return {};
  // An owed move's own links place it, whatever its proposal.
  const double start =
      dated ? LinkedStart(FLink->LinkType, scheduler.get(), predecessorStart, predecessorFinish, action.get())
            : action->GetStartDate();
  if (!owed) {
    if (start == action->GetStartDate()) return {};
    // A link pushed into a phase reaches subtasks that their own links have placed already: the
    // move would leave them where they are. The carried move may also watch the summaries above.
    if (!ACarried && MoveChangesNothing(ASubtask, action.get(), scheduler.get(), start)) return {};
  }
  // An owed move stands for the walk's, which watched the summaries above.
  // It opens next: the record is still the node's then.
  return make<TMoveTaskCommand>(Model(), ASubtask, start, TTaskSwitches{true, true, true, ACarried || owed},
                                action.get());
}

// ---- task-level commands


TMoveTaskCommand::TMoveTaskCommand(ILumetaModel* AModel, const TTaskNode& ANode, double AStart, TTaskSwitches ASwitches,
                                   IActionAttribute* ARecord)
    : TRescheduleCommand(AModel, ANode), FStart(AStart), FSwitches(ASwitches), FFirstRecord(ARecord) {}

void TMoveTaskCommand::Reschedule() {
  ComPtr<INode> node = Node();
  ComPtr<IActionAttribute> action =
      FFirstRecord ? std::move(FFirstRecord) : TActionHelper::GetAction(node.get(), false);
  ComPtr<IWorkingScheduler> scheduler = MapScheduler(node.get());
  if (!action || !scheduler) return;
  double start = FStart;
  if (!HasWholeDay(start)) {
    ComPtr<IWorkingSchedule> schedule = FindWorkingSchedule(node.get());
    start = schedule ? schedule->ScheduleStart() : 0;
    if (!HasWholeDay(start)) return;
  }
  std::vector<ComPtr<TRescheduleCommand>> summaryChecks;
  if (FSwitches.RescheduleSummary) summaryChecks = WatchSummariesAbove(node.get(), false);

  const bool constrain = !FSwitches.SkipConstraint && start != action->GetStartDate();
  if (constrain) {
    SetConstraint(node.get(), tcStartNoEarlierThan, start);
    action = TActionHelper::GetAction(node.get(), false);  // the command put a new record on the node
  }
  const double days = ShownDays(RollUps(), node.get(), action.get());  // a rolled-up read: once
  const uint32_t recordWrites = RecordWrites();
  bool written = !constrain;
  double finish = 0;
  if (constrain) {
    start = action->GetStartDate();
    finish = action->GetCompletedDate();
  } else {
    finish = scheduler->FinishForStart(start, days);
  }
  if (FSwitches.ApplyConstraints && AdjustToConstraint(node.get(), scheduler.get(), start, finish, days, action.get()))
    written = true;
  // The record read above is still the node's unless a constraint was written since.
  if (written) WriteDates(Task(node.get()), start, finish, RecordWrites() == recordWrites ? action.get() : nullptr);

  // Every entry queued so far has run: the walk can join this queue rather than be one more command.
  if (FSwitches.RescheduleSuccessors) FollowSuccessors(Task(node.get()));
  for (ComPtr<TRescheduleCommand>& check : summaryChecks) Queue(std::move(check));
}

TRescheduleTaskFinishCommand::TRescheduleTaskFinishCommand(ILumetaModel* AModel, INode* ANode, double AFinish,
                                                           TTaskSwitches ASwitches, bool AMoveTask)
    : TRescheduleCommand(AModel, ANode), FFinish(AFinish), FSwitches(ASwitches), FMoveTask(AMoveTask) {}

void TRescheduleTaskFinishCommand::Reschedule() {
  ComPtr<INode> node = Node();
  ComPtr<IActionAttribute> action = TActionHelper::GetAction(node.get(), false);
  ComPtr<IWorkingScheduler> scheduler = MapScheduler(node.get());
  if (!action || !scheduler) return;
  // Whatever the switch: a new finish, a longer duration above all, may move the summary's
  // finish, and what follows the summary must then follow it.
  std::vector<ComPtr<TRescheduleCommand>> summaryChecks = WatchSummariesAbove(node.get(), true);
  const double days = action->GetDurationInDays();

  if (HasWholeDay(FFinish)) {
    double start = action->GetStartDate();
    double finish = action->GetCompletedDate();
    if (FFinish < start || FMoveTask) {
      bool written = false;
      if (!FSwitches.SkipConstraint && FFinish != finish) {
        SetConstraint(node.get(), tcFinishNoEarlierThan, FFinish);
        action = TActionHelper::GetAction(node.get(), false);
        start = action->GetStartDate();
        finish = action->GetCompletedDate();
      } else {
        finish = FFinish;
        start = scheduler->StartForFinish(finish, days);
        written = true;
      }
      if (FSwitches.ApplyConstraints && AdjustToConstraint(node.get(), scheduler.get(), start, finish, days))
        written = true;
      if (written) WriteDates(Task(node.get()), start, finish);
    } else {
      double constrainedFinish = 0;
      TConstraintChanges constraints;
      if (!TActionHelper::ValidateTaskFinish(node.get(), FFinish, scheduler.get(), constrainedFinish, &constraints,
                                             Reads())) {
        finish = FFinish;
      } else {
        const double work = scheduler->WorkingDuration(start, FFinish);
        start = scheduler->StartForFinish(constrainedFinish, work);
        double constrainedStart = 0;
        if (TActionHelper::ValidateTaskStart(node.get(), start, scheduler.get(), constrainedStart, &constraints,
                                             Reads()) &&
            constrainedStart > start && action->GetConstraintType() != tcFinishNoEarlierThan)
          start = constrainedStart;
        finish = scheduler->FinishForStart(start, work);
      }
      ApplyConstraintChanges(constraints);
      double duration = scheduler->WorkingDuration(start, finish);
      if (action->GetDurationMeasure() == amHours) duration *= KHoursPerDay;
      else if (action->GetDurationMeasure() == amMinutes) duration *= KHoursPerDay * KMinutesPerHour;
      ComPtr<IActionAttribute> changes = NewChanges();
      changes->SetStartDate(start);
      changes->SetCompletedDate(finish);
      changes->SetDuration(duration);
      WriteAction(node.get(), changes.get());
    }
  }

  if (FSwitches.RescheduleSuccessors) CheckSuccessors(Task(node.get()));
  for (ComPtr<TRescheduleCommand>& check : summaryChecks) Queue(std::move(check));
}
