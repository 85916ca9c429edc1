#include "plugin/ActionPropertyUI.h"

#include <cmath>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "com/DialogService.h"
#include "commands/ActionFieldEdit.h"
#include "commands/SelectionData.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "plugin/ActionCommandHelpers.h"
#include "plugin/ActionHelpers.h"
#include "plugin/ActionWindows.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "plugin/LumetaSelectionState.h"
#include "plugin/ScheduleConflicts.h"
#include "plugin/ShownActions.h"
#include "plugin/TaskCommands.h"
#include "plugin/TaskLinkHelper.h"
#include "plugin/ActionEditRules.h"

namespace {

const char* const KPredecessorLinks = TLumetaNodeLinksProperty::ManagerInfo.Description;
const char* const KSuccessorLinks = TLumetaSuccessorLinksProperty::ManagerInfo.Description;

// The action field each field entry edits, from ciIsAction on.

ComPtr<INode> RootOf(ILumetaModel* AModel) {
  ComPtr<ITree> tree = AModel ? AModel->GetTree() : nullptr;
  return tree ? tree->GetRoot() : nullptr;
}

bool SchedulingOn(ILumetaModel* AModel) {
  ComPtr<IMapSettings> settings = FindMapSettings(RootOf(AModel).get());
  return settings && settings->GetTaskScheduling();
}

int32_t CountOf(ISelection* ASelection) { return ASelection ? ASelection->GetCount() : 0; }

std::vector<ComPtr<INode>> NodesOf(ISelection* ASelection) {
  std::vector<ComPtr<INode>> nodes;
  for (int32_t i = 0; i < CountOf(ASelection); ++i)
    if (ComPtr<INode> node = QueryAs<INode>(ASelection->GetItem(i).get())) nodes.push_back(std::move(node));
  return nodes;
}

std::vector<ComPtr<INode>> NodesOf(INodeList* ANodes) {
  std::vector<ComPtr<INode>> nodes;
  const int32_t count = ANodes ? ANodes->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i)
    if (ComPtr<INode> node = ANodes->GetItem(i)) nodes.push_back(std::move(node));
  return nodes;
}

void Run(ILumetaModel* AModel, ICommand* ACommand, ISelection* ASelection) {
  if (ACommand) AModel->GetCommandProcessor()->Execute(ACommand, ASelection);
}

// The value object as the field's kind of value; ENoInterface when it is of another type.
TActionFieldValue ReadValue(IUnknown* AValue, TActionField AField) {
  ComPtr<IUnknown> value(AValue);
  switch (ActionFieldKind(AField)) {
    case TActionFieldKind::Date:
      return value.as<IDateValue>()->GetDate();
    case TActionFieldKind::Percent:
      return static_cast<int32_t>(std::lround(value.as<INumberValue>()->GetNumber()));
    case TActionFieldKind::Measure:
      return value.as<IMeasureValue>()->GetMeasure();
    case TActionFieldKind::Flag:
      return value.as<IFlagValue>()->GetFlag();
    case TActionFieldKind::Text:
      return value.as<ITextValue>()->GetText();
    case TActionFieldKind::Amount:
    case TActionFieldKind::Number:
    case TActionFieldKind::Constraint:
      break;
  }
  return value.as<INumberValue>()->GetNumber();
}

bool AnyMixed(IActionAttribute* AAction) {
  for (int32_t i = 0; i < AAction->GetChildCount(); ++i)
    if (AAction->GetChild(i)->IsMixed()) return true;
  return false;
}

// Puts the edited combined record on the selected nodes. A record left empty goes away instead,
// unless a field it did not edit still differs between the nodes: one of them keeps something.
void Commit(ILumetaModel* AModel, ISelection* ASelection, IActionAttribute* AAction) {
  SettleEdits(AAction);
  ComPtr<ICommandHelper> helper = AModel->GetCommandHelper();
  ComPtr<ICommand> command =
      AAction->IsEmpty() && !AnyMixed(AAction)
          ? helper->PrepareRemovePropertiesCommand({KActionPropertyName}, ASelection, -1)
          : helper->PreparePropertyCommand(ComPtr<IActionAttribute>(AAction).as<IProperty>().get(), ASelection, -1);
  Run(AModel, command.get(), ASelection);
}

