#include "host/WorkingScheduler.h"

#include <utility>

TWorkingScheduler::TWorkingScheduler(TWorkingCalendar ACalendar, double AScheduleStart)
    : FCalendar(std::move(ACalendar)), FScheduleStart(AScheduleStart) {}
