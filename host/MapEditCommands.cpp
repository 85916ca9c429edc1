#include "host/MapEditCommands.h"

#include <utility>

#include "com/ComErrors.h"
#include "commands/SelectionData.h"
#include "commands/TreeCommands.h"
#include "commands/NodeList.h"
#include "host/LumetaPlugInEvent.h"

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

void TMapEditCommand::Announce(int32_t AKind, const std::vector<INode*>& ASelection,
                               const std::vector<INode*>& ACarried, const std::string& AChange) {
  TLumetaCommandProcessor* processor = FModel->Processor();
  if (FAnnounced) {
    // Asking again could answer otherwise (the controllers see the map as it is now, not as it
    // was), and redo must bring back exactly what undo took away.
    for (const ComPtr<ICommand>& answer : FAnswers) processor->Execute(answer.get(), answer->GetState().get());
    return;
  }
  ComPtr<TData> selection = make<TData>();
  for (INode* node : ASelection) selection->Add(node);
  ComPtr<TNodeList> carried = make<TNodeList>();
  for (INode* node : ACarried) carried->Add(node);
  ComPtr<TLumetaPlugInEvent> event =
      make<TLumetaPlugInEvent>(AKind, static_cast<ILumetaModel*>(FModel.get()), selection.get(), carried.get());
  if (!FModel->HandleEvent(event.get())) throw ELumetaError("the plug-in refuses to " + AChange);
  FAnnounced = true;
}

void TMapEditCommand::KeepAnswers() { FAnswers = FModel->Processor()->TakeCompleted(); }

void TMapEditCommand::UndoAnswers() {
  for (auto it = FAnswers.rbegin(); it != FAnswers.rend(); ++it) FModel->Processor()->Undo(it->get());
}

// ---- TAddNodeCommand

TAddNodeCommand::TAddNodeCommand(TLumetaModel* AModel, int64_t AParentID, std::string ATitle, int AIndex)
    : TMapEditCommand(AModel), FParentID(AParentID), FTitle(std::move(ATitle)), FIndex(AIndex) {}

TAddNodeCommand::~TAddNodeCommand() = default;

std::string TAddNodeCommand::GetDescription() { return "Add Topic"; }

void TAddNodeCommand::Execute() {
  TLumetaNode* parent = Map().GetNode(FParentID);
  Announce(KEventAddChild, {parent}, {}, "add a node under node " + std::to_string(FParentID));
  if (!FDetached) {
    TLumetaNode* node = Map().AddNode(parent, FTitle, FIndex);
    FNodeID = node->ID();
    FIndex = node->IndexInParent();
  } else {
    Map().AttachNode(parent, FDetached, FIndex);
    FDetached.reset();
  }
  KeepAnswers();
}

void TAddNodeCommand::UnExecute() {
  FDetached = Map().DetachNode(Map().GetNode(FNodeID));
  UndoAnswers();
}

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
  Announce(KEventNodesDeleted, {node}, {node}, "delete node " + std::to_string(FNodeID));
  FParentID = node->Parent()->ID();
  FIndex = node->IndexInParent();
  FDetached = Map().DetachNode(node);
  KeepAnswers();
}

void TDeleteNodeCommand::UnExecute() {
  Map().AttachNode(Map().GetNode(FParentID), FDetached, FIndex);
  FDetached.reset();
  UndoAnswers();
}

// ---- TMoveNodeCommand

TMoveNodeCommand::TMoveNodeCommand(TLumetaModel* AModel, int64_t ANodeID, int64_t ANewParentID, int AIndex,
                                   int32_t AKind)
    : TMapEditCommand(AModel), FNodeID(ANodeID), FNewParentID(ANewParentID), FIndex(AIndex), FKind(AKind) {}

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
  // Checked before the announcement, so that the plug-in never hears of a move that cannot happen.
  if (parent == node || parent->IsDescendantOf(node)) throw ELumetaError("A node cannot be moved below itself");
  Announce(FKind, {parent}, {node},
           "move node " + std::to_string(FNodeID) + " under node " + std::to_string(FNewParentID));
  FOldParentID = node->Parent()->ID();
  FOldIndex = node->IndexInParent();
  Map().MoveNode(node, parent, FIndex);
  KeepAnswers();
}

void TMoveNodeCommand::UnExecute() {
  Map().MoveNode(Map().GetNode(FNodeID), Map().GetNode(FOldParentID), FOldIndex);
  UndoAnswers();
}

// ---- TConvertNodesCommand

