#include "host/MapEditCommands.h"

#include <utility>

#include "com/ComErrors.h"
#include "commands/TreeCommands.h"

// ---- TMapEditCommand

TMapEditCommand::TMapEditCommand(TLumetaModel* AModel) : FModel(AModel) {
  if (!AModel) throw EInvalidOperation("A tree command needs a model");
}

TMapEditCommand::~TMapEditCommand() = default;

ComPtr<ISubject> TMapEditCommand::GetSubject() { return QueryAs<ISubject>(static_cast<ILumetaModel*>(FModel.get())); }

ComPtr<ISelection> TMapEditCommand::GetState() { return SelectionFromNodeIDs(FModel->GetTree().get(), FState); }

ComPtr<INode> TMapEditCommand::GetUndoNode() { return {}; }

void TMapEditCommand::SetState(ISelection* ASelection) { FState = NodeIDsOfSelection(ASelection); }

ComPtr<ITree> TMapEditCommand::GetTree() { return FModel->GetTree(); }

// ---- TAddNodeCommand

TAddNodeCommand::TAddNodeCommand(TLumetaModel* AModel, int64_t AParentID, std::string ATitle, int AIndex)
    : TMapEditCommand(AModel), FParentID(AParentID), FTitle(std::move(ATitle)), FIndex(AIndex) {}

TAddNodeCommand::~TAddNodeCommand() = default;

std::string TAddNodeCommand::GetDescription() { return "Add Topic"; }

void TAddNodeCommand::Execute() {
  TLumetaNode* parent = Map().GetNode(FParentID);
  if (!FDetached) {
    TLumetaNode* node = Map().AddNode(parent, FTitle, FIndex);
    FNodeID = node->ID();
    FIndex = node->IndexInParent();
    return;
  }
  Map().AttachNode(parent, FDetached, FIndex);
  FDetached.reset();
}

void TAddNodeCommand::UnExecute() { FDetached = Map().DetachNode(Map().GetNode(FNodeID)); }

// ---- TRetitleNodeCommand

TRetitleNodeCommand::TRetitleNodeCommand(TLumetaModel* AModel, int64_t ANodeID, std::string ATitle)
    : TMapEditCommand(AModel), FNodeID(ANodeID), FTitle(std::move(ATitle)) {}

TRetitleNodeCommand::~TRetitleNodeCommand() = default;

std::string TRetitleNodeCommand::GetDescription() { return "Rename Topic"; }

void TRetitleNodeCommand::Execute() {
  TLumetaNode* node = Map().GetNode(FNodeID);
  FOldTitle = node->Title();
  node->SetTitle(FTitle);
}

void TRetitleNodeCommand::UnExecute() { Map().GetNode(FNodeID)->SetTitle(FOldTitle); }

// ---- TDeleteNodeCommand

TDeleteNodeCommand::TDeleteNodeCommand(TLumetaModel* AModel, int64_t ANodeID)
    : TMapEditCommand(AModel), FNodeID(ANodeID) {}

// A subtree still held here was deleted for good: let its linked nodes go.
TDeleteNodeCommand::~TDeleteNodeCommand() {
  if (FDetached) TLumetaMap::ReleaseSubtree(FDetached.get());
}

std::string TDeleteNodeCommand::GetDescription() { return "Delete Topic"; }

void TDeleteNodeCommand::Execute() {
  TLumetaNode* node = Map().GetNode(FNodeID);
  if (node->IsRoot()) throw ELumetaError("The map's root cannot be deleted");
  FParentID = node->Parent()->ID();
  FIndex = node->IndexInParent();
  FDetached = Map().DetachNode(node);
}

void TDeleteNodeCommand::UnExecute() {
  Map().AttachNode(Map().GetNode(FParentID), FDetached, FIndex);
  FDetached.reset();
}

// ---- TMoveNodeCommand

TMoveNodeCommand::TMoveNodeCommand(TLumetaModel* AModel, int64_t ANodeID, int64_t ANewParentID, int AIndex)
    : TMapEditCommand(AModel), FNodeID(ANodeID), FNewParentID(ANewParentID), FIndex(AIndex) {}

TMoveNodeCommand::~TMoveNodeCommand() = default;

std::string TMoveNodeCommand::GetDescription() { return "Move Topic"; }

void TMoveNodeCommand::Execute() {
  TLumetaNode* node = Map().GetNode(FNodeID);
  TLumetaNode* parent = Map().GetNode(FNewParentID);
  if (node->IsRoot()) throw ELumetaError("The map's root cannot be moved");
  int places = static_cast<int>(parent->Children().size());
  if (node->Parent() == parent) --places;
  if (FIndex < -1 || FIndex > places)
    throw ELumetaError("Position " + std::to_string(FIndex) + " is outside 0.." + std::to_string(places) +
                       " under node " + std::to_string(FNewParentID));
  FOldParentID = node->Parent()->ID();
  FOldIndex = node->IndexInParent();
  Map().MoveNode(node, parent, FIndex);
}

void TMoveNodeCommand::UnExecute() {
  Map().MoveNode(Map().GetNode(FNodeID), Map().GetNode(FOldParentID), FOldIndex);
}

// ---- TChangeCalendarCommand

TChangeCalendarCommand::TChangeCalendarCommand(TLumetaModel* AModel, TMapCalendar ACalendar)
    : TMapEditCommand(AModel), FCalendar(std::move(ACalendar)) {}

TChangeCalendarCommand::~TChangeCalendarCommand() = default;

std::string TChangeCalendarCommand::GetDescription() { return "Change Calendar"; }

TLumetaMapSettings& TChangeCalendarCommand::Settings() const {
  auto* settings = dynamic_cast<TLumetaMapSettings*>(Map().Settings());
  if (!settings) throw EInvalidOperation("The map has no settings of its own");
  return *settings;
}

void TChangeCalendarCommand::Execute() {
  TLumetaMapSettings& settings = Settings();
  TMapCalendar old = settings.Calendar();
  settings.SetCalendar(FCalendar);
  FOldCalendar = std::move(old);
}

void TChangeCalendarCommand::UnExecute() { Settings().SetCalendar(FOldCalendar); }
