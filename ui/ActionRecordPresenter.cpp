#include "ui/ActionRecordPresenter.h"

#include <algorithm>
#include <cmath>

#include "com/ComErrors.h"
#include "com/LumetaLocale.h"
#include "com/OleDate.h"
#include "commands/CompositeCommands.h"
#include "commands/SelectionData.h"
#include "plugin/ActionCommandHelpers.h"
#include "plugin/ActionEditRules.h"
#include "plugin/ActionHelpers.h"
#include "plugin/LumetaSelectionState.h"
#include "plugin/TaskCommands.h"

namespace {

bool IsDate(TActionField AField) { return ActionFieldKind(AField) == TActionFieldKind::Date; }

TActionFieldValue ValueOf(IActionAttribute* AAction, TActionField AField) {
  switch (AField) {
    case acComplete: return AAction->GetComplete();
    case acCompletedDate: return AAction->GetCompletedDate();
    case acDueDate: return AAction->GetDueDate();
    case acDuration: return AAction->GetDuration();
    case acDurationMeasure: return AAction->GetDurationMeasure();
    case acIsAction: return AAction->GetIsAction();
    case acPriority: return AAction->GetPriority();
    case acStartDate: return AAction->GetStartDate();
    case acStatus: return AAction->GetStatus();
    case acPostedToOutlook: return AAction->GetPostedToOutlook();
    case acWork: return AAction->GetWork();
    case acCost: return AAction->GetCost();
    case acQuantity: return AAction->GetQuantity();
    case acWorkMeasure: return AAction->GetWorkMeasure();
    case acIsMilestone: return AAction->GetIsMilestone();
    case acIsSummary: return AAction->GetIsSummary();
    case acConstraintType: return static_cast<int32_t>(AAction->GetConstraintType());
    case acConstraintDate: return AAction->GetConstraintDate();
  }
  return {};
}

bool IsMixed(IActionAttribute* AAction, TActionField AField) {
  ComPtr<IAttribute> child = AAction->FindChild(KActionFieldNames[AField]);
  return child && child->IsMixed();
}

double AsNumber(const TActionFieldValue& AValue) {
  if (const double* number = std::get_if<double>(&AValue)) return *number;
  if (const int32_t* whole = std::get_if<int32_t>(&AValue)) return *whole;
  return 0;
}

std::string AsText(const TActionFieldValue& AValue) {
  const std::string* text = std::get_if<std::string>(&AValue);
  return text ? *text : std::string();
}

bool IsFinishConstraint(TTaskConstraintType AType) {
  return AType == tcFinishNoEarlierThan || AType == tcFinishNoLaterThan || AType == tcMustFinishOn;
}

bool TakesConstraintDate(TTaskConstraintType AType) { return AType != tcAsSoonAsPossible && AType != tcAsLateAsPossible; }

ComPtr<IMapActionListAttribute> FindActionList(INode* ARoot) {
  return ARoot ? QueryAs<IMapActionListAttribute>(ARoot->FindProperty(KActionListPropertyName).get()) : nullptr;
}

ComPtr<INode> RootOf(ILumetaModel* AModel) {
  ComPtr<ITree> tree = AModel ? AModel->GetTree() : nullptr;
  return tree ? tree->GetRoot() : nullptr;
}

}  // namespace

TActionRecordPresenter::TActionRecordPresenter(TForm AForm) : FForm(AForm) { Reset(); }

void TActionRecordPresenter::Open(ILumetaModel* AModel, ISelection* ASelection, IActionAttribute* AAction,
                                  bool AKeepTouched) {
  ComPtr<INode> root = RootOf(AModel);
  ComPtr<IMapSettings> settings = FindMapSettings(root.get());
  FScheduling = settings && settings->GetTaskScheduling();
  FScheduler = FindWorkingScheduler(root.get());

  FPriorities.assign(KFixedPriorities.begin(), KFixedPriorities.end());
  if (ComPtr<IMapActionListAttribute> list = FindActionList(root.get()))
    for (int32_t i = 0, count = list->GetChildCount(); i < count; ++i)
      if (ComPtr<IMapActionAttribute> item = QueryAs<IMapActionAttribute>(list->GetChild(i).get()))
        FPriorities.push_back(item->GetMapStatus());

  FSelection = ASelection;
  FNodes.clear();
  for (int32_t i = 0, count = ASelection ? ASelection->GetCount() : 0; i < count; ++i)
    if (ComPtr<INode> node = QueryAs<INode>(ASelection->GetItem(i).get())) FNodes.push_back(node);
  ComPtr<TLumetaSelectionState> state = make<TLumetaSelectionState>();
  state->SetSelection(ASelection);
  FAnySummary = state->IsNotEmpty() && !state->AllLeaves();

  ComPtr<IActionAttribute> action = AAction ? ComPtr<IActionAttribute>(AAction) : NewActionRecord();
  Fill(action.get(), AKeepTouched);
}

