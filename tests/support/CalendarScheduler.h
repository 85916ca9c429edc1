#pragma once
// A working scheduler over the host's working calendar, for tests that need working-time
// arithmetic on a map: the map settings it is put in hand it to whoever asks the map.
#include "com/AggregableObject.h"
#include "contract/WorkingSchedulerIntf.h"
#include "host/LumetaMap.h"
#include "host/LumetaMapSettings.h"
#include "host/WorkingCalendar.h"
#include "host/WorkingScheduler.h"

// The host's scheduler with a default calendar and a schedule start chosen by the test.
class TCalendarScheduler : public TWorkingScheduler {
 public:
  explicit TCalendarScheduler(double AScheduleStart = 0, TWorkingCalendar ACalendar = {})
      : TWorkingScheduler(std::move(ACalendar), AScheduleStart) {}
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
