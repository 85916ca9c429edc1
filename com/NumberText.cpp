#include "com/NumberText.h"

#include <cmath>
#include <cstdint>

std::string_view NumberText::Prepared(std::string_view AText, TNumberSyntax ASyntax) {
  if (ASyntax == TNumberSyntax::Exact) return AText;
  constexpr std::string_view blanks = " \t\r\n\f\v";
  const size_t first = AText.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  AText = AText.substr(first, AText.find_last_not_of(blanks) - first + 1);
  // "+-1" must stay wrong, so only a '+' followed by a digit or '.' is dropped.
  if (AText.size() > 1 && AText.front() == '+' && AText[1] != '-' && AText[1] != '+') AText.remove_prefix(1);
  return AText;
}

namespace {
constexpr double KPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// A plain decimal of at most 15 digits, "-12.75", the form saves write: its digits make an
// integer a double holds exactly, and one division by an exact power of ten rounds as correctly
// as from_chars does, at a fraction of the cost. Empty for any other text.
std::optional<double> PlainDecimal(std::string_view AText) {
  const char* at = AText.data();
  const char* const end = at + AText.size();
  const bool negative = at != end && *at == '-';
  if (negative) ++at;
  uint64_t digits = 0;
  int count = 0, decimals = 0;
  const auto run = [&] {
    const char* const from = at;
    for (; at != end && static_cast<unsigned>(*at - '0') <= 9; ++at, ++count) digits = digits * 10 + static_cast<unsigned>(*at - '0');
    return at != from;
  };
  if (!run()) return std::nullopt;
  if (at != end && *at == '.') {
    ++at;
    const char* const point = at;
    if (!run()) return std::nullopt;
    decimals = static_cast<int>(at - point);
  }
  if (at != end || count > 15) return std::nullopt;
  const double value = static_cast<double>(digits) / KPowersOfTen[decimals];
  return negative ? -value : value;
}
}  // namespace

std::optional<double> ParseFloat(std::string_view AText, TNumberSyntax ASyntax) {
  // Neither syntax changes a plain decimal.
  if (const auto plain = PlainDecimal(AText)) return plain;
  const std::string_view text = NumberText::Prepared(AText, ASyntax);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

char* PutShortestFloatText(char* AOut, double AValue) {
  char* const text = AOut;
  char* const limit = AOut + KShortestFloatTextSize;
  // Whole numbers below 10^15 print alike either way; most stored numbers are, and the integer
  // form is several times cheaper. Zero goes the general way, which keeps the sign of -0.
  if (AValue != 0 && std::abs(AValue) < 1e15 && AValue == std::trunc(AValue)) {
    const auto result = std::to_chars(text, limit, static_cast<int64_t>(AValue));
    return result.ptr;
  }
  // Hundredths, as amounts and durations mostly are: when the value is the double nearest to
  // n/100 (IEEE division rounds to nearest) and n has at most 15 digits, the 15-digit form is
  // n/100 itself, so it is written from the integer, several times cheaper than the general way.
  if (AValue != 0 && std::abs(AValue) < 1e12) {
    const double hundredths = std::nearbyint(AValue * 100);
    if (hundredths / 100 == AValue) {
      const auto scaled = static_cast<int64_t>(hundredths);
      const uint64_t magnitude = scaled < 0 ? uint64_t(-scaled) : uint64_t(scaled);
      char* end = text;
      if (scaled < 0) *end++ = '-';
      end = std::to_chars(end, limit, magnitude / 100).ptr;
      const unsigned cents = static_cast<unsigned>(magnitude % 100);
      *end++ = '.';
      *end++ = static_cast<char>('0' + cents / 10);
      if (cents % 10 != 0) *end++ = static_cast<char>('0' + cents % 10);
      return end;
    }
  }
  return std::to_chars(text, limit, AValue, std::chars_format::general, 15).ptr;
}

std::string ShortestFloatText(double AValue) {
  char text[KShortestFloatTextSize];
  return std::string(text, PutShortestFloatText(text, AValue));
}

std::string FixedFloatText(double AValue, int ADecimals) {
  char text[400];  // the largest double has 309 digits before the point
  const auto result = std::to_chars(text, text + sizeof text, AValue, std::chars_format::fixed, ADecimals);
  return result.ec == std::errc() ? std::string(text, result.ptr) : std::string();
}
