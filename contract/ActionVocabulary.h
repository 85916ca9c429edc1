#pragma once
// The words that the host, the Action plug-in and every front end share about actions: the
// property names, the record's fields, the pick lists and the command entries with the field each
// one edits. Spelled here once; everything else refers to these.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The node property that carries an action record, the map-level list of extra priority texts,
// and the name the host finds the plug-in's controller by.
inline constexpr const char* KActionPropertyName = "Action";
inline constexpr const char* KActionListPropertyName = "Action List";
inline constexpr const char* KActionPlugInName = "Action";
// The node properties holding a task's predecessor and successor links (INodeLinkList2).
inline constexpr const char* KPredecessorLinksName = "NodeLinks";
inline constexpr const char* KSuccessorLinksName = "SuccessorNodeLinks";
// The map-level attribute holding the scheduling switch and the working calendar.
inline constexpr const char* KMapSettingsName = "MapSettings";

// Index of each child of the action record; the order is the stored order, never change it.
enum TActionField : int32_t {
  acComplete,
  acCompletedDate,
  acDueDate,
  acDuration,
  acDurationMeasure,
  acIsAction,
  acPriority,
  acStartDate,
  acStatus,
  acPostedToOutlook,
  acWork,
  acCost,
  acQuantity,
  acWorkMeasure,
  acIsMilestone,
  acIsSummary,
  acConstraintType,
  acConstraintDate,
};
inline constexpr int32_t KActionFieldCount = 18;

// The children's names, by TActionField: the keys they are found by and stored under.
inline constexpr std::array<const char*, KActionFieldCount> KActionFieldNames{
    "Complete",         "Completed Date",    "Due Date",     "Duration",
    "Duration Measure", "Is Action",         "Priority",     "Start Date",
    "Status",           "Posted To Outlook", "Work",         "Cost",
    "Quantity",         "Work Measure",      "Is Milestone", "Is Summary",
    "Constraint Type",  "Constraint Date"};

// Units of Duration and Work: 8 working hours to the day, 60 minutes to the hour.
enum TActionMeasure : int32_t { amHours = 0, amDays = 1, amMinutes = 2 };
inline constexpr double KHoursPerDay = 8;
inline constexpr double KMinutesPerHour = 60;

// "hrs", "days" or "mins" for the measure codes 0, 1, 2; empty for any other code.
constexpr std::string_view GetMeasureText(int32_t AMeasure) {
  switch (AMeasure) {
    case amHours: return "hrs";
    case amDays: return "days";
    case amMinutes: return "mins";
    default: return {};
  }
}

// The measures a user picks from, by code: minutes are stored but never offered.
inline constexpr std::array<const char*, 2> KMeasurePickList{"Hours", "Days"};

// The stored status texts; never translated.
inline constexpr const char* KStatusUnassigned = "Unassigned";
inline constexpr const char* KStatusNotStarted = "Not Started";
inline constexpr const char* KStatusInProgress = "In Progress";
inline constexpr const char* KStatusCompleted = "Completed";
inline constexpr std::array<const char*, 6> KStatusPickList{
    KStatusUnassigned, KStatusNotStarted, KStatusInProgress, KStatusCompleted, "Waiting on Someone Else", "Deferred"};
// The fixed priorities; the map's "Action List" adds its own texts after them.
inline constexpr const char* KPriorityHigh = "High";
inline constexpr const char* KPriorityLow = "Low";
inline constexpr std::array<const char*, 4> KFixedPriorities{"Unassigned", KPriorityHigh, "Medium", KPriorityLow};

// The host's command entries that the plug-in's controller serves; ids outside 6..23 are ignored.
enum TActionCommandId : int32_t {
  ciExportActions = 6,
  ciEditAction = 7,
  ciMarkComplete = 8,
  ciClearAction = 9,
  ciIsAction = 10,
  ciStartDate,
  ciDueDate,
  ciCompletedDate,
  ciComplete,
  ciPriority,
  ciStatus,
  ciDuration,
  ciDurationMeasure,
  ciCost,
  ciQuantity,
  ciWork,
  ciWorkMeasure,
  ciIsMilestone = 23,
};
inline constexpr int32_t KFirstCommandEntry = ciExportActions;
inline constexpr int32_t KFirstFieldEntry = ciIsAction;
inline constexpr int32_t KLastCommandEntry = ciIsMilestone;

// The entries before the fields, by id from 6.
inline constexpr std::array<const char*, 4> KCommandEntryNames{"Export Actions to MS Outlook", "Edit Action",
                                                               "Mark Complete", "Clear Action"};
// The field each entry from 10 on edits.
inline constexpr std::array<TActionField, KLastCommandEntry - KFirstFieldEntry + 1> KFieldEntries{
    acIsAction,  acStartDate, acDueDate,  acCompletedDate, acComplete, acPriority,    acStatus,
    acDuration,  acDurationMeasure, acCost, acQuantity,    acWork,     acWorkMeasure, acIsMilestone};

inline constexpr bool IsCommandEntry(int32_t AID) { return AID >= KFirstCommandEntry && AID <= KLastCommandEntry; }

// The field entry AID edits; empty for the entries before the fields and for any other id.
inline constexpr std::optional<TActionField> EntryField(int32_t AID) {
  if (AID < KFirstFieldEntry || AID > KLastCommandEntry) return std::nullopt;
  return KFieldEntries[AID - KFirstFieldEntry];
}

// The entry that edits AField (Start Date 11); empty for a field without one.
inline constexpr std::optional<int32_t> FieldEntry(TActionField AField) {
  for (int32_t id = KFirstFieldEntry; id <= KLastCommandEntry; ++id)
    if (KFieldEntries[id - KFirstFieldEntry] == AField) return id;
  return std::nullopt;
}

// "Edit Action", "Start Date": what a message calls entry AID; empty for any other id.
inline std::string CommandEntryName(int32_t AID) {
  if (const std::optional<TActionField> field = EntryField(AID)) return KActionFieldNames[*field];
  return IsCommandEntry(AID) ? KCommandEntryNames[AID - KFirstCommandEntry] : "";
}
