#include "com/OleDate.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "com/ComErrors.h"

namespace {

// The calculations run on milliseconds along a straight time line starting at day 0's midnight;
// only the conversions to and from the double know about the odd fraction of negative days.
constexpr int64_t MsPerDay = 86'400'000;
constexpr int64_t FirstDay = -693593;  // 0001-01-01
constexpr int64_t LastDay = 2958465;   // 9999-12-31
constexpr int64_t DaysBefore1970 = 25569;

bool IsLeapYear(int AYear) { return AYear % 4 == 0 && (AYear % 100 != 0 || AYear % 400 == 0); }

int DaysInMonth(int AYear, int AMonth) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return AMonth == 2 && IsLeapYear(AYear) ? 29 : days[AMonth - 1];
}

bool IsValidDate(int AYear, int AMonth, int ADay) {
  return AYear >= 1 && AYear <= 9999 && AMonth >= 1 && AMonth <= 12 && ADay >= 1 && ADay <= DaysInMonth(AYear, AMonth);
}

bool IsValidTime(int AHour, int AMinute, int ASecond, int AMillisecond) {
  return AHour >= 0 && AHour < 24 && AMinute >= 0 && AMinute < 60 && ASecond >= 0 && ASecond < 60 &&
         AMillisecond >= 0 && AMillisecond < 1000;
}

