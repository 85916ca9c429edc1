#pragma once
// Numbers as text, one reader and one writer for every place that takes numbers from map files,
// scripts, settings and the command line. The reader takes the whole text or nothing, and never
// yields a value that the writer could not write back (no "nan", no "inf").
#include <charconv>
#include <concepts>
#include <optional>
#include <string>
#include <string_view>

enum class TNumberSyntax {
  Exact,    // the text is the number and nothing else: "-12", "2.5e3"
  Lenient,  // also blanks around it and a leading '+', as XML attribute values may carry them
};

namespace NumberText {
std::string_view Prepared(std::string_view AText, TNumberSyntax ASyntax);
}

// Empty when the text is not a whole number of T's range.
template <std::integral T>
std::optional<T> ParseInteger(std::string_view AText, TNumberSyntax ASyntax = TNumberSyntax::Exact) {
  const std::string_view text = NumberText::Prepared(AText, ASyntax);
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Empty when the text is not a finite decimal number ("." as the separator, exponent allowed).
std::optional<double> ParseFloat(std::string_view AText, TNumberSyntax ASyntax = TNumberSyntax::Exact);

// The shortest text that reads back as the same double (at most 15 significant digits), whole
// numbers without a point: 3, 0.1, -0, 1e+15.
std::string ShortestFloatText(double AValue);
// The same written at AOut, which has room for KShortestFloatTextSize bytes; answers its end.
inline constexpr size_t KShortestFloatTextSize = 32;
char* PutShortestFloatText(char* AOut, double AValue);

// A fixed number of decimals with "." whatever the process locale: FixedFloatText(2.5, 2) is "2.50".
std::string FixedFloatText(double AValue, int ADecimals);
