#pragma once
// Typed edits of an open map's actions and task links, the same for every front end: a value as
// the user typed it, for a node's field or a command entry, goes through the Action plug-in's
// controller as the desktop's action columns and menus hand it over, and a link edit through the
// link service that controller serves. The plug-in is reached only through the contract, so the
// one copy of it in a process is the one the document loaded.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "com/AggregableObject.h"
#include "com/ComPtr.h"
#include "contract/ActionEditIntf.h"
#include "contract/CommandIntf.h"
#include "contract/ActionVocabulary.h"
#include "host/LumetaModel.h"
#include "session/MapDocument.h"

// What an edit came to.
struct TEditResult {
  // Empty when the edit was made; else why not, naming the field, the entry or the node.
  std::string Error;
  // The edit was made (or was nothing to make), but the user should hear these.
  std::vector<std::string> Warnings;
  // The plug-in has shown its warning for the refusal already (a link its rules refuse).
  bool Warned = false;
  explicit operator bool() const noexcept { return Error.empty(); }
};

// How a typed date is handed on: checked first, kept as soon as possible, moving the whole task.
struct TDateEditFlags {
  bool Validate = true;
  bool AutoSchedule = false;
  bool MoveTask = false;
};

// A command entry as the controller leaves it after its update on the selection.
struct TEntryState {
  bool Enabled = false;
  bool Checked = false;
  std::string Reason;  // why it is disabled; empty while enabled
};

enum class TLinkChange { Add, Remove, Retype };

// One change of a successor's predecessor links: to the link from the node PredecessorID.
struct TPredecessorChange {
  TLinkChange Change = TLinkChange::Add;
  int64_t PredecessorID = 0;
  TTaskLinkType Type = ltFinishToStart;
};

// One task link as a node stores it: the linked node's ID and the type's code (FS, SS, FF, SF).
struct TTaskLinkInfo {
  int64_t NodeID = 0;
  const char* Type = "FS";
};

// The node's predecessor (APredecessors) or successor links, in their order; links to nodes that
// are gone are left out.
std::vector<TTaskLinkInfo> TaskLinksOf(INode* ANode, bool APredecessors);

// Runs AWork once inside its own run, so that whatever AWork runs through the model's processor
// (entries, link commands) is this one undo step: undo undoes those commands newest first, redo
// runs them again in order instead of calling AWork again. An error in AWork rolls back what it
// ran so far. The model is counted.
class TEditStepCommand : public TImplements<TAggregableObject, ICommand> {
 public:
  TEditStepCommand(TLumetaModel* AModel, std::string ADescription, std::function<void()> AWork);
  ~TEditStepCommand() override;

  ComPtr<ISubject> GetSubject() override;
  std::string GetDescription() override { return FDescription; }
  ComPtr<ISelection> GetState() override;
  // Always empty: the processor runs the step whole.
  ComPtr<INode> GetUndoNode() override { return {}; }
  void Execute() override;
  void SetState(ISelection* ASelection) override;
  void UnExecute() override;

 private:
  ComPtr<TLumetaModel> FModel;
  std::string FDescription;
  std::function<void()> FWork;  // dropped after the first run
  std::vector<ComPtr<ICommand>> FDone;
  std::vector<std::string> FState;
};

class TActionEditor {
 public:
  // Edits the map the document has open at the time of each call.
  explicit TActionEditor(TMapDocument& ADocument);
  // Edits the model's map, for a front end that holds the model only.
  explicit TActionEditor(TLumetaModel* AModel);

  // Writes AText into the field of the node, as the field's action column does: the node becomes
  // the selection and the column's entry runs on it. A field without a column (the constraint,
  // Posted To Outlook, Is Summary), and the due date while the map schedules tasks (which the
  // entry leaves to the schedule), are written into the record as the dialog writes them. Dates
  // go by the plug-in's rule for typed dates.
  TEditResult SetField(const std::string& ANodeID, TActionField AField, const std::string& AText);
  TEditResult SetField(const std::string& ANodeID, const std::string& AFieldName, const std::string& AText);
  // Runs entry AID (6 to 23) on the selection (by default the current one) with the value typed
  // as AValueWords (for Duration a number and an optional measure, by default the first selected
  // node's). The entry is updated first, and a disabled one is refused with the controller's reason.
  TEditResult RunEntry(int32_t AID, const std::vector<std::string>& AValueWords, TDateEditFlags AFlags = {},
                       ISelection* ASelection = nullptr);
  TEntryState UpdateEntry(int32_t AID, ISelection* ASelection = nullptr);
  // Makes the nodes the current selection; an ID naming no node is refused and nothing changes.
  TEditResult Select(const std::vector<std::string>& ANodeIDs);

  // The field's value as the map file writes it: what the record answers (a summary task's
  // rolled-up value while the map schedules tasks, as the tree shows it), or with AStored what the
  // record stores. Empty when the node has no action. Raises ELumetaError for a bad node ID.
  std::optional<std::string> FieldText(const std::string& ANodeID, TActionField AField, bool AStored = false);

  // The value a date-time typed into the node's date field becomes by the plug-in's rule for typed
  // dates (a moment outside working time moves to the nearest working one). Raises ELumetaError for
  // a bad node ID.
  double TypedDate(const std::string& ANodeID, TActionField AField, double AValue);

  // Adds (of type AType), removes or retypes (to AType) the link from the predecessor to the
  // successor as one undo step.
  TEditResult ChangeLink(TLinkChange AChange, const std::string& APredecessorID, const std::string& ASuccessorID,
                         TTaskLinkType AType = ltFinishToStart);
  // The undoable command for one link change; nothing runs it. Refused as ChangeLink is.
  TEditResult PrepareLinkChange(TLinkChange AChange, int64_t APredecessorID, int64_t ASuccessorID,
                                TTaskLinkType AType, ComPtr<ICommand>& ACommand);
  // What makes the successor's predecessors the list typed as a predecessors column shows it:
  // task numbers, each with an optional type code ("3, 5SS, 7ff"), separated by commas or
  // semicolons; an empty text removes them all. Removals first, then type changes, then new links,
  // each to be prepared once the ones before it have run; an unchanged list gives none. A number
  // naming no task, or a task typed with two types, shows the plug-in's warning and is refused.
  TEditResult PredecessorChanges(int64_t ASuccessorID, const std::string& AText,
                                 std::vector<TPredecessorChange>& AChanges);
  // A predecessor typed as a task number with an optional type code in any case ("12", "7ss").
  bool ParsePredecessor(const std::string& AText, int64_t& ANumber, TTaskLinkType& AType);
  // The node's predecessor (APredecessors) or successor links, in their order.
  std::vector<TTaskLinkInfo> TaskLinks(int64_t ANodeID, bool APredecessors);
  // The warning for a link that leads in a circle after the node moved under new summary tasks,
  // or for any circle in the map; empty when there is none.
  std::string LinkCircleAbove(int64_t ANodeID);
  std::string LinkCircleInMap();
  // Places every task of the map again from the schedule start, as one undo step.
  TEditResult Refresh();
  // Runs AWork as one undo step named ADescription: the edits it makes through this editor are
  // undone together. When AWork raises, what it did is rolled back and the error is the result's.
  TEditResult InOneStep(const std::string& ADescription, std::function<void()> AWork);

 private:
  TLumetaModel* Model() const;
  ComPtr<IActionPlugInUI> Controller() const;
  ComPtr<ITaskLinkEditor> Links() const;
  TLumetaNode* Node(const std::string& ANodeID) const;

  TMapDocument* FDocument = nullptr;
  TLumetaModel* FModel = nullptr;
};
