#include "com/LumetaLocale.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <utility>

#include "com/ComErrors.h"
#include "com/OleDate.h"

namespace {

struct TCalendarDate {
  int Year, Month, Day, WeekDay, YearDay;  // WeekDay 0 is Sunday, YearDay 0 is 1 January
};

std::optional<TCalendarDate> CalendarDateOf(double ADate) {
  try {
    const TDateTimeParts parts = DecodeDateTime(ADate);
    const auto days = static_cast<long long>(EncodeDate(parts.Year, parts.Month, parts.Day));
    const auto firstOfYear = static_cast<long long>(EncodeDate(parts.Year, 1, 1));
    // Day 0, 30 December 1899, was a Saturday.
    const int weekDay = static_cast<int>(((days + 6) % 7 + 7) % 7);
    return TCalendarDate{parts.Year, parts.Month, parts.Day, weekDay, static_cast<int>(days - firstOfYear)};
  } catch (const ELumetaError&) {
    return std::nullopt;
  }
}

constexpr const char* MonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                      "July",    "August",   "September", "October", "November", "December"};
constexpr const char* DayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

void AppendNumber(std::string& AText, int AValue, int AWidth) {
  std::string digits = std::to_string(AValue);
  if (static_cast<int>(digits.size()) < AWidth) AText.append(AWidth - digits.size(), '0');
  AText += digits;
}

double ClockOr(double AToday) { return AToday != 0 ? DateOf(AToday) : TodayAsDateTime(); }

std::shared_ptr<TLocaleService>& CurrentService() {
  static std::shared_ptr<TLocaleService> service;
  return service;
}

}  // namespace

TLocaleService& LocaleService() {
  std::shared_ptr<TLocaleService>& service = CurrentService();
  if (!service) service = std::make_shared<TSystemLocaleService>();
  return *service;
}

void SetLocaleService(std::shared_ptr<TLocaleService> AService) { CurrentService() = std::move(AService); }

std::string FormatDatePattern(double ADate, const std::string& APattern) {
  const std::optional<TCalendarDate> date = CalendarDateOf(ADate);
  if (!date) return {};
  std::string text;
  size_t i = 0;
  while (i < APattern.size()) {
    const char letter = APattern[i];
    size_t run = 1;
    while (i + run < APattern.size() && APattern[i + run] == letter) ++run;
    if (letter == '\'') {
      // '' is a quote; otherwise copy up to the closing quote (or the end).
      if (run >= 2) {
        text += '\'';
        i += 2;
        continue;
      }
      size_t end = ++i;
      while (end < APattern.size()) {
        if (APattern[end] == '\'' && end + 1 < APattern.size() && APattern[end + 1] == '\'') {
          text += '\'';
          end += 2;
        } else if (APattern[end] == '\'') {
          break;
        } else {
          text += APattern[end++];
        }
      }
      i = end + 1;
      continue;
    }
    size_t used = run;
    if (letter == 'd') {
      used = std::min<size_t>(run, 4);
      if (used == 1 || used == 2)
        AppendNumber(text, date->Day, static_cast<int>(used));
      else if (used == 3)
        text.append(DayNames[date->WeekDay], 3);
      else
        text += DayNames[date->WeekDay];
    } else if (letter == 'M') {
      used = std::min<size_t>(run, 4);
      if (used == 1 || used == 2)
        AppendNumber(text, date->Month, static_cast<int>(used));
      else if (used == 3)
        text.append(MonthNames[date->Month - 1], 3);
      else
        text += MonthNames[date->Month - 1];
    } else if (letter == 'y' && run >= 2) {
      used = run >= 4 ? 4 : 2;
      if (used == 4)
        AppendNumber(text, date->Year, 4);
      else
        AppendNumber(text, date->Year % 100, 2);
    } else {
      text.append(run, letter);
    }
    i += used;
  }
  return text;
}

// ---------------------------------------------------------------------------------------------
// TSystemLocaleService

struct TSystemLocaleService::TData {
  double Today = 0;
  locale_t Locale = static_cast<locale_t>(0);
};

TSystemLocaleService::TSystemLocaleService(double AToday) : FData(std::make_unique<TData>()) {
  FData->Today = AToday;
  FData->Locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  // A locale named in the environment but not installed: dates as the C library writes them.
  if (FData->Locale == static_cast<locale_t>(0)) FData->Locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
}

TSystemLocaleService::~TSystemLocaleService() {
  if (FData->Locale != static_cast<locale_t>(0)) freelocale(FData->Locale);
}

double TSystemLocaleService::Today() { return ClockOr(FData->Today); }

std::string TSystemLocaleService::FormatShortDate(double ADate) {
  const std::optional<TCalendarDate> date = CalendarDateOf(ADate);
  if (!date) return {};
  if (FData->Locale == static_cast<locale_t>(0)) return FormatDatePattern(ADate, "yyyy-MM-dd");
  std::tm parts{};
  parts.tm_year = date->Year - 1900;
  parts.tm_mon = date->Month - 1;
  parts.tm_mday = date->Day;
  parts.tm_wday = date->WeekDay;
  parts.tm_yday = date->YearDay;
  parts.tm_isdst = -1;
  char text[128];
  const size_t length = strftime_l(text, sizeof text, nl_langinfo_l(D_FMT, FData->Locale), &parts, FData->Locale);
  return std::string(text, length);
}

std::string TSystemLocaleService::Name() {
#ifdef _NL_LOCALE_NAME
  if (FData->Locale != static_cast<locale_t>(0)) {
    const char* name = nl_langinfo_l(_NL_LOCALE_NAME(LC_TIME), FData->Locale);
    if (name && *name) return name;
  }
#endif
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"})
    if (const char* value = std::getenv(variable); value && *value) return value;
  return "C";
}

// ---------------------------------------------------------------------------------------------
// TFixedLocaleService

TFixedLocaleService::TFixedLocaleService(double AToday, std::string APattern, std::string AName)
    : FToday(AToday), FPattern(std::move(APattern)), FName(std::move(AName)) {}

double TFixedLocaleService::Today() { return ClockOr(FToday); }

std::string TFixedLocaleService::FormatShortDate(double ADate) { return FormatDatePattern(ADate, FPattern); }

std::string TFixedLocaleService::Name() { return FName.empty() ? FPattern : FName; }
