#include "session/ActionEditor.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <variant>

#include "com/ComErrors.h"
#include "com/NumberText.h"
#include "commands/ActionFieldEdit.h"
#include "commands/TreeCommands.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "contract/LumetaTypes.h"
#include "contract/PlugInUIIntf.h"
#include "host/LumetaCommandEntry.h"
#include "host/LumetaEditedValue.h"
#include "host/LumetaStandardInteractor.h"
#include "host/MapEditCommands.h"

namespace {

// "entry 11 (Start Date)", for messages.
std::string EntryName(int32_t AID) { return "entry " + std::to_string(AID) + " (" + CommandEntryName(AID) + ")"; }

// Runs AWork and turns what it raises into the result's error, so that a refusal reaches every
// front end as text and nothing half done stays (the processor rolls a failed command back).
template <class F>
TEditResult Attempt(F&& AWork) {
  try {
    return AWork();
  } catch (const std::exception& error) {
    return {error.what(), {}, false};
  }
}

TEditResult Refused(std::string AWhy) { return {std::move(AWhy), {}, false}; }

ComPtr<INode> FirstNode(ISelection* ASelection) {
  return ASelection && ASelection->GetCount() > 0 ? QueryAs<INode>(ASelection->GetItem(0).get()) : nullptr;
}

ComPtr<IActionAttribute> ActionOf(INode* ANode) {
  ComPtr<IProperty> property = ANode ? ANode->FindProperty(KActionPropertyName) : nullptr;
  return property ? QueryAs<IActionAttribute>(property.get()) : nullptr;
}

bool Scheduling(TLumetaModel* AModel) {
  IMapSettings* settings = AModel->Map().Settings();
  return settings && settings->GetTaskScheduling();
}

TTaskLinkChange ContractChange(TLinkChange AChange) {
  switch (AChange) {
    case TLinkChange::Add: return lcAdd;
    case TLinkChange::Remove: return lcRemove;
    case TLinkChange::Retype: break;
  }
  return lcRetype;
}

// The value typed for AField of ANode; a date placed by the plug-in's rule for typed dates.
TActionFieldValue TypedValue(IActionPlugInUI* AController, INode* ANode, TActionField AField, std::string_view AText) {
  TActionFieldValue value = ParseActionFieldValue(AField, AText);
  if (ActionFieldKind(AField) != TActionFieldKind::Date) return value;
  const bool hasTime = AText.find_first_of("T ") != std::string_view::npos;
  if (ComPtr<IActionEditRules> rules = QueryAs<IActionEditRules>(AController))
    value = rules->TypedDate(ANode, AField, std::get<double>(value), hasTime);
  return value;
}

ComPtr<IUnknown> EditedValue(IActionPlugInUI* AController, ISelection* ASelection, TActionField AField,
                             const std::vector<std::string>& AWords, TDateEditFlags AFlags) {
  ComPtr<INode> first = FirstNode(ASelection);
  const TActionFieldValue value = TypedValue(AController, first.get(), AField, AWords.at(0));
  switch (ActionFieldKind(AField)) {
    case TActionFieldKind::Date:
      return TLumetaEditedValue::Date(std::get<double>(value), AFlags.Validate, AFlags.AutoSchedule, AFlags.MoveTask);
    case TActionFieldKind::Flag:
      return TLumetaEditedValue::Flag(std::get<bool>(value));
    case TActionFieldKind::Percent:
      return TLumetaEditedValue::Number(std::get<int32_t>(value));
    case TActionFieldKind::Amount:
    case TActionFieldKind::Number:
      if (AField == acDuration) {
        if (AWords.size() > 1)
          return TLumetaEditedValue::MeasuredNumber(
              std::get<double>(value), std::get<int32_t>(ParseActionFieldValue(acDurationMeasure, AWords[1])));
        // Without a measure the duration is in the nodes' measure (hours, a new record's); where
        // they differ, a value without one leaves each node its own, as the forms show no unit.
        std::optional<int32_t> measure;
        for (int32_t i = 0, count = ASelection ? ASelection->GetCount() : 0; i < count; ++i) {
          ComPtr<IActionAttribute> action = ActionOf(QueryAs<INode>(ASelection->GetItem(i).get()).get());
          const int32_t own = action ? action->GetDurationMeasure() : 0;
          if (measure && *measure != own) return TLumetaEditedValue::Number(std::get<double>(value));
          measure = own;
        }
        return TLumetaEditedValue::MeasuredNumber(std::get<double>(value), measure.value_or(0));
      }
      return TLumetaEditedValue::Number(std::get<double>(value));
    case TActionFieldKind::Measure:
      return TLumetaEditedValue::Measure(std::get<int32_t>(value));
    case TActionFieldKind::Text:
      return TLumetaEditedValue::Text(std::get<std::string>(value));
    case TActionFieldKind::Constraint:
      break;
  }
  throw EInvalidOperation(std::string("No command entry edits ") + KActionFieldNames[AField]);
}

// The entry as the controller leaves it after its update, with the interactor it was updated
// through. A field's column applies to selected nodes only.
struct TUpdated {
  ComPtr<TLumetaCommandEntry> Entry;
  ComPtr<TLumetaStandardInteractor> Interactor;
};

TUpdated Update(TLumetaModel* AModel, IActionPlugInUI* AController, ISelection* ASelection, int32_t AID,
                IUnknown* AValue = nullptr) {
  const bool applicable = AID < KFirstFieldEntry || (ASelection && ASelection->GetCount() > 0);
  ComPtr<TLumetaCommandEntry> entry = make<TLumetaCommandEntry>(AID, true, applicable);
  ComPtr<TLumetaStandardInteractor> interactor =
      make<TLumetaStandardInteractor>(entry.get(), AValue, static_cast<ILumetaModel*>(AModel), ASelection);
  AController->UpdateCommand(interactor.get());
  if (AID >= KFirstFieldEntry)
    if (ComPtr<IActionPlugInEvents> events = QueryAs<IActionPlugInEvents>(AController))
      events->UpdateDefault(interactor.get());
  return {entry, interactor};
}

std::string DisabledReason(IActionPlugInUI* AController, IStandardInteractor* AInteractor) {
  ComPtr<IActionEditRules> rules = QueryAs<IActionEditRules>(AController);
  return rules ? rules->DisabledReason(AInteractor) : std::string();
}

}  // namespace