std::vector<TActionField> TActionRecordPresenter::RestoreDate(int32_t ACode) {
  const std::array<TField, KActionFieldCount> before = FFields;
  if ((ACode & 0xFF) == 11 && IsDateToShow(FFilledStart)) FFields[acStartDate].Value = FFilledStart;
  if ((ACode & 0xFF) == 13 && IsDateToShow(FFilledFinish)) FFields[acCompletedDate].Value = FFilledFinish;
  RecalcDuration();
  return Changes(before);
}

void TActionRecordPresenter::Reset() {
  FSelection = nullptr;
  FNodes.clear();
  FScheduler = nullptr;
  FScheduling = FAnySummary = false;
  FPriorities.assign(KFixedPriorities.begin(), KFixedPriorities.end());
  ComPtr<IActionAttribute> empty = NewActionRecord();
  Fill(empty.get(), false);
}

void TActionRecordPresenter::Fill(IActionAttribute* AAction, bool AKeepTouched) {
  const double today = LocaleService().Today();
  for (int32_t i = 0; i < KActionFieldCount; ++i) {
    const auto field = static_cast<TActionField>(i);
    TField& shown = FFields[field];
    FFilled[field] = ValueOf(AAction, field);
    if (AKeepTouched && shown.Touched) continue;
    shown = {FFilled[field], false, IsMixed(AAction, field), false};
    if (IsDate(field)) {
      const double date = std::get<double>(shown.Value);
      shown.Checked = IsDateToShow(date);
      // A picker without a date offers today.
      if (!shown.Checked) shown.Value = today;
    }
  }
  FFilledConstraintType = AAction->GetConstraintType();
  FFilledStart = AAction->GetStartDate();
  FFilledFinish = AAction->GetCompletedDate();
  FFilledConstraintDate = AAction->GetConstraintDate();
  if (!AKeepTouched || !FFields[acConstraintDate].Touched) {
    // The constraint picker starts at the task's start while no constraint date is set.
    TField& constraint = FFields[acConstraintDate];
    if (!constraint.Checked && IsDateToShow(FFilledStart)) constraint.Value = FFilledStart;
    constraint.Checked = true;
  }
  ShowRolledUp(AKeepTouched);
  FCompleteBeforeStatus.reset();
  if (!AKeepTouched) FModified = false;
}

// The combined record stores; a summary task's own record works its rolled-up fields out on
// reading. Those show, as one value when every selected node agrees.
void TActionRecordPresenter::ShowRolledUp(bool AKeepTouched) {
  if (!FScheduling || !FAnySummary) return;
  for (int32_t i = 0; i < KActionFieldCount; ++i) {
    const auto field = static_cast<TActionField>(i);
    if (!IsRolledUpField(field)) continue;
    TField& shown = FFields[field];
    if (AKeepTouched && shown.Touched) continue;
    bool first = true;
    for (const ComPtr<INode>& node : FNodes) {
      ComPtr<IActionAttribute> own = TActionHelper::GetAction(node.get(), false);
      if (!own) own = NewActionRecord();
      const TActionFieldValue value = ValueOf(own.get(), field);
      if (first) {
        shown = {value, false, false, false};
        if (IsDate(field)) {
          shown.Checked = IsDateToShow(std::get<double>(value));
          if (!shown.Checked) shown.Value = LocaleService().Today();
        }
      } else if (shown.Value != value) {
        shown.Mixed = true;
      }
      first = false;
    }
  }
}

