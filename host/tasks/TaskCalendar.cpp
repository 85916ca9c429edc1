#include "host/tasks/TaskCalendar.h"

#include <libical/ical.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <vector>

#include "com/ComErrors.h"
#include "com/DialogService.h"
#include "com/MailAddress.h"
#include "com/OleDate.h"
#include "com/OleVariant.h"

namespace {

constexpr const char* KProductID = "-//Lumeta//Task Program 16//EN";
constexpr const char* KStatusName = "X-LUMETA-TASK-STATUS";
// COMPLETED says a to-do was done then, and calendars show it done: a date given to a task that is
// not complete (a planned finish) rides along under this name instead, a floating local time.
constexpr const char* KPlannedCompletedName = "X-LUMETA-DATE-COMPLETED";
// A start that DTSTART cannot carry (a one-day task, a due date before the start) is kept here, so
// that the task reads back as it was written.
constexpr const char* KKeptStartName = "X-LUMETA-DATE-START";
constexpr const char* KExportKeyName = "X-LUMETA-EXPORT-KEY";
// DUE on the planned finish's day is read as the planned finish of a task without a due date; a
// due date typed on that day says so here, or it would be lost when the task is read back.
constexpr const char* KDueSetName = "X-LUMETA-DUE-SET";
// Stands for a comma inside a category name until the text is written: libical escapes no comma in
// a CATEGORIES value, as commas separate its names there. A noncharacter, so no name holds it.
constexpr std::string_view KCategoryComma = "\xEF\xB7\x90";

struct TComponentFree {
  void operator()(icalcomponent* AComponent) const { icalcomponent_free(AComponent); }
};
using TComponentPtr = std::unique_ptr<icalcomponent, TComponentFree>;
struct TPropertyFree {
  void operator()(icalproperty* AProperty) const { icalproperty_free(AProperty); }
};
using TPropertyPtr = std::unique_ptr<icalproperty, TPropertyFree>;

std::string Serialize(icalcomponent* AComponent) {
  char* text = icalcomponent_as_ical_string_r(AComponent);
  if (!text) throw ELumetaError("cannot write the task as iCalendar text");
  std::string result(text);
  std::free(text);
  // Commas inside category names, escaped as RFC 5545 wants: shorter than the marker, so no
  // folded line grows past its limit.
  for (size_t at = result.find(KCategoryComma); at != std::string::npos; at = result.find(KCategoryComma, at + 2))
    result.replace(at, KCategoryComma.size(), "\\,");
  return result;
}

bool HasTime(double AValue) { return AValue != 0 && TimeOf(AValue) != 0; }

// Floating local time (no zone), as the program's dates are; a date-only value when ADate.
icaltimetype LocalTime(double AValue, bool ADate) {
  const TDateTimeParts parts = DecodeDateTime(AValue);
  icaltimetype time = ADate ? icaltime_null_date() : icaltime_null_time();
  time.year = parts.Year;
  time.month = parts.Month;
  time.day = parts.Day;
  if (!ADate) {
    time.hour = parts.Hour;
    time.minute = parts.Minute;
    time.second = parts.Second;
  }
  return time;
}

// The zone of a task's dates; null for floating times (no zone, or one libical does not know).
icaltimezone* ZoneOf(const TTaskRecord& ATask) {
  return ATask.TimeZone.empty() ? nullptr : icaltimezone_get_builtin_timezone(ATask.TimeZone.c_str());
}

bool IsUtc(icaltimezone* AZone) { return AZone == icaltimezone_get_utc_timezone(); }

// The zone's VTIMEZONE as clients read it: its TZID is the IANA name, not libical's prefixed one,
// and observances before 1970 are left out. Made once per zone.
icalcomponent* ZoneComponent(icaltimezone* AZone) {
  static std::map<std::string, TComponentPtr> made;
  const std::string name = icaltimezone_get_location(AZone);
  auto& component = made[name];
  if (!component) {
    component.reset(icalcomponent_new_clone(icaltimezone_get_component(AZone)));
    icaltimetype from = icaltime_from_string("19700101T000000Z");
    icaltimezone_truncate_vtimezone(component.get(), from, icaltime_null_time(), 0);
    if (icalproperty* tzid = icalcomponent_get_first_property(component.get(), ICAL_TZID_PROPERTY))
      icalproperty_set_tzid(tzid, name.c_str());
  }
  return component.get();
}

// DTSTART or DUE: a date, a floating local time, or a time in the task's zone (TZID; UTC as "Z").
icalproperty* TimeProperty(icalproperty_kind AKind, double AValue, bool ADate, icaltimezone* AZone) {
  icaltimetype time = LocalTime(AValue, ADate);
  const bool zoned = AZone && !ADate;
  if (zoned && IsUtc(AZone)) time.zone = AZone;
  icalproperty* property = AKind == ICAL_DUE_PROPERTY ? icalproperty_new_due(time) : icalproperty_new_dtstart(time);
  if (zoned && !IsUtc(AZone)) icalproperty_add_parameter(property, icalparameter_new_tzid(icaltimezone_get_location(AZone)));
  return property;
}

// COMPLETED must be UTC: the local time through the system's time zone.
icaltimetype UtcTime(double AValue) {
  const TDateTimeParts parts = DecodeDateTime(AValue);
  std::tm local{};
  local.tm_year = parts.Year - 1900;
  local.tm_mon = parts.Month - 1;
  local.tm_mday = parts.Day;
  local.tm_hour = parts.Hour;
  local.tm_min = parts.Minute;
  local.tm_sec = parts.Second;
  local.tm_isdst = -1;
  return icaltime_from_timet_with_zone(std::mktime(&local), 0, icaltimezone_get_utc_timezone());
}

double UtcDays(icaltimetype ATime) {
  const std::time_t instant = icaltime_as_timet_with_zone(ATime, ATime.zone ? ATime.zone : icaltimezone_get_utc_timezone());
  return static_cast<double>(instant) / 86400.0 + 25569.0;
}

double FromIcalTime(icaltimetype ATime) {
  if (icaltime_is_null_time(ATime) || !icaltime_is_valid_time(ATime)) return 0;
  TDateTimeParts parts{ATime.year, ATime.month, ATime.day, ATime.hour, ATime.minute, ATime.second, 0};
  if (ATime.is_date) {
    parts.Hour = parts.Minute = parts.Second = 0;
  } else if (ATime.zone) {
    // A zoned time becomes the local wall-clock time it names.
    const std::time_t instant = icaltime_as_timet_with_zone(ATime, ATime.zone);
    std::tm local{};
    localtime_r(&instant, &local);
    parts = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, 0};
  }
  double value = 0;
  try {
    value = EncodeDateTime(parts);
  } catch (const EConvertError&) {
    return 0;
  }
  // Dates count from 1899-12-30 and a task's date of 0 or less means none: an older time would be
  // written back as no date at all, so it reads as none to begin with.
  return value > 0 ? value : 0;
}

