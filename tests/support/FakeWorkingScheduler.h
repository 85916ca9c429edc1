#pragma once
// Map settings for tests that schedule: a switch, and a working scheduler of the test's choice.
// Put the settings on a map's root as its "MapSettings".
#include <utility>

#include "attributes/LumetaAttributes.h"
#include "tests/support/CalendarScheduler.h"

// The host's scheduler (Monday to Friday, 08:00-12:00 and 13:00-17:00 unless told otherwise).
using TFakeWorkingScheduler = TCalendarScheduler;

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