void TActionRecordPresenter::Clear(IActionAttribute* AEmpty) {
  const std::array<TActionFieldValue, KActionFieldCount> filled = FFilled;
  const TTaskConstraintType type = FFilledConstraintType;
  const double start = FFilledStart, finish = FFilledFinish, constraintDate = FFilledConstraintDate;
  Fill(AEmpty, false);
  // Saved over what the nodes hold, compared with what they showed before.
  FFilled = filled;
  FFilledConstraintType = type;
  FFilledStart = start;
  FFilledFinish = finish;
  FFilledConstraintDate = constraintDate;
  for (int32_t i = 0; i < KActionFieldCount; ++i)
    if (Enabled(static_cast<TActionField>(i))) FFields[i].Touched = true;
  FFields[acPostedToOutlook].Touched = FFields[acIsSummary].Touched = false;
  FModified = true;
}

std::string TActionRecordPresenter::Refusal(TActionField AField) const {
  const std::string name = KActionFieldNames[AField];
  if (AField == acPostedToOutlook || AField == acIsSummary) return name + " is not edited here";
  if (FScheduling && FAnySummary)
    if (std::string refusal = SummaryFieldRefusal(FSelection.get(), AField); !refusal.empty()) return refusal;
  if (AField == acConstraintType || AField == acConstraintDate) {
    if (!FScheduling) return name + " applies only while the map schedules tasks";
    const auto type = static_cast<TTaskConstraintType>(std::get<int32_t>(FFields[acConstraintType].Value));
    if (AField == acConstraintDate && !TakesConstraintDate(type))
      return name + " needs a constraint type that takes a date";
  }
  return {};
}

void TActionRecordPresenter::Set(TActionField AField, const TActionFieldValue& AValue) {
  TField& field = FFields[AField];
  field.Value = AValue;
  field.Mixed = false;
  field.Touched = true;
  if (IsDate(AField)) field.Checked = true;
}

double TActionRecordPresenter::Number(TActionField AField) const {
  return FFields[AField].Mixed ? 0 : AsNumber(FFields[AField].Value);
}

// The duration in days as the dialog shows it; none counts as one day.
double TActionRecordPresenter::DurationDays() const {
  const double value = FFields[acDuration].Mixed ? 1 : AsNumber(FFields[acDuration].Value);
  return static_cast<int32_t>(Number(acDurationMeasure)) == amHours ? value / KHoursPerDay : value;
}

double TActionRecordPresenter::DateTyped(TActionField AField, double ADate, bool ATimeGiven) const {
  ComPtr<IActionAttribute> shown = NewActionRecord();
  // The time of day the field showed, unless it showed no date; a constraint's from its type.
  if (FFields[AField].Checked && !FFields[AField].Mixed)
    WriteActionField(shown.get(), AField, FFields[AField].Value);
  WriteActionField(shown.get(), acConstraintType, FFields[acConstraintType].Value);
  return TypedActionDate(shown.get(), AField, ADate, ATimeGiven, FScheduling ? FScheduler.get() : nullptr);
}

