#pragma once
// The host's working scheduler: the map's calendar and schedule start behind the scheduler
// interfaces the plug-in asks for. An immutable snapshot; the map settings make a new one when
// their calendar changes.
#include "com/AggregableObject.h"
#include "contract/WorkingSchedulerIntf.h"
#include "host/WorkingCalendar.h"

class TWorkingScheduler : public TImplements<TAggregableObject, IWorkingScheduler, IWorkingSchedule> {
 public:
  // AScheduleStart is taken as it is; the settings have already moved it to a working moment.
  TWorkingScheduler(TWorkingCalendar ACalendar, double AScheduleStart);

  double ToWorkingFinish(double ADate) override { return FCalendar.ToWorkingFinish(ADate); }
  double ToWorkingStart(double ADate) override { return FCalendar.ToWorkingStart(ADate); }
  double StartAfter(double AFinish) override { return FCalendar.StartAfter(AFinish); }
  double FinishBefore(double AStart) override { return FCalendar.FinishBefore(AStart); }
  double WorkingDuration(double AStart, double AFinish) override { return FCalendar.WorkingDuration(AStart, AFinish); }
  double FinishForStart(double AStart, double ADays) override { return FCalendar.FinishForStart(AStart, ADays); }
  double StartForFinish(double AFinish, double ADays) override { return FCalendar.StartForFinish(AFinish, ADays); }
  double ScheduleStart() override { return FScheduleStart; }

  const TWorkingCalendar& Calendar() const noexcept { return FCalendar; }

 private:
  TWorkingCalendar FCalendar;
  double FScheduleStart;
};
