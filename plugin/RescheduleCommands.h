#pragma once
// The commands that carry a change of a task's dates on to every task that depends on it, as one
// undoable command: the queue each of them runs, the walk over successors, the per-link-type
// moves, the push-down of a link into a summary's subtasks, and the two task-level commands
// (move the start, change the finish) that every change ends in.
//
// Commands keep their nodes as identifiers and look them up when they run. A reschedule command
// works out its sub-commands on its first Execute. The outermost one then keeps only the writes
// the run carried out, in the order it did them: redo replays them, undo reverses them, and the
// nested commands that worked them out are let go as each finishes. The outermost command of a run opens one schedule run (the model, its processor,
// subject and scheduler, the roll-ups and predecessor lists read meanwhile) and hands it to every
// command it opens; nothing lives beyond it. Nested queues run depth first but without native
// recursion, so chains of any length are safe; likewise releasing a command releases its nested
// commands one after another.
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "attributes/LumetaAttributes.h"
#include "commands/CompositeCommands.h"
#include "plugin/ActionHelpers.h"
#include "plugin/TaskLinkHelper.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaTypes.h"
#include "contract/WorkingSchedulerIntf.h"
#include "commands/NodeList.h"

// Change codes posted on the model's subject before and after each run of a reschedule command.
inline constexpr int32_t KRescheduleBeginChange = 121;
inline constexpr int32_t KRescheduleEndChange = 122;

// A task node as a command is given it: the node and its identifier. A command that makes another
// for a node whose identifier it keeps hands that text on, sparing the node a conversion.
struct TTaskNode {
  TTaskNode(INode* ANode) : Node(ANode), ID(ANode ? ANode->GetID() : std::string()) {}  // NOLINT: implicit
  TTaskNode(INode* ANode, std::string AID) : Node(ANode), ID(std::move(AID)) {}
  INode* Node;
  std::string ID;
};

// What one run of a reschedule command shares with every command it opens (RescheduleCommands.cpp).
struct TScheduleRun;
// The write of a task's dates that a run records for each task it moves (RescheduleCommands.cpp).
class TActionDatesCommand;
// The room of a run's frame stack, kept by the command that ran outermost (RescheduleCommands.cpp).
struct TFrameRoom;

class TRescheduleCommand : public TCompositeCommand {
 public:
  // ANode may be empty: such a command does nothing but still executes and undoes.
  TRescheduleCommand(ILumetaModel* AModel, const TTaskNode& ANode);
  ~TRescheduleCommand() override;

  // A run makes a few of these for every task it reaches and drops them all at once: they come
  // from the attribute pools rather than one heap block each.
  static void* operator new(size_t ASize);
  static void operator delete(void* AObject, size_t ASize) noexcept;

  // The first run calls Reschedule to fill the queue; every run then executes the entries that
  // have not run yet, front to back. Change codes 121 and 122 bracket the run, also on failure.
  void Execute() override;
  // Undoes the entries newest first, bracketed like Execute; the queue stays for redo.
  void UnExecute() override;

  // Appends the pair to the queue; with AExecuteNow runs it at once through the processor (during
  // a first run, straight into the run's record). A reschedule command queued without a selection
  // keeps the one it has: it knows its node.
  void AddCommand(ICommand* ACommand, ISelection* ASelection, bool AExecuteNow);
  // The working scheduler of the task's map; empty when there is none.
  virtual ComPtr<IWorkingScheduler> GetWorkingScheduler();
  // The same for the task in hand, sparing the look-up; for commands that keep the map's scheduler.
  ComPtr<IWorkingScheduler> MapScheduler(INode* ATask);
  // Queues a successor walk for the node when it has successors.
  void CheckSuccessors(const TTaskNode& ANode);
  // Does the walk itself, queueing its commands here: only when every entry queued so far has run,
  // as then the first links are judged at once and only the moves they call for are queued.
  void FollowSuccessors(const TTaskNode& ANode);

  // The command that moves ASuccessor after APredecessor by the link's type; empty for a value
  // outside the enumeration. ACarried becomes the move's RescheduleSummary switch.
  static ComPtr<TRescheduleCommand> CreateLinkCommand(ILumetaModel* AModel, TTaskLinkType ALinkType,
                                                      const TTaskNode& ASuccessor, const TTaskNode& APredecessor, bool ACarried);

