#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "com/ComErrors.h"
#include "com/OleDate.h"

namespace {

constexpr double MsDay = 1.0 / 86'400'000;

TEST(OleDate, FixedPointsDecodeToTheirCalendarDates) {
  struct TCase {
    double Value;
    TDateTimeParts Parts;
  };
  const TCase cases[] = {
      {0, {1899, 12, 30}},  {1, {1899, 12, 31}},        {2, {1900, 1, 1}},         {60, {1900, 2, 28}},
      {61, {1900, 3, 1}},   {36585, {2000, 2, 29}},     {45351, {2024, 2, 29}},    {45658, {2025, 1, 1}},
      {-1, {1899, 12, 29}}, {-1.25, {1899, 12, 29, 6}}, {0.5, {1899, 12, 30, 12}}, {45658.75, {2025, 1, 1, 18}},
      {-693593, {1, 1, 1}}, {2958465, {9999, 12, 31}},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(DecodeDateTime(c.Value), c.Parts) << c.Value;
    EXPECT_EQ(EncodeDateTime(c.Parts), c.Value) << c.Value;
  }
}

TEST(OleDate, LeapYearsFollowTheGregorianRules) {
  double date = 0;
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, date));
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, date));
  for (auto [y, m, d] : {std::array{2023, 2, 29}, {2025, 2, 31}, {2025, 4, 31}, {2025, 13, 1}, {2025, 0, 1},
                         {2025, 1, 0}, {0, 1, 1}, {10000, 1, 1}}) {
    date = -7;
    EXPECT_FALSE(TryEncodeDate(y, m, d, date)) << y << "-" << m << "-" << d;
    EXPECT_EQ(date, -7);
    EXPECT_THROW(EncodeDate(y, m, d), EConvertError);
  }
  EXPECT_THROW(EncodeDateTime({2025, 1, 1, 24}), EConvertError);
  EXPECT_THROW(EncodeDateTime({2025, 1, 1, 0, 0, 0, 1000}), EConvertError);
}

TEST(OleDate, DecodeRoundsToTheNearestMillisecond) {
  EXPECT_EQ(DecodeDateTime(45658 + 0.4 * MsDay).Millisecond, 0);
  EXPECT_EQ(DecodeDateTime(45658 + 0.6 * MsDay).Millisecond, 1);
  EXPECT_EQ(DecodeDateTime(45658.99999999999), (TDateTimeParts{2025, 1, 2}));
  EXPECT_EQ(DecodeDateTime(-1.99999999999), (TDateTimeParts{1899, 12, 30}));  // the fraction runs forward
  EXPECT_THROW(DecodeDateTime(std::numeric_limits<double>::quiet_NaN()), EConvertError);
  EXPECT_THROW(DecodeDateTime(2958466), EConvertError);
}

TEST(OleDate, EncodeAndDecodeRoundTripAcrossTheWholeRange) {
  for (double day = -693593; day <= 2958465; day += 997) {
    for (int ms : {0, 1, 999, 43'200'000, 86'399'999}) {
      TDateTimeParts parts = DecodeDateTime(day);
      parts.Hour = ms / 3'600'000;
      parts.Minute = ms / 60'000 % 60;
      parts.Second = ms / 1000 % 60;
      parts.Millisecond = ms % 1000;
      const double value = EncodeDateTime(parts);
      ASSERT_EQ(DecodeDateTime(value), parts) << value;
      ASSERT_EQ(DateOf(value), day);
      ASSERT_NEAR(TimeOf(value), ms * MsDay, 1e-9);
      if (value >= 1) {
        ASSERT_EQ(XmlTextToDateTime(DateTimeToXmlText(value)), value) << DateTimeToXmlText(value);
      }
    }
  }
}