// ---- TEditStepCommand

TEditStepCommand::TEditStepCommand(TLumetaModel* AModel, std::string ADescription, std::function<void()> AWork)
    : FModel(AModel), FDescription(std::move(ADescription)), FWork(std::move(AWork)) {
  if (!AModel) throw EInvalidOperation("An edit step needs a model");
}

TEditStepCommand::~TEditStepCommand() = default;

ComPtr<ISubject> TEditStepCommand::GetSubject() {
  return QueryAs<ISubject>(static_cast<ILumetaModel*>(FModel.get()));
}

ComPtr<ISelection> TEditStepCommand::GetState() { return SelectionFromNodeIDs(FModel->GetTree().get(), FState); }

void TEditStepCommand::SetState(ISelection* ASelection) { FState = NodeIDsOfSelection(ASelection); }

void TEditStepCommand::Execute() {
  TLumetaCommandProcessor* processor = FModel->Processor();
  if (FWork) {
    FWork();
    FWork = nullptr;
  } else {
    // Calling the work again could answer otherwise; redo brings back exactly what undo took.
    for (const ComPtr<ICommand>& command : FDone) processor->Execute(command.get(), command->GetState().get());
  }
  FDone = processor->TakeCompleted();
}

void TEditStepCommand::UnExecute() {
  for (auto it = FDone.rbegin(); it != FDone.rend(); ++it) FModel->Processor()->Undo(it->get());
}

