#pragma once
// The host's own undoable edits of the map's tree: adding, renaming, deleting and moving nodes.
// They run through the model's command processor like the plug-in's commands, so that one undo
// history covers both.
#include <cstdint>
#include <string>
#include <vector>

#include "com/AggregableObject.h"
#include "contract/CommandIntf.h"
#include "contract/PlugInUIIntf.h"
#include "host/LumetaMapSettings.h"
#include "host/LumetaModel.h"

// Refers to nodes by ID and looks them up on every run, so that a command still works after other
// commands have deleted and restored its nodes; a node that is gone raises ELumetaError "No node
// with ID n". The model is counted (see TLumetaModel::Close for the cycle this makes).
//
// A command that changes the tree announces the change to the plug-ins' controllers first, from
// inside its own run: what they run through the processor in answer (dropping a task link a new
// summary may not keep, say) thereby belongs to the command, is undone after the change is undone
// and runs again, in its order, before the change on redo. So one undo step covers both.
class TMapEditCommand : public TImplements<TAggregableObject, ICommand, ITreeCommand> {
 public:
  // Raises EInvalidOperation without a model.
  explicit TMapEditCommand(TLumetaModel* AModel);
  ~TMapEditCommand() override;

  // The model's subject.
  ComPtr<ISubject> GetSubject() override;
  ComPtr<ISelection> GetState() override;
  // Always empty: the processor runs these commands whole, never node by node.
  ComPtr<INode> GetUndoNode() override;
  void SetState(ISelection* ASelection) override;
  ComPtr<ITree> GetTree() override;

 protected:
  TLumetaMap& Map() const { return FModel->Map(); }
  TLumetaModel* Model() const noexcept { return FModel.get(); }

  // Before the change. The first run tells the controllers about an event of AKind with the
  // selection and the carried nodes, and raises ELumetaError "the plug-in refuses to <AChange>"
  // when one refuses (the processor then rolls back what they ran); a later run (redo) runs again,
  // in order, what they ran the first time instead of asking them again.
  void Announce(int32_t AKind, const std::vector<INode*>& ASelection, const std::vector<INode*>& ACarried,
                const std::string& AChange);
  // After the change: takes from the processor what ran in this run, for UndoAnswers.
  void KeepAnswers();
  // After the change is undone: undoes what KeepAnswers took, newest first.
  void UndoAnswers();

 private:
  ComPtr<TLumetaModel> FModel;
  std::vector<std::string> FState;
  bool FAnnounced = false;
  std::vector<ComPtr<ICommand>> FAnswers;
};

// Adds a node with a title under a parent, announced as a child added under the parent. Undo takes
// the node out and keeps it; redo puts the same node back at the same place, so it keeps its ID
// (the map never hands that ID out again).
class TAddNodeCommand : public TMapEditCommand {
 public:
  // AIndex -1 adds the node last.
  TAddNodeCommand(TLumetaModel* AModel, int64_t AParentID, std::string ATitle, int AIndex = -1);
  ~TAddNodeCommand() override;

  std::string GetDescription() override;  // "Add Topic"
  void Execute() override;
  void UnExecute() override;

  // 0 until the first Execute.
  int64_t NodeID() const noexcept { return FNodeID; }

 private:
  int64_t FParentID;
  std::string FTitle;
  int FIndex;
  int64_t FNodeID = 0;
  ComPtr<TLumetaNode> FDetached;  // the node while it is undone
};

// Gives a node a new title; undo restores the title it had. The root's title is the map's.
class TRetitleNodeCommand : public TMapEditCommand {
 public:
  TRetitleNodeCommand(TLumetaModel* AModel, int64_t ANodeID, std::string ATitle);
  ~TRetitleNodeCommand() override;

  std::string GetDescription() override;  // "Rename Topic"
  void Execute() override;
  void UnExecute() override;

 private:
  int64_t FNodeID;
  std::string FTitle;
  std::string FOldTitle;
};

// Takes a node and its subtree out of the map, announced as the node's deletion. The command keeps
// the subtree, properties and all, so that undo puts the very same nodes back at the same place.
class TDeleteNodeCommand : public TMapEditCommand {
 public:
  // The root cannot be deleted: Execute raises ELumetaError for ID 0.
  TDeleteNodeCommand(TLumetaModel* AModel, int64_t ANodeID);
  ~TDeleteNodeCommand() override;