icalproperty_status StatusOf(int32_t AStatus) {
  switch (AStatus) {
    case tsInProgress:
    case tsWaiting: return ICAL_STATUS_INPROCESS;
    case tsComplete: return ICAL_STATUS_COMPLETED;
    default: return ICAL_STATUS_NEEDSACTION;
  }
}

// High 1, normal 5, low 9: the three levels RFC 5545 names.
int PriorityOf(int32_t AImportance) { return AImportance == tiHigh ? 1 : AImportance == tiLow ? 9 : 5; }

int32_t ImportanceOf(int APriority) {
  if (APriority >= 1 && APriority <= 4) return tiHigh;
  if (APriority >= 6 && APriority <= 9) return tiLow;
  return tiNormal;
}

// iCalendar text breaks lines with "\n" (UnixLineBreaks); the task program's bodies with CR LF.
std::string CrLfs(std::string_view AText) {
  std::string result;
  for (char c : AText) {
    if (c == '\n') result += '\r';
    result += c;
  }
  return result;
}

// The properties a task's own fields own; everything else in a file is kept on a save.
constexpr icalproperty_kind KOwnKinds[] = {
    ICAL_SUMMARY_PROPERTY,  ICAL_DESCRIPTION_PROPERTY, ICAL_CATEGORIES_PROPERTY, ICAL_PERCENTCOMPLETE_PROPERTY,
    ICAL_STATUS_PROPERTY,   ICAL_PRIORITY_PROPERTY,    ICAL_DTSTART_PROPERTY,    ICAL_DUE_PROPERTY,
    ICAL_COMPLETED_PROPERTY, ICAL_DTSTAMP_PROPERTY,    ICAL_LASTMODIFIED_PROPERTY, ICAL_SEQUENCE_PROPERTY,
    ICAL_UID_PROPERTY,      ICAL_DURATION_PROPERTY,    ICAL_RELATEDTO_PROPERTY,  ICAL_ORGANIZER_PROPERTY,
    ICAL_ATTENDEE_PROPERTY};