void MarkComplete(ILumetaModel* AModel, ISelection* ASelection) {
  ComPtr<IActionAttribute> action = CombinedAction(ASelection, true);
  const bool done = action->GetIsAction() && action->GetComplete() == 100;
  action->SetIsAction(!done);
  action->SetComplete(done ? 0 : 100);
  Commit(AModel, ASelection, action.get());
}

void ClearAction(ILumetaModel* AModel, ISelection* ASelection) {
  if (!SchedulingOn(AModel)) {
    Run(AModel, AModel->GetCommandHelper()->PrepareRemovePropertiesCommand({KActionPropertyName}, ASelection, -1).get(),
        ASelection);
    return;
  }
  ComPtr<IWorkingScheduler> scheduler = FindWorkingScheduler(RootOf(AModel).get());
  ComPtr<IActionAttribute> defaults = NewTaskDefaults(scheduler.get());
  // The task command below carries only the dates and reschedules from them; the other fields
  // are reset before it, so that it sees the new duration and constraint in place.
  ComPtr<IActionAttribute> otherFields = NewTaskDefaults(scheduler.get());
  otherFields->GetChild(acStartDate)->SetModified(false);
  otherFields->GetChild(acCompletedDate)->SetModified(false);

  ComPtr<TMultipleTaskCommand> commands = make<TMultipleTaskCommand>(AModel);
  for (const ComPtr<INode>& node : NodesOf(ASelection)) {
    // A node without a record has nothing to clear.
    ComPtr<IActionAttribute> action = TActionHelper::GetAction(node.get(), false);
    if (!action || action->EqualTo(defaults.get())) continue;
    ComPtr<ISelection> selection = NodeSelection(node.get());
    commands->AddCommand(AModel->GetCommandHelper()
                             ->PreparePropertyCommand(otherFields.as<IProperty>().get(), selection.get(), -1)
                             .get(),
                         selection.get());
    commands->AddCommand(make<TUpdateTaskCommand>(AModel, node.get(), defaults.get()).get(), selection.get());
  }
  if (commands->Count() > 0) Run(AModel, commands.get(), ASelection);
}

// With scheduling on, the fields that move a task go through the task commands; empty when the
// field is not one of them.
std::optional<ComPtr<ICommand>> PrepareTaskEdit(ILumetaModel* AModel, ISelection* ASelection, TActionField AField,
                                                IUnknown* AValue) {
  ComPtr<IUnknown> value(AValue);
  switch (AField) {
    case acStartDate: {
      ComPtr<IDateValue> date = value.as<IDateValue>();
      return TActionHelper::PrepareChangeTaskStartCmd(AModel, ASelection, date->GetDate(), date->GetValidate(),
                                                      date->GetAutoSchedule());
    }
    case acCompletedDate: {
      ComPtr<IDateValue> date = value.as<IDateValue>();
      return TActionHelper::PrepareChangeTaskFinishCmd(AModel, ASelection, date->GetDate(), date->GetValidate(),
                                                       date->GetAutoSchedule(), date->GetMoveTask());
    }
    case acDueDate:
      // A task's dates come from its schedule.
      return ComPtr<ICommand>();
    case acDuration: {
      const double duration = value.as<INumberValue>()->GetNumber();
      ComPtr<IMeasureValue> measure = value.try_as<IMeasureValue>();
      return TActionHelper::PrepareChangeTaskDurationCmd(AModel, ASelection, duration,
                                                         measure ? measure->GetMeasure() : -1);
    }
    case acDurationMeasure:
      return TActionHelper::PrepareChangeTaskDurationMeasureCmd(AModel, ASelection,
                                                                value.as<IMeasureValue>()->GetMeasure());
    case acIsMilestone:
      return TActionHelper::PrepareSetMilestoneCmd(AModel, ASelection, value.as<IFlagValue>()->GetFlag());
    default:
      return std::nullopt;
  }
}

void EditField(ILumetaModel* AModel, ISelection* ASelection, TActionField AField, IUnknown* AValue) {
  if (const std::string refusal = SummaryFieldRefusal(ASelection, AField); !refusal.empty())
    throw EInvalidOperation(refusal);
  if (SchedulingOn(AModel)) {
    if (std::optional<ComPtr<ICommand>> command = PrepareTaskEdit(AModel, ASelection, AField, AValue)) {
      Run(AModel, command->get(), ASelection);
      return;
    }
  }
  const TActionFieldValue value = ReadValue(AValue, AField);
  ComPtr<IActionAttribute> action = CombinedAction(ASelection, true);
  WriteActionField(action.get(), AField, value);
  Commit(AModel, ASelection, action.get());
}

