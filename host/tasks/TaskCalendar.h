#pragma once
// Task items as iCalendar (RFC 5545): one VTODO in a VCALENDAR per stored task, and the iTIP
// request (RFC 5546, METHOD:REQUEST) that hands an assigned task to its recipients.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Task status and importance with the task program's numbers.
enum TTaskStatus : int32_t { tsNotStarted, tsInProgress, tsComplete, tsWaiting, tsDeferred };
enum TTaskImportance : int32_t { tiLow, tiNormal, tiHigh };

// A relation to another task (RELATED-TO): its kind as RELTYPE names it ("PARENT",
// "FINISHTOSTART") and the other task's UID.
struct TTaskRelation {
  std::string Type;
  std::string Uid;
  friend bool operator==(const TTaskRelation&, const TTaskRelation&) = default;
};

struct TTaskPerson {
  std::string Name;
  std::string Address;  // an e-mail address, without "mailto:"
  friend bool operator==(const TTaskPerson&, const TTaskPerson&) = default;
};

struct TTaskRecord {
  std::string Uid;  // empty until the task is first saved
  std::string Subject;
  std::string Body;
  std::string Categories;  // as the item holds them: names separated by ';' or ',', "\," within a name
  int32_t PercentComplete = 0;
  int32_t Status = tsNotStarted;
  int32_t Importance = tiNormal;
  // Local date-times (days since 30 December 1899), 0 for none.
  double StartDate = 0;
  double DueDate = 0;
  double DateCompleted = 0;
  int32_t Sequence = 0;
  std::vector<TTaskRelation> Relations;
  bool Cancelled = false;  // STATUS:CANCELLED: the task is withdrawn
  // A client's key of what it last wrote into the task (X-LUMETA-EXPORT-KEY), to tell whether its
  // source changed since.
  std::string ExportKey;
  // The IANA zone its dates are in (DTSTART and DUE with TZID, the file with the VTIMEZONE); empty:
  // floating local times.
  std::string TimeZone;
  // Who assigned the task and to whom, once it was sent.
  TTaskPerson Organizer;
  std::vector<TTaskPerson> Attendees;
  // When the stored copy last changed (LAST-MODIFIED, else DTSTAMP), UTC days since 30 December
  // 1899; 0 unknown. Read only: a save stamps the time it writes.
  double ChangedAt = 0;
};

// The calendar text of the task. With AOriginal (the file as it was), properties this program
// does not know survive; the task's own properties are written anew.
std::string TaskToICalendar(const TTaskRecord& ATask, std::string_view AOriginal = {});
// The first VTODO of the text; empty with AError set when there is none or it has no UID. A value
// the task cannot hold is clamped, and said in AWarnings when given.
std::optional<TTaskRecord> TaskFromICalendar(std::string_view AText, std::string& AError,
                                             std::vector<std::string>* AWarnings = nullptr);
// METHOD:REQUEST with the task's ORGANIZER and one ATTENDEE per attendee (RSVP, needs action), or
// with ACancel METHOD:CANCEL, which withdraws the task from its attendees.
std::string TaskRequestToICalendar(const TTaskRecord& ATask, bool ACancel = false);

// Now as UTC days since 30 December 1899, as TTaskRecord::ChangedAt counts.
double UtcNowDays();

// Whether libical knows the IANA time zone name ("UTC" too).
bool KnownTimeZone(const std::string& AName);

// Whether a task counts as done: completed, or 100 % complete.
bool TaskDone(const TTaskRecord& ATask);
// The DTSTART and DUE a task is written with (0: none). DUE is the due date, else the planned
// finish (DateCompleted of a task not done). DUE must come after DTSTART, so a task that is due on
// the day it starts (or at the moment it starts) and one due before its start are written without
// DTSTART; clients then show the due day alone.
struct TTaskDates {
  double Start = 0;
  double Due = 0;
};
TTaskDates DatesOf(const TTaskRecord& ATask);
// Whether a due date is on or before a start: by day when the due date has no time of day.
bool DueNotAfterStart(double AStart, double ADue);

// The category names of the item's text: split at ';' and ',' (not at "\," or "\;", which stand for
// the character within a name), trimmed, empty names dropped.
std::vector<std::string> SplitCategories(std::string_view AText);