void RemoveOwnProperties(icalcomponent* ATodo) {
  for (icalproperty_kind kind : KOwnKinds) {
    while (icalproperty* property = icalcomponent_get_first_property(ATodo, kind)) {
      icalcomponent_remove_property(ATodo, property);
      icalproperty_free(property);
    }
  }
  std::vector<icalproperty*> ours;
  for (icalproperty* p = icalcomponent_get_first_property(ATodo, ICAL_X_PROPERTY); p;
       p = icalcomponent_get_next_property(ATodo, ICAL_X_PROPERTY)) {
    const char* name = icalproperty_get_x_name(p);
    if (name && (std::string_view(name) == KStatusName || std::string_view(name) == KPlannedCompletedName ||
                 std::string_view(name) == KKeptStartName || std::string_view(name) == KExportKeyName ||
                 std::string_view(name) == KDueSetName))
      ours.push_back(p);
  }
  for (icalproperty* p : ours) {
    icalcomponent_remove_property(ATodo, p);
    icalproperty_free(p);
  }
}

// A calendar user's address; one that is not a plain address is refused rather than written, as
// it could break the line and add people or components to the request.
std::string Mailto(const std::string& AAddress) {
  if (const std::string problem = MailAddressProblem(AAddress); !problem.empty())
    throw ELumetaError("the e-mail address '" + PrintableText(AAddress) + "' " + problem, E_INVALIDARG);
  return MailtoUri(AAddress);
}

// A parameter value (CN): libical quotes it and encodes quotes and line breaks (RFC 6868); the
// other control characters, which a parameter cannot hold at all, become spaces.
std::string ParameterText(std::string_view AText) {
  std::string result(AText);
  for (char& c : result)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return result;
}

void AddPerson(icalcomponent* ATodo, icalproperty* AProperty, const TTaskPerson& APerson) {
  if (!APerson.Name.empty()) icalproperty_add_parameter(AProperty, icalparameter_new_cn(ParameterText(APerson.Name).c_str()));
  icalcomponent_add_property(ATodo, AProperty);
}

// ORGANIZER and one ATTENDEE per attendee (RSVP, needs action).
void AddPeople(icalcomponent* ATodo, const TTaskRecord& ATask) {
  AddPerson(ATodo, icalproperty_new_organizer(Mailto(ATask.Organizer.Address).c_str()), ATask.Organizer);
  for (const TTaskPerson& person : ATask.Attendees) {
    icalproperty* attendee = icalproperty_new_attendee(Mailto(person.Address).c_str());
    icalproperty_add_parameter(attendee, icalparameter_new_role(ICAL_ROLE_REQPARTICIPANT));
    icalproperty_add_parameter(attendee, icalparameter_new_partstat(ICAL_PARTSTAT_NEEDSACTION));
    icalproperty_add_parameter(attendee, icalparameter_new_rsvp(ICAL_RSVP_TRUE));
    AddPerson(ATodo, attendee, person);
  }
}

// The person of an ORGANIZER or ATTENDEE; empty when it names no plain address.
TTaskPerson PersonOf(icalproperty* AProperty, const char* AValue) {
  std::string address = AValue ? AValue : "";
  if (address.size() > 7 && FoldAscii(address.substr(0, 7)) == "mailto:") address.erase(0, 7);
  if (!MailAddressProblem(address).empty()) return {};
  icalparameter* name = icalproperty_get_first_parameter(AProperty, ICAL_CN_PARAMETER);
  return {name && icalparameter_get_cn(name) ? icalparameter_get_cn(name) : "", address};
}

void AddLocalTime(icalcomponent* ATodo, const char* AXName, double AValue) {
  icalproperty* property = icalproperty_new_x(icaltime_as_ical_string(LocalTime(AValue, false)));
  icalproperty_set_x_name(property, AXName);
  icalcomponent_add_property(ATodo, property);
}

// One CATEGORIES property; a comma inside a name stands as KCategoryComma until Serialize.
icalproperty* CategoriesProperty(const std::vector<std::string>& ANames) {
  std::string value;
  for (const std::string& name : ANames) {
    if (!value.empty()) value += ',';
    for (size_t i = 0; i < name.size(); ++i) {
      if (name.compare(i, KCategoryComma.size(), KCategoryComma) == 0) {
        i += KCategoryComma.size() - 1;
        continue;
      }
      // A semicolon would need an escape that libical neither writes nor reads back.
      if (name[i] == ',') value += KCategoryComma;
      else if (name[i] != ';') value += name[i];
    }
  }
  return icalproperty_new_categories(value.c_str());
}