// Opens the Edit Action dialog on the selection's combined record; on OK the record's command, the
// rescheduling its dates call for and the title and link commands the dialog collected run as one
// undo step.
void EditAction(const TActionWindows& AWindows, ILumetaModel* AModel, ISelection* ASelection) {
  const auto& open = AWindows.EditAction;
  if (!open || CountOf(ASelection) == 0) return;
  ComPtr<IActionAttribute> action = CombinedAction(ASelection, true);
  ComPtr<IActionAttribute> empty = NewActionRecord();
  std::vector<ComPtr<INode>> nodes = NodesOf(ASelection);
  ComPtr<IProperty> title =
      nodes.empty() ? nullptr : QueryAs<IProperty>(nodes.front()->FindAttribute("Title").get());
  TEditActionArgs args{action.as<IProperty>().get(), ASelection, title.get(), empty.as<IProperty>().get(), AModel};
  ComPtr<IMultipleCommand> collected;
  if (!open(args, collected)) return;

  ComPtr<TMultipleCommand> commands = make<TMultipleCommand>(AModel);
  SettleEdits(action.get());
  ComPtr<ICommandHelper> helper = AModel->GetCommandHelper();
  const bool removed = action->IsEmpty() && !AnyMixed(action.get());
  ComPtr<ICommand> record = removed
                                ? helper->PrepareRemovePropertiesCommand({KActionPropertyName}, ASelection, -1)
                                : helper->PreparePropertyCommand(action.as<IProperty>().get(), ASelection, -1);
  // With scheduling on the dialog edits one task. A new start, duration, constraint or finish
  // then moves it and the tasks after it, as the same edit in a column does. The dialog keeps a
  // start without its time: it is placed as a day typed into the column is.
  if (record && !removed && SchedulingOn(AModel) && nodes.size() == 1) {
    ComPtr<IActionAttribute> old = TActionHelper::GetAction(nodes.front().get(), false);
    TTaskEdit edit = TTaskEdit::Between(old ? old.get() : NewActionRecord().get(), action.get());
    ComPtr<IWorkingScheduler> scheduler = FindWorkingScheduler(RootOf(AModel).get());
    if (edit.StartChanged) edit.Start = TypedActionDate(old.get(), acStartDate, edit.Start, false, scheduler.get());
    commands->AddCommand(make<TApplyTaskEditCommand>(AModel, nodes.front().get(), record, edit).get(), ASelection);
  } else if (record) {
    commands->AddCommand(record.get(), ASelection);
  }
  if (collected && !collected->GetCommandList().Empty()) commands->AddCommand(collected.get(), ASelection);
  if (commands->Count() > 0) Run(AModel, commands.get(), ASelection);
}

// The priority texts the map's "Action List" adds to the standard ones, in list order.
std::vector<std::string> MapPriorityTexts(INode* ARoot) {
  std::vector<std::string> texts;
  ComPtr<IMapActionListAttribute> list =
      ARoot ? QueryAs<IMapActionListAttribute>(ARoot->FindProperty(KActionListPropertyName).get()) : nullptr;
  const int32_t count = list ? list->GetChildCount() : 0;
  for (int32_t i = 0; i < count; ++i)
    if (ComPtr<IMapActionAttribute> item = QueryAs<IMapActionAttribute>(list->GetChild(i).get()))
      texts.push_back(item->GetMapStatus());
  return texts;
}

// The texts a field's pick list offers; empty for a field without one.
std::vector<std::string> PickListOf(const std::string& AField, INode* ARoot) {
  if (AField == KActionFieldNames[acPriority]) {
    std::vector<std::string> items(KFixedPriorities.begin(), KFixedPriorities.end());
    for (std::string& text : MapPriorityTexts(ARoot)) items.push_back(std::move(text));
    return items;
  }
  if (AField == KActionFieldNames[acStatus]) return {KStatusPickList.begin(), KStatusPickList.end()};
  if (AField == KActionFieldNames[acDurationMeasure] || AField == KActionFieldNames[acWorkMeasure])
    return {KMeasurePickList.begin(), KMeasurePickList.end()};
  return {};
}

