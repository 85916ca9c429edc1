#pragma once
// The commands that turn one edit of a task or of a task link into rescheduling: a new duration
// or duration measure, an edited record, a refresh of the whole project, a plain action turned
// into a task, and adding, removing or retyping a link.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plugin/RescheduleCommands.h"

// Posts 121 on the model's subject now and 122 when it goes out of scope, also on failure.
class TChangeBracket {
 public:
  TChangeBracket(ILumetaModel* AModel, IUnknown* AObject);
  ~TChangeBracket();
  TChangeBracket(const TChangeBracket&) = delete;
  TChangeBracket& operator=(const TChangeBracket&) = delete;

 private:
  ComPtr<ISubject> FSubject;
  IUnknown* FObject;
};

// A new duration ADuration >= 0, in AMeasure (-1 keeps the measure). 0 makes a milestone; under an
// hour in hours becomes one hour. The finish follows, and the successors after it.
class TRescheduleTaskDurationCommand : public TRescheduleCommand {
 public:
  TRescheduleTaskDurationCommand(ILumetaModel* AModel, INode* ANode, double ADuration, int32_t AMeasure = -1);

 protected:
  void Reschedule() override;

 private:
  double FDuration;
  int32_t FMeasure;
};

// A new duration measure: the stored number stays and is read in the new unit.
class TRescheduleTaskDurationMeasureCommand : public TRescheduleCommand {
 public:
  TRescheduleTaskDurationMeasureCommand(ILumetaModel* AModel, INode* ANode, int32_t AMeasure);

 protected:
  void Reschedule() override;

 private:
  int32_t FMeasure;
};

// What an edit of a task's record changed, for the rescheduling that follows it.
struct TTaskEdit {
  double Start = 0;   // the edited start
  double Finish = 0;  // the edited finish
  bool StartChanged = false;
  bool DurationChanged = false;
  bool ConstraintChanged = false;  // its type or its date
  bool FinishChanged = false;
  bool Dated = true;  // the record had a start or a finish before the edit: the node is a task
  // The edit between two versions of a record; a new duration measure is a new duration.
  static TTaskEdit Between(IActionAttribute* AOld, IActionAttribute* AEdited);
};

// The command that places a task, and the tasks after it, once an edit of its record is in place:
// a summary task pushes its subtasks, any other task is moved when its start, duration or
// constraint changed, or takes the edited finish; nothing when the edit changed none of these,
// nor for a new duration alone on a node without dates (no task yet: nothing to move).
ComPtr<ICommand> RescheduleAfterEdit(ILumetaModel* AModel, INode* ANode, const TTaskEdit& AEdit);

// A record written whole (the Edit Action dialog's OK) and the rescheduling its edit needs, as one
// command: the summaries above the task are looked at before the record goes in, so that what
// follows them moves when the edit moved them.
class TApplyTaskEditCommand : public TRescheduleCommand {
 public:
  // ARecord is run at once on the task's one-node selection; AEdit as RescheduleAfterEdit takes it.
  TApplyTaskEditCommand(ILumetaModel* AModel, INode* ANode, ComPtr<ICommand> ARecord, const TTaskEdit& AEdit);

 protected:
  void Reschedule() override;

 private:
  ComPtr<ICommand> FRecord;
  TTaskEdit FEdit;
};

// Takes the dates of a record edited elsewhere and reschedules the task as the changed start,
// duration or constraint require.
class TUpdateTaskCommand : public TRescheduleCommand {
 public:
  // The record is copied; an empty one makes the command do nothing.
  TUpdateTaskCommand(ILumetaModel* AModel, INode* ANode, IActionAttribute* AEdited);

 protected:
  void Reschedule() override;

 private:
  ComPtr<IActionAttribute> FEdited;
};

// Starts every task the filter accepts again from the start date (0: the schedule start) and lets
// its constraint and predecessors place it; summaries are walked, not moved. A whole refresh
// places every task in tree order and leaves successors to their own turn; with a filter (a chosen
// few, such as tasks just made), or when asked, each move carries on to the successors too, so
// that a successor met first still follows its predecessor.
class TRefreshProjectCommand : public TRescheduleCommand {
 public:
  using TFilter = std::function<bool(INode*)>;
  // An empty filter accepts every task. Walks from the first main branch along its siblings.
  TRefreshProjectCommand(ILumetaModel* AModel, TFilter AFilter, double AStart = 0, bool ASuccessorsFollow = false);

 protected:
  void Reschedule() override;

