#pragma once
// Reaching a node's action record, converting measures, computing and validating a task's dates
// against its predecessor links, its constraint and the tasks above it, and preparing the command
// that carries an edit of a task's dates or milestone flag.
#include <cstdint>
#include <forward_list>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaSelectionIntf.h"
#include "contract/LumetaTypes.h"
#include "contract/WorkingSchedulerIntf.h"
#include "plugin/RolledUpAction.h"

// A constraint date that the rules want for a task: a start-no-earlier-than or finish-no-later-than
// task under a summary that holds it keeps its own date as its constraint. Validations write
// nothing; a command applies these as undoable steps.
struct TConstraintChange {
  ComPtr<INode> Node;
  double Date;
};
using TConstraintChanges = std::vector<TConstraintChange>;

// One predecessor link as a validation reads it: the task, the link's type and the task's record
// (a fresh one for a task without).
struct TPredecessorRead {
  ComPtr<INode> Node;
  TTaskLinkType Type;
  ComPtr<IActionAttribute> Action;
};

// What the validations of one schedule run share: the run's roll-ups, so that the summaries a run
// reads are rolled up once between writes below them, the room of the predecessor lists each
// validation reads and drops, and what they read of summary tasks.
class TScheduleReads {
 public:
  explicit TScheduleReads(TRollUpMemo* ARollUps = nullptr) noexcept : FRollUps(ARollUps) {}
  TScheduleReads(const TScheduleReads&) = delete;
  TScheduleReads& operator=(const TScheduleReads&) = delete;

  TRollUpMemo* RollUps() const noexcept { return FRollUps; }
  // Lists of ended validations, emptied but keeping their room.
  std::forward_list<std::pair<INode*, std::vector<TPredecessorRead>>> SpareLists;

  // A summary's record and predecessors as a validation reads them. Every subtask of a phase asks
  // for them; a run changes no links, and a summary's record changes only through a command that
  // may put new records on nodes, after which the owner calls Forget. Kept for summaries only, so
  // that a plan without phases keeps nothing.
  struct TSummaryRead {
    ComPtr<IActionAttribute> Action;  // empty: the summary has no record
    std::vector<TPredecessorRead> Predecessors;
    bool HasLinks = false;  // whether its predecessor list holds any link, to a node or not
  };
  std::unordered_map<INode*, TSummaryRead> Summaries;  // the map holds the nodes meanwhile
  void Forget() noexcept { Summaries.clear(); }

 private:
  TRollUpMemo* FRollUps;
};

class TActionHelper {
 public:
  TActionHelper() = delete;

  // The node's "Action" record, or empty. With ACreateIfEmpty a node without one gets a new,
  // empty Action property attached, whose record is answered.
  static ComPtr<IActionAttribute> GetAction(INode* ANode, bool ACreateIfEmpty);
  // The same over a selection's combined properties; a created property joins the selection's
  // property list, not the selected nodes.
  static ComPtr<IActionAttribute> GetAction(IProperties* ASelection, bool ACreateIfEmpty);
  // A detached copy of the node's stored record, or empty when the node has none.
  static ComPtr<IActionAttribute> CloneAction(INode* ANode);

  // "Minutes" 2, "Days" 1, any other text 0 (hours); exact and case-sensitive.
  static int32_t ConvertMeasureFromString(const std::string& AMeasureStr);
  // 2 "Minutes", 1 "Days", any other code "Hours".
  static std::string ConvertMeasureToString(int32_t AMeasure);

  // The latest start the predecessors allow (finish-to-start after the predecessor's finish,
  // start-to-start at its start), with ARestricted set; without such a predecessor the schedule
  // start, unrestricted. Predecessors without a record get one.
  static double CalculateEarliestStart(INode* ANode, IWorkingScheduler* AScheduler, bool& ARestricted);
  // The latest finish the finish-to-finish and start-to-finish predecessors allow, also those of
  // the summary tasks above that have predecessors; without one the node's own finish.
  static double CalculateEarliestFinish(INode* ANode, IWorkingScheduler* AScheduler, bool& ARestricted);

  // The start the node's predecessors, constraint and summary tasks allow for a proposed start,
  // in AValidatedStart; true when the proposal was restricted. The constraint dates the rules want
  // changed (a start-no-earlier-than task under a restricted summary) are added to AChanges, and
  // read back from it by the rules; without a list they are dropped. AReads, when given, is the
  // run's.
  static bool ValidateTaskStart(INode* ANode, double AProposedStart, IWorkingScheduler* AScheduler,
                                double& AValidatedStart, TConstraintChanges* AChanges = nullptr,
                                TScheduleReads* AReads = nullptr);
  // The same for a proposed finish.
  static bool ValidateTaskFinish(INode* ANode, double AProposedFinish, IWorkingScheduler* AScheduler,
                                 double& AValidatedFinish, TConstraintChanges* AChanges = nullptr,
                                 TScheduleReads* AReads = nullptr);
  // Both, start first, as the two calls would answer them (first: start restricted, second:
  // finish restricted), reading the predecessor lists once for the two. ARecord, when given, is
  // the node's record now.
  static std::pair<bool, bool> ValidateTaskDates(INode* ANode, double AProposedStart, double AProposedFinish,
                                                 IWorkingScheduler* AScheduler, double& AValidatedStart,
                                                 double& AValidatedFinish, TConstraintChanges* AChanges = nullptr,
                                                 TScheduleReads* AReads = nullptr, IActionAttribute* ARecord = nullptr);
  // Validates the proposed start on each summary task above the node, up to the map's main
  // branches, and stops at the first that restricts it: true, with its validated start.
  // AValidatedStart starts as AValidatedSubTaskStart.
  static bool ValidateSummaryStart(INode* ANode, double AProposedStart, double AValidatedSubTaskStart,
                                   IWorkingScheduler* AScheduler, double& AValidatedStart);

  // The command for an edit of every selected task, not yet run: one node's command itself,
  // several nodes' commands combined by the model's command helper, nothing for no node. Raise
  // ENoInterface for a selection entry that is not a node.
  // Moves each task to the new start; AAutoSchedule off makes the start a constraint.
  static ComPtr<ICommand> PrepareChangeTaskStartCmd(ILumetaModel* AModel, ISelection* ASelection, double ANewStart,
                                                    bool AValidate, bool AAutoSchedule);
  // Gives each task the new finish; AMoveTask moves the whole task, keeping its duration.
  static ComPtr<ICommand> PrepareChangeTaskFinishCmd(ILumetaModel* AModel, ISelection* ASelection, double ANewFinish,
                                                     bool AValidate, bool AAutoSchedule, bool AMoveTask);
  static ComPtr<ICommand> PrepareChangeTaskDurationCmd(ILumetaModel* AModel, ISelection* ASelection,
                                                       double ANewDuration, int32_t ADurationMeasure);
  static ComPtr<ICommand> PrepareChangeTaskDurationMeasureCmd(ILumetaModel* AModel, ISelection* ASelection,
                                                              int32_t ANewDurationMeasure);
  // Sets the flag through a property command; a task without a duration first gets the working
  // time between its start and finish as its duration.
  static ComPtr<ICommand> PrepareSetMilestoneCmd(ILumetaModel* AModel, ISelection* ASelection, bool AMilestone);
};