// ---- TActionEditor

TActionEditor::TActionEditor(TMapDocument& ADocument) : FDocument(&ADocument) {}

TActionEditor::TActionEditor(TLumetaModel* AModel) : FModel(AModel) {}

TLumetaModel* TActionEditor::Model() const {
  TLumetaModel* model = FDocument ? FDocument->Model() : FModel;
  if (!model) throw EInvalidOperation("No map is open");
  return model;
}

ComPtr<IActionPlugInUI> TActionEditor::Controller() const {
  ComPtr<IActionPlugInUI> controller = Model()->FindPlugInUI(KActionPlugInName);
  if (!controller) throw ELumetaError("the plug-in has no controller for the Action entries");
  return controller;
}

ComPtr<ITaskLinkEditor> TActionEditor::Links() const {
  ComPtr<ITaskLinkEditor> links = QueryAs<ITaskLinkEditor>(Controller().get());
  if (!links) throw ELumetaError("the plug-in's controller edits no task links");
  return links;
}

TLumetaNode* TActionEditor::Node(const std::string& ANodeID) const {
  const std::optional<int64_t> id = ParseInteger<int64_t>(ANodeID);
  if (!id || *id < 0) throw ELumetaError("'" + ANodeID + "' is not a node ID", E_INVALIDARG);
  return Model()->Map().GetNode(*id);
}

// ---- fields and entries

TEditResult TActionEditor::SetField(const std::string& ANodeID, const std::string& AFieldName,
                                    const std::string& AText) {
  const std::optional<TActionField> field = FindActionField(AFieldName);
  if (!field) return Refused("unknown field '" + AFieldName + "'; the fields are " + ActionFieldNameList());
  return SetField(ANodeID, *field, AText);
}

TEditResult TActionEditor::SetField(const std::string& ANodeID, TActionField AField, const std::string& AText) {
  return Attempt([&]() -> TEditResult {
    TLumetaNode* node = Node(ANodeID);
    if (node->IsRoot()) return Refused("the map's root (0) has no action");
    TLumetaModel* model = Model();
    const std::optional<int32_t> entry = FieldEntry(AField);
    // The due date entry leaves a scheduled task's due date alone; the dialog and the panel store it.
    if (!entry || (AField == acDueDate && Scheduling(model))) {
      const TActionFieldValue value = TypedValue(Controller().get(), node, AField, AText);
      if (AField != acConstraintType && AField != acConstraintDate) {
        TActionFieldEdit::Execute(model, node, AField, value);
        return {};
      }
      // The task's dates follow its constraint in the same step while the map schedules.
      model->Processor()->Execute(
          make<TScheduleInputEditCommand>(model, TActionFieldEdit::PrepareCommand(model, node, AField, value),
                                          std::vector<int64_t>{node->ID()})
              .get(),
          nullptr);
      return {};
    }
    model->SetSelectedIDs({node->ID()});
    TEditResult result = RunEntry(*entry, {AText});
    // A scheduled map moves tasks; a node without an action is none yet, so its dates stay unset.
    static constexpr TActionField KScheduledFields[] = {acStartDate, acCompletedDate, acDuration, acDurationMeasure,
                                                        acIsMilestone};
    if (result && Scheduling(model) && !node->FindProperty(KActionPropertyName) &&
        std::ranges::find(KScheduledFields, AField) != std::end(KScheduledFields))
      result.Warnings.push_back("node " + ANodeID + " is no task yet, so nothing changed; `convert " + ANodeID +
                       "` makes it one");
    return result;
  });
}