TEST(OleDate, XmlTextIsEmptyWithoutAWholeDay) {
  EXPECT_EQ(DateTimeToXmlText(45658 + 0.5 + 1500 * MsDay), "2025-01-01T12:00:01.500");
  EXPECT_EQ(DateTimeToXmlText(EncodeDateTime({1900, 3, 4, 5, 6, 7, 8})), "1900-03-04T05:06:07.008");
  EXPECT_EQ(DateTimeToXmlText(EncodeDateTime({9999, 12, 31, 23, 59, 59, 990})), "9999-12-31T23:59:59.990");
  for (double value : {0.0, 0.5, 0.999, -1.0, -1.25, 1e9, std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(DateTimeToXmlText(value), "") << value;
    EXPECT_EQ(DateToIsoText(value), "") << value;
  }
  EXPECT_EQ(DateToIsoText(45351.75), "2024-02-29");
}

TEST(OleDate, XmlTextForms) {
  const double noon = 45658.5;
  struct TCase {
    const char* Text;
    double Value;
  };
  const TCase cases[] = {
      {"2025-01-01", 45658}, {"2025-01-01T12:00", noon}, {"2025-01-01T12:00:00", noon}, {"2025-01-01T12:00:00.000Z", noon},
      // The zone does not shift the wall-clock time.
      {"2025-01-01T12:00:00+02:00", noon}, {"2025-01-01T12:00:00-05:30", noon}, {" \n2025-01-01T12:00:00\t", noon},
      {"2025-01-01T12:00:00.25", noon + 250 * MsDay}, {"2025-01-01T12:00:00.12349", noon + 123 * MsDay},
      {"2025-01-01T23:59:59.9996", 45659}, {"2024-12-31T24:00:00", 45658}, {"1899-12-29T06:00:00", -1.25},
  };
  for (const TCase& c : cases) {
    const auto value = XmlTextToDateTime(c.Text);
    ASSERT_TRUE(value.has_value()) << c.Text;
    EXPECT_NEAR(*value, c.Value, 1e-12) << c.Text;
  }
}

TEST(OleDate, MalformedXmlTextIsRejected) {
  for (const char* text : {"", "2025", "25-01-01", "2025-1-01", "2025-13-01", "2023-02-29", "2025-01-32", "0000-01-01",
                           "2025/01/01", "2025-01-01T", "2025-01-01T12", "2025-01-01 12:00", "2025-01-01T25:00",
                           "2025-01-01T12:60", "2025-01-01T12:00:60", "2025-02-30T12:00:00", "2025-01-01T1a:00:00",
                           "2025-01-01T12:00:0/", "2025-01-01 12:00:00", "2025-01-01T12-00:00", "0000-01-01T00:00:00",
                           "2025-01-01T12:00:00.", "2025-01-01T24:00:01", "9999-12-31T24:00:00", "2025-01-01x",
                           "2025-01-01T12:00:00+2", "2025-01-01T12:00:00+15:00", "2025-01-01T12:00:00ZZ",
                           "abcd-ef-gh", "-2025-01-01"})
    EXPECT_FALSE(XmlTextToDateTime(text).has_value()) << text;
}

// Texts of the saved form are read at fixed places; a leading blank sends the same text the
// general way. Both must agree on every text of that shape, whatever its digits; only the end of
// day, "T24:00:00", is left to the general way.
TEST(OleDate, FixedFormReadsAsTheGeneralReading) {
  std::mt19937 random(11);
  const auto two = [&](int AUpTo) {
    char text[3];
    std::snprintf(text, sizeof text, "%02d", static_cast<int>(random() % static_cast<unsigned>(AUpTo + 1)));
    return std::string(text);
  };
  std::vector<std::string> texts = {"2024-02-29T00:00:00", "2023-02-29T00:00:00", "1900-02-29T00:00:00",
                                    "2000-02-29T23:59:59", "0001-01-01T00:00:00", "9999-12-31T23:59:59",
                                    "2025-01-01T24:00:00", "1899-12-30T00:00:00", "2025-1/-01T00:00:00"};
  for (int i = 0; i < 20000; ++i) {
    std::string text = two(99) + two(99) + "-" + two(13) + "-" + two(32) + "T" + two(25) + ":" + two(61) + ":" + two(61);
    if (random() % 10 == 0) text[random() % text.size()] = "/:a 0"[random() % 5];
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    const auto parts = FixedXmlDateTimeParts(text);
    const auto general = XmlTextToDateTime(" " + text);
    if (parts) {
      ASSERT_TRUE(general.has_value()) << text;
      ASSERT_EQ(EncodeDateTime(*parts), *general) << text;
      ASSERT_EQ(XmlTextToDateTime(text), general) << text;
    } else {
      ASSERT_TRUE(!general || text.substr(11) == "24:00:00") << text;
    }
  }
}

TEST(OleDate, NowAndTodayComeFromTheClock) {
  const double today = TodayAsDateTime();
  const double now = NowAsDateTime();
  EXPECT_EQ(TimeOf(today), 0);
  EXPECT_GE(now, today);
  EXPECT_LT(now, today + 2);  // tolerates midnight between the two calls
  EXPECT_GE(DecodeDateTime(now).Year, 2024);
}

}  // namespace
