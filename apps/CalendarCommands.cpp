#include "apps/CalendarCommands.h"

#include <algorithm>
#include <cctype>
#include <ostream>
#include <string_view>

#include "com/ComErrors.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "contract/WorkingSchedulerIntf.h"
#include "host/MapEditCommands.h"

namespace {

constexpr const char* KDayNames[7] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};

[[noreturn]] void Usage(const std::string& AText) { throw ELumetaError(AText, E_INVALIDARG); }

std::string Lower(std::string_view AText) {
  std::string result(AText);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

std::string TwoDigits(int AValue) { return std::string(1, char('0' + AValue / 10)) + char('0' + AValue % 10); }

std::string ClockText(int32_t AMinutes) { return TwoDigits(AMinutes / 60) + ":" + TwoDigits(AMinutes % 60); }

// "HH:MM", 00:00 to 24:00.
int32_t ParseClock(std::string_view AText, const std::string& AWord) {
  const auto colon = AText.find(':');
  const auto hours = colon == std::string_view::npos ? std::nullopt : ParseInteger<int32_t>(AText.substr(0, colon));
  const auto minutes = hours ? ParseInteger<int32_t>(AText.substr(colon + 1)) : std::nullopt;
  if (!minutes || AText.size() - colon != 3 || *hours < 0 || *minutes < 0 || *minutes > 59 ||
      *hours * 60 + *minutes > 24 * 60)
    Usage("'" + AWord + "' is not a working period (HH:MM-HH:MM)");
  return *hours * 60 + *minutes;
}

TWorkingPeriod ParsePeriod(const std::string& AWord) {
  const auto dash = AWord.find('-');
  if (dash == std::string::npos) Usage("'" + AWord + "' is not a working period (HH:MM-HH:MM)");
  return {ParseClock(std::string_view(AWord).substr(0, dash), AWord),
          ParseClock(std::string_view(AWord).substr(dash + 1), AWord)};
}

// Full English names or their first three letters, in any case, separated by commas or blanks.
uint8_t ParseDays(const std::vector<std::string>& AWords) {
  uint8_t mask = 0;
  for (const std::string& word : AWords) {
    size_t from = 0;
    while (from <= word.size()) {
      const size_t comma = std::min(word.find(',', from), word.size());
      const std::string name = Lower(std::string_view(word).substr(from, comma - from));
      from = comma + 1;
      if (name.empty()) continue;
      int day = 0;
      while (day < 7 && name != Lower(KDayNames[day]) && name != Lower(std::string_view(KDayNames[day]).substr(0, 3))) ++day;
      if (day == 7) Usage("'" + name + "' is not a day of the week (Monday ... Sunday, or Mon ... Sun)");
      mask |= static_cast<uint8_t>(1u << day);
    }
  }
  return mask;
}

// YYYY-MM-DD with an optional Thh:mm[:ss]; no time zone, since the map keeps local time.
double ParseDateTime(const std::string& AText) {
  const bool zone = AText.size() > 10 && (AText.back() == 'Z' || AText.find_first_of("+", 10) != std::string::npos ||
                                          AText.find('-', 10) != std::string::npos);
  const std::optional<double> value = zone ? std::nullopt : XmlTextToDateTime(AText);
  if (!value || *value <= 0) Usage("'" + AText + "' is not a date-time (YYYY-MM-DD or YYYY-MM-DDThh:mm[:ss])");
  return *value;
}

double ParseDays(const std::string& AText) {
  const std::optional<double> value = ParseFloat(AText);
  if (!value) Usage("'" + AText + "' is not a number of working days");
  return *value;
}

TLumetaMapSettings& SettingsOf(TLumetaModel* AModel) {
  TLumetaMapSettings* settings = AModel->Map().MapSettings();
  if (!settings) throw EInvalidOperation("The map has no settings of its own");
  return *settings;
}

void PrintCalendar(TLumetaMapSettings& ASettings, std::ostream& AOut) {
  AOut << "days";
  for (int day = 0; day < 7; ++day)
    if (ASettings.WorkingDays() & (1u << day)) AOut << ' ' << KDayNames[day];
  AOut << "\nhours";
  for (const TWorkingPeriod& period : ASettings.WorkingPeriods())
    AOut << ' ' << ClockText(period.Start) << '-' << ClockText(period.Finish);
  AOut << "\nholidays";
  for (double date : ASettings.Holidays()) AOut << ' ' << DateToIsoText(date);
  AOut << "\nstart " << DateTimeToXmlText(ASettings.EffectiveScheduleStart()) << '\n';
}

}  // namespace

ComPtr<ICommand> RunCalendarCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut) {
  TLumetaMapSettings& settings = SettingsOf(AModel);
  if (AArgs.empty()) {
    PrintCalendar(settings, AOut);
    return nullptr;
  }
  const std::vector<std::string> values(AArgs.begin() + 1, AArgs.end());
  TMapCalendar calendar = settings.Calendar();
  const std::string& what = AArgs[0];
  if (what == "start" && values.size() == 1) {
    calendar.ScheduleStart = ParseDateTime(values[0]);
  } else if (what == "hours" && !values.empty()) {
    calendar.WorkingPeriods.clear();
    for (const std::string& word : values) calendar.WorkingPeriods.push_back(ParsePeriod(word));
  } else if (what == "days" && !values.empty()) {
    calendar.WorkingDays = ParseDays(values);
  } else if (what == "holiday" && values.size() == 2 && (values[0] == "add" || values[0] == "remove")) {
    const double day = DateOf(ParseDateTime(values[1]));
    auto& holidays = calendar.Holidays;
    if (values[0] == "add") {
      holidays.push_back(day);
    } else {
      const auto at = std::find(holidays.begin(), holidays.end(), day);
      if (at == holidays.end()) Usage(DateToIsoText(day) + " is not a holiday of this map");
      holidays.erase(at);
    }
  } else {
    Usage(std::string("usage: ") + CalendarCommandUsage);
  }
  return make<TChangeCalendarCommand>(AModel, std::move(calendar));
}

void RunWorktimeCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut) {
  ComPtr<IWorkingScheduler> scheduler = QueryAs<IWorkingScheduler>(SettingsOf(AModel).GetScheduler().get());
  const std::string op = AArgs.empty() ? std::string() : AArgs[0];
  auto date = [&](size_t AIndex) { return ParseDateTime(AArgs[AIndex]); };
  auto print = [&](double AValue) { AOut << DateTimeToXmlText(AValue) << '\n'; };
  if (AArgs.size() == 2 && op == "to-start") return print(scheduler->ToWorkingStart(date(1)));
  if (AArgs.size() == 2 && op == "to-finish") return print(scheduler->ToWorkingFinish(date(1)));
  if (AArgs.size() == 2 && op == "start-after") return print(scheduler->StartAfter(date(1)));
  if (AArgs.size() == 2 && op == "finish-before") return print(scheduler->FinishBefore(date(1)));
  if (AArgs.size() == 3 && op == "finish-for-start") return print(scheduler->FinishForStart(date(1), ParseDays(AArgs[2])));
  if (AArgs.size() == 3 && op == "start-for-finish") return print(scheduler->StartForFinish(date(1), ParseDays(AArgs[2])));
  if (AArgs.size() == 3 && op == "duration") {
    AOut << ShortestFloatText(scheduler->WorkingDuration(date(1), date(2))) << '\n';
    return;
  }
  Usage(std::string("usage: ") + WorktimeCommandUsage +
        " (OP: to-start, to-finish, start-after, finish-before, finish-for-start, start-for-finish, duration)");
}
