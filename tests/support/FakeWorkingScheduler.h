#pragma once
// Map settings for tests that schedule: a switch, and a working scheduler over the host's working
// calendar (Monday to Friday, 08:00-12:00 and 13:00-17:00 unless told otherwise) with a fixed
// schedule start. Put the settings on a map's root as its "MapSettings".
#include <utility>

#include "attributes/LumetaAttributes.h"
#include "contract/WorkingSchedulerIntf.h"
#include "host/WorkingCalendar.h"

class TFakeWorkingScheduler : public TImplements<TAggregableObject, IWorkingScheduler, IWorkingSchedule> {
 public:
  explicit TFakeWorkingScheduler(double AScheduleStart = 0, TWorkingCalendar ACalendar = {})
      : Start(AScheduleStart), Calendar(std::move(ACalendar)) {}

  double ToWorkingFinish(double ADate) override { return Calendar.ToWorkingFinish(ADate); }
  double ToWorkingStart(double ADate) override { return Calendar.ToWorkingStart(ADate); }
  double StartAfter(double AFinish) override { return Calendar.StartAfter(AFinish); }
  double FinishBefore(double AStart) override { return Calendar.FinishBefore(AStart); }
  double WorkingDuration(double AStart, double AFinish) override { return Calendar.WorkingDuration(AStart, AFinish); }
  double FinishForStart(double AStart, double ADays) override { return Calendar.FinishForStart(AStart, ADays); }
  double StartForFinish(double AFinish, double ADays) override { return Calendar.StartForFinish(AFinish, ADays); }
  double ScheduleStart() override { return Start; }

  double Start;
  TWorkingCalendar Calendar;
};

class TFakeMapSettings : public TImplements<TAttribute, IMapSettings> {
 public:
  // Without a scheduler the map has none.
  explicit TFakeMapSettings(bool AScheduling, ComPtr<IUnknown> AScheduler = {})
      : Scheduling(AScheduling), Scheduler(std::move(AScheduler)) {}

  bool GetTaskScheduling() override { return Scheduling; }
  void SetTaskScheduling(bool AOn) override { Scheduling = AOn; }
  ComPtr<IUnknown> GetScheduler() override { return Scheduler; }

  bool Scheduling;
  ComPtr<IUnknown> Scheduler;
};