  int32_t QueueCount() const noexcept { return static_cast<int32_t>(FQueue.size()); }
  ICommand* QueuedCommand(int32_t AIndex) const { return FQueue.at(AIndex).Command.get(); }
  const std::string& NodeID() const noexcept { return FNodeID; }

 protected:
  // Fills the queue; called once, on the first Execute.
  virtual void Reschedule() = 0;
  // Called on the first Execute whenever every queued entry has run: true when it queued another.
  // A command whose entries each depend on what the ones before moved queues them as it goes.
  // A class that overrides it must answer true from MayContinue too.
  virtual bool Continue() { return false; }
  // Whether Continue may ever queue more. When not, a first run closes the command as soon as it
  // opens its last entry, and Continue is not called after that entry.
  virtual bool MayContinue() const { return false; }

  // The task node, looked up by its identifier; empty when it is gone.
  ComPtr<INode> Node();
  ComPtr<INode> FindNode(const std::string& AID);
  // ANode, one the command was made for, when it was made during the run in progress: a run deletes
  // no nodes, so that node still has the identifier. Else the node with that identifier.
  ComPtr<INode> RunNode(INode* ANode, const std::string& AID);
  // The task node as a handle for the commands this one makes for it; ANode is the node with the
  // command's identifier (as Node() answers it).
  TTaskNode Task(INode* ANode) const { return {ANode, FNodeID}; }
  // Writes the record's changed fields to the node through a property command run at once.
  void WriteAction(INode* ANode, IActionAttribute* AChanges);
  // How many property commands WriteAction has run so far: a record read before is still its
  // node's while this stays the same.
  uint32_t RecordWrites() const noexcept { return FRecordWrites; }
  // Writes only the start and the finish; ARecord, when given, is the node's record now.
  void WriteDates(const TTaskNode& ANode, double AStart, double AFinish, IActionAttribute* ARecord = nullptr);
  // A new, empty record for WriteAction: only the fields set on it reach the node.
  ComPtr<IActionAttribute> NewChanges();
  // Records a constraint on the task and moves its dates to meet it (one property command).
  void SetConstraint(INode* ANode, TTaskConstraintType AType, double ADate);
  // Lets the task's constraint adjust the start and finish given; true when either changed.
  // ARecord, when given, is the node's record now.
  bool AdjustToConstraint(INode* ANode, IWorkingScheduler* AScheduler, double& AStart, double& AFinish, double ADays,
                          IActionAttribute* ARecord = nullptr);
  // The same without writing: the constraint dates the rules want changed go to AChanges.
  bool ConstrainedDates(INode* ANode, IWorkingScheduler* AScheduler, double& AStart, double& AFinish, double ADays,
                        TConstraintChanges& AChanges, IActionAttribute* ARecord = nullptr);
  // Whether a successor move of the task to AStart (dates recomputed, constraint applied, then its
  // successors checked) would write nothing and move no successor; AAction is the task's record.
  bool MoveChangesNothing(INode* ANode, IActionAttribute* AAction, IWorkingScheduler* AScheduler, double AStart);
  // Writes the constraint dates the validations asked for, each through a property command.
  void ApplyConstraintChanges(const TConstraintChanges& AChanges);
  // What validations share during the run in progress; null outside Reschedule.
  TScheduleReads* Reads() const noexcept;
  // The roll-ups of the run in progress; null outside Reschedule.
  TRollUpMemo* RollUps() const noexcept;
  // Queues a nested reschedule command, to run after the entries before it.
  void Queue(ComPtr<TRescheduleCommand> ACommand);
  // Has the successors of the summaries above ANode checked once, after the run's moves below
  // them: the direct summary and each further up with successors (AFinishOnly: when their finish
  // changed, else their start or finish). A summary whose check is pending already is left to it.
  // Call before the task's dates are written; queue what it gives after the task's own successors.
  std::vector<ComPtr<TRescheduleCommand>> WatchSummariesAbove(INode* ANode, bool AFinishOnly);

  // The run in progress while Reschedule runs; empty otherwise.
  TScheduleRun* ScheduleRun() const noexcept { return FScheduleRun; }