TEditResult TActionEditor::RunEntry(int32_t AID, const std::vector<std::string>& AValueWords, TDateEditFlags AFlags,
                                    ISelection* ASelection) {
  return Attempt([&]() -> TEditResult {
    if (!IsCommandEntry(AID))
      return Refused(std::string("'").append(std::to_string(AID)) + "' is not a command entry (" +
                     std::to_string(KFirstCommandEntry) + " to " + std::to_string(KLastCommandEntry) + ")");
    const std::optional<TActionField> field = EntryField(AID);
    const size_t most = AID == ciDuration ? 2 : field ? 1 : 0;
    if (!field && !AValueWords.empty()) return Refused(EntryName(AID) + " takes no value");
    if (field && (AValueWords.empty() || AValueWords.size() > most))
      return Refused(EntryName(AID) +
                     (AID == ciDuration ? " takes a number and an optional measure" : " takes one value"));
    TLumetaModel* model = Model();
    ComPtr<IActionPlugInUI> controller = Controller();
    ComPtr<ISelection> selection = ASelection ? ComPtr<ISelection>(ASelection) : model->GetCurrentSelection();
    // The words are checked before the entry, so that a typing error is reported as one.
    ComPtr<IUnknown> value =
        field ? EditedValue(controller.get(), selection.get(), *field, AValueWords, AFlags) : nullptr;
    const TUpdated updated = Update(model, controller.get(), selection.get(), AID, value.get());
    if (!updated.Entry->GetEnabled()) {
      const std::string reason = DisabledReason(controller.get(), updated.Interactor.get());
      return Refused(EntryName(AID) + " is disabled for the current selection" +
                     (reason.empty() ? std::string() : ": " + reason));
    }
    controller->ExecuteCommand(updated.Interactor.get());
    return {};
  });
}

TEntryState TActionEditor::UpdateEntry(int32_t AID, ISelection* ASelection) {
  TLumetaModel* model = Model();
  ComPtr<IActionPlugInUI> controller = Controller();
  ComPtr<ISelection> selection = ASelection ? ComPtr<ISelection>(ASelection) : model->GetCurrentSelection();
  const TUpdated updated = Update(model, controller.get(), selection.get(), AID);
  TEntryState state{updated.Entry->GetEnabled(), updated.Entry->GetChecked(), {}};
  if (!state.Enabled) state.Reason = DisabledReason(controller.get(), updated.Interactor.get());
  return state;
}

TEditResult TActionEditor::Select(const std::vector<std::string>& ANodeIDs) {
  return Attempt([&]() -> TEditResult {
    std::vector<int64_t> ids;
    for (const std::string& id : ANodeIDs) ids.push_back(Node(id)->ID());
    Model()->SetSelectedIDs(ids);
    return {};
  });
}

std::optional<std::string> TActionEditor::FieldText(const std::string& ANodeID, TActionField AField, bool AStored) {
  TLumetaNode* node = Node(ANodeID);
  ComPtr<IActionAttribute> action = ActionOf(node);
  if (!action) return std::nullopt;
  if (AStored) return ActionFieldText(action.get(), AField);
  // The record's answer, written as the map file would write the value: a record of no node rolls
  // nothing up, so the value read from the node's record is stored into one and written from it.
  ComPtr<IProperty> answer = Model()->NewProperty(KActionPropertyName);
  ComPtr<IActionAttribute> copy = answer ? QueryAs<IActionAttribute>(answer.get()) : nullptr;
  if (!copy) return ActionFieldText(action.get(), AField);
  switch (AField) {
    case acComplete: copy->SetComplete(action->GetComplete()); break;
    case acCompletedDate: copy->SetCompletedDate(action->GetCompletedDate()); break;
    case acDuration: copy->SetDuration(action->GetDuration()); break;
    case acDurationMeasure: copy->SetDurationMeasure(action->GetDurationMeasure()); break;
    case acStartDate: copy->SetStartDate(action->GetStartDate()); break;
    case acStatus: copy->SetStatus(action->GetStatus()); break;
    // The record keeps a flag nobody sets; what it stands for is whether the node rolls up.
    case acIsSummary:
      WriteActionField(copy.get(), acIsSummary, action->GetIsSummary() || (node->IsSummaryTask() && Scheduling(Model())));
      break;
    default: return ActionFieldText(action.get(), AField);
  }
  return ActionFieldText(copy.get(), AField);
}

