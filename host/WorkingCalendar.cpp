#include "host/WorkingCalendar.h"

#include <algorithm>
#include <cmath>

#include "com/ComErrors.h"

// Internally a moment is a count of minutes since day 0's midnight, continuous across day 0, and a
// day is the floor of that count over 1440; only the conversions know the date-time encoding,
// whose negative values keep their fraction counting forward from the day's midnight.
//
// Working days are located by rank instead of by walking: the working week days from the earliest
// day on are numbered through whole weeks, and each holiday remembers how many working days lie
// before it, so the n-th working day is one binary search over the holidays away.

namespace {

constexpr int64_t KDayMinutes = 24 * 60;
constexpr int64_t KFirstDay = -693593;  // 1 January 0001
constexpr int64_t KLastDay = 2958465;   // 31 December 9999
constexpr int64_t KSpanMinutes = (KLastDay - KFirstDay + 1) * KDayMinutes;
constexpr uint8_t KAllWeekDays = 127;

int64_t FloorDay(int64_t AMinute) {
  return AMinute >= 0 ? AMinute / KDayMinutes : -((-AMinute + KDayMinutes - 1) / KDayMinutes);
}

// 0 Monday ... 6 Sunday; day 0 was a Saturday.
int WeekDay(int64_t ADay) { return int(((ADay % 7) + 7 + 5) % 7); }

int64_t ToMinutes(double AValue) {
  if (!std::isfinite(AValue)) throw EConvertError("A date-time must be a finite number");
  const double day = std::trunc(AValue);
  if (day < double(KFirstDay) || day > double(KLastDay))
    throw EConvertError("A date-time must lie within the years 1 to 9999");
  return int64_t(day) * KDayMinutes + std::llround(std::fabs(AValue - day) * KDayMinutes);
}

double FromMinutes(int64_t AMinute) {
  if (AMinute < KFirstDay * KDayMinutes || AMinute >= (KLastDay + 1) * KDayMinutes)
    throw EConvertError("The working time reaches beyond the years 1 to 9999");
  const int64_t day = FloorDay(AMinute);
  const double time = double(AMinute - day * KDayMinutes) / KDayMinutes;
  return day >= 0 ? double(day) + time : double(day) - time;
}

}  // namespace

TWorkingCalendar::TWorkingCalendar() : TWorkingCalendar(31, {{8 * 60, 12 * 60}, {13 * 60, 17 * 60}}) {}

TWorkingCalendar::TWorkingCalendar(uint8_t AWorkingDays, const std::vector<TPeriod>& APeriods,
                                   const std::vector<double>& AHolidays)
    : FWorkingDays(AWorkingDays), FPeriods(APeriods) {
  if ((AWorkingDays & ~KAllWeekDays) != 0)
    throw EConvertError("Working days must be a mask of the seven days of the week");
  if (AWorkingDays == 0) throw EConvertError("A working calendar has no working time without working days");
  if (APeriods.empty())
    throw EConvertError("A working calendar has no working time without working periods");
  int32_t previousFinish = 0;
  for (const auto& [start, finish] : APeriods) {
    if (start < previousFinish || start >= finish || finish > KDayMinutes)
      throw EConvertError("Working periods must lie within one day, in order and without overlapping");
    previousFinish = finish;
    for (int32_t minute = start; minute < finish; ++minute) FWorked[minute + 1] = 1;
  }
  for (size_t minute = 1; minute < FWorked.size(); ++minute) FWorked[minute] += FWorked[minute - 1];
  FDayMinutes = FWorked.back();

  const int firstWeekDay = WeekDay(KFirstDay);
  for (int offset = 0; offset < 7; ++offset) {
    FWeekDaysBefore[offset] = FWeekDays;
    if (FWorkingDays & (1 << ((firstWeekDay + offset) % 7))) FWeekDayOffsets[FWeekDays++] = offset;
  }

  for (double holiday : AHolidays) {
    if (!std::isfinite(holiday)) throw EConvertError("A holiday must be a date");
    const int64_t day = int64_t(std::trunc(holiday));
    // Only holidays on working week days change anything; those outside the range are never reached.
    if (day >= KFirstDay && day <= KLastDay && (FWorkingDays & (1 << WeekDay(day)))) FHolidays.push_back(day);
  }
  std::sort(FHolidays.begin(), FHolidays.end());
  FHolidays.erase(std::unique(FHolidays.begin(), FHolidays.end()), FHolidays.end());
  FWorkingDaysBeforeHoliday.reserve(FHolidays.size());
  for (size_t i = 0; i < FHolidays.size(); ++i)
    FWorkingDaysBeforeHoliday.push_back(WeekDayRank(FHolidays[i]) - int64_t(i));
}

