#pragma once
// Working-time arithmetic over a weekly calendar: working week days, the working periods of a
// working day and a list of holidays. Date-times are doubles counting days since 30 December 1899
// (a Saturday), the fraction being the time of day; 0 means "not set". Everything is reckoned in
// whole minutes, so that sums of fractions of days do not drift; inputs are rounded to the
// nearest minute. Durations are in working days of WorkingMinutesPerDay() minutes.
//
// Every operation costs a few binary searches, whatever the span and the number of holidays.
// A date outside years 1 to 9999, given or reached, raises EConvertError; a value that is
// not finite raises EConvertError.
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

class TWorkingCalendar {
 public:
  // Minutes after midnight: Start < Finish, 0..1440, in order, touching allowed, no overlap.
  using TPeriod = std::pair<int32_t, int32_t>;

  // Monday to Friday, 08:00-12:00 and 13:00-17:00, no holidays.
  TWorkingCalendar();
  // AWorkingDays: bit 1 Monday, 2 Tuesday, 4 Wednesday ... 64 Sunday. Holidays are day numbers;
  // their time of day is dropped, order and repeats do not matter. Raises EConvertError
  // for a calendar without working time or with malformed periods.
  TWorkingCalendar(uint8_t AWorkingDays, const std::vector<TPeriod>& APeriods,
                   const std::vector<double>& AHolidays = {});

  int32_t WorkingMinutesPerDay() const noexcept { return FDayMinutes; }

  // A date-time of 0 ("not set") comes back as 0 from every operation; WorkingDuration answers 0
  // when either end is 0.

  // AValue itself inside a working period or on either end of one, else the next period's start.
  double ToWorkingStart(double AValue) const;
  // AValue itself inside a working period or on either end of one, else the previous period's end.
  double ToWorkingFinish(double AValue) const;
  // The first moment from AFinish on at which work can go on: a period's end is not one, unless
  // the next period starts there.
  double StartAfter(double AFinish) const;
  // The last moment up to AStart at which work can have been done: a period's start is not one,
  // unless the period before touches it.
  double FinishBefore(double AStart) const;
  // The moment at which ADays working days from AStart are done; a period's end rather than the
  // next period's start. ADays = 0 gives ToWorkingStart(AStart); ADays < 0 gives
  // StartForFinish(AStart, -ADays), so that WorkingDuration(AStart, result) is ADays again.
  double FinishForStart(double AStart, double ADays) const;
  // The moment from which ADays working days end at AFinish. ADays = 0 gives ToWorkingFinish(AFinish);
  // ADays < 0 gives FinishForStart(AFinish, -ADays).
  double StartForFinish(double AFinish, double ADays) const;
  // Working days between the two moments; negative when AFinish lies before AStart.
  double WorkingDuration(double AStart, double AFinish) const;

 private:
  int64_t FirstWorkingMinuteFrom(int64_t AMinute) const;
  int64_t LastWorkingEndUpTo(int64_t AMinute) const;
  bool IsWorkingMinute(int64_t AMinute) const;
  int64_t AddWorkingMinutes(int64_t AStart, int64_t AMinutes) const;
  int64_t SubtractWorkingMinutes(int64_t AFinish, int64_t AMinutes) const;
  int64_t WorkingMinutesBetween(int64_t AStart, int64_t AFinish) const;

  bool IsWorkingDay(int64_t ADay) const;
  int64_t WeekDayRank(int64_t ADay) const;
  int64_t DayOfWeekDayRank(int64_t ARank) const;
  int64_t WorkingDaysBefore(int64_t ADay) const;
  int64_t NthWorkingDayFrom(int64_t ADay, int64_t AN) const;
  int64_t NthWorkingDayBack(int64_t ADay, int64_t AN) const;
  int32_t FirstMinuteReaching(int32_t AWorked) const;
  int32_t LastMinuteAt(int32_t AWorked) const;

  uint8_t FWorkingDays;
  std::vector<TPeriod> FPeriods;
  int32_t FDayMinutes = 0;
  // FWorked[m]: working minutes of a working day before minute m, m = 0..1440.
  std::array<int32_t, 1441> FWorked{};
  // Working week days per week; for the week starting on the earliest day, the working week
  // days before each of its days and the offsets of its working week days.
  int32_t FWeekDays = 0;
  std::array<int32_t, 7> FWeekDaysBefore{};
  std::array<int32_t, 7> FWeekDayOffsets{};
  // Holidays that fall on working week days, ascending, and for each the number of working days
  // before it, counted from the earliest day.
  std::vector<int64_t> FHolidays;
  std::vector<int64_t> FWorkingDaysBeforeHoliday;
};
