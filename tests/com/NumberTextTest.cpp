#include "com/NumberText.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>
#include <limits>
#include <optional>

TEST(NumberText, FloatTextIsShortestUpToFifteenDigitsAndReadsBack) {
  EXPECT_EQ(ShortestFloatText(0.1 + 0.2), "0.3");
  EXPECT_EQ(ShortestFloatText(2.0 / 3.0), "0.666666666666667");
  EXPECT_EQ(ShortestFloatText(100), "100");
  EXPECT_EQ(ShortestFloatText(1e20), "1e+20");
  // Whole numbers take a shorter way, which must agree at its edges.
  EXPECT_EQ(ShortestFloatText(-42), "-42");
  EXPECT_EQ(ShortestFloatText(999999999999999), "999999999999999");
  EXPECT_EQ(ShortestFloatText(1e15), "1e+15");
  EXPECT_EQ(ShortestFloatText(-0.0), "-0");
  EXPECT_EQ(ShortestFloatText(0), "0");
  for (double value : {0.1, 123.456, -7.5, 1e-7, 98765.4321}) EXPECT_EQ(ParseFloat(ShortestFloatText(value)), value);
  EXPECT_EQ(FixedFloatText(2.5, 2), "2.50");
  EXPECT_EQ(FixedFloatText(-0.004, 2), "-0.00");
}

// Amounts in hundredths take a shorter way too: it must print what the general form prints,
// also for neighbours of such values and at the edges of its range.
TEST(NumberText, HundredthsPrintAsTheGeneralForm) {
  const auto general = [](double AValue) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, AValue, std::chars_format::general, 15).ptr);
  };
  std::mt19937_64 random(17);
  std::vector<double> values;
  for (int64_t n = -2000; n <= 2000; ++n) values.push_back(n / 100.0);
  for (int i = 0; i < 20000; ++i) {
    const double value = static_cast<int64_t>(random() % 200'000'000'000'000) / 100.0;
    values.insert(values.end(), {value, -value, std::nextafter(value, 0.0), std::nextafter(value, 1e300)});
  }
  values.insert(values.end(), {0.01, 0.05, 0.1 + 0.2, 999999999999.99, 1e12 - 0.01, 1e12 + 0.5, 5542.84, 1e-3});
  for (double value : values) ASSERT_EQ(ShortestFloatText(value), general(value)) << value;
}

TEST(NumberText, ExactSyntaxTakesTheWholeTextOrNothing) {
  EXPECT_EQ(ParseInteger<int64_t>("-12"), -12);
  EXPECT_EQ(ParseFloat("2.5e3"), 2500);
  for (const char* text : {"", " 1", "1 ", "+1", "1.5", "0x10", "1,5", "--1", "."})
    EXPECT_FALSE(ParseInteger<int64_t>(text)) << text;
  for (const char* text : {"", " 2.5", "+2.5", "1.5x", "1.5 2", "1,5", "."}) EXPECT_FALSE(ParseFloat(text)) << text;
  // Values that could not be written back are refused.
  for (const char* text : {"nan", "inf", "-inf", "1e400"}) EXPECT_FALSE(ParseFloat(text)) << text;
}

// Plain decimals of up to 15 digits take a shorter way; it must read every such text, and its
// neighbours that it leaves to the general way, exactly as from_chars does, sign of zero included.
TEST(NumberText, PlainDecimalsReadAsTheGeneralReading) {
  const auto general = [](const std::string& AText) -> std::optional<double> {
    double value = 0;
    const auto [end, error] = std::from_chars(AText.data(), AText.data() + AText.size(), value);
    if (AText.empty() || error != std::errc() || end != AText.data() + AText.size() || !std::isfinite(value))
      return std::nullopt;
    return value;
  };
  std::vector<std::string> texts = {"0", "-0", "-0.0", "0.000000000000001", "999999999999999", "99999999999999.9",
                                    "9999999999999999", "1234567890.12345", "1234567890.123456", "00.5", "007",
                                    "5.", ".5", "-", "-.5", "--1", "1.2.3", "1e5", "0.1", "-7.25", "4503599627370497"};
  std::mt19937_64 random(3);
  for (int i = 0; i < 50000; ++i) {
    std::string digits = std::to_string(random() % 100000000000000000);
    digits.resize(1 + random() % digits.size());
    if (random() % 4 == 0) digits.insert(0, std::string(random() % 3, '0'));
    const size_t point = random() % (digits.size() + 1);
    if (point < digits.size() && random() % 3 != 0) digits.insert(point, ".");
    texts.push_back(random() % 2 ? "-" + digits : digits);
  }
  for (const std::string& text : texts) {
    const auto read = ParseFloat(text);
    const auto expected = general(text);
    ASSERT_EQ(read.has_value(), expected.has_value()) << text;
    if (!read) continue;
    ASSERT_EQ(*read, *expected) << text;
    ASSERT_EQ(std::signbit(*read), std::signbit(*expected)) << text;
    ASSERT_EQ(ParseFloat(text, TNumberSyntax::Lenient), read) << text;
  }
}

TEST(NumberText, LenientSyntaxAllowsBlanksAndAPlusSign) {
  EXPECT_EQ(ParseFloat(" +2.5\t", TNumberSyntax::Lenient), 2.5);
  EXPECT_EQ(ParseInteger<int32_t>("\n+7 ", TNumberSyntax::Lenient), 7);
  for (const char* text : {"", "   ", "+", "+-1", "++1", "1 2"})
    EXPECT_FALSE(ParseInteger<int32_t>(text, TNumberSyntax::Lenient)) << '"' << text << '"';
}

TEST(NumberText, IntegersOutsideTheTargetRangeAreRefused) {
  EXPECT_EQ(ParseInteger<int32_t>("2147483647"), std::numeric_limits<int32_t>::max());
  EXPECT_FALSE(ParseInteger<int32_t>("2147483648"));
  EXPECT_FALSE(ParseInteger<int64_t>("9223372036854775808"));
  EXPECT_FALSE(ParseInteger<uint8_t>("-1"));
}
