#include "plugin/ActionCommandHelpers.h"

#include <vector>

#include "commands/CommandListItem.h"
#include "commands/SelectionData.h"
#include "plugin/ActionHelpers.h"
#include "plugin/TaskCommands.h"

namespace {

// Working days in the record's duration measure.
double InMeasure(double ADays, int32_t AMeasure) {
  if (AMeasure == amHours) return ADays * KHoursPerDay;
  if (AMeasure == amMinutes) return ADays * KHoursPerDay * KMinutesPerHour;
  return ADays;
}

}  // namespace

ComPtr<IActionAttribute> NewActionRecord() {
  ComPtr<TData> holder = make<TData>();
  return TActionHelper::GetAction(static_cast<IProperties*>(holder.get()), true);
}

ComPtr<IActionAttribute> CombinedAction(ISelection* ASelection, bool ACreateIfEmpty) {
  if (!ASelection) return {};
  if (ComPtr<IProperties> properties = QueryAs<IProperties>(ASelection))
    if (ComPtr<IActionAttribute> held = TActionHelper::GetAction(properties.get(), false)) return held;

  std::vector<ComPtr<IActionAttribute>> records;
  bool anyRecord = false;
  const int32_t count = ASelection->GetCount();
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<INode> node = QueryAs<INode>(ASelection->GetItem(i).get());
    records.push_back(TActionHelper::GetAction(node.get(), false));
    anyRecord = anyRecord || records.back();
  }
  if (!anyRecord && !ACreateIfEmpty) return {};

  ComPtr<IActionAttribute> combined = NewActionRecord();
  if (!records.empty() && records.front()) {
    combined->Assign(records.front().get());
    // The copy took the stored flags; as an edit starts, nothing is changed, cleared or mixed.
    combined->SetFlagEx(afModified | afCleared | afMixed, false, true);
    combined->SetFlagEx(afLoaded, true, true);
  }
  ComPtr<IActionAttribute> blank;
  for (size_t i = 1; i < records.size(); ++i) {
    IActionAttribute* other = records[i].get();
    if (!other) {
      if (!blank) blank = NewActionRecord();
      other = blank.get();
    }
    combined->Merge(other);
  }
  if (records.size() > 1) combined->SetMergedView(true, true);
  return combined;
}

void SettleEdits(IActionAttribute* AAction) {
  if (!AAction) return;
  const int32_t count = AAction->GetChildCount();
  for (int32_t i = 0; i < count; ++i)
    if (ComPtr<IAttribute> child = AAction->GetChild(i); child && child->IsModified()) child->SetMixed(false);
}

// ---------------------------------------------------------------------------------------------
// TPrepareCommandHelper

TPrepareCommandHelper::TPrepareCommandHelper(ILumetaModel* AModel, ISelection* ASelection, bool AAdjustDate)
    : FModel(AModel), FSelection(ASelection), FAdjustDate(AAdjustDate) {}

TPrepareCommandHelper::~TPrepareCommandHelper() = default;

ComPtr<INode> TPrepareCommandHelper::FirstNode(ISelection* ASelection) { return ASelection->GetItem(0).as<INode>(); }

void TPrepareCommandHelper::Prepare() {
  FCommand = nullptr;
  const int32_t count = FSelection ? FSelection->GetCount() : 0;
  if (count == 1) {
    FCommand = CreateCommand(FSelection.get());
    return;
  }
  TInterfaceList<ICommandListItem> items;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<TData> selection = make<TData>();
    selection->Add(FSelection->GetItem(i).get());
    ComPtr<TCommandListItem> item = make<TCommandListItem>();
    item->SetSelection(selection.get());
    item->SetCommand(CreateCommand(selection.get()).get());
    if (item->GetCommand()) items.Add(item);
  }
  if (!items.Empty()) FCommand = FModel->GetCommandHelper()->CombineCommands(items);
}

// ---------------------------------------------------------------------------------------------
// The helpers

TSetMilestoneCommandHelper::TSetMilestoneCommandHelper(ILumetaModel* AModel, ISelection* ASelection, bool AMilestone)
    : TPrepareCommandHelper(AModel, ASelection), FIsMilestone(AMilestone) {}

