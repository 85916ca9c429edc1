#pragma once
// The MS Project XML (MSPDI) vocabulary the writer and the reader share: the namespace, the type
// codes of links, constraints and duration formats, the priority scale, and working-time durations
// ("PT24H0M0S").
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "contract/LumetaTypes.h"

inline constexpr const char* KMspdiNamespace = "http://schemas.microsoft.com/project";

// MSPDI link types by our link type: FS 1, SS 3, FF 0, SF 2.
inline constexpr std::array<int, 4> KMspdiLinkTypes{1, 3, 0, 2};
std::optional<TTaskLinkType> LinkTypeFromMspdi(int ACode);

// MSPDI constraint codes by our constraint type, in the order of TTaskConstraintType.
inline constexpr std::array<int, 8> KMspdiConstraintTypes{1, 0, 6, 7, 3, 2, 4, 5};
std::optional<TTaskConstraintType> ConstraintTypeFromMspdi(int ACode);

// Duration formats: minutes, hours and days (each has an "elapsed" twin one above it).
inline constexpr int KMspdiMinutes = 3, KMspdiHours = 5, KMspdiDays = 7;
// The measure code (0 hours, 1 days, 2 minutes) a duration format reads as; days for a format
// the map has no measure for (weeks, months).
int32_t MeasureFromMspdiFormat(int AFormat);
int MspdiFormatOfMeasure(int32_t AMeasure);

// MSPDI priorities run from 0 to 1000; the fixed priorities sit on this scale, anything else on 500.
inline constexpr int KMspdiDefaultPriority = 500;
int MspdiPriority(std::string_view APriority);
// The fixed priority of a number: below 500 Low, above it High, 500 none (MS Project's default).
std::string PriorityFromMspdi(int AValue);

// "PT<h>H<m>M<s>S" for a number of seconds of working time (>= 0).
std::string MspdiDuration(int64_t ASeconds);
// Seconds of working time in "PnDTnHnMnS" (days of 24 hours, as the format writes them, fractions
// allowed in the last part); empty for a negative duration, years, months, weeks or anything else.
std::optional<double> MspdiDurationSeconds(std::string_view AText);