void AddTaskProperties(icalcomponent* ATodo, const TTaskRecord& ATask, bool ARequest = false) {
  icaltimezone* zone = ZoneOf(ATask);
  const icaltimetype now = icaltime_current_time_with_zone(icaltimezone_get_utc_timezone());
  icalcomponent_add_property(ATodo, icalproperty_new_uid(ATask.Uid.c_str()));
  icalcomponent_add_property(ATodo, icalproperty_new_dtstamp(now));
  icalcomponent_add_property(ATodo, icalproperty_new_lastmodified(now));
  icalcomponent_add_property(ATodo, icalproperty_new_sequence(ATask.Sequence));
  // An empty SUMMARY is no value at all to libical; a request must have one.
  if (!ATask.Subject.empty() || ARequest)
    icalcomponent_add_property(ATodo, icalproperty_new_summary(ATask.Subject.empty() ? "Untitled task" : ATask.Subject.c_str()));
  if (!ATask.Body.empty())
    icalcomponent_add_property(ATodo, icalproperty_new_description(UnixLineBreaks(ATask.Body).c_str()));
  if (const std::vector<std::string> names = SplitCategories(ATask.Categories); !names.empty())
    icalcomponent_add_property(ATodo, CategoriesProperty(names));
  icalcomponent_add_property(ATodo, icalproperty_new_status(ATask.Cancelled ? ICAL_STATUS_CANCELLED : StatusOf(ATask.Status)));
  if (!ATask.Cancelled && (ATask.Status == tsWaiting || ATask.Status == tsDeferred)) {
    // STATUS has no word for these two; the exact one rides along for this program.
    icalproperty* exact = icalproperty_new_x(ATask.Status == tsWaiting ? "WAITING" : "DEFERRED");
    icalproperty_set_x_name(exact, KStatusName);
    icalcomponent_add_property(ATodo, exact);
  }
  icalcomponent_add_property(ATodo, icalproperty_new_priority(PriorityOf(ATask.Importance)));
  icalcomponent_add_property(ATodo, icalproperty_new_percentcomplete(ATask.PercentComplete));
  const TTaskDates dates = DatesOf(ATask);
  const bool dateOnly = !HasTime(dates.Start) && !HasTime(dates.Due);
  double start = dates.Start;
  if (ARequest && start == 0) {
    // A request must start: on the day it is sent, or the day before the task is due when that is
    // earlier.
    start = DateOf(NowAsDateTime());
    if (dates.Due > 0 && start >= DateOf(dates.Due)) start = dateOnly ? DateOf(dates.Due) - 1 : dates.Due - 1;
  }
  // DTSTART and DUE must share one value type: dates, unless either carries a time of day.
  if (start > 0) icalcomponent_add_property(ATodo, TimeProperty(ICAL_DTSTART_PROPERTY, start, dateOnly, zone));
  if (dates.Due > 0) icalcomponent_add_property(ATodo, TimeProperty(ICAL_DUE_PROPERTY, dates.Due, dateOnly, zone));
  if (ATask.StartDate > 0 && dates.Start == 0) AddLocalTime(ATodo, KKeptStartName, ATask.StartDate);
  if (ATask.DateCompleted > 0 && TaskDone(ATask)) {
    icaltimetype completed = UtcTime(ATask.DateCompleted);
    if (zone) {
      // The map's wall clock in its own zone, whatever zone this machine is in.
      completed = LocalTime(ATask.DateCompleted, false);
      completed.zone = zone;
      completed = icaltime_convert_to_zone(completed, icaltimezone_get_utc_timezone());
    }
    icalcomponent_add_property(ATodo, icalproperty_new_completed(completed));
  } else if (ATask.DateCompleted > 0) {
    AddLocalTime(ATodo, KPlannedCompletedName, ATask.DateCompleted);
  }
  if (ATask.DateCompleted > 0 && ATask.DueDate > 0 && DateOf(ATask.DueDate) == DateOf(ATask.DateCompleted)) {
    icalproperty* dueSet = icalproperty_new_x("TRUE");
    icalproperty_set_x_name(dueSet, KDueSetName);
    icalcomponent_add_property(ATodo, dueSet);
  }
  for (const TTaskRelation& relation : ATask.Relations) {
    icalproperty* related = icalproperty_new_relatedto(relation.Uid.c_str());
    // The temporal kinds (RFC 9253) are not in libical's list: each kind goes in by its text.
    if (icalparameter* type = icalparameter_new_from_value_string(ICAL_RELTYPE_PARAMETER, relation.Type.c_str()))
      icalproperty_add_parameter(related, type);
    icalcomponent_add_property(ATodo, related);
  }
  if (!ATask.Attendees.empty()) AddPeople(ATodo, ATask);
  if (!ARequest && !ATask.ExportKey.empty()) {
    icalproperty* key = icalproperty_new_x(ATask.ExportKey.c_str());
    icalproperty_set_x_name(key, KExportKeyName);
    icalcomponent_add_property(ATodo, key);
  }
}