void PickValue(const TActionWindows& AWindows, IPlugInEvent* AEvent) {
  const auto& pick = AWindows.PickValue;
  if (!pick) return;
  const std::string field = AEvent->GetFieldName();
  std::string value = AEvent->GetFieldValue();
  ComPtr<ILumetaModel> model = AEvent->GetModel();
  if (pick(field, PickListOf(field, RootOf(model.get()).get()), value))
    AEvent->SetFieldValue(value);
  else if (ComPtr<IPlugInEventResult> result = QueryAs<IPlugInEventResult>(AEvent))
    result->SetResult(-1);
}

// ---------------------------------------------------------------------------------------------
// Map events

// Pre-order over the node and its subtree, without recursion.
template <class F>
void ForEachInSubtree(INode* ARoot, F&& AVisit) {
  AVisit(ARoot);
  std::vector<ComPtr<INode>> pending;
  if (ComPtr<INode> child = ARoot->GetFirstChild()) pending.push_back(std::move(child));
  while (!pending.empty()) {
    ComPtr<INode> node = std::move(pending.back());
    pending.pop_back();
    AVisit(node.get());
    if (ComPtr<INode> next = node->GetNextSibling()) pending.push_back(std::move(next));
    if (ComPtr<INode> child = node->GetFirstChild()) pending.push_back(std::move(child));
  }
}

// Each link of the node's list of that name with the linked node and its type; links to no node
// are passed over.
template <class F>
void ForEachTaskLink(INode* ANode, const char* AListName, F&& AVisit) {
  for (const TTaskLinkEntry& link : TaskLinksOf(QueryAs<INodeLinkList2>(ANode->FindProperty(AListName).get()).get()))
    AVisit(link.Node.get(), link.Type);
}

// The links to remove, each once, as remove-link commands.
class TLinkRemovals {
 public:
  void Add(INode* APredecessor, INode* ASuccessor, TTaskLinkType AType) {
    std::string predecessor = APredecessor->GetID(), successor = ASuccessor->GetID();
    if (FSeen.insert(predecessor + '>' + successor).second)
      FLinks.push_back({std::move(predecessor), std::move(successor), AType});
  }
  // AReschedule tells, by the successor's ID, whether the successor starts again without the link.
  template <class F>
  void AddTo(IMultipleCommand* ACommands, F&& AReschedule) const {
    ComPtr<ILumetaModel> model = ACommands->GetModel();
    for (const TLink& link : FLinks)
      ACommands->AddCommand(make<TRemoveTaskLinkCommand>(model.get(), link.Predecessor, link.Successor, link.Type,
                                                         AReschedule(link.Successor))
                                .get(),
                            nullptr);
  }

 private:
  struct TLink {
    std::string Predecessor;
    std::string Successor;
    TTaskLinkType Type;
  };
  std::vector<TLink> FLinks;
  std::unordered_set<std::string> FSeen;
};

bool IsTreeChange(int32_t AKind) {
  return AKind == KEventDropUnder || AKind == KEventDemote || AKind == KEventMakeTasks || AKind == KEventAddSibling ||
         AKind == KEventAddChild;
}

// Stage one of a tree change: the node that becomes a summary task loses the links a summary may
// not keep, and gives up its own constraint to its subtasks.
void KeepSummaryRules(IPlugInEvent* AEvent, ISelection* ASelection, TMultipleCommand* ACommands) {
  // The nodes the change affects: those it carries, each with its following siblings (they move
  // along when a node is indented); a change that carries none affects the selection. The state
  // is only asked whether any node is affected, which the siblings cannot change: they are left
  // out, so that a move among many siblings does not cost a walk of them all.
  ComPtr<TData> affected = make<TData>();
  for (const ComPtr<INode>& carried : NodesOf(AEvent->GetNodes().get())) affected->Add(carried.get());
  if (affected->GetCount() == 0)
    for (const ComPtr<INode>& node : NodesOf(ASelection)) affected->Add(node.get());
  ComPtr<TLumetaSelectionState> state = make<TLumetaSelectionState>();
  state->SetSelection(affected.get());
  if (!state->IsNotEmpty()) return;

  TTaskLinkHelper::BuildInvalidLinks(AEvent, ASelection, ACommands, false, false);
  ComPtr<INode> summary = TTaskLinkHelper::GetNewSummary(AEvent, ASelection);
  if (!summary || summary->IsSummaryTask()) return;
  ComPtr<ISelection> selection = NodeSelection(summary.get());
  ComPtr<IActionAttribute> action = CombinedAction(selection.get(), false);
  if (!action) return;
  action->SetConstraintType(tcAsSoonAsPossible);
  action->SetConstraintDate(0);
  ComPtr<ILumetaModel> model = ACommands->GetModel();
  // The update command takes only dates; the constraint reaches the record through this one.
  ACommands->AddCommand(
      model->GetCommandHelper()->PreparePropertyCommand(action.as<IProperty>().get(), selection.get(), -1).get(),
      selection.get());
  const int32_t kind = AEvent->GetKind();
  if (kind != KEventAddSibling && kind != KEventAddChild)
    ACommands->AddCommand(make<TUpdateTaskCommand>(model.get(), summary.get(), action.get()).get(), selection.get());
}