std::vector<TActionField> TActionRecordPresenter::Edit(TActionField AField, const TActionFieldValue& AValue,
                                                       bool ATimeGiven) {
  if (const std::string refusal = Refusal(AField); !refusal.empty()) throw EInvalidOperation(refusal);
  const std::array<TField, KActionFieldCount> before = FFields;
  // A picker that showed no date offers today at midnight: a day picked there comes without a time.
  if (IsDate(AField) && !FFields[AField].Checked &&
      TimeOf(AsNumber(AValue)) == TimeOf(AsNumber(FFields[AField].Value)))
    ATimeGiven = false;
  FModified = true;
  Set(AField, IsDate(AField) ? TActionFieldValue(DateTyped(AField, AsNumber(AValue), ATimeGiven)) : AValue);
  if (AField == acComplete) FCompleteBeforeStatus.reset();

  const bool statusEmpty = !FFields[acStatus].Mixed && AsText(FFields[acStatus].Value).empty();
  switch (AField) {
    case acComplete: {
      const int32_t complete = static_cast<int32_t>(Number(acComplete));
      const char* status = complete >= 100 ? KStatusCompleted : complete > 0 ? KStatusInProgress : KStatusNotStarted;
      if (FFields[acStatus].Mixed || AsText(FFields[acStatus].Value) != status) Set(acStatus, std::string(status));
      break;
    }
    case acStatus: {
      const std::string status = AsText(AValue);
      const int32_t complete = status == KStatusCompleted ? 100 : status == KStatusNotStarted ? 0 : -1;
      if (complete >= 0 && (FFields[acComplete].Mixed || Number(acComplete) != complete)) {
        if (!FCompleteBeforeStatus) FCompleteBeforeStatus = FFields[acComplete];
        Set(acComplete, complete);
      } else if (complete < 0 && FCompleteBeforeStatus) {
        // Arrowing through "Completed" on the way to "Deferred" leaves the percentage as it was.
        FFields[acComplete] = *FCompleteBeforeStatus;
        FCompleteBeforeStatus.reset();
      }
      break;
    }
    case acWork:
    case acPriority:
      if (statusEmpty && Enabled(acStatus)) Set(acStatus, std::string(KStatusNotStarted));
      break;
    case acDuration:
    case acDurationMeasure:
      if (AField == acDuration && statusEmpty && Enabled(acStatus)) Set(acStatus, std::string(KStatusNotStarted));
      // A task without duration is a milestone.
      if (FScheduling && (Number(acDuration) == 0) != std::get<bool>(FFields[acIsMilestone].Value))
        Set(acIsMilestone, Number(acDuration) == 0);
      break;
    case acIsMilestone:
      if (FScheduling && !std::get<bool>(AValue) && Number(acDuration) == 0) RecalcDuration();
      break;
    case acStartDate:
      if (FForm == TForm::Panel) {
        if (FFields[acDueDate].Checked && !FFields[acDueDate].Mixed) DurationFromDates();
      } else if (FScheduler) {
        // The end follows the start, shown only: the move of the task works the finish out.
        FFields[acCompletedDate].Value =
            FScheduler->FinishForStart(std::get<double>(FFields[acStartDate].Value), DurationDays());
      }
      break;
    case acDueDate:
      if (FForm == TForm::Panel && FFields[acStartDate].Checked && !FFields[acStartDate].Mixed) DurationFromDates();
      break;
    case acCompletedDate:
      if (FScheduling && FScheduler && !FFields[acDuration].Mixed)
        FFields[acStartDate].Value = FScheduler->StartForFinish(std::get<double>(FFields[acCompletedDate].Value),
                                                                AsNumber(FFields[acDuration].Value));
      break;
    case acConstraintType:
      ConstraintDateFollowsType();
      break;
    default:
      break;
  }

  // The edited field itself shows what the user gave, unless a rule changed it or it is a date,
  // whose box the edit checks.
  std::vector<TActionField> changed = Changes(before);
  std::erase(changed, AField);
  if (IsDate(AField) || FFields[AField].Value != AValue) changed.push_back(AField);
  return changed;
}

std::vector<TActionField> TActionRecordPresenter::Changes(const std::array<TField, KActionFieldCount>& ABefore) const {
  std::vector<TActionField> changed;
  for (int32_t i = 0; i < KActionFieldCount; ++i) {
    const TField& now = FFields[i];
    const TField& was = ABefore[i];
    if (now.Value != was.Value || now.Checked != was.Checked || now.Mixed != was.Mixed)
      changed.push_back(static_cast<TActionField>(i));
  }
  return changed;
}

std::vector<TActionField> TActionRecordPresenter::Check(TActionField AField, bool AChecked) {
  if (const std::string refusal = Refusal(AField); !refusal.empty()) throw EInvalidOperation(refusal);
  TField& field = FFields[AField];
  // A task keeps its start and its finish.
  if (!AChecked && FScheduling && (AField == acStartDate || AField == acCompletedDate)) AChecked = true;
  field.Checked = AChecked;
  field.Mixed = false;
  field.Touched = true;
  FModified = true;
  return {AField};
}

