#include "plugin/ActionAttributes.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <span>
#include <string_view>

#include "attributes/LumetaAttributeFactory.h"
#include "com/NumberText.h"
#include "com/LumetaLocale.h"
#include "contract/LumetaIntf.h"
#include "contract/WorkingSchedulerIntf.h"
#include "plugin/RolledUpAction.h"

namespace {

constexpr const char* MapActionNames[] = {"Map Status"};

// The summary whose rolled-up values a child of AOwner answers instead of its own: the record
// and its node when the node is a summary task and the map schedules tasks. A record outside a
// property, or on a node that is no summary, costs only the property and node look-ups.
struct TRollUpTarget {
  TActionAttribute* Record = nullptr;
  ComPtr<INode> Node;
};

TRollUpTarget RollUpTarget(IAttribute* AOwner) {
  if (!AOwner) return {};
  TActionAttribute* record = TActionAttribute::FromAction(AOwner);
  ComPtr<INode> node;
  if (record && record->HasCarrier()) {
    // Most reads are of tasks that are no summaries: answered without counting anything.
    INode* carrier = record->CarrierNode();
    if (!carrier || !carrier->IsSummaryTask()) return {};
    node = carrier;
  } else {
    ComPtr<IProperty> property = AOwner->GetProperty();
    if (!property) return {};
    node = QueryAs<INode>(property->GetHostObject().get());
    if (!node || !node->IsSummaryTask()) return {};
  }
  ComPtr<IMapSettings> settings = FindMapSettings(node.get());
  if (!settings || !settings->GetTaskScheduling()) return {};
  return {record, std::move(node)};
}

template <class TValue, class TGetter>
TValue RolledUpOr(IAttribute* AOwner, TValue AStored, TGetter AGetter) {
  TRollUpTarget target = RollUpTarget(AOwner);
  if (!target.Record) return AStored;
  return std::invoke(AGetter, *make<TRolledUpAction>(target.Record, target.Node.get()));
}

// "%f" of the renderings: two decimals.
std::string FixedTwo(double AValue) { return FixedFloatText(AValue, 2); }

std::string ShortDate(double ADate) { return LocaleService().FormatShortDate(ADate); }

// Set, and not a sentinel of a summary without subtask records.
bool IsDate(double ADate) { return ADate != 0 && ADate != KNoRolledUpStart && ADate != KNoRolledUpFinish; }

// Tabs and line breaks become spaces and runs of spaces one space, so that stored multi-line
// texts do not break the tooltip's layout.
std::string FoldSpaces(std::string_view AText) {
  std::string text;
  text.reserve(AText.size());
  for (char c : AText) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    if (c == ' ' && !text.empty() && text.back() == ' ') continue;
    text += c;
  }
  return text;
}

// The host shows the tooltip as rich text: user text must not read as markup.
std::string EscapeMarkup(std::string_view AText) {
  std::string text;
  text.reserve(AText.size());
  for (char c : AText) {
    if (c == '&')
      text += "&amp;";
    else if (c == '<')
      text += "&lt;";
    else if (c == '>')
      text += "&gt;";
    else
      text += c;
  }
  return text;
}

// The lines of both renderings, in their order and under their conditions; each sink writes them
// in its own format.
template <class TSink>
void RenderAction(IActionAttribute* AAction, TSink& ASink) {
  if (AAction->GetIsAction()) ASink.Flag("Action for Outlook");
  if (AAction->GetIsMilestone()) ASink.Flag("Milestone");
  if (const double start = AAction->GetStartDate(); IsDate(start)) ASink.Text("Start Date", ShortDate(start));
  if (const double due = AAction->GetDueDate(); due != 0)
    ASink.Due("Due Date", ShortDate(due), LocaleService().Today() > due && AAction->GetComplete() < 100);
  if (const double completed = AAction->GetCompletedDate(); IsDate(completed))
    ASink.Text("Completed Date", ShortDate(completed));
  if (const double duration = AAction->GetDuration(); duration != 0)
    ASink.Measured("Duration", FixedTwo(duration), GetMeasureText(AAction->GetDurationMeasure()));
  if (const int32_t complete = AAction->GetComplete(); complete != 0) ASink.Percent("Complete", complete);
  if (const std::string priority = AAction->GetPriority(); !priority.empty()) ASink.Text("Priority", priority);
  if (const std::string status = AAction->GetStatus(); !status.empty()) ASink.Text("Status", status);
  if (const double cost = AAction->GetCost(); cost != 0) ASink.Number("Cost", FixedTwo(cost));
  if (const double quantity = AAction->GetQuantity(); quantity != 0) ASink.Number("Quantity", FixedTwo(quantity));
  if (const double work = AAction->GetWork(); work != 0)
    ASink.Measured("Work", FixedTwo(work), GetMeasureText(AAction->GetWorkMeasure()));
}

