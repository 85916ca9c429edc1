#pragma once
// Turning one edit of the selected tasks into one command: a helper builds the command for each
// selected node and the model's command helper combines them. Also the selection's combined action
// record, which the edits of several nodes at once are made on.
#include <cstdint>

#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaCommandsIntf.h"

// The selection's combined "Action" record: the one its property list holds, else a new record
// merged from the selected nodes' records (a field whose values differ is marked mixed, a node
// without a record counts as an empty one). Nothing in it is marked modified, so that a property
// command made from it after an edit writes only the edited fields. Empty when no selected node
// has a record and ACreateIfEmpty is off. The nodes are not changed.
ComPtr<IActionAttribute> CombinedAction(ISelection* ASelection, bool ACreateIfEmpty);
// A new, empty record that belongs to no node and answers IProperty, ready to be edited.
ComPtr<IActionAttribute> NewActionRecord();
// Marks the edited (modified) fields of a combined record as holding one value for every node.
void SettleEdits(IActionAttribute* AAction);

// Lives for one preparation: constructed, Prepare once, Command taken.
class TPrepareCommandHelper {
 public:
  // AAdjustDate is the caller's validate flag; neither is counted beyond the helper's life.
  TPrepareCommandHelper(ILumetaModel* AModel, ISelection* ASelection, bool AAdjustDate = false);
  virtual ~TPrepareCommandHelper();
  TPrepareCommandHelper(const TPrepareCommandHelper&) = delete;
  TPrepareCommandHelper& operator=(const TPrepareCommandHelper&) = delete;

  // One node: its command. Several: one item per node, on a one-node selection of its own, items
  // without a command left out, combined by the model's command helper. No node: nothing.
  void Prepare();
  ComPtr<ICommand> Command() const { return FCommand; }

 protected:
  // The command for the first node of ASelection; may be empty.
  virtual ComPtr<ICommand> CreateCommand(ISelection* ASelection) = 0;
  // Raises ENoInterface when the first entry is not a node.
  static ComPtr<INode> FirstNode(ISelection* ASelection);

  ComPtr<ICommand> FCommand;
  ComPtr<ILumetaModel> FModel;
  ComPtr<ISelection> FSelection;
  // Never set by the helpers here: the task commands reschedule by themselves.
  bool FReschedule = false;
  bool FAdjustDate;
};

class TSetMilestoneCommandHelper : public TPrepareCommandHelper {
 public:
  TSetMilestoneCommandHelper(ILumetaModel* AModel, ISelection* ASelection, bool AMilestone);

 protected:
  ComPtr<ICommand> CreateCommand(ISelection* ASelection) override;

 private:
  bool FIsMilestone;
};

class TRescheduleCommandHelper : public TPrepareCommandHelper {
 public:
  TRescheduleCommandHelper(ILumetaModel* AModel, ISelection* ASelection, double ADate, bool AKeepDuration,
                           bool AValidate);

 protected:
  bool FKeepDuration;
  double FDate;
};

class TMoveTaskCommandHelper : public TRescheduleCommandHelper {
 public:
  TMoveTaskCommandHelper(ILumetaModel* AModel, ISelection* ASelection, double ADate, bool AValidate,
                         bool AAutoSchedule);

 protected:
  ComPtr<ICommand> CreateCommand(ISelection* ASelection) override;

 private:
  bool FAutoSchedule;
};

class TRescheduleTaskFinishCommandHelper : public TRescheduleCommandHelper {
 public:
  TRescheduleTaskFinishCommandHelper(ILumetaModel* AModel, ISelection* ASelection, double ADate, bool AValidate,
                                     bool AAutoSchedule, bool AMoveTask);

 protected:
  ComPtr<ICommand> CreateCommand(ISelection* ASelection) override;

 private:
  bool FAutoSchedule;
  bool FMoveTask;
};

class TRescheduleTaskDurationCommandHelper : public TPrepareCommandHelper {
 public:
  // ADurationMeasure -1 keeps each task's measure.
  TRescheduleTaskDurationCommandHelper(ILumetaModel* AModel, ISelection* ASelection, double ADuration,
                                       int32_t ADurationMeasure);

 protected:
  ComPtr<ICommand> CreateCommand(ISelection* ASelection) override;

 private:
  double FDuration;
  int32_t FDurationMeasure;
};

class TRescheduleTaskDurationMeasureCommandHelper : public TPrepareCommandHelper {
 public:
  TRescheduleTaskDurationMeasureCommandHelper(ILumetaModel* AModel, ISelection* ASelection, int32_t ADurationMeasure);

 protected:
  ComPtr<ICommand> CreateCommand(ISelection* ASelection) override;

 private:
  int32_t FDurationMeasure;
};
