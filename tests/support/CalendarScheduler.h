#pragma once
// A working scheduler over the host's working calendar, for tests that need working-time
// arithmetic on a map: the map settings it is put in hand it to whoever asks the map.
#include "com/AggregableObject.h"
#include "contract/WorkingSchedulerIntf.h"
#include "host/LumetaMap.h"
#include "host/LumetaMapSettings.h"
#include "host/WorkingCalendar.h"

class TCalendarScheduler : public TImplements<TAggregableObject, IWorkingScheduler, IWorkingSchedule> {
 public:
  explicit TCalendarScheduler(double AScheduleStart = 0, TWorkingCalendar ACalendar = {})
      : FCalendar(std::move(ACalendar)), FScheduleStart(AScheduleStart) {}

  double ToWorkingFinish(double ADate) override { return FCalendar.ToWorkingFinish(ADate); }
  double ToWorkingStart(double ADate) override { return FCalendar.ToWorkingStart(ADate); }
  double StartAfter(double AFinish) override { return FCalendar.StartAfter(AFinish); }
  double FinishBefore(double AStart) override { return FCalendar.FinishBefore(AStart); }
  double WorkingDuration(double AStart, double AFinish) override { return FCalendar.WorkingDuration(AStart, AFinish); }
  double FinishForStart(double AStart, double ADays) override { return FCalendar.FinishForStart(AStart, ADays); }
  double StartForFinish(double AFinish, double ADays) override { return FCalendar.StartForFinish(AFinish, ADays); }
  double ScheduleStart() override { return FScheduleStart; }

 private:
  TWorkingCalendar FCalendar;
  double FScheduleStart;
};

// Map settings whose scheduler is the one given.
class TSettingsWithScheduler : public TLumetaMapSettings {
 public:
  explicit TSettingsWithScheduler(ComPtr<IUnknown> AScheduler) : FScheduler(std::move(AScheduler)) {}
  ComPtr<IUnknown> GetScheduler() override { return FScheduler; }

 private:
  ComPtr<IUnknown> FScheduler;
};

// Gives the map a TCalendarScheduler (default calendar) through new map settings, and answers it.
inline ComPtr<TCalendarScheduler> InstallCalendarScheduler(TLumetaMap& AMap, double AScheduleStart = 0) {
  ComPtr<TCalendarScheduler> scheduler = make<TCalendarScheduler>(AScheduleStart);
  AMap.Root()->SetAttribute("MapSettings", make<TSettingsWithScheduler>(scheduler).template as<IAttribute>());
  return scheduler;
}