// A task may not link to a summary task above it: the links between the carried nodes (with their
// subtrees) and the node they go under or any node above that go.
void RemoveLinksToNewSummaries(IPlugInEvent* AEvent, ISelection* ASelection, TMultipleCommand* ACommands) {
  std::vector<ComPtr<INode>> targets = NodesOf(ASelection);
  if (targets.empty()) return;
  // Gathered at the first link only: most moves carry none, and a deep target has many nodes above.
  std::unordered_set<std::string> above;
  const auto isAbove = [&](INode* ANode) {
    if (above.empty())
      for (ComPtr<INode> node = targets.front(); node; node = node->GetParent()) above.insert(node->GetID());
    return above.contains(ANode->GetID());
  };
  TLinkRemovals removals;
  for (const ComPtr<INode>& carried : NodesOf(AEvent->GetNodes().get()))
    ForEachInSubtree(carried.get(), [&](INode* ANode) {
      ForEachTaskLink(ANode, KPredecessorLinks, [&](INode* APredecessor, TTaskLinkType AType) {
        if (isAbove(APredecessor)) removals.Add(APredecessor, ANode, AType);
      });
      ForEachTaskLink(ANode, KSuccessorLinks, [&](INode* ASuccessor, TTaskLinkType AType) {
        if (isAbove(ASuccessor)) removals.Add(ANode, ASuccessor, AType);
      });
    });
  removals.AddTo(ACommands, [](const std::string&) { return false; });
}

// Copies about to be pasted keep links to the originals' partners, which do not list them back.
void DropCopiedLinks(IPlugInEvent* AEvent) {
  for (const ComPtr<INode>& copy : NodesOf(AEvent->GetNodes().get()))
    ForEachInSubtree(copy.get(), [](INode* ANode) {
      ANode->RemoveProperty(KPredecessorLinks);
      ANode->RemoveProperty(KSuccessorLinks);
    });
}

// No task outside keeps a link to a deleted one; a successor that stays starts again without it.
void RemoveDeletedLinks(IPlugInEvent* AEvent, TMultipleCommand* ACommands) {
  std::vector<INode*> deleted;
  std::unordered_set<std::string> deletedIDs;
  const std::vector<ComPtr<INode>> carried = NodesOf(AEvent->GetNodes().get());
  for (const ComPtr<INode>& node : carried)
    ForEachInSubtree(node.get(), [&](INode* ANode) {
      if (deletedIDs.insert(ANode->GetID()).second) deleted.push_back(ANode);
    });
  TLinkRemovals removals;
  for (INode* node : deleted) {
    ForEachTaskLink(node, KPredecessorLinks,
                    [&](INode* APredecessor, TTaskLinkType AType) { removals.Add(APredecessor, node, AType); });
    ForEachTaskLink(node, KSuccessorLinks,
                    [&](INode* ASuccessor, TTaskLinkType AType) { removals.Add(node, ASuccessor, AType); });
  }
  const bool scheduling = SchedulingOn(ACommands->GetModel().get());
  removals.AddTo(ACommands,
                 [&](const std::string& ASuccessor) { return scheduling && !deletedIDs.contains(ASuccessor); });
}

