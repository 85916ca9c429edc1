#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>

#include "com/ComErrors.h"
#include "host/WorkingCalendar.h"

namespace {

constexpr double Mon = 45292;  // Monday 1 January 2024
constexpr uint8_t Weekdays = 31;
// Two touching morning periods and an evening period that runs to midnight.
const std::vector<TWorkingCalendar::TPeriod> Odd{
    {6 * 60, 10 * 60 + 30}, {10 * 60 + 30, 12 * 60 + 15}, {20 * 60, 24 * 60}};
constexpr uint8_t OddDays = 1 | 4 | 8 | 32;  // Monday, Wednesday, Thursday, Saturday

double At(double ADay, int AHour, int AMinute = 0) { return ADay + (AHour * 60 + AMinute) / 1440.0; }
int64_t Minutes(double AValue) { return std::llround(AValue * 1440); }

// Marks every working minute of a window one by one and answers by walking them, minute by minute.
class TMinuteReference {
 public:
  TMinuteReference(uint8_t ADays, const std::vector<TWorkingCalendar::TPeriod>& APeriods,
                   const std::vector<double>& AHolidays, int64_t AFirstDay, int ADayCount)
      : FOrigin(AFirstDay * 1440), FWorks(size_t(ADayCount) * 1440) {
    for (int64_t minute = 0; minute < int64_t(FWorks.size()); ++minute) {
      const int64_t day = AFirstDay + minute / 1440, ofDay = minute % 1440;
      const int weekDay = int((day + 5) % 7);  // day 0 was a Saturday; Monday is 0
      bool works = (ADays >> weekDay) & 1;
      works = works && std::find(AHolidays.begin(), AHolidays.end(), double(day)) == AHolidays.end();
      works = works && std::any_of(APeriods.begin(), APeriods.end(),
                                   [&](auto APeriod) { return APeriod.first <= ofDay && ofDay < APeriod.second; });
      FWorks[minute] = works;
    }
  }
  bool Works(int64_t AMinute) const { return FWorks.at(size_t(AMinute - FOrigin)); }
  int64_t StartAfter(int64_t AMinute) const {
    while (!Works(AMinute)) ++AMinute;
    return AMinute;
  }
  int64_t FinishBefore(int64_t AMinute) const {
    while (!Works(AMinute - 1)) --AMinute;
    return AMinute;
  }
  bool AtWork(int64_t AMinute) const { return Works(AMinute) || Works(AMinute - 1); }
  int64_t ToStart(int64_t AMinute) const { return AtWork(AMinute) ? AMinute : StartAfter(AMinute); }
  int64_t ToFinish(int64_t AMinute) const { return AtWork(AMinute) ? AMinute : FinishBefore(AMinute); }
  int64_t Finish(int64_t AStart, int64_t AWork) const {
    if (AWork == 0) return ToStart(AStart);
    for (; AWork > 0; ++AStart) AWork -= Works(AStart);
    return AStart;
  }
  int64_t Start(int64_t AFinish, int64_t AWork) const {
    if (AWork == 0) return ToFinish(AFinish);
    for (; AWork > 0; --AFinish) AWork -= Works(AFinish - 1);
    return AFinish;
  }
  int64_t Between(int64_t AFrom, int64_t ATo) const {
    int64_t work = 0;
    for (int64_t minute = std::min(AFrom, ATo); minute < std::max(AFrom, ATo); ++minute) work += Works(minute);
    return ATo >= AFrom ? work : -work;
  }

