#pragma once
// libical's own verdict on a file the store wrote: what it reports while parsing, the restrictions
// of RFC 5545 and, for a calendar with a METHOD, of RFC 5546 (icalrestriction_check), and that every
// VTODO is due after it starts.
#include <libical/ical.h>

#include <string>
#include <vector>

#include "tests/support/TestFiles.h"

// Empty when every file passes, else one line per fault.
inline std::string LibicalFaults(const std::vector<std::string>& AFiles) {
  std::string faults;
  for (const std::string& file : AFiles) {
    icalcomponent* calendar = icalparser_parse_string(ReadText(file).c_str());
    if (!calendar) {
      faults += file + ": libical cannot read it\n";
      continue;
    }
    icalrestriction_check(calendar);
    // Parse errors and broken restrictions both end up as X-LIC-ERROR properties.
    std::vector<icalcomponent*> pending{calendar};
    while (!pending.empty()) {
      icalcomponent* component = pending.back();
      pending.pop_back();
      for (icalproperty* error = icalcomponent_get_first_property(component, ICAL_XLICERROR_PROPERTY); error;
           error = icalcomponent_get_next_property(component, ICAL_XLICERROR_PROPERTY))
        faults += file + ": " + icalproperty_get_xlicerror(error) + "\n";
      for (icalcomponent* child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT); child;
           child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT))
        pending.push_back(child);
    }
    for (icalcomponent* todo = icalcomponent_get_first_component(calendar, ICAL_VTODO_COMPONENT); todo;
         todo = icalcomponent_get_next_component(calendar, ICAL_VTODO_COMPONENT)) {
      const icaltimetype start = icalcomponent_get_dtstart(todo);
      const icaltimetype due = icalcomponent_get_due(todo);
      if (!icaltime_is_null_time(start) && !icaltime_is_null_time(due) && icaltime_compare(due, start) <= 0)
        faults += file + ": DUE " + icaltime_as_ical_string(due) + " is not after DTSTART " +
                  icaltime_as_ical_string(start) + "\n";
    }
    icalcomponent_free(calendar);
  }
  return faults;
}