// The nodes become tasks: an action keeps what it had and is placed by the schedule, a node without
// one gets the new-task record; last, the converted tasks are placed from the schedule start.
void ConvertToTasks(IPlugInEvent* AEvent, const std::vector<ComPtr<INode>>& ANodes, TMultipleCommand* ACommands) {
  ComPtr<ILumetaModel> model = ACommands->GetModel();
  ComPtr<IWorkingScheduler> scheduler = QueryAs<IWorkingScheduler>(AEvent->GetScheduler().get());
  if (!scheduler) scheduler = FindWorkingScheduler(RootOf(model.get()).get());
  // Tasks need working time.
  if (!scheduler || ANodes.empty()) return;
  ComPtr<IActionAttribute> defaults = NewTaskDefaults(scheduler.get());
  ComPtr<TData> bare = make<TData>();
  ComPtr<TData> converted = make<TData>();
  auto ids = std::make_shared<std::unordered_set<std::string>>();
  for (const ComPtr<INode>& node : ANodes) {
    if (converted->Contains(node.get())) continue;
    converted->Add(node.get());
    ids->insert(node->GetID());
    if (ComPtr<IActionAttribute> action = TActionHelper::GetAction(node.get(), false))
      ACommands->AddCommand(
          make<TConvertActionToTaskCommand>(model.get(), node.get(), action.get(), scheduler.get()).get(),
          NodeSelection(node.get()).get());
    else
      bare->Add(node.get());
  }
  if (bare->GetCount() > 0)
    ACommands->AddCommand(
        model->GetCommandHelper()->PreparePropertyCommand(defaults.as<IProperty>().get(), bare.get(), -1).get(),
        bare.get());
  ComPtr<IWorkingSchedule> schedule = QueryAs<IWorkingSchedule>(scheduler.get());
  ACommands->AddCommand(make<TRefreshProjectCommand>(
                            model.get(), [ids](INode* ANode) { return ids->contains(ANode->GetID()); },
                            schedule ? schedule->ScheduleStart() : 0.0)
                            .get(),
                        converted.get());
}

// "node 12" or "2 nodes (12, 13)", for messages.
std::string SelectedNodesText(ISelection* ASelection) {
  const std::vector<ComPtr<INode>> nodes = NodesOf(ASelection);
  if (nodes.size() == 1) return "node " + nodes.front()->GetID();
  std::string ids;
  for (const ComPtr<INode>& node : nodes) ids += (ids.empty() ? "" : ", ") + node->GetID();
  return std::to_string(nodes.size()) + " nodes (" + ids + ")";
}

// Why entries 6 to 9 are disabled for the selection, or empty when they are enabled; the update
// and the refusal a front end reports come from this one place.
std::string WhyDisabled(int32_t AID, ILumetaModel* AModel, ISelection* ASelection) {
  const int32_t count = CountOf(ASelection);
  switch (AID) {
    case ciExportActions:
      return {};
    case ciEditAction:
      if (count == 0) return "nothing is selected";
      if (count > 1 && SchedulingOn(AModel))
        return "while the map schedules tasks it edits one node at a time, and " + SelectedNodesText(ASelection) +
               " are selected";
      return {};
    case ciMarkComplete:
      return count == 0 ? "nothing is selected" : "";
    case ciClearAction:
      if (count == 0) return "nothing is selected";
      if (CombinedAction(ASelection, false)) return {};
      return count == 1 ? SelectedNodesText(ASelection) + " has no action to clear"
                        : "none of the " + SelectedNodesText(ASelection) + " has an action to clear";
    default:
      return {};
  }
}

}  // namespace

ComPtr<IActionAttribute> NewTaskDefaults(IWorkingScheduler* AScheduler) {
  ComPtr<IWorkingSchedule> schedule = QueryAs<IWorkingSchedule>(AScheduler);
  const double start = schedule ? schedule->ScheduleStart() : 0;
  ComPtr<IActionAttribute> action = NewActionRecord();
  action->SetStartDate(start);
  action->SetDuration(1.0);
  action->SetDurationMeasure(amDays);
  action->SetCompletedDate(AScheduler && start > 0 ? AScheduler->FinishForStart(start, 1.0) : 0);
  action->SetDueDate(0);
  action->SetComplete(0);
  action->SetConstraintDate(0);
  action->SetConstraintType(tcAsSoonAsPossible);
  action->SetPriority("");
  action->SetCost(0);
  action->SetWork(0);
  action->SetQuantity(0);
  action->SetIsAction(false);
  action->SetIsMilestone(false);
  return action;
}

// ---------------------------------------------------------------------------------------------
// TActionPlugInUI

TActionPlugInUI::TActionPlugInUI(IUnknown* AApplication, TActionWindows AWindows)
    : FApplication(AApplication), FWindows(std::move(AWindows)) {}

TActionPlugInUI::~TActionPlugInUI() = default;

ComPtr<IUnknown> TActionPlugInUI::CreateView(IUnknown* AParent) {
  const auto& create = FWindows.CreateView;
  return create ? create(AParent, FApplication) : nullptr;
}

