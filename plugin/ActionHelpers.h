#pragma once
// Reaching a node's action record, converting measures, computing and validating a task's dates
// against its predecessor links, its constraint and the tasks above it, and preparing the command
// that carries an edit of a task's dates or milestone flag.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaSelectionIntf.h"
#include "contract/WorkingSchedulerIntf.h"

// The records whose constraint date a validation wrote, each with a copy from before the first
// write. While one is alive on a thread, validations note their writes in it, so that a command can
// take the writes back and make them again as undoable steps.
class TConstraintWrites {
 public:
  struct TWrite {
    ComPtr<INode> Node;
    ComPtr<IActionAttribute> Action;  // the node's record, as written
    ComPtr<IActionAttribute> Before;  // a copy from before the first write
  };
  TConstraintWrites();
  ~TConstraintWrites();
  TConstraintWrites(const TConstraintWrites&) = delete;
  TConstraintWrites& operator=(const TConstraintWrites&) = delete;

  // Notes a write about to happen to the record, when it is the node's own and a log is alive.
  static void Note(INode* ANode, IActionAttribute* AAction);
  // The writes so far, in order of the first write to each record; the log is empty afterwards.
  std::vector<TWrite> Take();

 private:
  std::vector<TWrite> FWrites;
  TConstraintWrites* FPrevious;
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
  // in AValidatedStart; true when the proposal was restricted. May write the task's constraint
  // date (a start-no-earlier-than task under a restricted summary).
  static bool ValidateTaskStart(INode* ANode, double AProposedStart, IWorkingScheduler* AScheduler,
                                double& AValidatedStart);
  // The same for a proposed finish.
  static bool ValidateTaskFinish(INode* ANode, double AProposedFinish, IWorkingScheduler* AScheduler,
                                 double& AValidatedFinish);
  // Both, start first, as the two calls would answer them (first: start restricted, second:
  // finish restricted), reading the predecessor lists once for the two.
  static std::pair<bool, bool> ValidateTaskDates(INode* ANode, double AProposedStart, double AProposedFinish,
                                                 IWorkingScheduler* AScheduler, double& AValidatedStart,
                                                 double& AValidatedFinish);
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