ComPtr<ICommand> TSetMilestoneCommandHelper::CreateCommand(ISelection* ASelection) {
  ComPtr<IActionAttribute> action = CombinedAction(ASelection, true);
  ComPtr<IWorkingScheduler> scheduler = FindWorkingScheduler(FModel->GetTree()->GetRoot().get());
  // Without both dates there is no working time to take.
  if (action->GetDuration() == 0.0 && scheduler && action->GetStartDate() > 0 && action->GetCompletedDate() > 0)
    action->SetDuration(InMeasure(scheduler->WorkingDuration(action->GetStartDate(), action->GetCompletedDate()),
                                  action->GetDurationMeasure()));
  action->SetIsMilestone(FIsMilestone);
  SettleEdits(action.get());
  return FModel->GetCommandHelper()->PreparePropertyCommand(action.as<IProperty>().get(), ASelection, -1);
}

TRescheduleCommandHelper::TRescheduleCommandHelper(ILumetaModel* AModel, ISelection* ASelection, double ADate,
                                                   bool AKeepDuration, bool AValidate)
    : TPrepareCommandHelper(AModel, ASelection, AValidate), FKeepDuration(AKeepDuration), FDate(ADate) {}

TMoveTaskCommandHelper::TMoveTaskCommandHelper(ILumetaModel* AModel, ISelection* ASelection, double ADate,
                                               bool AValidate, bool AAutoSchedule)
    : TRescheduleCommandHelper(AModel, ASelection, ADate, false, AValidate), FAutoSchedule(AAutoSchedule) {}

ComPtr<ICommand> TMoveTaskCommandHelper::CreateCommand(ISelection* ASelection) {
  ComPtr<INode> node = FirstNode(ASelection);
  const TTaskSwitches switches{FAdjustDate, FAutoSchedule, true, true};
  // A summary's own start is never shown; what moves is its subtasks.
  if (node && node->IsSummaryTask()) return make<TMoveSummaryCommand>(FModel.get(), node.get(), FDate, switches);
  return make<TMoveTaskCommand>(FModel.get(), node.get(), FDate, switches);
}

TRescheduleTaskFinishCommandHelper::TRescheduleTaskFinishCommandHelper(ILumetaModel* AModel, ISelection* ASelection,
                                                                       double ADate, bool AValidate, bool AAutoSchedule,
                                                                       bool AMoveTask)
    : TRescheduleCommandHelper(AModel, ASelection, ADate, false, AValidate),
      FAutoSchedule(AAutoSchedule),
      FMoveTask(AMoveTask) {}

ComPtr<ICommand> TRescheduleTaskFinishCommandHelper::CreateCommand(ISelection* ASelection) {
  return make<TRescheduleTaskFinishCommand>(FModel.get(), FirstNode(ASelection).get(), FDate,
                                            TTaskSwitches{FAdjustDate, FAutoSchedule, true, true}, FMoveTask);
}

TRescheduleTaskDurationCommandHelper::TRescheduleTaskDurationCommandHelper(ILumetaModel* AModel, ISelection* ASelection,
                                                                           double ADuration, int32_t ADurationMeasure)
    : TPrepareCommandHelper(AModel, ASelection), FDuration(ADuration), FDurationMeasure(ADurationMeasure) {}

ComPtr<ICommand> TRescheduleTaskDurationCommandHelper::CreateCommand(ISelection* ASelection) {
  return make<TRescheduleTaskDurationCommand>(FModel.get(), FirstNode(ASelection).get(), FDuration, FDurationMeasure);
}

TRescheduleTaskDurationMeasureCommandHelper::TRescheduleTaskDurationMeasureCommandHelper(ILumetaModel* AModel,
                                                                                         ISelection* ASelection,
                                                                                         int32_t ADurationMeasure)
    : TPrepareCommandHelper(AModel, ASelection), FDurationMeasure(ADurationMeasure) {}

ComPtr<ICommand> TRescheduleTaskDurationMeasureCommandHelper::CreateCommand(ISelection* ASelection) {
  return make<TRescheduleTaskDurationMeasureCommand>(FModel.get(), FirstNode(ASelection).get(), FDurationMeasure);
}