double TWorkingCalendar::ToWorkingStart(double AValue) const {
  if (AValue == 0) return 0;
  const int64_t minute = ToMinutes(AValue);
  if (IsWorkingMinute(minute) || IsWorkingMinute(minute - 1)) return FromMinutes(minute);
  return FromMinutes(FirstWorkingMinuteFrom(minute));
}

double TWorkingCalendar::ToWorkingFinish(double AValue) const {
  if (AValue == 0) return 0;
  const int64_t minute = ToMinutes(AValue);
  if (IsWorkingMinute(minute) || IsWorkingMinute(minute - 1)) return FromMinutes(minute);
  return FromMinutes(LastWorkingEndUpTo(minute));
}

double TWorkingCalendar::StartAfter(double AFinish) const {
  if (AFinish == 0) return 0;
  return FromMinutes(FirstWorkingMinuteFrom(ToMinutes(AFinish)));
}

double TWorkingCalendar::FinishBefore(double AStart) const {
  if (AStart == 0) return 0;
  return FromMinutes(LastWorkingEndUpTo(ToMinutes(AStart)));
}

namespace {
int64_t DurationMinutes(double ADays, int32_t ADayMinutes) {
  if (!std::isfinite(ADays)) throw EConvertError("A duration must be a finite number");
  const double minutes = std::round(ADays * ADayMinutes);
  if (std::fabs(minutes) > double(KSpanMinutes))
    throw EConvertError("The working time reaches beyond the years 1 to 9999");
  return int64_t(minutes);
}
}  // namespace

// A negative duration counts backwards, so that WorkingDuration(start, result) gives it back.
double TWorkingCalendar::FinishForStart(double AStart, double ADays) const {
  if (AStart == 0) return 0;
  const int64_t minutes = DurationMinutes(ADays, FDayMinutes);
  if (minutes == 0) return ToWorkingStart(AStart);
  const int64_t start = ToMinutes(AStart);
  return FromMinutes(minutes > 0 ? AddWorkingMinutes(start, minutes) : SubtractWorkingMinutes(start, -minutes));
}

// A negative duration counts forwards, mirroring FinishForStart.
double TWorkingCalendar::StartForFinish(double AFinish, double ADays) const {
  if (AFinish == 0) return 0;
  const int64_t minutes = DurationMinutes(ADays, FDayMinutes);
  if (minutes == 0) return ToWorkingFinish(AFinish);
  const int64_t finish = ToMinutes(AFinish);
  return FromMinutes(minutes > 0 ? SubtractWorkingMinutes(finish, minutes) : AddWorkingMinutes(finish, -minutes));
}

double TWorkingCalendar::WorkingDuration(double AStart, double AFinish) const {
  if (AStart == 0 || AFinish == 0) return 0;
  const int64_t start = ToMinutes(AStart), finish = ToMinutes(AFinish);
  const int64_t minutes =
      finish >= start ? WorkingMinutesBetween(start, finish) : -WorkingMinutesBetween(finish, start);
  return double(minutes) / FDayMinutes;
}

bool TWorkingCalendar::IsWorkingMinute(int64_t AMinute) const {
  const int64_t day = FloorDay(AMinute);
  const int64_t minute = AMinute - day * KDayMinutes;
  return FWorked[minute + 1] > FWorked[minute] && IsWorkingDay(day);
}

int64_t TWorkingCalendar::FirstWorkingMinuteFrom(int64_t AMinute) const {
  const int64_t day = FloorDay(AMinute);
  const int32_t minute = int32_t(AMinute - day * KDayMinutes);
  if (IsWorkingDay(day))
    for (const auto& [start, finish] : FPeriods)
      if (finish > minute) return day * KDayMinutes + std::max(start, minute);
  return NthWorkingDayFrom(day + 1, 1) * KDayMinutes + FPeriods.front().first;
}

int64_t TWorkingCalendar::LastWorkingEndUpTo(int64_t AMinute) const {
  const int64_t day = FloorDay(AMinute);
  const int32_t minute = int32_t(AMinute - day * KDayMinutes);
  if (IsWorkingDay(day))
    for (auto period = FPeriods.rbegin(); period != FPeriods.rend(); ++period)
      if (period->first < minute) return day * KDayMinutes + std::min(period->second, minute);
  return NthWorkingDayBack(day - 1, 1) * KDayMinutes + FPeriods.back().second;
}

// The earliest moment at which AMinutes (> 0) working minutes from AStart are done.
int64_t TWorkingCalendar::AddWorkingMinutes(int64_t AStart, int64_t AMinutes) const {
  const int64_t day = FloorDay(AStart);
  const int32_t minute = int32_t(AStart - day * KDayMinutes);
  if (IsWorkingDay(day)) {
    const int32_t left = FDayMinutes - FWorked[minute];
    if (AMinutes <= left) return day * KDayMinutes + FirstMinuteReaching(FWorked[minute] + int32_t(AMinutes));
    AMinutes -= left;
  }
  const int64_t days = (AMinutes + FDayMinutes - 1) / FDayMinutes;
  const int32_t onLastDay = int32_t(AMinutes - (days - 1) * FDayMinutes);
  return NthWorkingDayFrom(day + 1, days) * KDayMinutes + FirstMinuteReaching(onLastDay);
}