// Separator only between lines; bold labels, a colon and a space after each value.
class THtmlSink {
 public:
  explicit THtmlSink(std::string_view ASeparator) : FSeparator(ASeparator) {}

  void Flag(std::string_view ALabel) { Line() += Bold(ALabel); }
  void Text(std::string_view ALabel, std::string_view AValue) {
    (Line() += Bold(ALabel)).append(": ").append(EscapeMarkup(AValue)) += ' ';
  }
  void Due(std::string_view ALabel, std::string_view AValue, bool AOverdue) {
    if (!AOverdue) return Text(ALabel, AValue);
    (Line() += "<FONT COLOR = #FF0000>").append(Bold(ALabel)).append(": ").append(EscapeMarkup(AValue)) += "</FONT> ";
  }
  void Measured(std::string_view ALabel, std::string_view AValue, std::string_view AMeasure) {
    Text(ALabel, std::string(AValue).append(" ").append(AMeasure));
  }
  void Percent(std::string_view ALabel, int32_t AValue) {
    (Line() += Bold(ALabel)).append(": ").append(std::to_string(AValue)) += " %";
  }
  void Number(std::string_view ALabel, std::string_view AValue) { Text(ALabel, AValue); }

  const std::string& Result() const { return FText; }

 private:
  static std::string Bold(std::string_view ALabel) { return "<B>" + std::string(ALabel) + "</B>"; }
  std::string& Line() {
    if (!FText.empty()) FText += FSeparator;
    return FText;
  }
  std::string FText;
  std::string_view FSeparator;
};

// Separator before every line, the first included; "label value" without a colon.
class TPlainSink {
 public:
  explicit TPlainSink(std::string_view ASeparator) : FSeparator(ASeparator) {}

  void Flag(std::string_view ALabel) { Line(ALabel); }
  void Text(std::string_view ALabel, std::string_view AValue) { Line(ALabel).append(" ").append(AValue); }
  void Due(std::string_view ALabel, std::string_view AValue, bool) { Text(ALabel, AValue); }
  void Measured(std::string_view ALabel, std::string_view AValue, std::string_view AMeasure) {
    Line(ALabel).append(" ").append(AValue).append(" ").append(AMeasure);
  }
  void Percent(std::string_view ALabel, int32_t AValue) {
    Line(ALabel).append(" ").append(std::to_string(AValue)) += " %";
  }
  void Number(std::string_view ALabel, std::string_view AValue) { Text(ALabel, AValue); }

  const std::string& Result() const { return FText; }

 private:
  std::string& Line(std::string_view ALabel) { return FText.append(FSeparator).append(ALabel); }
  std::string FText;
  std::string_view FSeparator;
};

template <class T>
ComPtr<IAttribute> CreateAttribute() {
  return ComPtr<IAttribute>(make<T>());
}

}  // namespace

double DurationInDays(double AValue, int32_t AMeasure) {
  if (AMeasure == amHours) return AValue / KHoursPerDay;
  if (AMeasure == amMinutes) return AValue / KMinutesPerHour / KHoursPerDay;
  return AValue;
}

double DurationInHours(double AValue, int32_t AMeasure) {
  if (AMeasure == amDays) return AValue * KHoursPerDay;
  if (AMeasure == amMinutes) return AValue / KMinutesPerHour;
  return AValue;
}

int32_t DurationInMinutes(double AValue, int32_t AMeasure) {
  if (AMeasure == amHours) return RoundHalfToEven(AValue * KMinutesPerHour);
  if (AMeasure == amDays) return RoundHalfToEven(AValue * KHoursPerDay * KMinutesPerHour);
  return RoundHalfToEven(AValue);
}