double TActionEditor::TypedDate(const std::string& ANodeID, TActionField AField, double AValue) {
  TLumetaNode* node = Node(ANodeID);
  ComPtr<IActionEditRules> rules = QueryAs<IActionEditRules>(Controller().get());
  return rules ? rules->TypedDate(node, AField, AValue, true) : AValue;
}

// ---- task links

TEditResult TActionEditor::PrepareLinkChange(TLinkChange AChange, int64_t APredecessorID, int64_t ASuccessorID,
                                             TTaskLinkType AType, ComPtr<ICommand>& ACommand) {
  return Attempt([&]() -> TEditResult {
    TLumetaMap& map = Model()->Map();
    TLinkEditAnswer answer = Links()->PrepareLinkChange(Model(), ContractChange(AChange), map.GetNode(APredecessorID),
                                                        map.GetNode(ASuccessorID), AType);
    ACommand = answer.Command;
    if (!answer.Command)
      return {answer.Refusal.empty() ? "the link rules refuse this link" : answer.Refusal, {}, answer.Warned};
    return {};
  });
}

TEditResult TActionEditor::ChangeLink(TLinkChange AChange, const std::string& APredecessorID,
                                      const std::string& ASuccessorID, TTaskLinkType AType) {
  return Attempt([&]() -> TEditResult {
    const auto task = [&](const std::string& AText) {
      const std::optional<int64_t> id = ParseInteger<int64_t>(AText);
      if (!id || *id <= 0) throw ELumetaError("'" + AText + "' is not a task's node ID", E_INVALIDARG);
      return Model()->Map().GetNode(*id)->ID();
    };
    const int64_t predecessor = task(APredecessorID), successor = task(ASuccessorID);
    ComPtr<ICommand> command;
    TEditResult result = PrepareLinkChange(AChange, predecessor, successor, AType, command);
    if (!result) return result;
    Model()->GetCommandProcessor()->Execute(command.get(), nullptr);
    if (AChange != TLinkChange::Add || !Scheduling(Model())) return result;
    // Only tasks are scheduled: a link with a node that is none yet is kept but moves nothing. A
    // summary's subtasks follow its predecessors whether or not it is a task itself.
    TLumetaMap& map = Model()->Map();
    const auto noTask = [&](int64_t AID) { return !map.GetNode(AID)->FindProperty(KActionPropertyName); };
    if (noTask(predecessor))
      result.Warnings.push_back("node " + APredecessorID + " is no task yet, so its successors do not wait for it; "
                                "`convert " + APredecessorID + "` makes it one");
    if (noTask(successor) && !map.GetNode(successor)->HasChildren())
      result.Warnings.push_back("node " + ASuccessorID + " is no task yet, so it does not move after its "
                                "predecessors; `convert " + ASuccessorID + "` makes it one");
    return result;
  });
}