  std::string GetDescription() override;  // "Delete Topic"
  void Execute() override;
  void UnExecute() override;

 private:
  int64_t FNodeID;
  int64_t FParentID = 0;
  int FIndex = -1;
  ComPtr<TLumetaNode> FDetached;
};

// Moves a node (with its subtree) under another parent, at a position among the new siblings,
// announced as an event of the kind given (a drop under the parent by default, or an indent);
// undo moves it back to where it was.
class TMoveNodeCommand : public TMapEditCommand {
 public:
  // AIndex counts the new parent's children without the moved node; -1 puts it last. Execute
  // raises ELumetaError for an index outside 0..count, for the root, and for a parent inside the
  // moved subtree, before announcing anything.
  TMoveNodeCommand(TLumetaModel* AModel, int64_t ANodeID, int64_t ANewParentID, int AIndex = -1,
                   int32_t AKind = KEventDropUnder);
  ~TMoveNodeCommand() override;

  std::string GetDescription() override;  // "Move Topic"
  void Execute() override;
  void UnExecute() override;

 private:
  int64_t FNodeID;
  int64_t FNewParentID;
  int FIndex;
  int32_t FKind;
  int64_t FOldParentID = 0;
  int FOldIndex = -1;
};

// Makes tasks of nodes through the plug-ins' controllers: announces the nodes as nodes to become
// tasks (one node as the node to become a task) and changes nothing itself, so that what the
// controllers run in answer is one undo step.
class TConvertNodesCommand : public TMapEditCommand {
 public:
  // Execute raises ELumetaError when a node is gone or is the root.
  TConvertNodesCommand(TLumetaModel* AModel, std::vector<int64_t> ANodeIDs);
  ~TConvertNodesCommand() override;

  std::string GetDescription() override;  // "Convert to Task"
  void Execute() override;
  void UnExecute() override;

 private:
  std::vector<int64_t> FNodeIDs;
};

// Gives the map a new working calendar (days, periods, holidays, schedule start) at once; undo
// restores the one it had. Execute raises EConvertError, changing nothing, for a calendar that
// leaves no working time or is malformed. Afterwards the plug-ins' controllers hear that what task
// dates depend on changed, and what they run in answer (a map that schedules places its tasks
// again) is part of the same step.
class TChangeCalendarCommand : public TMapEditCommand {
 public:
  TChangeCalendarCommand(TLumetaModel* AModel, TMapCalendar ACalendar);
  ~TChangeCalendarCommand() override;

  std::string GetDescription() override;  // "Change Calendar"
  void Execute() override;
  void UnExecute() override;

 private:
  TLumetaMapSettings& Settings() const;

  TMapCalendar FCalendar;
  TMapCalendar FOldCalendar;
};

// An edit of what task dates depend on that is not itself a rescheduling (a task's constraint
// typed into its record): runs the edit on the nodes, then tells the plug-ins' controllers which
// tasks it changed, so that what they run in answer (the tasks placed again while the map
// schedules) is one undo step with the edit.
class TScheduleInputEditCommand : public TMapEditCommand {
 public:
  // AEdit is run through the processor on a selection of the nodes.
  TScheduleInputEditCommand(TLumetaModel* AModel, ComPtr<ICommand> AEdit, std::vector<int64_t> ANodeIDs);
  ~TScheduleInputEditCommand() override;

  std::string GetDescription() override;  // the edit's
  void Execute() override;
  void UnExecute() override;

 private:
  ComPtr<ICommand> FEdit;
  std::vector<int64_t> FNodeIDs;
  bool FEdited = false;
};

// Gives a node new notes, resources, categories and attachments at once; undo restores what it
// had. Whether the node shows its children is a view setting, not part of the edit, and stays.
class TChangeHostDataCommand : public TMapEditCommand {
 public:
  // ADescription is what the undo history calls the step ("Add Resource").
  TChangeHostDataCommand(TLumetaModel* AModel, int64_t ANodeID, TLumetaNode::THostData AData,
                         std::string ADescription);
  ~TChangeHostDataCommand() override;

  std::string GetDescription() override;
  void Execute() override;
  void UnExecute() override;

 private:
  void Put(TLumetaNode::THostData& AData);

  int64_t FNodeID;
  TLumetaNode::THostData FData;  // the other state: the new data before Execute, the old after
  std::string FDescription;
};