 private:
  struct TEntry {
    ComPtr<ICommand> Command;
    ComPtr<ISelection> Selection;
    TRescheduleCommand* Nested = nullptr;  // the command itself when it is a reschedule command, run in place
    bool Executed = false;
    TActionDatesCommand* Dates = nullptr;  // the command itself when it writes dates: undo reads ahead for it
  };
  // Entries in order. Most queues hold one or two: those live in the command itself, so a run
  // touches no second block per command; further ones go to pooled room.
  class TQueue {
   public:
    size_t size() const noexcept { return FInlineCount + FMore.size(); }
    TEntry& operator[](size_t AIndex) noexcept { return AIndex < KInline ? FInline[AIndex] : FMore[AIndex - KInline]; }
    const TEntry& at(size_t AIndex) const;
    void push_back(TEntry&& AEntry);
    void clear() noexcept;

   private:
    static constexpr size_t KInline = 2;
    TEntry FInline[KInline];
    size_t FInlineCount = 0;
    std::vector<TEntry, TAttributePoolAllocator<TEntry>> FMore;
  };
  friend class TRescheduleRunner;
  friend struct TScheduleRun;

  // Counts a run this command opens as the outermost; its number.
  uint32_t StartRun();
  // Marks ACommand as made during the run in progress, in which its node may be trusted.
  void Adopt(TRescheduleCommand* ACommand) const noexcept;
  // The move a carried link from APredecessor calls for, judged now; empty when ASuccessor is in
  // place or cannot be placed.
  ComPtr<TRescheduleCommand> CarriedMove(TTaskLinkType ALinkType, INode* ASuccessor, INode* APredecessor);

  TQueue FQueue;
  std::string FNodeID;
  INode* FRunNode;  // not counted; trusted only during the run that made the command
  // The run that made the command: its outermost command and that command's count of runs.
  const TRescheduleCommand* FMadeByTop = nullptr;
  uint32_t FMadeInRun = 0;
  uint32_t FRecordWrites = 0;  // property commands WriteAction ran: each may put a new record on its node
  std::unique_ptr<TFrameRoom> FFrameRoom;  // only on a command that ran outermost
  bool FRescheduled = false;
  TScheduleRun* FScheduleRun = nullptr;  // the run in progress: set by the runner, or by the command
                                          // that runs this one through the processor
};

// A node's successors: one per-link-type command for each successor link, in list order; a
// summary successor gets the link pushed down into its subtasks instead, leaving out the tasks
// that the summary itself leads to. A subtask that a push in progress has yet to reach by a start
// link is left to that push, which then moves it whatever its pushed start.
class TRescheduleSuccessorsCommand : public TRescheduleCommand {
 public:
  using TRescheduleCommand::TRescheduleCommand;

 protected:
  void Reschedule() override;
};

// Moves a successor to where its link to the predecessor puts it; nothing when its start is
// there already, which is where propagation stops.
class TRescheduleSuccessorTaskCommand : public TRescheduleCommand {
 public:
  TRescheduleSuccessorTaskCommand(ILumetaModel* AModel, const TTaskNode& ASuccessor, const TTaskNode& APredecessor, bool ACarried);

 protected:
  void Reschedule() override;
  // The predecessor's shown start and finish (a summary's rolled up).
  struct TDates {
    double Start;
    double Finish;
  };
  // The successor's new start; its record is there.
  virtual double NewStart(IWorkingScheduler* AScheduler, const TDates& APredecessor, IActionAttribute* ASuccessor) = 0;

 private:
  std::string FPredecessorID;
  INode* FPredecessor;  // not counted; as the task node
  bool FCarried;
};

class TRescheduleFinishToStartCommand : public TRescheduleSuccessorTaskCommand {
 public:
  using TRescheduleSuccessorTaskCommand::TRescheduleSuccessorTaskCommand;

 protected:
  double NewStart(IWorkingScheduler* AScheduler, const TDates& APredecessor, IActionAttribute* ASuccessor) override;
};

class TRescheduleStartToStartCommand : public TRescheduleSuccessorTaskCommand {
 public:
  using TRescheduleSuccessorTaskCommand::TRescheduleSuccessorTaskCommand;

 protected:
  double NewStart(IWorkingScheduler* AScheduler, const TDates& APredecessor, IActionAttribute* ASuccessor) override;
};

class TRescheduleFinishToFinishCommand : public TRescheduleSuccessorTaskCommand {
 public:
  using TRescheduleSuccessorTaskCommand::TRescheduleSuccessorTaskCommand;

