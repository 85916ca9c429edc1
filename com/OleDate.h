#pragma once
// Date-times are doubles counting days since 30 December 1899, the fraction being the time of
// day; 0 means "not set". The calendar is the proleptic Gregorian one, years 1 to 9999. Before
// day 0 the whole part still names the day and the fraction still counts forward from its
// midnight: -1.25 is 29 December 1899, 06:00.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

struct TDateTimeParts {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;

  friend bool operator==(const TDateTimeParts&, const TDateTimeParts&) = default;
};

// Raises EConvertError for a date or time of day that does not exist (31 February, 24:00).
double EncodeDateTime(const TDateTimeParts& AParts);
double EncodeDate(int AYear, int AMonth, int ADay);

// False, leaving ADate untouched, for a date that does not exist.
bool TryEncodeDate(int AYear, int AMonth, int ADay, double& ADate);

// Rounds to the nearest millisecond, so 0.5 is exactly 12:00:00.000 and 0.99999999999 is the
// next midnight. Raises EConvertError for values that are not finite or outside years 1 to 9999.
TDateTimeParts DecodeDateTime(double AValue);

// Whether the value is a date after day 0 that DecodeDateTime can take: a summary whose subtasks
// hold no dates rolls up to the largest double, which is no date to show.
bool IsDateToShow(double AValue);

// The whole day (truncated toward zero, as negative values count) and the time of day (>= 0).
double DateOf(double AValue);
double TimeOf(double AValue);

// "YYYY-MM-DDThh:mm:ss", with ".mmm" only when the milliseconds are not zero, without a time
// zone. Empty when the whole-day part is 0 or less: that covers "not set", and values between 0
// and 1 are times of day without a date, so they have no calendar date to write. Also empty for
// values outside years 1 to 9999.
std::string DateTimeToXmlText(double AValue);
// The same text into AOut, which has room for KXmlDateTimeChars, without a heap block; answers
// the end of the text (AOut itself for none).
constexpr size_t KXmlDateTimeChars = 24;
char* PutXmlDateTime(double AValue, char* AOut);

// Reads "YYYY-MM-DD" optionally followed by "Thh:mm", ":ss" and a fraction of a second, then
// "Z" or "+hh:mm"/"-hh:mm"; surrounding XML white space is allowed. Empty on malformed text.
// A zone is checked but ignored: the value is the wall-clock time as written, the way the map
// stores local dates. "T24:00:00" is the next day's midnight.
std::optional<double> XmlTextToDateTime(std::string_view AText);

// The parts of "YYYY-MM-DDThh:mm:ss", the form every saved value takes, read at fixed places;
// empty for any other text and for a date or time that does not exist. Where the parts answer a
// question (is it a date, from which year), they spare working out the value.
std::optional<TDateTimeParts> FixedXmlDateTimeParts(std::string_view AText);

// The time zone a dateTime text names, in minutes east of UTC ("Z" is 0); empty when it names
// none. Only meaningful for a text XmlTextToDateTime reads.
std::optional<int> XmlTextZoneMinutes(std::string_view AText);
// The wall-clock time in the system's time zone of a date-time in UTC (dates from 1 on).
double UtcToLocalDateTime(double AValue);

// "YYYY-MM-DD" for people-facing tools; empty under the same rule as DateTimeToXmlText.
std::string DateToIsoText(double AValue);

// The system clock in local time; Today is Now without its time of day.
double NowAsDateTime();
double TodayAsDateTime();