void TActionPlugInUI::ExecuteCommand(IStandardInteractor* AInteractor) {
  ComPtr<ICommandEntry> entry = AInteractor ? AInteractor->GetEntry() : nullptr;
  if (!entry) return;
  const int32_t id = entry->GetID();
  if (!IsCommandEntry(id)) return;
  ComPtr<ILumetaModel> model = AInteractor->GetModel();
  ComPtr<ISelection> selection = AInteractor->GetSelection();
  if (id == ciExportActions) {
    if (model && FWindows.ExportActions) FWindows.ExportActions(model.get(), selection.get());
    return;
  }
  // Nothing selected, nothing to change: no empty undo step.
  if (!model || CountOf(selection.get()) == 0) return;
  if (id == ciEditAction) return EditAction(FWindows, model.get(), selection.get());
  if (id == ciMarkComplete) return MarkComplete(model.get(), selection.get());
  if (id == ciClearAction) return ClearAction(model.get(), selection.get());
  EditField(model.get(), selection.get(), *EntryField(id), AInteractor->GetValue().get());
}

std::string TActionPlugInUI::GetName() { return KActionPlugInName; }

int32_t TActionPlugInUI::GetQuery2() { return 0; }

int32_t TActionPlugInUI::GetQuery3() { return 0; }

void TActionPlugInUI::UpdateCommand(IStandardInteractor* AInteractor) {
  ComPtr<ICommandEntry> entry = AInteractor ? AInteractor->GetEntry() : nullptr;
  if (!entry) return;
  ComPtr<ISelection> selection = AInteractor->GetSelection();
  const int32_t id = entry->GetID();
  if (id >= KFirstCommandEntry && id < KFirstFieldEntry)
    entry->SetEnabled(WhyDisabled(id, AInteractor->GetModel().get(), selection.get()).empty());
  switch (id) {
    case ciExportActions:
    case ciEditAction:
    case ciClearAction:
      return;
    case ciMarkComplete:
      if (entry->GetCheckable()) {
        ComPtr<IActionAttribute> action = CombinedAction(selection.get(), false);
        entry->SetChecked(action && action->GetIsAction() && action->GetComplete() == 100);
      }
      return;
    default:
      return UpdateDefault(AInteractor);
  }
}

bool TActionPlugInUI::HandleEvent(IPlugInEvent* AEvent) {
  ComPtr<ILumetaModel> model = AEvent ? AEvent->GetModel() : nullptr;
  if (!model) return true;
  const int32_t kind = AEvent->GetKind();
  ComPtr<ISelection> selection = AEvent->GetSelection();
  // Everything the event changes is one command, so that it is one step of the host's undo.
  ComPtr<TMultipleCommand> commands = make<TMultipleCommand>(model.get());
  if (IsTreeChange(kind) && CountOf(selection.get()) > 0) KeepSummaryRules(AEvent, selection.get(), commands.get());
  switch (kind) {
    case KEventDropUnder:
    case KEventDemote:
      RemoveLinksToNewSummaries(AEvent, selection.get(), commands.get());
      break;
    case KEventNodesPasted:
      DropCopiedLinks(AEvent);
      break;
    case KEventNodesDeleted:
      RemoveDeletedLinks(AEvent, commands.get());
      break;
    case KEventMakeTasks:
      ConvertToTasks(AEvent, NodesOf(selection.get()), commands.get());
      break;
    case KEventConvertNode: {
      std::vector<ComPtr<INode>> carried = NodesOf(AEvent->GetNodes().get());
      if (carried.size() > 1) carried.resize(1);
      ConvertToTasks(AEvent, carried, commands.get());
      break;
    }
    case KEventEditAction:
      EditAction(FWindows, model.get(), selection.get());
      break;
    case KEventPickValue:
      PickValue(FWindows, AEvent);
      break;
    case KEventScheduleInputChanged:
      if (SchedulingOn(model.get())) {
        std::vector<std::string> ids;
        for (const ComPtr<INode>& node : NodesOf(AEvent->GetNodes().get())) ids.push_back(node->GetID());
        commands->AddCommand(make<TFollowScheduleCommand>(model.get(), std::move(ids)).get(), selection.get());
      }
      break;
    default:
      break;
  }
  if (commands->Count() > 0) model->GetCommandProcessor()->Execute(commands.get(), selection.get());
  return true;
}