 protected:
  double NewStart(IWorkingScheduler* AScheduler, const TDates& APredecessor, IActionAttribute* ASuccessor) override;
};

class TRescheduleStartToFinishCommand : public TRescheduleSuccessorTaskCommand {
 public:
  using TRescheduleSuccessorTaskCommand::TRescheduleSuccessorTaskCommand;

 protected:
  double NewStart(IWorkingScheduler* AScheduler, const TDates& APredecessor, IActionAttribute* ASuccessor) override;
};

// A link that a summary task passes down to its subtasks.
struct TCarriedLink {
  TTaskLinkType LinkType = ltFinishToStart;
  std::string PredecessorID;
};

// Reschedules every subtask of a summary not in the exclusion list, summaries below included:
// with a carried link, each by that link from its predecessor; without, each from the schedule
// start and then by its constraint. Only the last child checks the summary's own successors.
class TRescheduleSummaryCommand : public TRescheduleCommand {
 public:
  // AExclusion may be empty; it is shared with the summaries below.
  TRescheduleSummaryCommand(ILumetaModel* AModel, INode* ASummary, ComPtr<TNodeList> AExclusion,
                            std::optional<TCarriedLink> ALink);
  ~TRescheduleSummaryCommand() override;

  // Every task reachable from the summary along successor links, the subtasks of each summary
  // met on the way included.
  static ComPtr<TNodeList> ReachableFrom(INode* ASummary);

 protected:
  void Reschedule() override;
  // A carried link is pushed one subtask at a time: each is placed once the ones before it moved.
  bool Continue() override;
  bool MayContinue() const override { return true; }

 private:
  struct TPush;
  // The move the pushed link calls for on ASubtask, judged now; empty when none is due.
  ComPtr<TRescheduleCommand> PushedMove(INode* ASubtask, bool ACarried);

  ComPtr<TNodeList> FExclusion;
  std::optional<TCarriedLink> FLink;
  std::unique_ptr<TPush> FPush;  // the push in progress, during the run that fills the queue
};

// Whether a date carries a day, not only a time of day: a date of 0 means none.
inline bool HasWholeDay(double ADate) { return std::trunc(ADate) > 0; }

// The switches of the task-level commands.
struct TTaskSwitches {
  // Let the task's constraint adjust the new dates.
  bool ApplyConstraints = true;
  // False: a date the user gave becomes a constraint on the task; true: only recompute the dates.
  bool SkipConstraint = true;
  // Then check the task's successors.
  bool RescheduleSuccessors = true;
  // Then check the successors of the summary above, when its dates changed (a move; the finish
  // command always checks them).
  bool RescheduleSummary = false;
};

// Moves a task to a new start (0: the schedule start), keeping its duration.
class TMoveTaskCommand : public TRescheduleCommand {
 public:
  // ARecord, when given, is the node's record as the run that opens the command next finds it.
  TMoveTaskCommand(ILumetaModel* AModel, const TTaskNode& ANode, double AStart, TTaskSwitches ASwitches,
                   IActionAttribute* ARecord = nullptr);

  double Start() const noexcept { return FStart; }
  const TTaskSwitches& Switches() const noexcept { return FSwitches; }

 protected:
  void Reschedule() override;

 private:
  double FStart;
  TTaskSwitches FSwitches;
  ComPtr<IActionAttribute> FFirstRecord;  // let go on the first run
};

// Gives a task a new finish: by changing its duration, or with AMoveTask (or a finish before the
// start) by moving the whole task.
class TRescheduleTaskFinishCommand : public TRescheduleCommand {
 public:
  TRescheduleTaskFinishCommand(ILumetaModel* AModel, INode* ANode, double AFinish, TTaskSwitches ASwitches,
                               bool AMoveTask = false);

 protected:
  void Reschedule() override;

 private:
  double FFinish;
  TTaskSwitches FSwitches;
  bool FMoveTask;
};

// Leaves the status out of a changes record for ANode unless the task has none: a changes record
// defaults its own empty status when given a duration, which would reset the task's progress.
void KeepTaskStatus(INode* ANode, IActionAttribute* AChanges);

// Raises the error a reschedule stops with on a circle of task links, naming its first link.
[[noreturn]] void ThrowLinkCircle(const std::vector<TTaskLinkHelper::TLinkEnds>& ACircle);

// A one-node selection.
ComPtr<ISelection> NodeSelection(INode* ANode);