// RELTYPE as written; PARENT, the default, when the property has none.
std::string RelationType(icalproperty* AProperty) {
  icalparameter* type = icalproperty_get_first_parameter(AProperty, ICAL_RELTYPE_PARAMETER);
  if (!type) return "PARENT";
  if (const char* x = icalparameter_get_xvalue(type)) return x;
  const char* text = icalparameter_enum_to_string(icalparameter_get_reltype(type));
  return text ? text : "PARENT";
}

// The calendar carries the VTIMEZONE of the task's zone, and no other: the task's dates were
// written anew in that zone.
void SetZoneComponent(icalcomponent* ACalendar, const TTaskRecord& ATask) {
  while (icalcomponent* old = icalcomponent_get_first_component(ACalendar, ICAL_VTIMEZONE_COMPONENT)) {
    icalcomponent_remove_component(ACalendar, old);
    icalcomponent_free(old);
  }
  icaltimezone* zone = ZoneOf(ATask);
  if (!zone || IsUtc(zone)) return;
  // Before the task, as clients that read in one pass expect, and the other components after it in
  // their order: a file of several VTODOs keeps the task's first.
  std::vector<icalcomponent*> others;
  while (icalcomponent* other = icalcomponent_get_first_component(ACalendar, ICAL_ANY_COMPONENT)) {
    icalcomponent_remove_component(ACalendar, other);
    others.push_back(other);
  }
  icalcomponent_add_component(ACalendar, icalcomponent_new_clone(ZoneComponent(zone)));
  for (icalcomponent* other : others) icalcomponent_add_component(ACalendar, other);
}

TComponentPtr NewCalendar() {
  TComponentPtr calendar(icalcomponent_new_vcalendar());
  icalcomponent_add_property(calendar.get(), icalproperty_new_prodid(KProductID));
  icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
  return calendar;
}

// libical reads a line in pieces and measures what it has so far for each piece, so a long line
// costs the square of its length (12 s for 10 MB): long lines are folded first, which the parser
// undoes in linear time. Folds may fall anywhere, as unfolding only removes them.
TComponentPtr Parse(std::string_view AText) {
  constexpr size_t KPiece = 4096;
  std::string text;
  text.reserve(AText.size() + AText.size() / KPiece * 3 + 1);
  size_t run = 0;
  for (size_t i = 0; i < AText.size(); ++i) {
    const char c = AText[i];
    if (c == '\n' || c == '\r') {
      run = 0;
    } else if (++run > KPiece) {
      text += "\r\n ";
      run = 1;
    }
    text += c;
  }
  return TComponentPtr(icalparser_parse_string(text.c_str()));
}

// The digits of the first PERCENT-COMPLETE line as written, sign kept, leading zeros dropped ("0"
// for zero); empty when there is none. The name counts only where a line starts with it: a summary
// may hold the same letters.
std::string WrittenPercent(std::string_view AText) {
  constexpr std::string_view KName = "PERCENT-COMPLETE";
  size_t at = 0;
  for (;; at += KName.size()) {
    at = AText.find(KName, at);
    if (at == std::string_view::npos) return {};
    const bool lineStart = at == 0 || AText[at - 1] == '\n' || AText[at - 1] == '\r';
    const size_t after = at + KName.size();
    if (lineStart && after < AText.size() && (AText[after] == ':' || AText[after] == ';')) break;
  }
  const size_t colon = AText.find(':', at);
  const size_t end = AText.find_first_of("\r\n", at);
  if (colon == std::string_view::npos || colon > end) return {};
  std::string_view value = AText.substr(colon + 1, std::min(end, AText.size()) - colon - 1);
  std::string sign;
  if (!value.empty() && (value.front() == '-' || value.front() == '+')) {
    if (value.front() == '-') sign = "-";
    value.remove_prefix(1);
  }
  while (value.size() > 1 && value.front() == '0') value.remove_prefix(1);
  size_t digits = 0;
  while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9') ++digits;
  return digits == 0 ? std::string() : sign + std::string(value.substr(0, digits));
}