// The working time from start to end (scheduling), or due minus start in days.
void TActionRecordPresenter::RecalcDuration() {
  if (!FScheduling) {
    if (FFields[acStartDate].Checked && FFields[acDueDate].Checked) DurationFromDates();
    return;
  }
  double days = FScheduler ? FScheduler->WorkingDuration(std::get<double>(FFields[acStartDate].Value),
                                                         std::get<double>(FFields[acCompletedDate].Value))
                           : 0;
  if (static_cast<int32_t>(Number(acDurationMeasure)) == amHours) days *= KHoursPerDay;
  Set(acDuration, days);
}

void TActionRecordPresenter::DurationFromDates() {
  const double days = DateOf(std::get<double>(FFields[acDueDate].Value)) - DateOf(std::get<double>(FFields[acStartDate].Value));
  Set(acDuration, std::max(0.0, days));
  Set(acDurationMeasure, static_cast<int32_t>(amDays));
}

// Until the user picks a constraint date, the picker follows the type: a finish type chosen in
// place of the record's start type (or none) starts from the task's finish, so that a day typed
// alone keeps the end of the working day; back on the record's kind of type it shows what it was
// filled with.
void TActionRecordPresenter::ConstraintDateFollowsType() {
  TField& date = FFields[acConstraintDate];
  if (date.Touched) return;
  const auto type = static_cast<TTaskConstraintType>(std::get<int32_t>(FFields[acConstraintType].Value));
  const bool finish = IsFinishConstraint(type);
  double shown = FFilledConstraintDate > 0 ? FFilledConstraintDate : FFilledStart;
  if (finish != IsFinishConstraint(FFilledConstraintType)) shown = finish ? FFilledFinish : FFilledStart;
  if (IsDateToShow(shown)) date.Value = shown;
}

void TActionRecordPresenter::Save(IActionAttribute* AAction) {
  AAction->SetFlag(afModified, false);
  const auto write = [&](TActionField AField, const TActionFieldValue& AValue) {
    const TField& field = FFields[AField];
    if (!field.Touched || (!IsMixed(AAction, AField) && AValue == FFilled[AField])) return;
    WriteActionField(AAction, AField, AValue);
    if (ComPtr<IAttribute> child = AAction->FindChild(KActionFieldNames[AField])) child->SetMixed(false);
  };
  const auto value = [&](TActionField AField) -> TActionFieldValue {
    const TField& field = FFields[AField];
    if (IsDate(AField)) return field.Checked ? field.Value : TActionFieldValue(0.0);
    return field.Value;
  };
  // In this order: a status saved after the percentage decides the pair.
  for (TActionField field : {acIsAction, acIsMilestone, acStartDate, acDueDate, acCompletedDate, acDuration,
                             acDurationMeasure, acComplete, acPriority, acStatus, acCost, acQuantity, acWork,
                             acWorkMeasure})
    write(field, value(field));
  if (FScheduling) {
    TField& type = FFields[acConstraintType];
    TField& date = FFields[acConstraintDate];
    write(acConstraintType, type.Value);
    if (type.Touched || date.Touched) {
      // The date goes to the working time its type looks at; a type without a date keeps none.
      const auto constraint = static_cast<TTaskConstraintType>(std::get<int32_t>(type.Value));
      double picked = std::get<double>(date.Value);
      if (!TakesConstraintDate(constraint))
        picked = 0;
      else if (FScheduler)
        picked = IsFinishConstraint(constraint) ? FScheduler->ToWorkingFinish(picked) : FScheduler->ToWorkingStart(picked);
      date.Touched = true;
      write(acConstraintDate, picked);
    }
  }
  for (TField& field : FFields) field.Touched = false;
  FModified = false;
}

std::string TActionRecordPresenter::TypedPriority() const {
  const TField& priority = FFields[acPriority];
  const std::string text = AsText(priority.Value);
  if (!priority.Touched || priority.Mixed || text.empty()) return {};
  return std::ranges::find(FPriorities, text) == FPriorities.end() ? text : std::string();
}

