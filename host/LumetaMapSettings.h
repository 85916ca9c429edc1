#pragma once
// The map's own settings, kept as the map-level attribute "MapSettings" on the root node: the
// task-scheduling switch that turns on roll-up, scheduling rules and rescheduling, and the working
// calendar the host's working scheduler reckons with.
#include <cstdint>
#include <string>
#include <vector>

#include "attributes/LumetaAttributes.h"
#include "contract/LumetaIntf.h"

// One stretch of working time within a day, in minutes after midnight.
struct TWorkingPeriod {
  int32_t Start = 0;
  int32_t Finish = 0;
  friend bool operator==(const TWorkingPeriod&, const TWorkingPeriod&) = default;
};

// Days of the week as bits of a working-day mask, Monday first.
enum TWeekDayBit : uint8_t {
  wdMonday = 1,
  wdTuesday = 2,
  wdWednesday = 4,
  wdThursday = 8,
  wdFriday = 16,
  wdSaturday = 32,
  wdSunday = 64,
};

// Everything the working scheduler reckons with, as one value that an undoable edit can swap.
struct TMapCalendar {
  uint8_t WorkingDays = 0;
  std::vector<TWorkingPeriod> WorkingPeriods;
  std::vector<double> Holidays;
  // Where tasks without predecessors start; 0 when the map file names none.
  double ScheduleStart = 0;
  friend bool operator==(const TMapCalendar&, const TMapCalendar&) = default;
};

class TLumetaMapSettings : public TImplements<TRecordAttribute, IMapSettings> {
 public:
  static constexpr uint8_t DefaultWorkingDays = wdMonday | wdTuesday | wdWednesday | wdThursday | wdFriday;
  static const std::vector<TWorkingPeriod>& DefaultWorkingPeriods();  // 08:00-12:00, 13:00-17:00

  TLumetaMapSettings();

  bool GetTaskScheduling() override;
  void SetTaskScheduling(bool AOn) override;
  // A TWorkingScheduler over the current calendar, made on first need after each change.
  ComPtr<IUnknown> GetScheduler() override;

  // The calendar's setters mark the settings modified. Each raises EConvertError for a calendar
  // that would leave no working time, so a scheduler walking it always gets somewhere.
  uint8_t WorkingDays() const noexcept { return FWorkingDays; }
  // Only bits of TWeekDayBit; at least one of them.
  void SetWorkingDays(uint8_t AMask);
  // At least one period; each Start < Finish within 0..1440; ordered, touching allowed, no overlap.
  const std::vector<TWorkingPeriod>& WorkingPeriods() const noexcept { return FWorkingPeriods; }
  void SetWorkingPeriods(std::vector<TWorkingPeriod> APeriods);
  int32_t WorkingMinutesPerDay() const;
  // Whole days (the time of day is dropped), sorted, each once; no limit on their number.
  const std::vector<double>& Holidays() const noexcept { return FHolidays; }
  void SetHolidays(std::vector<double> ADates);

  // The schedule start as the map file stores it: 0 when it names none. The scheduler then
  // answers the fallback given by SetDefaultScheduleStart, moved to the first working moment.
  double ScheduleStart() const noexcept { return FScheduleStart; }
  void SetScheduleStart(double ADate);
  // Not stored in the map file: what a map without a stored schedule start starts from.
  void SetDefaultScheduleStart(double ADate);
  // The scheduler's schedule start: the stored one, else the default, else 08:00 today, moved
  // to the first working moment.
  double EffectiveScheduleStart();

  // The IANA name of the zone the map's dates are in ("Europe/Berlin"); empty: floating local
  // times. Not checked here: the task program knows the zones.
  const std::string& TimeZone() const noexcept { return FTimeZone; }
  void SetTimeZone(std::string AName);

  // The whole calendar at once; SetCalendar checks every part before it changes any, so a
  // refused calendar leaves the settings as they were.
  TMapCalendar Calendar() const;
  void SetCalendar(const TMapCalendar& ACalendar);

  // ISO day numbers: 1 Monday ... 7 Sunday; false for any other number.
  bool IsWorkingWeekDay(int AIsoDay) const noexcept;
  bool IsHoliday(double ADate) const;
  // A working week day that is no holiday.
  bool IsWorkingDay(double ADate) const;
  // 1 Monday ... 7 Sunday for a date-time (day 0, 30 December 1899, was a Saturday).
  static int IsoWeekDay(double ADate);

  // The record's children, then the calendar when the source is map settings too.
  void Assign(IAttribute* ASource) override;
  bool EqualTo(IAttribute* AOther) override;
  std::string ClassName() const override { return "TLumetaMapSettings"; }

 private:
  ComPtr<IWordBoolAttribute> FTaskScheduling;
  uint8_t FWorkingDays = DefaultWorkingDays;
  std::vector<TWorkingPeriod> FWorkingPeriods;
  std::vector<double> FHolidays;
  double FScheduleStart = 0;
  double FDefaultScheduleStart = 0;
  std::string FTimeZone;
  ComPtr<IUnknown> FScheduler;  // made on first need, dropped by every change of the calendar
};