// The UID as libical reads it back after writing it. libical drops control characters when it
// writes a value, and a bare carriage return or a stray backslash can make the written text read
// as another value: taken at the point where writing and reading agree, the UID never changes
// when the task is saved.
std::string StableUid(const char* AUid) {
  const auto visible = [](const char* AText) {
    std::string kept;
    for (const char* c = AText; *c; ++c)
      if (static_cast<unsigned char>(*c) >= 0x20 && *c != 0x7F) kept += *c;
    return kept;
  };
  std::string uid = visible(AUid);
  for (int round = 0; round < 4 && !uid.empty(); ++round) {
    const TPropertyPtr written(icalproperty_new_uid(uid.c_str()));
    const TPropertyPtr read(written ? icalproperty_new_from_string(icalproperty_as_ical_string(written.get())) : nullptr);
    const char* text = read ? icalproperty_get_uid(read.get()) : nullptr;
    std::string again = text ? visible(text) : std::string();
    if (again == uid) break;
    uid = std::move(again);
  }
  return uid;
}

}  // namespace

double UtcNowDays() { return static_cast<double>(std::time(nullptr)) / 86400.0 + 25569.0; }

bool KnownTimeZone(const std::string& AName) {
  return !AName.empty() && icaltimezone_get_builtin_timezone(AName.c_str()) != nullptr;
}

bool TaskDone(const TTaskRecord& ATask) { return ATask.Status == tsComplete || ATask.PercentComplete >= 100; }

TTaskDates DatesOf(const TTaskRecord& ATask) {
  TTaskDates dates{ATask.StartDate, ATask.DueDate};
  // Clients list a to-do by its due day, a done one too: without a Due Date it is the planned finish.
  if (dates.Due <= 0) dates.Due = ATask.DateCompleted;
  if (dates.Start > 0 && dates.Due > 0 && DueNotAfterStart(dates.Start, dates.Due)) dates.Start = 0;
  return dates;
}

bool DueNotAfterStart(double AStart, double ADue) {
  // A due date without a time of day means that day, whatever time the task starts on it.
  return HasTime(ADue) ? ADue <= AStart : DateOf(ADue) <= DateOf(AStart);
}

std::vector<std::string> SplitCategories(std::string_view AText) {
  std::vector<std::string> result;
  std::string name;
  const auto flush = [&] {
    const size_t first = name.find_first_not_of(' ');
    if (first != std::string::npos) result.push_back(name.substr(first, name.find_last_not_of(' ') - first + 1));
    name.clear();
  };
  for (size_t i = 0; i < AText.size(); ++i) {
    const char c = AText[i];
    if (c == '\\' && i + 1 < AText.size() && AText[i + 1] == ',') {
      name += AText[++i];
    } else if (c == ';' || c == ',') {
      flush();
    } else {
      name += c;
    }
  }
  flush();
  return result;
}

std::string TaskToICalendar(const TTaskRecord& ATask, std::string_view AOriginal) {
  if (!AOriginal.empty()) {
    TComponentPtr original = Parse(AOriginal);
    icalcomponent* todo = original && icalcomponent_isa(original.get()) == ICAL_VCALENDAR_COMPONENT
                              ? icalcomponent_get_first_component(original.get(), ICAL_VTODO_COMPONENT)
                              : nullptr;
    if (todo) {
      RemoveOwnProperties(todo);
      AddTaskProperties(todo, ATask);
      SetZoneComponent(original.get(), ATask);
      return Serialize(original.get());
    }
  }
  TComponentPtr calendar = NewCalendar();
  icalcomponent* todo = icalcomponent_new_vtodo();
  icalcomponent_add_property(todo, icalproperty_new_created(icaltime_current_time_with_zone(icaltimezone_get_utc_timezone())));
  AddTaskProperties(todo, ATask);
  icalcomponent_add_component(calendar.get(), todo);
  SetZoneComponent(calendar.get(), ATask);
  return Serialize(calendar.get());
}