 private:
  int64_t FOrigin;
  std::vector<char> FWorks;
};

// A few holidays close together early on (a Friday and the Monday after it, a Saturday, a run of
// three days), then one every ninth day for two years.
std::vector<double> TestHolidays() {
  std::vector<double> holidays{Mon + 11, Mon + 12, Mon + 14, Mon + 19, Mon + 26, Mon + 27, Mon + 28};
  for (double day = Mon + 40; day < Mon + 770; day += 9) holidays.push_back(day);
  return holidays;
}

// The calendar gets the holidays out of order and some with a time of day; they still mean whole days.
void CompareWithReference(uint8_t ADays, const std::vector<TWorkingCalendar::TPeriod>& APeriods) {
  const std::vector<double> holidays = TestHolidays();
  std::vector<double> given(holidays.rbegin(), holidays.rend());
  for (size_t i = 0; i < given.size(); i += 3) given[i] += 0.5;
  const TWorkingCalendar calendar(ADays, APeriods, given);
  const TMinuteReference reference(ADays, APeriods, holidays, int64_t(Mon) - 14, 1300);
  const int64_t dayMinutes = calendar.WorkingMinutesPerDay();
  // Every end of a period and the minutes either side of it, over five weeks with holidays.
  for (int64_t day = int64_t(Mon) - 7; day < int64_t(Mon) + 28; ++day)
    for (const auto& [from, to] : APeriods)
      for (const int64_t edge : {day * 1440 + from, day * 1440 + to})
        for (int64_t minute = edge - 1; minute <= edge + 1; ++minute) {
          SCOPED_TRACE(testing::Message() << "minute " << minute);
          const double at = minute / 1440.0;
          EXPECT_EQ(Minutes(calendar.StartAfter(at)), reference.StartAfter(minute));
          EXPECT_EQ(Minutes(calendar.FinishBefore(at)), reference.FinishBefore(minute));
          EXPECT_EQ(Minutes(calendar.ToWorkingStart(at)), reference.ToStart(minute));
          EXPECT_EQ(Minutes(calendar.ToWorkingFinish(at)), reference.ToFinish(minute));
          for (const int64_t work : {int64_t{0}, dayMinutes / 8, dayMinutes, 3 * dayMinutes}) {
            EXPECT_EQ(Minutes(calendar.FinishForStart(at, double(work) / dayMinutes)), reference.Finish(minute, work));
            EXPECT_EQ(Minutes(calendar.StartForFinish(at, double(work) / dayMinutes)), reference.Start(minute, work));
          }
          EXPECT_NEAR(calendar.WorkingDuration(at, at + 2.75) * dayMinutes, reference.Between(minute, minute + 3960), 1e-6);
        }
  std::mt19937 random(20240101);
  auto below = [&](int64_t ALimit) { return int64_t(random() % uint64_t(ALimit)); };
  for (int i = 0; i < 300; ++i) {
    // Starts over the first six weeks, a few seconds off the minute; mostly short durations.
    const int64_t start = int64_t(Mon) * 1440 + below(42 * 1440);
    const double startValue = (double(start) + (below(50) - 25) / 60.0) / 1440;
    const int64_t work = i % 20 == 0 ? 0 : i % 10 == 1 ? below(200 * dayMinutes) : below(12 * dayMinutes);
    const double days = double(work) / dayMinutes;
    const int64_t other = start + below(30 * 1440) - 10 * 1440;
    SCOPED_TRACE(testing::Message() << "start minute " << start << ", working minutes " << work);
    EXPECT_EQ(Minutes(calendar.FinishForStart(startValue, days)), reference.Finish(start, work));
    EXPECT_EQ(Minutes(calendar.StartForFinish(startValue + 450, days)), reference.Start(start + 450 * 1440, work));
    EXPECT_NEAR(calendar.WorkingDuration(startValue, other / 1440.0) * dayMinutes, reference.Between(start, other),
                1e-6);
    EXPECT_EQ(Minutes(calendar.StartAfter(startValue)), reference.StartAfter(start));
    EXPECT_EQ(Minutes(calendar.FinishBefore(startValue)), reference.FinishBefore(start));
    EXPECT_EQ(Minutes(calendar.ToWorkingStart(startValue)), reference.ToStart(start));
    EXPECT_EQ(Minutes(calendar.ToWorkingFinish(startValue)), reference.ToFinish(start));
  }
}

TEST(WorkingCalendar, AgreesWithAMinuteByMinuteWalk) {
  CompareWithReference(Weekdays, {{8 * 60, 12 * 60}, {13 * 60, 17 * 60}});
  CompareWithReference(OddDays, Odd);
}

TEST(WorkingCalendar, DefaultCalendarWorksWeekdaysEightToFiveWithALunchBreak) {
  const TWorkingCalendar calendar;
  EXPECT_EQ(calendar.WorkingMinutesPerDay(), 480);
  EXPECT_DOUBLE_EQ(calendar.FinishForStart(At(Mon + 4, 13), 1), At(Mon + 7, 12));
  EXPECT_DOUBLE_EQ(calendar.WorkingDuration(At(Mon, 12), At(Mon, 13)), 0);
}

TEST(WorkingCalendar, NotSetZeroAndNegativeDurations) {
  const TWorkingCalendar calendar;
  for (double result : {calendar.ToWorkingStart(0), calendar.ToWorkingFinish(0), calendar.StartAfter(0),
                        calendar.FinishBefore(0), calendar.FinishForStart(0, 2), calendar.StartForFinish(0, 2),
                        calendar.WorkingDuration(0, At(Mon, 9)), calendar.WorkingDuration(At(Mon, 9), 0)})
    EXPECT_EQ(result, 0);
  EXPECT_DOUBLE_EQ(calendar.FinishForStart(At(Mon, 12), 0), At(Mon, 12));
  EXPECT_DOUBLE_EQ(calendar.StartForFinish(At(Mon, 13), 0), At(Mon, 13));
  EXPECT_DOUBLE_EQ(calendar.FinishForStart(At(Mon + 1, 17), -1), At(Mon + 1, 8));
  EXPECT_DOUBLE_EQ(calendar.StartForFinish(At(Mon + 1, 8), -1), At(Mon + 1, 17));
}

TEST(WorkingCalendar, RejectsCalendarsWithoutWorkingTimeAndDatesBeyondItsYears) {
  const std::vector<TWorkingCalendar::TPeriod> morning{{8 * 60, 12 * 60}};
  EXPECT_THROW(TWorkingCalendar(0, morning), EConvertError);
  EXPECT_THROW(TWorkingCalendar(128 | 1, morning), EConvertError);
  EXPECT_THROW(TWorkingCalendar(Weekdays, {}), EConvertError);
  EXPECT_THROW(TWorkingCalendar(Weekdays, {{8 * 60, 12 * 60}, {11 * 60, 13 * 60}}), EConvertError);
  EXPECT_THROW(TWorkingCalendar(Weekdays, {{9 * 60, 9 * 60}}), EConvertError);
  EXPECT_THROW(TWorkingCalendar(Weekdays, {{20 * 60, 24 * 60 + 1}}), EConvertError);

  const TWorkingCalendar calendar;
  constexpr double LastDay = 2958465, FirstDay = -693593;  // Friday 31 December 9999, Monday 1 January 0001
  EXPECT_DOUBLE_EQ(calendar.FinishForStart(At(LastDay - 4, 8), 5), At(LastDay, 17));
  EXPECT_THROW(calendar.FinishForStart(At(LastDay - 4, 8), 6), EConvertError);
  EXPECT_THROW(calendar.StartAfter(At(LastDay, 17)), EConvertError);
  EXPECT_THROW(calendar.StartAfter(LastDay + 1.5), EConvertError);
  EXPECT_THROW(calendar.StartForFinish(At(FirstDay, 17), 2), EConvertError);
  EXPECT_THROW(calendar.FinishForStart(Mon, 1e15), EConvertError);
  EXPECT_THROW(calendar.FinishForStart(std::numeric_limits<double>::quiet_NaN(), 1), EConvertError);
  // Before day 0 the fraction still counts forward from the day's midnight.
  EXPECT_DOUBLE_EQ(calendar.StartAfter(FirstDay - 0.5), FirstDay - 13.0 / 24);
  EXPECT_DOUBLE_EQ(calendar.StartAfter(-1.75), 2 + 8.0 / 24);
  EXPECT_DOUBLE_EQ(calendar.FinishBefore(2.25), -1 - 17.0 / 24);
  EXPECT_DOUBLE_EQ(calendar.WorkingDuration(-1 - 8.0 / 24, 2 + 17.0 / 24), 2);
}

}  // namespace