int32_t RoundHalfToEven(double AValue) {
  if (std::isnan(AValue)) return 0;
  double whole = std::floor(AValue);
  const double fraction = AValue - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2) != 0)) whole += 1;
  if (whole <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (whole >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(whole);
}

void RegisterActionAttributeClasses(ILumetaAttributeFactory* AFactory) {
  AFactory->RegisterClass(uuidof<IActionAttribute>(), CreateAttribute<TActionAttribute>);
  AFactory->RegisterClass(uuidof<IMapActionAttribute>(), CreateAttribute<TMapActionAttribute>);
  AFactory->RegisterClass(uuidof<IMapActionListAttribute>(), CreateAttribute<TMapActionListAttribute>);
}

// ---------------------------------------------------------------------------------------------
// The rolled-up children

int32_t TActionCompleteAttribute::RolledUpValue(int32_t AStored) {
  return RolledUpOr(RawOwner(), AStored, &TRolledUpAction::GetComplete);
}

double TActionCompleteDateAttribute::RolledUpValue(double AStored) {
  return RolledUpOr(RawOwner(), AStored, &TRolledUpAction::GetCompletedDate);
}

double TActionDurationAttribute::RolledUpValue(double AStored) {
  return RolledUpOr(RawOwner(), AStored, &TRolledUpAction::GetDuration);
}

int32_t TActionDurationMeasureAttribute::RolledUpValue(int32_t AStored) {
  return RolledUpOr(RawOwner(), AStored, &TRolledUpAction::GetDurationMeasure);
}

double TActionStartDateAttribute::RolledUpValue(double AStored) {
  return RolledUpOr(RawOwner(), AStored, &TRolledUpAction::GetStartDate);
}

std::string TActionStatusAttribute::RolledUpValue(std::string AStored) {
  return RolledUpOr(RawOwner(), std::move(AStored), &TRolledUpAction::GetStatus);
}

// ---------------------------------------------------------------------------------------------
// TActionAttribute

namespace {

// The kinds of the eighteen fields, in the order of TActionField.
constexpr TSlotKind ActionSlotKinds[] = {
    TSlotKind::Integer,  TSlotKind::DateTime, TSlotKind::DateTime, TSlotKind::Double,   TSlotKind::Integer,
    TSlotKind::WordBool, TSlotKind::String,   TSlotKind::DateTime, TSlotKind::String,   TSlotKind::WordBool,
    TSlotKind::Double,   TSlotKind::Double,   TSlotKind::Double,   TSlotKind::Integer,  TSlotKind::WordBool,
    TSlotKind::WordBool, TSlotKind::String,   TSlotKind::DateTime};
static_assert(std::size(ActionSlotKinds) == KActionFieldCount);

}  // namespace

TActionAttribute::TActionAttribute(IUnknown* AController)
    : TImplements(std::span<const char* const>(KActionFieldNames), std::span<const TSlotKind>(ActionSlotKinds),
                  AController) {
  // The default constraint is no value from a document and no edit: neither loaded nor modified.
  TSlot& constraint = Slots()->Slots()[acConstraintType];
  Slots()->Text(constraint) = TaskConstraintTypeToText(tcAsSoonAsPossible);
}

void TActionAttribute::MakeChildren() {
  ReserveChildren(KActionFieldCount);
  const auto adopt = [this](auto AChild) {
    AddSlotChild(ComPtr<TAttribute>(AChild.get()));
    return AChild;
  };
  FFields = std::make_unique<TFields>();
  TFields& f = *FFields;
  f.Complete = adopt(make<TActionCompleteAttribute>());
  f.CompletedDate = adopt(make<TActionCompleteDateAttribute>());
  f.DueDate = adopt(make<TDateTimeAttribute>());
  f.Duration = adopt(make<TActionDurationAttribute>());
  f.DurationMeasure = adopt(make<TActionDurationMeasureAttribute>());
  f.IsAction = adopt(make<TWordBoolAttribute>());
  f.Priority = adopt(make<TStringAttribute>());
  f.StartDate = adopt(make<TActionStartDateAttribute>());
  f.Status = adopt(make<TActionStatusAttribute>());
  f.PostedToOutlook = adopt(make<TWordBoolAttribute>());
  f.Work = adopt(make<TDoubleAttribute>());
  f.Cost = adopt(make<TDoubleAttribute>());
  f.Quantity = adopt(make<TDoubleAttribute>());
  f.WorkMeasure = adopt(make<TIntegerAttribute>());
  f.IsMilestone = adopt(make<TWordBoolAttribute>());
  f.IsSummary = adopt(make<TActionIsSummaryAttribute>());
  f.ConstraintType = adopt(make<TActionConstraintTypeAttribute>());
  f.ConstraintDate = adopt(make<TDateTimeAttribute>());
}

TActionAttribute::TFields& TActionAttribute::Fields() {
  Children();
  return *FFields;
}

void TActionAttribute::SetCarrierHost(IUnknown* AHost) noexcept {
  FHasCarrier = true;
  FCarrierHost = AHost;
  FCarrierNode = nullptr;
  FCarrierNodeKnown = false;
}

INode* TActionAttribute::CarrierNode() noexcept {
  if (!FCarrierNodeKnown) {
    // The host holds the property and so this record: an uncounted pointer lives as long.
    FCarrierNode = QueryAs<INode>(FCarrierHost).get();
    FCarrierNodeKnown = true;
  }
  return FCarrierNode;
}

bool TActionAttribute::OrdinaryTask() noexcept {
  if (!FHasCarrier) return false;
  INode* node = CarrierNode();
  return !node || !node->IsSummaryTask();
}

TActionAttribute* TActionAttribute::FromAction(IUnknown* AObject) noexcept {
  if (!AObject) return nullptr;
  void* object = nullptr;
  if (AObject->QueryInterface(ObjectIid, &object) != S_OK || !object) return nullptr;
  auto* action = static_cast<TActionAttribute*>(object);
  action->Release();  // the caller's reference keeps it alive
  return action;
}

bool TActionAttribute::FindInterface(const GUID& AIid, void** AObject) noexcept {
  if (AIid == ObjectIid) {
    *AObject = this;
    return true;
  }
  return TImplements::FindInterface(AIid, AObject);
}

int32_t TActionAttribute::GetComplete() { return OrdinaryTask() ? StoredComplete() : Fields().Complete->GetValue(); }
double TActionAttribute::GetCompletedDate() {
  return OrdinaryTask() ? StoredCompletedDate() : Fields().CompletedDate->GetValue();
}
double TActionAttribute::GetConstraintDate() { return SlotReal(acConstraintDate); }
TTaskConstraintType TActionAttribute::GetConstraintType() {
  return TextToTaskConstraintType(SlotText(acConstraintType));
}
double TActionAttribute::GetCost() { return SlotReal(acCost); }
double TActionAttribute::GetDueDate() { return SlotReal(acDueDate); }
double TActionAttribute::GetDuration() { return OrdinaryTask() ? StoredDuration() : Fields().Duration->GetValue(); }
double TActionAttribute::GetDurationInDays() { return DurationInDays(GetDuration(), GetDurationMeasure()); }
double TActionAttribute::GetDurationInHours() { return DurationInHours(GetDuration(), GetDurationMeasure()); }
int32_t TActionAttribute::GetDurationInMinutes() { return DurationInMinutes(GetDuration(), GetDurationMeasure()); }
int32_t TActionAttribute::GetDurationMeasure() {
  return OrdinaryTask() ? StoredDurationMeasure() : Fields().DurationMeasure->GetValue();
}
bool TActionAttribute::GetIsAction() { return SlotBool(acIsAction); }
bool TActionAttribute::GetPostedToOutlook() { return SlotBool(acPostedToOutlook); }
std::string TActionAttribute::GetPriority() { return StoredPriority(); }
double TActionAttribute::GetQuantity() { return SlotReal(acQuantity); }
double TActionAttribute::GetStartDate() { return OrdinaryTask() ? StoredStartDate() : Fields().StartDate->GetValue(); }
std::string TActionAttribute::GetStatus() { return OrdinaryTask() ? StoredStatus() : Fields().Status->GetValue(); }
double TActionAttribute::GetWork() { return SlotReal(acWork); }
int32_t TActionAttribute::GetWorkMeasure() { return SlotInteger(acWorkMeasure); }
bool TActionAttribute::GetIsMilestone() { return SlotBool(acIsMilestone); }
bool TActionAttribute::GetIsSummary() { return Fields().IsSummary->GetValue(); }

bool TActionAttribute::IsEmpty() {
  if (GetDueDate() != 0 || GetIsAction() || GetIsMilestone() || !GetPriority().empty() || GetCost() != 0 ||
      GetQuantity() != 0 || GetWork() != 0)
    return false;
  // A summary's shown values from one walk of its branch, not one per field.
  if (const TRollUpTarget target = RollUpTarget(static_cast<IActionAttribute*>(this)); target.Record) {
    const TRolledUpValues values = make<TRolledUpAction>(target.Record, target.Node.get())->Values();
    return values.Complete == 0 && values.Finish == 0 && values.Duration == 0 && values.Start == 0 &&
           RolledUpStatus(values.Complete, StoredStatus()).empty();
  }
  return GetComplete() == 0 && GetCompletedDate() == 0 && GetDuration() == 0 && GetStartDate() == 0 &&
         GetStatus().empty();
}

void TActionAttribute::SetComplete(int32_t AValue) {
  Fields().Complete->SetValue(AValue);
  if (AValue == 100)
    Fields().Status->SetValue(KStatusCompleted);
  else if (AValue > 0 && AValue < 100)
    Fields().Status->SetValue(KStatusInProgress);
  else if (AValue == 0)
    Fields().Status->SetValue(KStatusNotStarted);
}

// The dates straight from their slots, as the children read and write them: a run saves, writes
// and restores the dates of every task it moves, and going through the children made eighteen
// objects per record and touched two of them, each a wait for memory in a large map.
TActionAttribute::TDatesState TActionAttribute::SaveDates() {
  const double start = SlotReal(acStartDate), finish = SlotReal(acCompletedDate);  // read from the document first
  const TSlot* slots = Slots()->Slots();
  return {start, finish, slots[acStartDate].Flags, slots[acCompletedDate].Flags};
}

void TActionAttribute::RestoreDates(const TDatesState& AState) {
  TSlot* slots = Slots()->Slots();
  slots[acStartDate].Real = AState.Start;
  slots[acStartDate].Flags = AState.StartFlags;
  slots[acCompletedDate].Real = AState.Finish;
  slots[acCompletedDate].Flags = AState.FinishFlags;
}

void TActionAttribute::WriteDates(double AStart, double AFinish) {
  TSlot* slots = Slots()->Slots();
  slots[acStartDate].Real = AStart;
  slots[acStartDate].Flags = afLoaded | afModified;
  slots[acCompletedDate].Real = AFinish;
  slots[acCompletedDate].Flags = afLoaded | afModified;
}

void TActionAttribute::PrefetchRecord() const noexcept {
  const char* first = reinterpret_cast<const char*>(this);
  for (const char* line = first; line < first + sizeof(*this); line += 64) __builtin_prefetch(line);
}

void TActionAttribute::PrefetchDates() noexcept {
  const TSlot* slots = Slots()->Slots();
  __builtin_prefetch(slots + acStartDate);
  __builtin_prefetch(slots + acCompletedDate);
  __builtin_prefetch(GetController());
  __builtin_prefetch(FCarrierNode);
}

void TActionAttribute::PrefetchSlots() noexcept {
  const char* first = reinterpret_cast<const char*>(Slots());
  for (const char* line = first; line < first + Slots()->Bytes(); line += 64) __builtin_prefetch(line);
}

void TActionAttribute::SetCompletedDate(double AValue) { Fields().CompletedDate->SetValue(AValue); }
void TActionAttribute::SetConstraintDate(double AValue) { Fields().ConstraintDate->SetValue(AValue); }
void TActionAttribute::SetConstraintType(TTaskConstraintType AValue) {
  Fields().ConstraintType->SetValue(std::string(TaskConstraintTypeToText(AValue)));
}
void TActionAttribute::SetCost(double AValue) { Fields().Cost->SetValue(AValue); }
void TActionAttribute::SetDueDate(double AValue) { Fields().DueDate->SetValue(AValue); }

void TActionAttribute::SetDuration(double AValue) {
  Fields().Duration->SetValue(AValue);
  DefaultStatus();
}

void TActionAttribute::SetDurationMeasure(int32_t AValue) { Fields().DurationMeasure->SetValue(AValue); }
void TActionAttribute::SetIsAction(bool AValue) { Fields().IsAction->SetValue(AValue); }
void TActionAttribute::SetPostedToOutlook(bool AValue) { Fields().PostedToOutlook->SetValue(AValue); }

void TActionAttribute::SetPriority(const std::string& AValue) {
  Fields().Priority->SetValue(AValue);
  DefaultStatus();
}

void TActionAttribute::SetQuantity(double AValue) { Fields().Quantity->SetValue(AValue); }
void TActionAttribute::SetStartDate(double AValue) { Fields().StartDate->SetValue(AValue); }

void TActionAttribute::SetStatus(const std::string& AValue) {
  Fields().Status->SetValue(AValue);
  if (AValue == KStatusNotStarted)
    Fields().Complete->SetValue(0);
  else if (AValue == KStatusCompleted)
    Fields().Complete->SetValue(100);
}

void TActionAttribute::SetWork(double AValue) {
  Fields().Work->SetValue(AValue);
  DefaultStatus();
}

void TActionAttribute::SetWorkMeasure(int32_t AValue) { Fields().WorkMeasure->SetValue(AValue); }
void TActionAttribute::SetIsMilestone(bool AValue) { Fields().IsMilestone->SetValue(AValue); }

// Looks at the stored status: the default belongs in the record, whatever a summary shows.
void TActionAttribute::DefaultStatus() {
  if (Fields().Status->GetStoredValue().empty()) Fields().Status->SetValue(KStatusNotStarted);
}

std::string TActionAttribute::AsHtml(int32_t AOptions) {
  if (IsEmpty()) return {};
  THtmlSink sink((AOptions & 2) ? "<BR>" : ", ");
  RenderAction(this, sink);
  return "<HTML><BODY>" + FoldSpaces(sink.Result()) + "</BODY></HTML>";
}

std::string TActionAttribute::AsPlainText(int32_t AOptions) {
  TPlainSink sink((AOptions & 2) ? "\r\n" : ", ");
  RenderAction(this, sink);
  return sink.Result();
}

int32_t TActionAttribute::StoredComplete() { return SlotInteger(acComplete); }
double TActionAttribute::StoredCompletedDate() { return SlotReal(acCompletedDate); }
double TActionAttribute::StoredDuration() { return SlotReal(acDuration); }
int32_t TActionAttribute::StoredDurationMeasure() { return SlotInteger(acDurationMeasure); }
bool TActionAttribute::StoredIsSummary() { return SlotBool(acIsSummary); }
double TActionAttribute::StoredStartDate() { return SlotReal(acStartDate); }
const std::string& TActionAttribute::StoredStatus() { return SlotText(acStatus); }
const std::string& TActionAttribute::StoredPriority() { return SlotText(acPriority); }

// ---------------------------------------------------------------------------------------------
// TMapActionAttribute

TMapActionAttribute::TMapActionAttribute(IUnknown* AController)
    : TImplements(std::span<const char* const>(MapActionNames), AController),
      FMapStatus(AddChildOfType(uuidof<IStringAttribute>()).as<IStringAttribute>()) {}

std::string TMapActionAttribute::GetMapStatus() { return FMapStatus->GetValue(); }

void TMapActionAttribute::SetMapStatus(const std::string& AValue) { FMapStatus->SetValue(AValue); }

// ---------------------------------------------------------------------------------------------
// TMapActionListAttribute

TMapActionListAttribute::TMapActionListAttribute(IUnknown* AController)
    : TImplements(uuidof<IMapActionAttribute>(), AController) {}

ComPtr<IMapActionAttribute> TMapActionListAttribute::AddText(const std::string& AText) {
  if (AText.empty()) return {};
  ComPtr<TMapActionAttribute> probe = make<TMapActionAttribute>();
  probe->SetMapStatus(AText);
  if (Contains(probe.get())) return {};
  ComPtr<IMapActionAttribute> item = Add().as<IMapActionAttribute>();
  item->SetMapStatus(AText);
  return item;
}