double TActionPlugInUI::TypedDate(INode* ANode, int32_t AField, double ADate, bool AHasTimeOfDay) {
  if (AField < 0 || AField >= KActionFieldCount) return ADate;
  return TypedActionDate(ANode, static_cast<TActionField>(AField), ADate, AHasTimeOfDay);
}

std::string TActionPlugInUI::DisabledReason(IStandardInteractor* AInteractor) {
  ComPtr<ICommandEntry> entry = AInteractor ? AInteractor->GetEntry() : nullptr;
  if (!entry) return {};
  const int32_t id = entry->GetID();
  ComPtr<ISelection> selection = AInteractor->GetSelection();
  if (id >= KFirstCommandEntry && id < KFirstFieldEntry)
    return WhyDisabled(id, AInteractor->GetModel().get(), selection.get());
  // A field's entry applies to selected nodes only.
  return IsCommandEntry(id) && CountOf(selection.get()) == 0 ? "nothing is selected" : "";
}

std::vector<TScheduleConflict> TActionPlugInUI::GetScheduleConflicts(INode* ANode) { return FindScheduleConflicts(ANode); }

std::vector<TShownAction> TActionPlugInUI::ShownActions(const std::vector<INode*>& ANodes,
                                                       const std::vector<IProperty*>& ARecords,
                                                       const std::vector<int32_t>& ADepths) {
  return ShownActionsOf(ANodes, ARecords, ADepths);
}

void TActionPlugInUI::HoldRollUps(INode* ARoot) { TRollUpHold::Hold(ARoot); }

void TActionPlugInUI::ReleaseRollUps(INode* ARoot) { TRollUpHold::Release(ARoot); }

IActionExport& TActionPlugInUI::Export() const {
  if (!FWindows.Export) throw ELumetaError("the plug-in was assembled without its export of actions");
  return *FWindows.Export;
}

ComPtr<IExportActionsOutlookOptions> TActionPlugInUI::LoadExportOptions() { return Export().LoadExportOptions(); }

std::vector<TPlannedTask> TActionPlugInUI::PlanExport(IExportActionsOutlookOptions* AOptions, ISelection* ASelection,
                                                      ILumetaModel* AModel) {
  return Export().PlanExport(AOptions, ASelection, AModel);
}

int32_t TActionPlugInUI::ExportActions(IExportActionsOutlookOptions* AOptions, ISelection* ASelection,
                                       ILumetaModel* AModel, ILumetaProgress* AProgress,
                                       const std::function<void(const TExportedTask&)>& AOnExported) {
  return Export().ExportActions(AOptions, ASelection, AModel, AProgress, AOnExported);
}

void TActionPlugInUI::UpdateDefault(IStandardInteractor* AInteractor) {
  if (ComPtr<ICommandEntry> entry = AInteractor ? AInteractor->GetEntry() : nullptr)
    entry->SetEnabled(entry->GetApplicable());
}

// ---------------------------------------------------------------------------------------------
// Task links for the front ends

TLinkEditAnswer TActionPlugInUI::PrepareLinkChange(ILumetaModel* AModel, TTaskLinkChange AChange, INode* APredecessor,
                                                   INode* ASuccessor, TTaskLinkType AType) {
  if (!AModel || !APredecessor || !ASuccessor) return {nullptr, "a link needs a predecessor and a successor", false};
  return TaskLinkEdits::PrepareLinkChange(AModel, AChange, APredecessor, ASuccessor, AType);
}

bool TActionPlugInUI::ParsePredecessor(const std::string& AText, int64_t& ANumber, TTaskLinkType& AType) {
  return TTaskLinkHelper::ValidatePredStr(AText, ANumber, AType);
}

void TActionPlugInUI::ShowPredecessorWarning(bool ATwice) {
  if (ATwice)
    TTaskLinkHelper::ShowLinkError(tlDuplicate);
  else
    DialogService().ShowMessage(TMessageKind::Warning, KInvalidTaskIdMessage);
}

std::string TActionPlugInUI::LinkCircleAbove(INode* ANode) { return TaskLinkEdits::LinkCircleAbove(ANode); }

std::string TActionPlugInUI::LinkCircleInMap(INode* ARoot) {
  return ARoot ? TaskLinkEdits::LinkCircleInMap(ARoot) : std::string();
}

ComPtr<ICommand> TActionPlugInUI::PrepareRefresh(ILumetaModel* AModel) {
  return AModel ? make<TRefreshProjectCommand>(AModel, nullptr) : nullptr;
}