ComPtr<ICommand> PrepareListPriorityCommand(ILumetaModel* AModel, const std::string& AText, ComPtr<ISelection>& ARoot) {
  ComPtr<INode> root = RootOf(AModel);
  if (!root || AText.empty()) return {};
  if (ComPtr<IMapActionListAttribute> list = FindActionList(root.get()))
    for (int32_t i = 0, count = list->GetChildCount(); i < count; ++i)
      if (ComPtr<IMapActionAttribute> item = QueryAs<IMapActionAttribute>(list->GetChild(i).get()))
        if (item->GetMapStatus() == AText) return {};
  // A new list of the one text: the property command adds its items to the map's list.
  ComPtr<IPropertyClasses> classes = AModel->GetPropertyClasses();
  ComPtr<IProperty> list = classes->FindManager(KActionListPropertyName) ? classes->NewProperty(KActionListPropertyName) : nullptr;
  ComPtr<IMapActionListAttribute> items = list ? list.try_as<IMapActionListAttribute>() : nullptr;
  if (!items || !items->AddText(AText)) return {};
  ComPtr<TData> selection = make<TData>(static_cast<IUnknown*>(classes.get()));
  selection->Add(root.get());
  ARoot = selection;
  return AModel->GetCommandHelper()->PreparePropertyCommand(list.get(), selection.get(), -1);
}

namespace {

// AEdited, saved for several nodes, as it reads once applied to AOld, one node's record: a field
// left mixed keeps the node's own value. Only the fields a task's dates follow are looked at.
ComPtr<IActionAttribute> AppliedTo(IActionAttribute* AOld, IActionAttribute* AEdited) {
  ComPtr<IActionAttribute> applied = NewActionRecord();
  applied->Assign(AEdited);
  for (TActionField field :
       {acStartDate, acCompletedDate, acDuration, acDurationMeasure, acConstraintType, acConstraintDate})
    if (IsMixed(AEdited, field)) WriteActionField(applied.get(), field, ValueOf(AOld, field));
  return applied;
}

}  // namespace

ComPtr<ICommand> PrepareRecordCommand(ILumetaModel* AModel, ISelection* ASelection, IActionAttribute* AEdited,
                                      const std::string& ATypedPriority) {
  SettleEdits(AEdited);
  AEdited->SetFlag(afModified, false);
  bool anyMixed = false;
  for (int32_t i = 0; i < AEdited->GetChildCount(); ++i) anyMixed = anyMixed || AEdited->GetChild(i)->IsMixed();
  ComPtr<ICommandHelper> helper = AModel->GetCommandHelper();
  // A record left empty goes away, unless a field nobody edited still differs between the nodes.
  const bool removed = AEdited->IsEmpty() && !anyMixed;
  ComPtr<TMultipleCommand> commands = make<TMultipleCommand>(AModel);
  ComPtr<ICommand> record = removed ? helper->PrepareRemovePropertiesCommand({KActionPropertyName}, ASelection, -1)
                                    : helper->PreparePropertyCommand(QueryAs<IProperty>(AEdited).get(), ASelection, -1);
  ComPtr<IMapSettings> settings = FindMapSettings(RootOf(AModel).get());
  if (record && !removed && settings && settings->GetTaskScheduling()) {
    // Each task is placed as its own edit requires, as a field's entry places each selected task.
    for (int32_t i = 0, count = ASelection->GetCount(); i < count; ++i) {
      ComPtr<INode> node = QueryAs<INode>(ASelection->GetItem(i).get());
      if (!node) continue;
      ComPtr<ISelection> one = NodeSelection(node.get());
      ComPtr<IActionAttribute> old = TActionHelper::GetAction(node.get(), false);
      if (!old) old = NewActionRecord();
      const TTaskEdit edit = TTaskEdit::Between(old.get(), AppliedTo(old.get(), AEdited).get());
      ComPtr<ICommand> own = helper->PreparePropertyCommand(QueryAs<IProperty>(AEdited).get(), one.get(), -1);
      if (own) commands->AddCommand(make<TApplyTaskEditCommand>(AModel, node.get(), own, edit).get(), one.get());
    }
  } else if (record) {
    commands->AddCommand(record.get(), ASelection);
  }
  ComPtr<ISelection> root;
  if (ComPtr<ICommand> list = PrepareListPriorityCommand(AModel, ATypedPriority, root))
    commands->AddCommand(list.get(), root.get());
  return commands->Count() > 0 ? ComPtr<ICommand>(commands) : nullptr;
}
