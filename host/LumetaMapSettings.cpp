#include "host/LumetaMapSettings.h"

#include <algorithm>
#include <cmath>

#include "com/LumetaLocale.h"
#include "com/OleDate.h"
#include "host/WorkingScheduler.h"

namespace {
constexpr const char* KMapSettingNames[] = {"Task Scheduling"};
constexpr int32_t KMinutesPerDay = 24 * 60;
constexpr uint8_t KAllWeekDays = 127;
}  // namespace

const std::vector<TWorkingPeriod>& TLumetaMapSettings::DefaultWorkingPeriods() {
  static const std::vector<TWorkingPeriod> periods{{8 * 60, 12 * 60}, {13 * 60, 17 * 60}};
  return periods;
}

TLumetaMapSettings::TLumetaMapSettings()
    : TImplements(KMapSettingNames), FTaskScheduling(make<TWordBoolAttribute>()), FWorkingPeriods(DefaultWorkingPeriods()) {
  AddChild(FTaskScheduling.get());
  SetFlagEx(afModified, false, true);
}

bool TLumetaMapSettings::GetTaskScheduling() { return FTaskScheduling->GetValue(); }

namespace {
TWorkingCalendar CalendarOf(uint8_t ADays, const std::vector<TWorkingPeriod>& APeriods, const std::vector<double>& AHolidays) {
  std::vector<TWorkingCalendar::TPeriod> periods;
  periods.reserve(APeriods.size());
  for (const TWorkingPeriod& period : APeriods) periods.emplace_back(period.Start, period.Finish);
  return TWorkingCalendar(ADays, periods, AHolidays);
}

void CheckScheduleStart(double ADate) {
  if (!std::isfinite(ADate) || ADate < 0) throw EConvertError("The schedule start must be a date");
  if (ADate != 0) DecodeDateTime(ADate);  // refuses dates outside the calendar's years
}
}  // namespace

ComPtr<IUnknown> TLumetaMapSettings::GetScheduler() {
  if (!FScheduler) {
    TWorkingCalendar calendar = CalendarOf(FWorkingDays, FWorkingPeriods, FHolidays);
    double start = FScheduleStart != 0 ? FScheduleStart : FDefaultScheduleStart;
    if (start == 0) start = LocaleService().Today() + 8.0 / 24;
    start = calendar.ToWorkingStart(start);
    FScheduler = static_cast<IWorkingScheduler*>(make<TWorkingScheduler>(std::move(calendar), start).get());
  }
  return FScheduler;
}

double TLumetaMapSettings::EffectiveScheduleStart() {
  return GetScheduler().as<IWorkingSchedule>()->ScheduleStart();
}

void TLumetaMapSettings::SetScheduleStart(double ADate) {
  CheckScheduleStart(ADate);
  FScheduleStart = ADate;
  FScheduler.reset();
  SetModified(true);
}

void TLumetaMapSettings::SetDefaultScheduleStart(double ADate) {
  CheckScheduleStart(ADate);
  FDefaultScheduleStart = ADate;
  FScheduler.reset();
}

void TLumetaMapSettings::SetTimeZone(std::string AName) {
  if (AName == FTimeZone) return;
  FTimeZone = std::move(AName);
  SetModified(true);
}

TMapCalendar TLumetaMapSettings::Calendar() const { return {FWorkingDays, FWorkingPeriods, FHolidays, FScheduleStart}; }

void TLumetaMapSettings::SetCalendar(const TMapCalendar& ACalendar) {
  TLumetaMapSettings check;
  check.SetWorkingDays(ACalendar.WorkingDays);
  check.SetWorkingPeriods(ACalendar.WorkingPeriods);
  check.SetHolidays(ACalendar.Holidays);
  check.SetScheduleStart(ACalendar.ScheduleStart);
  FWorkingDays = check.FWorkingDays;
  FWorkingPeriods = std::move(check.FWorkingPeriods);
  FHolidays = std::move(check.FHolidays);
  FScheduleStart = check.FScheduleStart;
  FScheduler.reset();
  SetModified(true);
}