 private:
  TFilter FFilter;
  double FStart;
  bool FSuccessorsFollow;
};

// Places tasks again after something their dates depend on changed beside their own edits. Given
// tasks (their constraint changed): each starts again from the schedule start and its constraint
// and predecessors place it, a summary pushes its subtasks; a constraint that needs a date and has
// none first takes the task's start or finish, as the dialog offers it. Given none (the working
// calendar or the schedule start changed): every task of the map, as a refresh does.
class TFollowScheduleCommand : public TRescheduleCommand {
 public:
  TFollowScheduleCommand(ILumetaModel* AModel, std::vector<std::string> ATaskIDs);

 protected:
  void Reschedule() override;

 private:
  std::vector<std::string> FTaskIDs;
};

// A start typed for a summary task: the summary is moved as any task (so a typed date becomes its
// start-no-earlier-than constraint) and then pushes its subtasks, which its constraint holds back.
class TMoveSummaryCommand : public TRescheduleCommand {
 public:
  TMoveSummaryCommand(ILumetaModel* AModel, INode* ASummary, double AStart, TTaskSwitches ASwitches);

 protected:
  void Reschedule() override;

 private:
  double FStart;
  TTaskSwitches FSwitches;
};

// Turns a plain action into a scheduled task, from its record as it was before (copied).
class TConvertActionToTaskCommand : public TRescheduleCommand {
 public:
  TConvertActionToTaskCommand(ILumetaModel* AModel, INode* ANode, IActionAttribute* AOldAction,
                              IWorkingScheduler* AScheduler);
  // The scheduler given, not the map's.
  ComPtr<IWorkingScheduler> GetWorkingScheduler() override;

 protected:
  void Reschedule() override;

 private:
  ComPtr<IActionAttribute> FOldAction;
  ComPtr<IWorkingScheduler> FScheduler;
};

// Several task commands as one, bracketed by change codes 121 and 122 on each run.
class TMultipleTaskCommand : public TMultipleCommand {
 public:
  using TMultipleCommand::TMultipleCommand;
  void Execute() override;
  void UnExecute() override;
};

// Links two tasks, stored on both: the predecessor's successor links and the successor's
// predecessor links. With the reschedule switch the successors follow at once. The nodes are kept
// as identifiers. The rescheduling done on the first run is kept: undo undoes it, redo replays it,
// so undo and redo always move between the same two states.
class TAddTaskLinkCommand : public TCompositeCommand {
 public:
  TAddTaskLinkCommand(ILumetaModel* AModel, const std::string& APredecessorID, const std::string& ASuccessorID,
                      TTaskLinkType ALinkType, bool AReschedule);
  void Execute() override;
  void UnExecute() override;

 protected:
  // Nothing when either node is gone or the link is there already.
  void AddPair();
  // Nothing when the successor does not list the predecessor.
  void RemovePair();
  // Runs the rescheduling: made and kept on the first call, replayed afterwards.
  void RescheduleForward();
  // Undoes the kept rescheduling; nothing when there is none.
  void RescheduleBackward();
  virtual ComPtr<ICommand> CreateReschedule(INode* APredecessor, INode* ASuccessor);
  bool NodesResolve();

  std::string FPredecessorID;
  std::string FSuccessorID;
  TTaskLinkType FLinkType;
  bool FReschedule;
  ComPtr<ICommand> FRescheduleCommand;
  // Where the link stood in each list when it was last removed; -1 until then.
  int32_t FPredecessorIndex = -1;
  int32_t FSuccessorIndex = -1;
};

// Unlinks two tasks; the successor then starts again from the schedule start and its constraint
// places it. Does nothing when either node is gone.
class TRemoveTaskLinkCommand : public TAddTaskLinkCommand {
 public:
  using TAddTaskLinkCommand::TAddTaskLinkCommand;
  void Execute() override;
  void UnExecute() override;

 protected:
  ComPtr<ICommand> CreateReschedule(INode* APredecessor, INode* ASuccessor) override;
};

// Changes a link's type: removes the old link, adds the new one.
class TUpdateTaskLinkCommand : public TCompositeCommand {
 public:
  TUpdateTaskLinkCommand(ILumetaModel* AModel, const std::string& APredecessorID, const std::string& ASuccessorID,
                         TTaskLinkType AOldType, TTaskLinkType ANewType, bool AReschedule);
  void Execute() override;
  void UnExecute() override;

 private:
  ComPtr<TRemoveTaskLinkCommand> FRemove;
  ComPtr<TAddTaskLinkCommand> FAdd;
};
