#include "exchange/MspdiFormat.h"

#include <cctype>
#include <cmath>

#include "com/NumberText.h"
#include "contract/ActionVocabulary.h"

std::optional<TTaskLinkType> LinkTypeFromMspdi(int ACode) {
  for (size_t i = 0; i < KMspdiLinkTypes.size(); ++i)
    if (KMspdiLinkTypes[i] == ACode) return static_cast<TTaskLinkType>(i);
  return std::nullopt;
}

std::optional<TTaskConstraintType> ConstraintTypeFromMspdi(int ACode) {
  for (size_t i = 0; i < KMspdiConstraintTypes.size(); ++i)
    if (KMspdiConstraintTypes[i] == ACode) return static_cast<TTaskConstraintType>(i);
  return std::nullopt;
}

int32_t MeasureFromMspdiFormat(int AFormat) {
  // The estimated variants (35 and up) are the plain ones plus 32.
  const int plain = AFormat >= 35 ? AFormat - 32 : AFormat;
  if (plain == KMspdiMinutes || plain == KMspdiMinutes + 1) return amMinutes;
  if (plain == KMspdiHours || plain == KMspdiHours + 1) return amHours;
  return amDays;
}

int MspdiFormatOfMeasure(int32_t AMeasure) {
  return AMeasure == amHours ? KMspdiHours : AMeasure == amMinutes ? KMspdiMinutes : KMspdiDays;
}

int MspdiPriority(std::string_view APriority) {
  if (APriority == KPriorityHigh) return 700;
  if (APriority == KPriorityLow) return 300;
  return KMspdiDefaultPriority;
}

std::string PriorityFromMspdi(int AValue) {
  if (AValue < KMspdiDefaultPriority) return KPriorityLow;
  if (AValue > KMspdiDefaultPriority) return KPriorityHigh;
  return {};
}

std::string MspdiDuration(int64_t ASeconds) {
  if (ASeconds < 0) ASeconds = 0;
  return "PT" + std::to_string(ASeconds / 3600) + "H" + std::to_string(ASeconds / 60 % 60) + "M" +
         std::to_string(ASeconds % 60) + "S";
}

std::optional<double> MspdiDurationSeconds(std::string_view AText) {
  size_t at = 0;
  while (at < AText.size() && std::isspace(static_cast<unsigned char>(AText[at]))) ++at;
  if (at == AText.size() || AText[at] != 'P') return std::nullopt;
  ++at;
  bool inTime = false, any = false;
  double seconds = 0;
  // The units allowed, in order: D, then after T: H, M, S.
  int lastUnit = -1;
  while (at < AText.size() && !std::isspace(static_cast<unsigned char>(AText[at]))) {
    if (AText[at] == 'T') {
      if (inTime) return std::nullopt;
      inTime = true;
      ++at;
      continue;
    }
    size_t end = at;
    while (end < AText.size() && (std::isdigit(static_cast<unsigned char>(AText[end])) || AText[end] == '.')) ++end;
    if (end == at || end == AText.size()) return std::nullopt;
    // Whole numbers, as nearly every file writes them, without the general number reader.
    std::optional<double> value;
    if (const std::string_view digits = AText.substr(at, end - at);
        digits.size() <= 15 && digits.find('.') == std::string_view::npos) {
      int64_t whole = 0;
      for (const char digit : digits) whole = whole * 10 + (digit - '0');
      value = static_cast<double>(whole);
    } else {
      value = ParseFloat(digits);
    }
    if (!value || !std::isfinite(*value)) return std::nullopt;
    const char unit = AText[end];
    int rank;
    double factor;
    if (!inTime && unit == 'D') rank = 0, factor = 86400;
    else if (inTime && unit == 'H') rank = 1, factor = 3600;
    else if (inTime && unit == 'M') rank = 2, factor = 60;
    else if (inTime && unit == 'S') rank = 3, factor = 1;
    else return std::nullopt;  // years, months, weeks, a sign
    if (rank <= lastUnit) return std::nullopt;
    lastUnit = rank;
    seconds += *value * factor;
    any = true;
    at = end + 1;
  }
  for (; at < AText.size(); ++at)
    if (!std::isspace(static_cast<unsigned char>(AText[at]))) return std::nullopt;
  if (!any) return std::nullopt;
  return seconds;
}