// The latest moment from which AMinutes (> 0) working minutes end at AFinish.
int64_t TWorkingCalendar::SubtractWorkingMinutes(int64_t AFinish, int64_t AMinutes) const {
  const int64_t day = FloorDay(AFinish);
  const int32_t minute = int32_t(AFinish - day * KDayMinutes);
  if (IsWorkingDay(day)) {
    const int32_t done = FWorked[minute];
    if (AMinutes <= done) return day * KDayMinutes + LastMinuteAt(done - int32_t(AMinutes));
    AMinutes -= done;
  }
  const int64_t days = (AMinutes + FDayMinutes - 1) / FDayMinutes;
  const int32_t onFirstDay = int32_t(AMinutes - (days - 1) * FDayMinutes);
  return NthWorkingDayBack(day - 1, days) * KDayMinutes + LastMinuteAt(FDayMinutes - onFirstDay);
}

int64_t TWorkingCalendar::WorkingMinutesBetween(int64_t AStart, int64_t AFinish) const {
  const int64_t startDay = FloorDay(AStart), finishDay = FloorDay(AFinish);
  const int32_t startWorked = FWorked[AStart - startDay * KDayMinutes];
  const int32_t finishWorked = FWorked[AFinish - finishDay * KDayMinutes];
  if (startDay == finishDay) return IsWorkingDay(startDay) ? finishWorked - startWorked : 0;
  return (IsWorkingDay(startDay) ? FDayMinutes - startWorked : 0) +
         (WorkingDaysBefore(finishDay) - WorkingDaysBefore(startDay + 1)) * FDayMinutes +
         (IsWorkingDay(finishDay) ? finishWorked : 0);
}

bool TWorkingCalendar::IsWorkingDay(int64_t ADay) const {
  return (FWorkingDays & (1 << WeekDay(ADay))) && !std::binary_search(FHolidays.begin(), FHolidays.end(), ADay);
}

// Working week days from the earliest day up to, not including, ADay (>= the earliest day).
int64_t TWorkingCalendar::WeekDayRank(int64_t ADay) const {
  const int64_t offset = ADay - KFirstDay;
  return offset / 7 * FWeekDays + FWeekDaysBefore[offset % 7];
}

int64_t TWorkingCalendar::DayOfWeekDayRank(int64_t ARank) const {
  return KFirstDay + ARank / FWeekDays * 7 + FWeekDayOffsets[ARank % FWeekDays];
}

int64_t TWorkingCalendar::WorkingDaysBefore(int64_t ADay) const {
  return WeekDayRank(ADay) - (std::lower_bound(FHolidays.begin(), FHolidays.end(), ADay) - FHolidays.begin());
}

// The working day of a given count of working days before it lies after as many holidays as
// have no more working days before them; its week-day rank adds those holidays to the count.
int64_t TWorkingCalendar::NthWorkingDayFrom(int64_t ADay, int64_t AN) const {
  const int64_t rank = WorkingDaysBefore(ADay) + AN - 1;
  const auto holidays = std::upper_bound(FWorkingDaysBeforeHoliday.begin(), FWorkingDaysBeforeHoliday.end(), rank) -
                        FWorkingDaysBeforeHoliday.begin();
  const int64_t day = DayOfWeekDayRank(rank + holidays);
  if (day > KLastDay) throw EConvertError("The working time reaches beyond the year 9999");
  return day;
}

int64_t TWorkingCalendar::NthWorkingDayBack(int64_t ADay, int64_t AN) const {
  const int64_t rank = WorkingDaysBefore(ADay + 1) - AN;
  if (rank < 0) throw EConvertError("The working time reaches before the year 1");
  const auto holidays = std::upper_bound(FWorkingDaysBeforeHoliday.begin(), FWorkingDaysBeforeHoliday.end(), rank) -
                        FWorkingDaysBeforeHoliday.begin();
  return DayOfWeekDayRank(rank + holidays);
}

int32_t TWorkingCalendar::FirstMinuteReaching(int32_t AWorked) const {
  return int32_t(std::lower_bound(FWorked.begin(), FWorked.end(), AWorked) - FWorked.begin());
}

int32_t TWorkingCalendar::LastMinuteAt(int32_t AWorked) const {
  return int32_t(std::upper_bound(FWorked.begin(), FWorked.end(), AWorked) - FWorked.begin()) - 1;
}