TConvertNodesCommand::TConvertNodesCommand(TLumetaModel* AModel, std::vector<int64_t> ANodeIDs)
    : TMapEditCommand(AModel), FNodeIDs(std::move(ANodeIDs)) {}

TConvertNodesCommand::~TConvertNodesCommand() = default;

std::string TConvertNodesCommand::GetDescription() { return "Convert to Task"; }

void TConvertNodesCommand::Execute() {
  std::vector<INode*> nodes;
  std::string ids;
  for (int64_t id : FNodeIDs) {
    TLumetaNode* node = Map().GetNode(id);
    if (node->IsRoot()) throw ELumetaError("The map's root cannot become a task");
    nodes.push_back(node);
    ids += (ids.empty() ? "" : ", ") + std::to_string(id);
  }
  const bool one = nodes.size() == 1;
  Announce(one ? KEventConvertNode : KEventMakeTasks, nodes, nodes,
           std::string("make ") + (one ? "a task of node " : "tasks of nodes ") + ids);
  KeepAnswers();
}

void TConvertNodesCommand::UnExecute() { UndoAnswers(); }

// ---- TChangeCalendarCommand

TChangeCalendarCommand::TChangeCalendarCommand(TLumetaModel* AModel, TMapCalendar ACalendar)
    : TMapEditCommand(AModel), FCalendar(std::move(ACalendar)) {}

TChangeCalendarCommand::~TChangeCalendarCommand() = default;

std::string TChangeCalendarCommand::GetDescription() { return "Change Calendar"; }

TLumetaMapSettings& TChangeCalendarCommand::Settings() const {
  TLumetaMapSettings* settings = Map().MapSettings();
  if (!settings) throw EInvalidOperation("The map has no settings of its own");
  return *settings;
}

void TChangeCalendarCommand::Execute() {
  TLumetaMapSettings& settings = Settings();
  TMapCalendar old = settings.Calendar();
  settings.SetCalendar(FCalendar);
  FOldCalendar = std::move(old);
  try {
    Announce(KEventScheduleInputChanged, {}, {}, "follow the new calendar");
  } catch (...) {
    settings.SetCalendar(FOldCalendar);
    throw;
  }
  KeepAnswers();
}

void TChangeCalendarCommand::UnExecute() {
  UndoAnswers();
  Settings().SetCalendar(FOldCalendar);
}

// ---- TScheduleInputEditCommand

TScheduleInputEditCommand::TScheduleInputEditCommand(TLumetaModel* AModel, ComPtr<ICommand> AEdit,
                                                     std::vector<int64_t> ANodeIDs)
    : TMapEditCommand(AModel), FEdit(std::move(AEdit)), FNodeIDs(std::move(ANodeIDs)) {
  if (!FEdit) throw EInvalidOperation("An edit to follow needs a command");
}

TScheduleInputEditCommand::~TScheduleInputEditCommand() = default;

std::string TScheduleInputEditCommand::GetDescription() { return FEdit->GetDescription(); }

void TScheduleInputEditCommand::Execute() {
  std::vector<INode*> nodes;
  for (int64_t id : FNodeIDs) nodes.push_back(Map().GetNode(id));
  // A redo runs the edit again among the kept answers, in its place before them.
  if (!FEdited) {
    ComPtr<TData> selection = make<TData>();
    for (INode* node : nodes) selection->Add(node);
    Model()->Processor()->Execute(FEdit.get(), selection.get());
    FEdited = true;
  }
  Announce(KEventScheduleInputChanged, nodes, nodes, "follow the edit");
  KeepAnswers();
}

void TScheduleInputEditCommand::UnExecute() { UndoAnswers(); }

// ---- TChangeHostDataCommand

TChangeHostDataCommand::TChangeHostDataCommand(TLumetaModel* AModel, int64_t ANodeID, TLumetaNode::THostData AData,
                                               std::string ADescription)
    : TMapEditCommand(AModel), FNodeID(ANodeID), FData(std::move(AData)), FDescription(std::move(ADescription)) {}

TChangeHostDataCommand::~TChangeHostDataCommand() = default;

std::string TChangeHostDataCommand::GetDescription() { return FDescription; }

// Swaps, so that Execute and UnExecute are one operation and neither copies.
void TChangeHostDataCommand::Put(TLumetaNode::THostData& AData) {
  TLumetaNode::THostData& current = Map().GetNode(FNodeID)->HostData();
  AData.Expanded = current.Expanded;
  AData.Connections = current.Connections;
  std::swap(current, AData);
}

void TChangeHostDataCommand::Execute() { Put(FData); }

void TChangeHostDataCommand::UnExecute() { Put(FData); }