std::optional<TTaskRecord> TaskFromICalendar(std::string_view AText, std::string& AError,
                                             std::vector<std::string>* AWarnings) {
  TComponentPtr calendar = Parse(AText);
  if (!calendar) {
    AError = "not iCalendar text";
    return std::nullopt;
  }
  icalcomponent* todo = icalcomponent_isa(calendar.get()) == ICAL_VTODO_COMPONENT
                            ? calendar.get()
                            : icalcomponent_get_first_component(calendar.get(), ICAL_VTODO_COMPONENT);
  if (!todo) {
    AError = "no VTODO in it";
    return std::nullopt;
  }
  // A VTODO holds alarms and nothing else: one inside another comes of a broken END line, and
  // which of the two a save and the next read take as the task is anyone's guess.
  if (icalcomponent_get_first_component(todo, ICAL_VTODO_COMPONENT)) {
    AError = "its VTODO holds another VTODO";
    return std::nullopt;
  }
  const char* uid = icalcomponent_get_uid(todo);
  if (!uid || !*uid) {
    AError = "its VTODO has no UID";
    return std::nullopt;
  }
  TTaskRecord task;
  task.Uid = StableUid(uid);
  if (task.Uid.empty()) {
    AError = "its VTODO has no UID";
    return std::nullopt;
  }
  if (const char* summary = icalcomponent_get_summary(todo)) task.Subject = summary;
  if (const char* description = icalcomponent_get_description(todo)) task.Body = CrLfs(description);
  for (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_CATEGORIES_PROPERTY); p;
       p = icalcomponent_get_next_property(todo, ICAL_CATEGORIES_PROPERTY)) {
    const char* name = icalproperty_get_categories(p);
    if (!name || !*name) continue;
    if (!task.Categories.empty()) task.Categories += ", ";
    for (const char* c = name; *c; ++c) task.Categories += *c == ',' ? std::string("\\,") : std::string(1, *c);
  }
  if (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_PERCENTCOMPLETE_PROPERTY)) {
    const std::string written = WrittenPercent(AText);
    const int read = icalproperty_get_percentcomplete(p);
    // libical keeps only the low bits of a number too large for an int: the text decides. The
    // first line of that name is this property's only when its low bits are what libical read; a
    // broken component may have left another one outside the VTODO.
    const bool ownLine = !written.empty() && static_cast<int>(std::strtoll(written.c_str(), nullptr, 10)) == read;
    const bool tooLarge = ownLine && written.size() > 3;
    task.PercentComplete = tooLarge ? (written.front() == '-' ? 0 : 100) : std::clamp(read, 0, 100);
    if ((tooLarge || task.PercentComplete != read) && AWarnings)
      AWarnings->push_back("PERCENT-COMPLETE " + (ownLine ? written : std::to_string(read)) +
                           " is outside 0 to 100; taken as " + std::to_string(task.PercentComplete));
  }
  if (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_PRIORITY_PROPERTY))
    task.Importance = ImportanceOf(icalproperty_get_priority(p));
  if (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_SEQUENCE_PROPERTY))
    task.Sequence = icalproperty_get_sequence(p);
  const icalproperty_status status = icalcomponent_get_status(todo);
  icalproperty* completed = icalcomponent_get_first_property(todo, ICAL_COMPLETED_PROPERTY);
  switch (status) {
    case ICAL_STATUS_INPROCESS: task.Status = tsInProgress; break;
    case ICAL_STATUS_COMPLETED: task.Status = tsComplete; break;
    case ICAL_STATUS_CANCELLED: task.Status = tsDeferred; task.Cancelled = true; break;
    // A task at 100 % is done, as its COMPLETED says once this program has written it.
    default: task.Status = completed || task.PercentComplete >= 100 ? tsComplete : tsNotStarted; break;
  }
  double keptStart = 0, plannedFinish = 0;
  bool dueSet = false;
  for (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_X_PROPERTY); p;
       p = icalcomponent_get_next_property(todo, ICAL_X_PROPERTY)) {
    const char* name = icalproperty_get_x_name(p);
    const char* value = icalproperty_get_x(p);
    if (!name || !value) continue;
    const std::string_view x = name;
    if (x == KExportKeyName) task.ExportKey = value;
    if (x == KDueSetName) dueSet = true;
    if (x == KPlannedCompletedName || x == KKeptStartName) {
      const icaltimetype time = icaltime_from_string(value);
      if (!icaltime_is_null_time(time) && icaltime_is_valid_time(time))
        (x == KKeptStartName ? keptStart : plannedFinish) = FromIcalTime(time);
    }
    // Another client that marks the task done or starts it changes STATUS, PERCENT-COMPLETE or
    // COMPLETED and leaves this program's words alone: the exact status holds only while the
    // standard ones still say what this program wrote with it.
    if (x != KStatusName || completed || task.PercentComplete >= 100) continue;
    if (std::string_view(value) == "WAITING" && status == ICAL_STATUS_INPROCESS) task.Status = tsWaiting;
    if (std::string_view(value) == "DEFERRED" && status == ICAL_STATUS_NEEDSACTION) task.Status = tsDeferred;
  }
  // A time with a TZID reads as the wall-clock time it names in that zone, the zone kept with the
  // task when libical knows it.
  for (icalproperty_kind kind : {ICAL_DTSTART_PROPERTY, ICAL_DUE_PROPERTY})
    if (icalproperty* p = icalcomponent_get_first_property(todo, kind))
      if (icalparameter* tzid = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER); tzid && task.TimeZone.empty())
        if (const char* name = icalparameter_get_tzid(tzid); name && KnownTimeZone(name)) task.TimeZone = name;
  // A task whose dates are whole days names its zone only in the calendar's one VTIMEZONE, which
  // this program writes for it: its completion, kept in UTC, is read in that zone as it was written.
  if (task.TimeZone.empty() && todo != calendar.get())
    if (icalcomponent* zone = icalcomponent_get_first_component(calendar.get(), ICAL_VTIMEZONE_COMPONENT);
        zone && !icalcomponent_get_next_component(calendar.get(), ICAL_VTIMEZONE_COMPONENT))
      if (icalproperty* tzid = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY))
        if (const char* name = icalproperty_get_tzid(tzid); name && KnownTimeZone(name)) task.TimeZone = name;
  if (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_DTSTART_PROPERTY))
    task.StartDate = FromIcalTime(icalproperty_get_dtstart(p));
  else
    task.StartDate = keptStart;
  if (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_DUE_PROPERTY))
    task.DueDate = FromIcalTime(icalproperty_get_due(p));
  task.DateCompleted = plannedFinish;
  if (completed) {
    icaltimetype time = icalproperty_get_completed(completed);
    // COMPLETED is in UTC: a task in a zone was done at a wall-clock time of that zone, whatever
    // zone this machine is in (the writer converts from the same zone).
    if (icaltimezone* zone = ZoneOf(task); zone && time.zone && !time.is_date) {
      time = icaltime_convert_to_zone(time, zone);
      time.zone = nullptr;
    }
    task.DateCompleted = FromIcalTime(time);
  }
  // A DUE that is the planned finish (of a done task: its completion) was written for other clients:
  // the task has no due date.
  const double finish = plannedFinish > 0 ? plannedFinish : task.DateCompleted;
  if (!dueSet && finish > 0 && DateOf(task.DueDate) == DateOf(finish) && (!HasTime(task.DueDate) || task.DueDate == finish))
    task.DueDate = 0;
  for (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_RELATEDTO_PROPERTY); p;
       p = icalcomponent_get_next_property(todo, ICAL_RELATEDTO_PROPERTY)) {
    const char* uid = icalproperty_get_relatedto(p);
    if (uid && *uid) task.Relations.push_back({RelationType(p), uid});
  }
  for (icalproperty_kind kind : {ICAL_LASTMODIFIED_PROPERTY, ICAL_DTSTAMP_PROPERTY})
    if (icalproperty* p = icalcomponent_get_first_property(todo, kind); p && task.ChangedAt == 0) {
      const icaltimetype time = icalvalue_get_datetime(icalproperty_get_value(p));
      if (!icaltime_is_null_time(time) && icaltime_is_valid_time(time))
        task.ChangedAt = UtcDays(time);
    }
  if (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_ORGANIZER_PROPERTY))
    task.Organizer = PersonOf(p, icalproperty_get_organizer(p));
  for (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_ATTENDEE_PROPERTY); p;
       p = icalcomponent_get_next_property(todo, ICAL_ATTENDEE_PROPERTY))
    if (TTaskPerson person = PersonOf(p, icalproperty_get_attendee(p)); !person.Address.empty())
      task.Attendees.push_back(std::move(person));
  // Attendees without an organizer could not be written back.
  if (task.Organizer.Address.empty()) task.Attendees.clear();
  return task;
}

std::string TaskRequestToICalendar(const TTaskRecord& ATask, bool ACancel) {
  TComponentPtr calendar = NewCalendar();
  icalcomponent_add_property(calendar.get(), icalproperty_new_method(ACancel ? ICAL_METHOD_CANCEL : ICAL_METHOD_REQUEST));
  icalcomponent* todo = icalcomponent_new_vtodo();
  icalcomponent_add_component(calendar.get(), todo);
  AddTaskProperties(todo, ATask, true);
  SetZoneComponent(calendar.get(), ATask);
  return Serialize(calendar.get());
}
