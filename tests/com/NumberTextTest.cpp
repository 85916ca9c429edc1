#include "com/NumberText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

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

TEST(NumberText, ExactSyntaxTakesTheWholeTextOrNothing) {
  EXPECT_EQ(ParseInteger<int64_t>("-12"), -12);
  EXPECT_EQ(ParseFloat("2.5e3"), 2500);
  for (const char* text : {"", " 1", "1 ", "+1", "1.5", "0x10", "1,5", "--1", "."})
    EXPECT_FALSE(ParseInteger<int64_t>(text)) << text;
  for (const char* text : {"", " 2.5", "+2.5", "1.5x", "1.5 2", "1,5", "."}) EXPECT_FALSE(ParseFloat(text)) << text;
  // Values that could not be written back are refused.
  for (const char* text : {"nan", "inf", "-inf", "1e400"}) EXPECT_FALSE(ParseFloat(text)) << text;
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
