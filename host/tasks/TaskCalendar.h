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

struct TTaskRecord {
  std::string Uid;  // empty until the task is first saved
  std::string Subject;
  std::string Body;
  std::string Categories;  // as the item holds them: names separated by ';' or ','
  int32_t PercentComplete = 0;
  int32_t Status = tsNotStarted;
  int32_t Importance = tiNormal;
  // Local date-times (days since 30 December 1899), 0 for none.
  double StartDate = 0;
  double DueDate = 0;
  double DateCompleted = 0;
  int32_t Sequence = 0;
  std::vector<TTaskRelation> Relations;
};

struct TTaskPerson {
  std::string Name;
  std::string Address;  // an e-mail address, without "mailto:"
};

// The calendar text of the task. With AOriginal (the file as it was), properties this program
// does not know survive; the task's own properties are written anew.
std::string TaskToICalendar(const TTaskRecord& ATask, std::string_view AOriginal = {});
// The first VTODO of the text; empty with AError set when there is none or it has no UID. A value
// the task cannot hold is clamped, and said in AWarnings when given.
std::optional<TTaskRecord> TaskFromICalendar(std::string_view AText, std::string& AError,
                                             std::vector<std::string>* AWarnings = nullptr);
// METHOD:REQUEST with ORGANIZER and one ATTENDEE per recipient (RSVP, needs action).
std::string TaskRequestToICalendar(const TTaskRecord& ATask, const TTaskPerson& AOrganizer,
                                   const std::vector<TTaskPerson>& AAttendees);

// The category names of the item's text: split at ';' and ',', trimmed, empty names dropped.
std::vector<std::string> SplitCategories(std::string_view AText);