// Day numbers of the proleptic Gregorian calendar over 400-year eras (H. Hinnant's algorithm).
int64_t DayFromDate(int AYear, int AMonth, int ADay) {
  const int64_t y = AYear - (AMonth <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yearOfEra = y - era * 400;
  const int64_t dayOfYear = (153 * (AMonth > 2 ? AMonth - 3 : AMonth + 9) + 2) / 5 + ADay - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468 + DaysBefore1970;
}

void DateFromDay(int64_t ADay, TDateTimeParts& AParts) {
  const int64_t z = ADay - DaysBefore1970 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  AParts.Day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  AParts.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  AParts.Year = static_cast<int>(yearOfEra + era * 400 + (AParts.Month <= 2 ? 1 : 0));
}

bool InRange(int64_t ALinearMs) { return ALinearMs >= FirstDay * MsPerDay && ALinearMs < (LastDay + 1) * MsPerDay; }

std::optional<int64_t> ToLinearMs(double AValue) {
  if (!std::isfinite(AValue)) return std::nullopt;
  const double day = std::trunc(AValue);
  if (day < static_cast<double>(FirstDay) || day > static_cast<double>(LastDay)) return std::nullopt;
  const int64_t linear = static_cast<int64_t>(day) * MsPerDay + std::llround(std::fabs(AValue - day) * MsPerDay);
  if (!InRange(linear)) return std::nullopt;
  return linear;
}

double FromLinearMs(int64_t ALinearMs) {
  int64_t day = ALinearMs / MsPerDay;
  int64_t timeMs = ALinearMs % MsPerDay;
  if (timeMs < 0) {
    --day;
    timeMs += MsPerDay;
  }
  const double fraction = static_cast<double>(timeMs) / MsPerDay;
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

TDateTimeParts PartsFromLinearMs(int64_t ALinearMs) {
  int64_t day = ALinearMs / MsPerDay;
  int64_t timeMs = ALinearMs % MsPerDay;
  if (timeMs < 0) {
    --day;
    timeMs += MsPerDay;
  }
  TDateTimeParts parts;
  DateFromDay(day, parts);
  const auto ms = static_cast<uint32_t>(timeMs);  // less than a day: 32 bits divide faster
  parts.Hour = static_cast<int>(ms / 3'600'000);
  parts.Minute = static_cast<int>(ms / 60'000 % 60);
  parts.Second = static_cast<int>(ms / 1000 % 60);
  parts.Millisecond = static_cast<int>(ms % 1000);
  return parts;
}

// The calendar parts to write, or empty for values that have no date to write.
std::optional<TDateTimeParts> WritableParts(double AValue) {
  if (!(std::floor(AValue) > 0)) return std::nullopt;  // also NaN
  const auto linear = ToLinearMs(AValue);
  if (!linear) return std::nullopt;
  return PartsFromLinearMs(*linear);
}

// A small cursor over the XML text: each step consumes only when it matches.
class TTextCursor {
 public:
  explicit TTextCursor(std::string_view AText) : FText(AText) {}

  bool AtEnd() const { return FPos == FText.size(); }
  bool Peek(char AChar) const { return FPos < FText.size() && FText[FPos] == AChar; }
  bool IsDigit() const { return FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '9'; }

  bool Skip(char AChar) {
    if (!Peek(AChar)) return false;
    ++FPos;
    return true;
  }

  // Exactly ACount decimal digits.
  bool Digits(int ACount, int& AValue) {
    AValue = 0;
    for (int i = 0; i < ACount; ++i) {
      if (!IsDigit()) return false;
      AValue = AValue * 10 + (FText[FPos++] - '0');
    }
    return true;
  }

  // One or more digits read as a fraction of a second, rounded to milliseconds.
  bool FractionMs(int& AMs) {
    if (!IsDigit()) return false;
    int scaled = 0;  // the first four digits, in tenths of a millisecond
    for (int i = 0; IsDigit(); ++i, ++FPos)
      if (i < 4) scaled += (FText[FPos] - '0') * (i == 0 ? 1000 : i == 1 ? 100 : i == 2 ? 10 : 1);
    AMs = (scaled + 5) / 10;
    return true;
  }

 private:
  std::string_view FText;
  size_t FPos = 0;
};

bool IsXmlSpace(char AChar) { return AChar == ' ' || AChar == '\t' || AChar == '\r' || AChar == '\n'; }

}  // namespace

std::optional<TDateTimeParts> FixedXmlDateTimeParts(std::string_view AText) {
  if (AText.size() != 19 || AText[4] != '-' || AText[7] != '-' || AText[10] != 'T' || AText[13] != ':' ||
      AText[16] != ':')
    return std::nullopt;
  // Two digits at a time, any non-digit marking the whole text: the load reads several per node.
  bool digits = true;
  const auto two = [&](size_t AAt) {
    const unsigned high = static_cast<unsigned char>(AText[AAt]) - unsigned{'0'};
    const unsigned low = static_cast<unsigned char>(AText[AAt + 1]) - unsigned{'0'};
    digits &= (high <= 9) & (low <= 9);
    return static_cast<int>(high * 10 + low);
  };
  TDateTimeParts parts;
  parts.Year = two(0) * 100 + two(2);
  parts.Month = two(5);
  parts.Day = two(8);
  parts.Hour = two(11);
  parts.Minute = two(14);
  parts.Second = two(17);
  if (!digits || !IsValidDate(parts.Year, parts.Month, parts.Day) || !IsValidTime(parts.Hour, parts.Minute, parts.Second, 0))
    return std::nullopt;
  return parts;
}

namespace {

// The form every saved value takes, read at fixed places; empty for any other text, which the
// general reading then handles (and rejects when it must).
std::optional<double> FixedXmlDateTime(std::string_view AText) {
  const auto parts = FixedXmlDateTimeParts(AText);
  if (!parts) return std::nullopt;
  const int64_t linear = DayFromDate(parts->Year, parts->Month, parts->Day) * MsPerDay +
                         ((parts->Hour * 60LL + parts->Minute) * 60 + parts->Second) * 1000;
  return InRange(linear) ? std::optional<double>(FromLinearMs(linear)) : std::nullopt;
}

}  // namespace

double EncodeDateTime(const TDateTimeParts& AParts) {
  if (!IsValidDate(AParts.Year, AParts.Month, AParts.Day))
    throw EConvertError("Invalid date: " + std::to_string(AParts.Year) + "-" + std::to_string(AParts.Month) + "-" +
                        std::to_string(AParts.Day));
  if (!IsValidTime(AParts.Hour, AParts.Minute, AParts.Second, AParts.Millisecond))
    throw EConvertError("Invalid time: " + std::to_string(AParts.Hour) + ":" + std::to_string(AParts.Minute) + ":" +
                        std::to_string(AParts.Second) + "." + std::to_string(AParts.Millisecond));
  const int64_t timeMs = ((AParts.Hour * 60LL + AParts.Minute) * 60 + AParts.Second) * 1000 + AParts.Millisecond;
  return FromLinearMs(DayFromDate(AParts.Year, AParts.Month, AParts.Day) * MsPerDay + timeMs);
}

double EncodeDate(int AYear, int AMonth, int ADay) { return EncodeDateTime({AYear, AMonth, ADay, 0, 0, 0, 0}); }

bool TryEncodeDate(int AYear, int AMonth, int ADay, double& ADate) {
  if (!IsValidDate(AYear, AMonth, ADay)) return false;
  ADate = static_cast<double>(DayFromDate(AYear, AMonth, ADay));
  return true;
}

TDateTimeParts DecodeDateTime(double AValue) {
  const auto linear = ToLinearMs(AValue);
  if (!linear) throw EConvertError("Invalid date/time value: " + std::to_string(AValue));
  return PartsFromLinearMs(*linear);
}

bool IsDateToShow(double AValue) { return AValue > 0 && AValue < double(LastDay + 1); }

double DateOf(double AValue) { return std::trunc(AValue); }

double TimeOf(double AValue) { return std::fabs(AValue - std::trunc(AValue)); }

namespace {
// Digits by hand, two at a time from a table: a save writes several dates per node, and a
// formatted print of each costs more than the rest of the save's work on it.
constexpr char KDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

char* PutTwo(char* AOut, unsigned AValue) {
  std::memcpy(AOut, KDigitPairs + 2 * AValue, 2);
  return AOut + 2;
}

// "YYYY-MM-DD"; writable dates lie before the year 10000.
char* PutDate(char* AOut, const TDateTimeParts& AParts) {
  const auto year = static_cast<unsigned>(AParts.Year);
  AOut = PutTwo(AOut, year / 100);
  AOut = PutTwo(AOut, year % 100);
  *AOut++ = '-';
  AOut = PutTwo(AOut, static_cast<unsigned>(AParts.Month));
  *AOut++ = '-';
  return PutTwo(AOut, static_cast<unsigned>(AParts.Day));
}
}  // namespace

char* PutXmlDateTime(double AValue, char* AOut) {
  const auto parts = WritableParts(AValue);
  if (!parts) return AOut;
  char* end = PutDate(AOut, *parts);
  *end++ = 'T';
  end = PutTwo(end, static_cast<unsigned>(parts->Hour));
  *end++ = ':';
  end = PutTwo(end, static_cast<unsigned>(parts->Minute));
  *end++ = ':';
  end = PutTwo(end, static_cast<unsigned>(parts->Second));
  if (parts->Millisecond != 0) {
    const auto ms = static_cast<unsigned>(parts->Millisecond);
    *end++ = '.';
    *end++ = static_cast<char>('0' + ms / 100);
    end = PutTwo(end, ms % 100);
  }
  return end;
}

std::string DateTimeToXmlText(double AValue) {
  char text[KXmlDateTimeChars];
  return std::string(text, PutXmlDateTime(AValue, text));
}

std::optional<double> XmlTextToDateTime(std::string_view AText) {
  if (const auto value = FixedXmlDateTime(AText)) return value;
  while (!AText.empty() && IsXmlSpace(AText.front())) AText.remove_prefix(1);
  while (!AText.empty() && IsXmlSpace(AText.back())) AText.remove_suffix(1);

  TTextCursor cursor(AText);
  int year = 0, month = 0, day = 0;
  if (!(cursor.Digits(4, year) && cursor.Skip('-') && cursor.Digits(2, month) && cursor.Skip('-') &&
        cursor.Digits(2, day) && IsValidDate(year, month, day)))
    return std::nullopt;

  int64_t timeMs = 0;
  if (cursor.Skip('T')) {
    int hour = 0, minute = 0, second = 0, ms = 0;
    if (!(cursor.Digits(2, hour) && cursor.Skip(':') && cursor.Digits(2, minute))) return std::nullopt;
    if (cursor.Skip(':')) {
      if (!cursor.Digits(2, second)) return std::nullopt;
      if (cursor.Skip('.') && !cursor.FractionMs(ms)) return std::nullopt;
    }
    const bool endOfDay = hour == 24 && minute == 0 && second == 0 && ms == 0;
    if (!endOfDay && !IsValidTime(hour, minute, second, ms == 1000 ? 0 : ms)) return std::nullopt;
    timeMs = ((hour * 60LL + minute) * 60 + second) * 1000 + ms;
  }

  if (!cursor.Skip('Z') && (cursor.Skip('+') || cursor.Skip('-'))) {
    int zoneHours = 0, zoneMinutes = 0;
    if (!(cursor.Digits(2, zoneHours) && cursor.Skip(':') && cursor.Digits(2, zoneMinutes)) || zoneMinutes > 59 ||
        zoneHours * 60 + zoneMinutes > 14 * 60)
      return std::nullopt;
  }
  if (!cursor.AtEnd()) return std::nullopt;

  const int64_t linear = DayFromDate(year, month, day) * MsPerDay + timeMs;
  if (!InRange(linear)) return std::nullopt;
  return FromLinearMs(linear);
}

std::optional<int> XmlTextZoneMinutes(std::string_view AText) {
  while (!AText.empty() && IsXmlSpace(AText.back())) AText.remove_suffix(1);
  if (AText.ends_with('Z')) return 0;
  // A zone "+hh:mm" follows a time; a date alone ends "-MM-DD", whose third last is no colon.
  if (AText.size() < 6) return std::nullopt;
  const std::string_view zone = AText.substr(AText.size() - 6);
  if ((zone[0] != '+' && zone[0] != '-') || zone[3] != ':') return std::nullopt;
  const int minutes = ((zone[1] - '0') * 10 + (zone[2] - '0')) * 60 + (zone[4] - '0') * 10 + (zone[5] - '0');
  return zone[0] == '-' ? -minutes : minutes;
}

double UtcToLocalDateTime(double AValue) {
  constexpr double KUnixEpoch = 25569;  // 1 January 1970
  const auto ms = static_cast<int64_t>(std::llround((AValue - KUnixEpoch) * MsPerDay));
  const int64_t wholeSeconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
  const std::time_t seconds = static_cast<std::time_t>(wholeSeconds);
  std::tm local{};
  if (!localtime_r(&seconds, &local)) return AValue;
  return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                         std::min(local.tm_sec, 59), static_cast<int>(ms - wholeSeconds * 1000)});
}

std::string DateToIsoText(double AValue) {
  const auto parts = WritableParts(AValue);
  if (!parts) return {};
  char text[16];
  return std::string(text, PutDate(text, *parts));
}

double NowAsDateTime() {
  using namespace std::chrono;
  const int64_t sinceEpochMs = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(sinceEpochMs / 1000);
  // The local time of the last second asked for: a burst of calls (a new property for every node
  // of a large map) would otherwise pay the time-zone conversion each time.
  thread_local bool cached = false;
  thread_local std::time_t cachedSeconds = 0;
  thread_local std::tm local{};
  if (!cached || seconds != cachedSeconds) {
    localtime_r(&seconds, &local);
    cachedSeconds = seconds;
    cached = true;
  }
  // A leap second shows as second 60, which has no place in a date-time value.
  return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                         local.tm_sec > 59 ? 59 : local.tm_sec, static_cast<int>(sinceEpochMs % 1000)});
}

double TodayAsDateTime() { return DateOf(NowAsDateTime()); }
