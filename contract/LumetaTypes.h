#pragma once
// The task-scheduling vocabulary shared by the whole system. Ordinals are stored and compared:
// never reorder these enumerations.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

enum TTaskLinkType : uint8_t { ltFinishToStart, ltStartToStart, ltFinishToFinish, ltStartToFinish };

enum TTaskConstraintType : uint8_t {
  tcAsLateAsPossible,
  tcAsSoonAsPossible,
  tcFinishNoEarlierThan,
  tcFinishNoLaterThan,
  tcMustFinishOn,
  tcMustStartOn,
  tcStartNoEarlierThan,
  tcStartNoLaterThan,
};

enum TTaskLinkResult : uint8_t {
  tlOk,
  tlSelf,
  tlDuplicate,
  tlCircularRef,
  tlIndirectCircularRef,
  tlSummaryLink,
  tlSummaryLinkInvalid,
};

enum TTaskConflictResolutionType : uint8_t { rtUpdateConstraintDate, rtUndoAction, rtRemoveConstraint };

inline constexpr std::array<std::string_view, 4> KTaskLinkTypeIdentifiers{
    "ltFinishToStart", "ltStartToStart", "ltFinishToFinish", "ltStartToFinish"};

// The codes a predecessor is typed with ("12FS").
inline constexpr std::array<std::string_view, 4> KTaskLinkTypeCodes{"FS", "SS", "FF", "SF"};

inline constexpr std::array<std::string_view, 8> KTaskConstraintTypeIdentifiers{
    "tcAsLateAsPossible", "tcAsSoonAsPossible",  "tcFinishNoEarlierThan", "tcFinishNoLaterThan",
    "tcMustFinishOn",     "tcMustStartOn",       "tcStartNoEarlierThan",  "tcStartNoLaterThan"};

// What a person reads for each constraint type, by ordinal.
inline constexpr std::array<std::string_view, 8> KTaskConstraintTypeCaptions{
    "As Late As Possible", "As Soon As Possible", "Finish No Earlier Than", "Finish No Later Than",
    "Must Finish On",      "Must Start On",       "Start No Earlier Than",  "Start No Later Than"};

inline constexpr std::string_view TaskConstraintTypeToText(TTaskConstraintType AType) {
  return AType < KTaskConstraintTypeIdentifiers.size() ? KTaskConstraintTypeIdentifiers[AType] : std::string_view{};
}

// Reads an identifier back; text that names no value (empty included) reads as tcAsLateAsPossible.
inline constexpr TTaskConstraintType TextToTaskConstraintType(std::string_view AText) {
  for (size_t i = 0; i < KTaskConstraintTypeIdentifiers.size(); ++i)
    if (KTaskConstraintTypeIdentifiers[i] == AText) return static_cast<TTaskConstraintType>(i);
  return tcAsLateAsPossible;
}

inline constexpr std::string_view TaskLinkTypeToText(TTaskLinkType AType) {
  return AType < KTaskLinkTypeIdentifiers.size() ? KTaskLinkTypeIdentifiers[AType] : std::string_view{};
}

// "FS", "SS", "FF" or "SF" (exact, upper case); empty for any other text.
inline constexpr std::optional<TTaskLinkType> TaskLinkTypeFromCode(std::string_view ACode) {
  for (size_t i = 0; i < KTaskLinkTypeCodes.size(); ++i)
    if (KTaskLinkTypeCodes[i] == ACode) return static_cast<TTaskLinkType>(i);
  return std::nullopt;
}
