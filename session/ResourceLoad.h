#pragma once
// Who works on what and when: the resources the map's nodes name, each with its tasks and the
// hours booked on each day, set against the working hours the map's calendar gives that day. The
// resource view and the `resources` command both read it.
//
// A task's work (its duration's working hours when it has none) is shared evenly among its
// resources and spread over its working time from start to finish. Summary tasks are listed with
// their resources but book nothing: their work is their subtasks'.
#include <cstdint>
#include <string>
#include <vector>

#include "host/LumetaModel.h"

struct TResourceTask {
  int64_t NodeID = 0;
  std::string Title;
  double Start = 0;   // 0 when the task has no date
  double Finish = 0;
  double Hours = 0;   // the resource's share of the task's work
  bool Summary = false;
};

struct TResourceDay {
  double Day = 0;        // midnight
  double Booked = 0;     // hours
  double Available = 0;  // the calendar's working hours that day
  // Half a minute of slack: shares of work are fractions that need not add up exactly.
  bool OverBooked() const noexcept { return Booked > Available + 1.0 / 120; }
};

struct TResourceUse {
  std::string Name;
  std::string Email;  // the first one any node gives
  std::vector<TResourceTask> Tasks;  // by start, then ID
  double Hours = 0;
  std::vector<TResourceDay> Days;    // every day with work booked, in order
};

// Every resource of the map, by name (the same name in another case is the same resource), with
// the name as first written. Raises what the map's scheduler raises for a date it cannot hold.
std::vector<TResourceUse> ResourceUses(TLumetaModel* AModel);

// "24 hrs", "2.5 hrs": hours as the command line and the views print them.
std::string HoursText(double AHours);