TEditResult TActionEditor::PredecessorChanges(int64_t ASuccessorID, const std::string& AText,
                                              std::vector<TPredecessorChange>& AChanges) {
  return Attempt([&]() -> TEditResult {
    AChanges.clear();
    ComPtr<ITaskLinkEditor> links = Links();
    TLumetaMap& map = Model()->Map();
    std::vector<TPredecessorChange> wanted;
    size_t from = 0;
    while (from <= AText.size()) {
      const size_t end = std::min(AText.find_first_of(",;", from), AText.size());
      std::string word;
      for (size_t i = from; i < end; ++i)
        if (!std::isspace(static_cast<unsigned char>(AText[i]))) word += AText[i];
      from = end + 1;
      if (word.empty()) continue;
      int64_t number = 0;
      TTaskLinkType type = ltFinishToStart;
      if (!links->ParsePredecessor(word, number, type) || number <= 0 || !map.FindNode(number)) {
        links->ShowPredecessorWarning(false);
        return {"the link rules refuse this link", {}, true};
      }
      // The same link typed twice is one link; the same task with two types the rules refuse.
      const auto twice = std::ranges::find(wanted, number, &TPredecessorChange::PredecessorID);
      if (twice == wanted.end()) {
        wanted.push_back({TLinkChange::Add, number, type});
      } else if (twice->Type != type) {
        links->ShowPredecessorWarning(true);
        return {"the link rules refuse this link", {}, true};
      }
    }
    const std::vector<TTaskLinkInfo> current = TaskLinks(ASuccessorID, true);
    const auto typeOf = [](const TTaskLinkInfo& ALink) {
      return TaskLinkTypeFromCode(ALink.Type).value_or(ltFinishToStart);
    };
    for (const TTaskLinkInfo& link : current)
      if (std::ranges::find(wanted, link.NodeID, &TPredecessorChange::PredecessorID) == wanted.end())
        AChanges.push_back({TLinkChange::Remove, link.NodeID, typeOf(link)});
    for (const bool retypes : {true, false})
      for (const TPredecessorChange& link : wanted) {
        const auto old = std::ranges::find(current, link.PredecessorID, &TTaskLinkInfo::NodeID);
        if (retypes && old != current.end() && typeOf(*old) != link.Type)
          AChanges.push_back({TLinkChange::Retype, link.PredecessorID, link.Type});
        else if (!retypes && old == current.end())
          AChanges.push_back(link);
      }
    return {};
  });
}

bool TActionEditor::ParsePredecessor(const std::string& AText, int64_t& ANumber, TTaskLinkType& AType) {
  return Links()->ParsePredecessor(AText, ANumber, AType);
}

std::vector<TTaskLinkInfo> TaskLinksOf(INode* ANode, bool APredecessors) {
  std::vector<TTaskLinkInfo> result;
  ComPtr<IProperty> property =
      ANode ? ANode->FindProperty(APredecessors ? KPredecessorLinksName : KSuccessorLinksName) : nullptr;
  ComPtr<INodeLinkList2> links = property ? QueryAs<INodeLinkList2>(property.get()) : nullptr;
  const int32_t count = links ? links->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<INodeLink> link = links->GetLink(i);
    ComPtr<INode> node = link ? link->GetLinkedNode() : nullptr;
    const std::optional<int64_t> id = node ? ParseInteger<int64_t>(node->GetID()) : std::nullopt;
    if (!id) continue;
    ComPtr<ITaskLink> task = QueryAs<ITaskLink>(link.get());
    result.push_back({*id, KTaskLinkTypeCodes.at(task ? task->GetLinkType() : ltFinishToStart).data()});
  }
  return result;
}

std::vector<TTaskLinkInfo> TActionEditor::TaskLinks(int64_t ANodeID, bool APredecessors) {
  return TaskLinksOf(Model()->Map().GetNode(ANodeID), APredecessors);
}

std::string TActionEditor::LinkCircleAbove(int64_t ANodeID) {
  TLumetaNode* node = Model()->Map().FindNode(ANodeID);
  return node ? Links()->LinkCircleAbove(node) : std::string();
}

std::string TActionEditor::LinkCircleInMap() { return Links()->LinkCircleInMap(Model()->Map().Root()); }

TEditResult TActionEditor::Refresh() {
  return Attempt([&]() -> TEditResult {
    ComPtr<ICommand> command = Links()->PrepareRefresh(Model());
    if (command) Model()->GetCommandProcessor()->Execute(command.get(), nullptr);
    return {};
  });
}

TEditResult TActionEditor::InOneStep(const std::string& ADescription, std::function<void()> AWork) {
  return Attempt([&]() -> TEditResult {
    TLumetaModel* model = Model();
    model->GetCommandProcessor()->Execute(make<TEditStepCommand>(model, ADescription, std::move(AWork)).get(), nullptr);
    return {};
  });
}