void TLumetaMapSettings::SetTaskScheduling(bool AOn) { FTaskScheduling->SetValue(AOn); }

void TLumetaMapSettings::SetWorkingDays(uint8_t AMask) {
  if (AMask == 0 || (AMask & ~KAllWeekDays) != 0)
    throw EConvertError("Working days must name at least one day of the week");
  FWorkingDays = AMask;
  FScheduler.reset();
  SetModified(true);
}

void TLumetaMapSettings::SetWorkingPeriods(std::vector<TWorkingPeriod> APeriods) {
  if (APeriods.empty()) throw EConvertError("A working day needs at least one working period");
  int32_t previousFinish = 0;
  for (const TWorkingPeriod& period : APeriods) {
    if (period.Start < previousFinish || period.Start >= period.Finish || period.Finish > KMinutesPerDay)
      throw EConvertError("Working periods must lie within one day, in order and without overlapping");
    previousFinish = period.Finish;
  }
  FWorkingPeriods = std::move(APeriods);
  FScheduler.reset();
  SetModified(true);
}

int32_t TLumetaMapSettings::WorkingMinutesPerDay() const {
  int32_t minutes = 0;
  for (const TWorkingPeriod& period : FWorkingPeriods) minutes += period.Finish - period.Start;
  return minutes;
}

void TLumetaMapSettings::SetHolidays(std::vector<double> ADates) {
  for (double& date : ADates) {
    if (!std::isfinite(date)) throw EConvertError("A holiday must be a date");
    date = DateOf(date);
  }
  std::sort(ADates.begin(), ADates.end());
  ADates.erase(std::unique(ADates.begin(), ADates.end()), ADates.end());
  FHolidays = std::move(ADates);
  FScheduler.reset();
  SetModified(true);
}

bool TLumetaMapSettings::IsWorkingWeekDay(int AIsoDay) const noexcept {
  return AIsoDay >= 1 && AIsoDay <= 7 && (FWorkingDays & (1u << (AIsoDay - 1))) != 0;
}

bool TLumetaMapSettings::IsHoliday(double ADate) const {
  return std::binary_search(FHolidays.begin(), FHolidays.end(), DateOf(ADate));
}

bool TLumetaMapSettings::IsWorkingDay(double ADate) const {
  return IsWorkingWeekDay(IsoWeekDay(ADate)) && !IsHoliday(ADate);
}

int TLumetaMapSettings::IsoWeekDay(double ADate) {
  const auto day = static_cast<int64_t>(DateOf(ADate));
  return static_cast<int>(((day + 5) % 7 + 7) % 7) + 1;
}

void TLumetaMapSettings::Assign(IAttribute* ASource) {
  TRecordAttribute::Assign(ASource);
  if (auto* source = dynamic_cast<TLumetaMapSettings*>(TAttribute::FromInterface(ASource))) {
    FWorkingDays = source->FWorkingDays;
    FWorkingPeriods = source->FWorkingPeriods;
    FHolidays = source->FHolidays;
    FScheduleStart = source->FScheduleStart;
    FDefaultScheduleStart = source->FDefaultScheduleStart;
    FTimeZone = source->FTimeZone;
    FScheduler.reset();
  }
}

bool TLumetaMapSettings::EqualTo(IAttribute* AOther) {
  if (!TRecordAttribute::EqualTo(AOther)) return false;
  auto* other = dynamic_cast<TLumetaMapSettings*>(TAttribute::FromInterface(AOther));
  return !other || (FWorkingDays == other->FWorkingDays && FWorkingPeriods == other->FWorkingPeriods &&
                    FHolidays == other->FHolidays && FScheduleStart == other->FScheduleStart && FTimeZone == other->FTimeZone);
}
