#include "exchange/MspdiReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include <pugixml.hpp>

#include "com/AtomicFile.h"
#include "com/LumetaLocale.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "contract/ActionVocabulary.h"
#include "exchange/MspdiFormat.h"
#include "exchange/MspdiWriter.h"
#include "host/LumetaMapSettings.h"
#include "host/WorkingCalendar.h"
#include "host/xml/LumetaXmlArchive.h"
#include "session/MapDocument.h"

namespace {

// An MSPDI file larger than this is more likely a mistake than a plan.
constexpr size_t KMaxFileSize = size_t(1) << 30;
// A non-working exception longer than this many days is no holiday list the map should hold.
constexpr int KMaxExceptionDays = 3660;

// The name without its namespace prefix.
std::string_view LocalName(const pugi::xml_node& ANode) {
  const std::string_view name = ANode.name();
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node Child(pugi::xml_node AParent, std::string_view AName) {
  for (pugi::xml_node child = AParent.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element && LocalName(child) == AName) return child;
  return {};
}

std::string_view Text(pugi::xml_node ANode) { return ANode ? ANode.child_value() : ""; }

// A name against a literal, cheap enough to ask for every element of every task.
template <size_t N>
bool Is(std::string_view AName, const char (&ALiteral)[N]) {
  return AName.size() == N - 1 && std::memcmp(AName.data(), ALiteral, N - 1) == 0;
}

// Positions in the file for messages: line and column (in characters) from a byte offset.
class TPlaces {
 public:
  TPlaces(const std::string& AText, std::string AName) : FText(AText), FName(std::move(AName)) {}
  std::pair<int, int> At(ptrdiff_t AOffset) const {
    // Most files need no place at all: the lines are found on the first message.
    if (!FLinesFound) {
      for (const char* at = FText.data();
           (at = static_cast<const char*>(std::memchr(at, '\n', FText.data() + FText.size() - at))); ++at)
        FLineEnds.push_back(static_cast<size_t>(at - FText.data()));
      FLinesFound = true;
    }
    const size_t offset = AOffset < 0 ? 0 : std::min(static_cast<size_t>(AOffset), FText.size());
    const auto end = std::lower_bound(FLineEnds.begin(), FLineEnds.end(), offset);
    const size_t lineStart = end == FLineEnds.begin() ? 0 : *(end - 1) + 1;
    int column = 1;
    for (size_t i = lineStart; i < offset; ++i)
      if ((static_cast<unsigned char>(FText[i]) & 0xC0) != 0x80) ++column;
    return {static_cast<int>(end - FLineEnds.begin()) + 1, column};
  }
  [[noreturn]] void Fail(ptrdiff_t AOffset, const std::string& AReason) const {
    const auto [line, column] = At(AOffset);
    throw EArchiveError(FName, line, column, AReason);
  }
  // An element's offset is that of its name; its place is the '<' before it.
  [[noreturn]] void Fail(pugi::xml_node ANode, const std::string& AReason) const { Fail(Offset(ANode), AReason); }
  std::string Where(pugi::xml_node ANode) const { return FName + ":" + std::to_string(At(Offset(ANode)).first) + ": "; }
  static ptrdiff_t Offset(pugi::xml_node ANode) {
    return ANode.offset_debug() - (ANode.type() == pugi::node_element ? 1 : 0);
  }

 private:
  const std::string& FText;
  std::string FName;
  mutable std::vector<size_t> FLineEnds;
  mutable bool FLinesFound = false;
};

// One task as the file gives it; elements the map has no place for are remembered to be named.
struct TTask {
  pugi::xml_node Element;
  int64_t UID = -1;
  int32_t Level = -1;
  std::string_view Name, Notes, Start, Finish, Duration, Work, ConstraintDate, Deadline;
  int DurationFormat = KMspdiDays;
  int PercentComplete = 0;
  int Priority = KMspdiDefaultPriority;
  int ConstraintType = 0;
  std::string_view Cost;
  bool HasDuration = false, HasComplete = false;
  bool Milestone = false, Summary = false, IsNull = false, Recurring = false, HasBaseline = false;
  int64_t CalendarUID = -1;
  std::optional<std::string> PriorityText, StatusText;
  std::vector<std::string> CustomFields;
  std::vector<pugi::xml_node> Links;
  // Filled once every task is read.
  std::vector<std::pair<int64_t, TTaskLinkType>> Into, OutOf;
  std::vector<std::pair<std::string, std::string>> Resources;
};

class TReader {
 public:
  TReader(const std::string& AText, const std::string& AName) : FText(AText), FName(AName), FPlaces(AText, AName) {}

  TMspdiPlan Read() {
    const pugi::xml_parse_result parsed =
        FDocument.load_buffer(FText.data(), FText.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) FPlaces.Fail(parsed.offset, std::string("not well-formed XML: ") + parsed.description());
    const pugi::xml_node project = FDocument.document_element();
    const std::string_view name = project.name();
    const std::string prefix(name.substr(0, name.find(':') == std::string_view::npos ? 0 : name.find(':')));
    const char* space = project.attribute((prefix.empty() ? std::string("xmlns") : "xmlns:" + prefix).c_str()).value();
    if (LocalName(project) != "Project" || std::strcmp(space, KMspdiNamespace) != 0)
      FPlaces.Fail(project, "not an MS Project XML file: the root element is <" + std::string(name) +
                                "> in the namespace '" + space + "', not <Project> in '" + KMspdiNamespace + "'");
    FMinutesPerDay = 480;
    if (pugi::xml_node minutes = Child(project, "MinutesPerDay")) {
      const auto value = ParseInteger<int32_t>(Text(minutes));
      if (!value || *value <= 0 || *value > 1440) FPlaces.Fail(minutes, "MinutesPerDay must be 1 to 1440");
      FMinutesPerDay = *value;
    }
    if (auto start = XmlTextToDateTime(Text(Child(project, "StartDate")))) FPlan.ScheduleStart = *start;
    ReadCalendar(project);
    BuildMap(project);
    return std::move(FPlan);
  }

 private:
  void Warn(pugi::xml_node AWhere, const std::string& AText) { FPlan.Warnings.push_back(FPlaces.Where(AWhere) + AText); }

  static std::optional<int64_t> Integer(std::string_view AText) {
    std::string_view text = AText;
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return ParseInteger<int64_t>(text);
  }
  int64_t RequireInteger(pugi::xml_node AElement, int64_t AMin, int64_t AMax) {
    const auto value = Integer(Text(AElement));
    if (!value || *value < AMin || *value > AMax)
      FPlaces.Fail(AElement, "<" + std::string(LocalName(AElement)) + "> '" + std::string(Text(AElement)) +
                                 "' is not a whole number from " + std::to_string(AMin) + " to " + std::to_string(AMax));
    return *value;
  }
  std::optional<double> RequireDate(pugi::xml_node AElement) {
    if (!AElement || Text(AElement).empty()) return std::nullopt;
    const auto date = XmlTextToDateTime(Text(AElement));
    if (!date || !IsDateToShow(*date))
      FPlaces.Fail(AElement, "<" + std::string(LocalName(AElement)) + "> '" + std::string(Text(AElement)) +
                                 "' is not a date-time");
    return date;
  }
  // "08:00:00" as minutes after midnight; "00:00:00" or "24:00:00" as a finish is midnight at the end.
  std::optional<int32_t> Clock(pugi::xml_node AElement, bool AFinish) {
    int hours = 0, minutes = 0, seconds = 0;
    char end = 0;
    const std::string text(Text(AElement));
    if (std::sscanf(text.c_str(), "%d:%d:%d%c", &hours, &minutes, &seconds, &end) < 2 || end) return std::nullopt;
    if (hours < 0 || hours > 24 || minutes < 0 || minutes > 59 || (hours == 24 && minutes)) return std::nullopt;
    const int32_t value = hours * 60 + minutes;
    return AFinish && value == 0 ? 1440 : value;
  }

  // ---- the calendar

  void ReadCalendar(pugi::xml_node AProject) {
    pugi::xml_node calendars = Child(AProject, "Calendars");
    std::unordered_map<int64_t, pugi::xml_node> byUID;
    for (pugi::xml_node calendar = calendars.first_child(); calendar; calendar = calendar.next_sibling())
      if (LocalName(calendar) == "Calendar")
        if (const auto uid = Integer(Text(Child(calendar, "UID")))) byUID.emplace(*uid, calendar);
    pugi::xml_node base;
    if (const auto uid = Integer(Text(Child(AProject, "CalendarUID"))); uid && byUID.contains(*uid)) base = byUID[*uid];
    if (!base)
      for (const auto& [uid, calendar] : byUID)
        if (Text(Child(calendar, "IsBaseCalendar")) == "1" && (!base || base.offset_debug() > calendar.offset_debug()))
          base = calendar;
    FPlan.WorkingDays = TLumetaMapSettings::DefaultWorkingDays;
    for (const TWorkingPeriod& period : TLumetaMapSettings::DefaultWorkingPeriods())
      FPlan.WorkingPeriods.emplace_back(period.Start, period.Finish);
    if (!base) {
      if (calendars) Warn(calendars, "the project names no base calendar; the map works Monday to Friday, 08:00-17:00");
      return;
    }
    // The project's calendar and the calendars it derives from, nearest first.
    std::vector<pugi::xml_node> chain{base};
    while (chain.size() < 16) {
      const auto parent = Integer(Text(Child(chain.back(), "BaseCalendarUID")));
      if (!parent || *parent < 0 || !byUID.contains(*parent)) break;
      if (std::ranges::find(chain, byUID[*parent]) != chain.end()) break;
      chain.push_back(byUID[*parent]);
    }
    for (const auto& [uid, calendar] : byUID)
      if (std::ranges::find(chain, calendar) == chain.end()) FOtherCalendars.emplace(uid, calendar);

    std::optional<std::vector<std::pair<int32_t, int32_t>>> days[8];  // by MSPDI day type 1..7
    std::optional<bool> working[8];
    std::vector<double> holidays;
    for (pugi::xml_node calendar : chain) {
      for (pugi::xml_node day = Child(calendar, "WeekDays").first_child(); day; day = day.next_sibling()) {
        if (LocalName(day) != "WeekDay") continue;
        const int64_t type = RequireInteger(Child(day, "DayType"), 0, 7);
        const bool isWorking = Text(Child(day, "DayWorking")) == "1";
        if (type == 0) {
          ReadException(day, isWorking, holidays);
          continue;
        }
        if (working[type]) continue;  // a nearer calendar said it
        working[type] = isWorking;
        if (isWorking) days[type] = ReadTimes(Child(day, "WorkingTimes"));
      }
      for (pugi::xml_node exception = Child(calendar, "Exceptions").first_child(); exception;
           exception = exception.next_sibling())
        if (LocalName(exception) == "Exception") ReadException(exception, Text(Child(exception, "DayWorking")) == "1", holidays);
    }
    uint8_t mask = 0;
    std::optional<std::vector<std::pair<int32_t, int32_t>>> periods;
    for (int type = 1; type <= 7; ++type) {
      const int isoDay = type == 1 ? 7 : type - 1;
      const bool isWorking = working[type] ? *working[type] : isoDay <= 5;
      if (!isWorking) continue;
      mask |= static_cast<uint8_t>(1u << (isoDay - 1));
      std::vector<std::pair<int32_t, int32_t>> hours = days[type] && !days[type]->empty() ? *days[type]
                                                                                          : FPlan.WorkingPeriods;
      if (!periods)
        periods = hours;
      else if (*periods != hours)
        Warn(base, "day type " + std::to_string(type) + " works other hours than the first working day; the map "
                   "keeps one set of working hours for every working day");
    }
    if (!mask) FPlaces.Fail(base, "the base calendar has no working day");
    FPlan.WorkingDays = mask;
    FPlan.WorkingPeriods = *periods;
    std::ranges::sort(holidays);
    holidays.erase(std::unique(holidays.begin(), holidays.end()), holidays.end());
    FPlan.Holidays = std::move(holidays);
    FCalendar = TWorkingCalendar(FPlan.WorkingDays, FPlan.WorkingPeriods, FPlan.Holidays);
    // The settings refuse what they cannot reckon with; say where it came from.
    try {
      TLumetaMapSettings check;
      TMapCalendar calendar;
      calendar.WorkingDays = mask;
      for (const auto& [start, finish] : FPlan.WorkingPeriods) calendar.WorkingPeriods.push_back({start, finish});
      calendar.Holidays = FPlan.Holidays;
      check.SetCalendar(calendar);
    } catch (const ELumetaError& error) {
      FPlaces.Fail(base, std::string("the base calendar cannot be the map's: ") + error.what());
    }
  }

  std::vector<std::pair<int32_t, int32_t>> ReadTimes(pugi::xml_node ATimes) {
    std::vector<std::pair<int32_t, int32_t>> periods;
    for (pugi::xml_node time = ATimes.first_child(); time; time = time.next_sibling()) {
      if (LocalName(time) != "WorkingTime") continue;
      const auto from = Clock(Child(time, "FromTime"), false);
      const auto to = Clock(Child(time, "ToTime"), true);
      if (!from || !to || *from >= *to) FPlaces.Fail(time, "a working time needs FromTime before ToTime as hh:mm:ss");
      periods.emplace_back(*from, *to);
    }
    std::ranges::sort(periods);
    return periods;
  }

  void ReadException(pugi::xml_node AException, bool AWorking, std::vector<double>& AHolidays) {
    pugi::xml_node period = Child(AException, "TimePeriod");
    const auto from = RequireDate(Child(period, "FromDate"));
    const auto to = RequireDate(Child(period, "ToDate"));
    if (!from || !to) FPlaces.Fail(AException, "a calendar exception needs a TimePeriod with FromDate and ToDate");
    if (AWorking) {
      Warn(AException, "a working exception (" + DateToIsoText(*from) + ") is not kept: the map's calendar "
                       "knows days off only");
      return;
    }
    if (const auto type = Integer(Text(Child(AException, "Type"))); type && *type != 1)
      Warn(AException, "the recurring exception from " + DateToIsoText(*from) +
                           " is kept as every day of its period, not by its rule");
    const double first = DateOf(*from), last = DateOf(*to);
    if (last < first || last - first > KMaxExceptionDays)
      FPlaces.Fail(AException, "the exception from " + DateToIsoText(*from) + " to " + DateToIsoText(*to) +
                                   " is no period of days off");
    for (double day = first; day <= last; ++day) AHolidays.push_back(day);
  }

  // ---- tasks

  // Fills ATask, made in place: a plan holds many tasks.
  void ReadTask(pugi::xml_node AElement, TTask& task) {
    task.Element = AElement;
    for (pugi::xml_node child = AElement.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      const std::string_view name = LocalName(child);
      if (Is(name, "UID")) task.UID = RequireInteger(child, 0, INT64_MAX / 2);
      else if (Is(name, "OutlineLevel")) task.Level = static_cast<int32_t>(RequireInteger(child, 0, 100000));
      else if (Is(name, "Name")) task.Name = Text(child);
      else if (Is(name, "Notes")) task.Notes = Text(child);
      else if (Is(name, "Start")) task.Start = Text(child), RequireDate(child);
      else if (Is(name, "Finish")) task.Finish = Text(child), RequireDate(child);
      else if (Is(name, "Duration")) task.Duration = Text(child), task.HasDuration = true;
      else if (Is(name, "Work")) task.Work = Text(child);
      else if (Is(name, "DurationFormat")) task.DurationFormat = static_cast<int>(RequireInteger(child, 0, 1000));
      else if (Is(name, "PercentComplete"))
        task.PercentComplete = static_cast<int>(RequireInteger(child, 0, 100)), task.HasComplete = true;
      else if (Is(name, "Priority")) task.Priority = static_cast<int>(RequireInteger(child, 0, 1000));
      else if (Is(name, "ConstraintType")) task.ConstraintType = static_cast<int>(RequireInteger(child, 0, 7));
      else if (Is(name, "ConstraintDate")) task.ConstraintDate = Text(child), RequireDate(child);
      else if (Is(name, "Deadline")) task.Deadline = Text(child), RequireDate(child);
      else if (Is(name, "Cost")) task.Cost = Text(child);
      else if (Is(name, "Milestone")) task.Milestone = Text(child) == "1";
      else if (Is(name, "Summary")) task.Summary = Text(child) == "1";
      else if (Is(name, "IsNull")) task.IsNull = Text(child) == "1";
      else if (Is(name, "Recurring")) task.Recurring = Text(child) == "1";
      else if (Is(name, "CalendarUID")) task.CalendarUID = Integer(Text(child)).value_or(-1);
      else if (Is(name, "Baseline")) task.HasBaseline = true;
      else if (Is(name, "PredecessorLink")) task.Links.push_back(child);
      else if (Is(name, "ExtendedAttribute")) {
        const std::string_view field = Text(Child(child, "FieldID"));
        const std::string value(Text(Child(child, "Value")));
        if (field == KPriorityFieldID) task.PriorityText = value;
        else if (field == KStatusFieldID) task.StatusText = value;
        else task.CustomFields.emplace_back(field);
      }
    }
    if (task.UID < 0) FPlaces.Fail(AElement, "a task without a UID");
    if (task.Level < 0) FPlaces.Fail(AElement, "task UID " + std::to_string(task.UID) + " has no OutlineLevel");
  }

  // Seconds of working time as the map's number in the measure; a duration the map cannot read is
  // named and read as none.
  double Seconds(const TTask& ATask, std::string_view AText, const char* AWhat) {
    if (AText.empty()) return 0;
    const auto seconds = MspdiDurationSeconds(AText);
    if (seconds) return *seconds;
    Warn(ATask.Element, "task UID " + std::to_string(ATask.UID) + ": the " + AWhat + " '" + std::string(AText) +
                            "' is no working-time duration (PTnHnMnS); read as 0");
    return 0;
  }

  static std::string Number(double AValue) { return ShortestFloatText(std::round(AValue * 1e6) / 1e6); }

  // ---- the map file's text, written straight out: a document built and saved would cost more
  // than the whole import may

  static void Escaped(std::string& AOut, std::string_view AText) {
    // Most texts need nothing: they go in whole. A plain loop: find_first_of asks memchr per character.
    const auto isSpecial = [](char AChar) {
      return AChar == '&' || AChar == '<' || AChar == '>' || AChar == '"' || AChar == '\r';
    };
    for (size_t at = 0;;) {
      size_t special = at;
      while (special < AText.size() && !isSpecial(AText[special])) ++special;
      AOut.append(AText.substr(at, special - at));
      if (special == AText.size()) return;
      switch (AText[special]) {
        case '&': AOut += "&amp;"; break;
        case '<': AOut += "&lt;"; break;
        case '>': AOut += "&gt;"; break;
        case '"': AOut += "&quot;"; break;
        default: AOut += "&#13;";
      }
      at = special + 1;
    }
  }
  static void Element(std::string& AOut, std::string_view AName, std::string_view AText) {
    AOut += '<';
    AOut += AName;
    AOut += '>';
    Escaped(AOut, AText);
    AOut += "</";
    AOut += AName;
    AOut += '>';
  }

  // A field the record holds by default is left out: a plan's tasks are mostly defaults, and the
  // archive reads what is not there for nothing.
  void WriteAction(std::string& AOut, const TTask& ATask) {
    AOut += ATask.Milestone ? "<Action Milestone=\"true\">" : "<Action>";
    if (ATask.PercentComplete != 0) Element(AOut, "Complete", std::to_string(ATask.PercentComplete));
    if (!ATask.Finish.empty()) Element(AOut, "CompletedDate", ATask.Finish);
    if (!ATask.Cost.empty() && ATask.Cost != "0") {
      const auto cost = ParseFloat(ATask.Cost);
      if (!cost) FPlaces.Fail(ATask.Element, "task UID " + std::to_string(ATask.UID) + ": the cost '" +
                                                 std::string(ATask.Cost) + "' is not a number");
      if (*cost != 0) Element(AOut, "Cost", Number(*cost));
    }
    if (!ATask.Deadline.empty()) Element(AOut, "DueDate", ATask.Deadline);
    // A file without durations (TaskJuggler writes none) has them from the dates and the calendar.
    const double days = !ATask.Duration.empty() || ATask.Start.empty() || ATask.Finish.empty()
                            ? Seconds(ATask, ATask.Duration, "duration") / 60.0 / FMinutesPerDay
                            : std::max(0.0, FCalendar.WorkingDuration(*XmlTextToDateTime(ATask.Start),
                                                                      *XmlTextToDateTime(ATask.Finish)));
    const int32_t measure = MeasureFromMspdiFormat(ATask.DurationFormat);
    // The map file has no text for minutes: a duration in minutes comes across in hours.
    AOut.append(measure == amDays ? "<Duration Measure=\"Days\">" : "<Duration Measure=\"Hours\">")
        .append(Number(measure == amDays ? days : days * KHoursPerDay))
        .append("</Duration>");
    const std::string priority = ATask.PriorityText ? *ATask.PriorityText : PriorityFromMspdi(ATask.Priority);
    if (!priority.empty()) Element(AOut, "Priority", priority);
    if (!ATask.Start.empty()) Element(AOut, "StartDate", ATask.Start);
    const int complete = ATask.PercentComplete;
    const std::string_view status = ATask.StatusText ? std::string_view(*ATask.StatusText)
                                    : complete >= 100 ? KStatusCompleted
                                    : complete > 0    ? KStatusInProgress
                                                      : KStatusNotStarted;
    if (!status.empty()) Element(AOut, "Status", status);
    if (const double work = Seconds(ATask, ATask.Work, "work") / 3600.0; work != 0)
      AOut.append("<Work Measure=\"Hours\">").append(Number(work)).append("</Work>");
    const TTaskConstraintType constraint = ConstraintTypeFromMspdi(ATask.ConstraintType).value_or(tcAsSoonAsPossible);
    if (constraint != tcAsSoonAsPossible)
      AOut.append("<ConstraintType>qz:").append(TaskConstraintTypeToText(constraint).substr(2)).append("</ConstraintType>");
    if (!ATask.ConstraintDate.empty() && constraint != tcAsSoonAsPossible && constraint != tcAsLateAsPossible)
      Element(AOut, "ConstraintDate", ATask.ConstraintDate);
    AOut += "</Action>";
  }

  static void WriteLinks(std::string& AOut, std::string_view AName, const std::vector<std::pair<int64_t, TTaskLinkType>>& ALinks) {
    if (ALinks.empty()) return;
    AOut += '<';
    AOut += AName;
    AOut += '>';
    char number[24];
    for (const auto& [uid, type] : ALinks) {
      AOut += "<Link Node=\"";
      AOut.append(number, std::to_chars(number, number + sizeof number, uid).ptr);
      // Finish to start, the type a link has unless it says otherwise, goes without saying.
      if (type != ltFinishToStart) {
        AOut += "\" Type=\"qz:";
        AOut += TaskLinkTypeToText(type).substr(2);
      }
      AOut += "\"/>";
    }
    AOut += "</";
    AOut += AName;
    AOut += '>';
  }

  void NameLosses(const TTask& ATask) {
    const std::string task = "task UID " + std::to_string(ATask.UID) + ": ";
    if (ATask.Recurring) Warn(ATask.Element, task + "a recurring task is kept as one task");
    if (ATask.HasBaseline) Warn(ATask.Element, task + "its baselines are not kept");
    for (const std::string& field : ATask.CustomFields)
      Warn(ATask.Element, task + "the custom field " + field + " is not kept");
    if (ATask.CalendarUID >= 0 && FOtherCalendars.contains(ATask.CalendarUID))
      Warn(ATask.Element, task + "its own calendar (UID " + std::to_string(ATask.CalendarUID) +
                              ") is not kept; it follows the map's calendar");
  }

  void BuildMap(pugi::xml_node AProject) {
    std::string title(Text(Child(AProject, "Title")));
    if (title.empty()) title = Text(Child(AProject, "Name"));
    std::string_view notes;

    // The map's node IDs are the UIDs, so that links and resources find their tasks.
    std::vector<TTask> tasks;
    std::unordered_map<int64_t, size_t> byUID;
    const size_t count = static_cast<size_t>(std::distance(Child(AProject, "Tasks").begin(), Child(AProject, "Tasks").end()));
    tasks.reserve(count);
    byUID.reserve(count);
    int32_t depth = 0;  // of the task read last
    int64_t highest = 0;
    // MS Project puts its project summary (UID 0) on level 0 and the top tasks on 1; other tools
    // leave the summary out and start the top tasks at 0.
    std::optional<int32_t> levelShift;
    for (pugi::xml_node element = Child(AProject, "Tasks").first_child(); element; element = element.next_sibling()) {
      if (!Is(LocalName(element), "Task")) continue;
      TTask& task = tasks.emplace_back();
      ReadTask(element, task);
      if (!levelShift && task.UID != 0) levelShift = task.Level == 0 ? 1 : 0;
      if (task.UID != 0) task.Level += levelShift.value_or(0);
      if (task.UID == 0 || task.Level == 0) {
        // The project's summary task: the map itself.
        if (title.empty()) title = task.Name;
        if (notes.empty()) notes = task.Notes;
        tasks.pop_back();
        continue;
      }
      if (task.IsNull) {
        Warn(element, "task UID " + std::to_string(task.UID) + " is a blank row; left out");
        tasks.pop_back();
        continue;
      }
      if (!byUID.emplace(task.UID, tasks.size() - 1).second)
        FPlaces.Fail(element, "the task UID " + std::to_string(task.UID) + " is used twice");
      if (task.Level > depth + 1) {
        Warn(element, "task UID " + std::to_string(task.UID) + ": its outline level " + std::to_string(task.Level) +
                          " follows level " + std::to_string(depth) + "; it is placed one level below that");
        task.Level = depth + 1;
      }
      depth = task.Level;
      NameLosses(task);
      highest = std::max(highest, task.UID);
    }
    AddLinks(tasks, byUID);
    AddResources(AProject, tasks, byUID);

    std::string& text = FPlan.MapText;
    text.reserve(tasks.size() * 600);
    text.append("<Map Version=\"1\" HighestID=\"").append(std::to_string(highest)).append("\">");
    Element(text, "Title", title);
    if (!notes.empty()) Element(text, "Notes", notes);
    int32_t open = 0;
    for (const TTask& task : tasks) {
      for (; open >= task.Level; --open) text += "</Node>";
      text.append("<Node ID=\"").append(std::to_string(task.UID)).append("\">");
      ++open;
      Element(text, "Title", task.Name);
      if (!task.Notes.empty()) Element(text, "Notes", task.Notes);
      if (!task.Resources.empty()) {
        text += "<Resources>";
        for (const auto& [name, email] : task.Resources) {
          text += "<Resource Name=\"";
          Escaped(text, name);
          if (!email.empty()) text += "\" Email=\"", Escaped(text, email);
          text += "\"/>";
        }
        text += "</Resources>";
      }
      // A summary with nothing of an action is a node without one, as the writer leaves it.
      if (!task.Summary || !task.Start.empty() || !task.Finish.empty() || task.Milestone || task.HasDuration ||
          task.HasComplete)
        WriteAction(text, task);
      WriteLinks(text, "TaskLinks", task.Into);
      WriteLinks(text, "SuccessorTaskLinks", task.OutOf);
    }
    for (; open > 0; --open) text += "</Node>";
    text += "</Map>";
  }

  // Each link stored on both ends: the successor's TaskLinks and the predecessor's SuccessorTaskLinks.
  void AddLinks(std::vector<TTask>& ATasks, const std::unordered_map<int64_t, size_t>& AByUID) {
    for (TTask& task : ATasks) {
      // Texts for messages only: a plan has as many links as tasks, and almost none needs one.
      const auto about = [&] { return "task UID " + std::to_string(task.UID) + ": "; };
      for (pugi::xml_node link : task.Links) {
        // The parts of the link in one pass over it: a plan has as many links as tasks.
        std::string_view uidText, crossProject, typeText, lag;
        for (pugi::xml_node part = link.first_child(); part; part = part.next_sibling()) {
          if (part.type() != pugi::node_element) continue;
          const std::string_view name = LocalName(part);
          std::string_view* field = Is(name, "PredecessorUID") ? &uidText
                                    : Is(name, "Type")           ? &typeText
                                    : Is(name, "LinkLag")        ? &lag
                                    : Is(name, "CrossProject")   ? &crossProject
                                                                 : nullptr;
          if (field && field->data() == nullptr) *field = Text(part);  // the first, as a lookup by name finds
        }
        const auto uid = Integer(uidText);
        if (!uid) FPlaces.Fail(link, about() + "a PredecessorLink without a PredecessorUID");
        const auto from = [&] { return about() + "the link from UID " + std::to_string(*uid); };
        if (crossProject == "1") {
          Warn(link, from() + " leads to another project; left out");
          continue;
        }
        const auto predecessor = AByUID.find(*uid);
        if (predecessor == AByUID.end() || *uid == task.UID) {
          Warn(link, about() + "the predecessor UID " + std::to_string(*uid) +
                         (*uid == task.UID ? " is the task itself" : " names no task") + "; link left out");
          continue;
        }
        if (std::ranges::find(task.Into, *uid, &std::pair<int64_t, TTaskLinkType>::first) != task.Into.end()) {
          Warn(link, from() + " is there twice; kept once");
          continue;
        }
        const auto code = typeText.empty() ? std::optional<int64_t>(1) : Integer(typeText);
        const auto type = code ? LinkTypeFromMspdi(static_cast<int>(*code)) : std::nullopt;
        if (!type) FPlaces.Fail(link, about() + "the link type '" + std::string(typeText) + "' is none of 0 to 3");
        if (!lag.empty() && Integer(lag).value_or(1) != 0)
          Warn(link, from() + " has a lag (" + std::string(lag) + " tenths of a minute) that the map cannot "
                                "hold; the link is kept without it");
        task.Into.emplace_back(*uid, *type);
        ATasks[predecessor->second].OutOf.emplace_back(task.UID, *type);
      }
    }
  }

  void AddResources(pugi::xml_node AProject, std::vector<TTask>& ATasks, const std::unordered_map<int64_t, size_t>& AByUID) {
    std::unordered_map<int64_t, std::pair<std::string, std::string>> resources;
    for (pugi::xml_node resource = Child(AProject, "Resources").first_child(); resource;
         resource = resource.next_sibling()) {
      if (LocalName(resource) != "Resource") continue;
      const auto uid = Integer(Text(Child(resource, "UID")));
      if (!uid) FPlaces.Fail(resource, "a resource without a UID");
      const std::string name(Text(Child(resource, "Name")));
      if (*uid == 0 && name.empty()) continue;  // the placeholder for "unassigned"
      resources[*uid] = {name, std::string(Text(Child(resource, "EmailAddress")))};
      if (const auto calendar = Integer(Text(Child(resource, "CalendarUID")));
          calendar && FOtherCalendars.contains(*calendar) && ResourceCalendarHasOwnTime(FOtherCalendars[*calendar]))
        Warn(resource, "resource UID " + std::to_string(*uid) + " (" + name + "): its own calendar is not kept");
    }
    for (pugi::xml_node assignment = Child(AProject, "Assignments").first_child(); assignment;
         assignment = assignment.next_sibling()) {
      if (LocalName(assignment) != "Assignment") continue;
      const auto task = Integer(Text(Child(assignment, "TaskUID")));
      const auto resource = Integer(Text(Child(assignment, "ResourceUID")));
      if (!task || !resource) FPlaces.Fail(assignment, "an assignment needs a TaskUID and a ResourceUID");
      const auto who = resources.find(*resource);
      if (who == resources.end()) {
        if (*resource >= 0) Warn(assignment, "task UID " + std::to_string(*task) + ": the resource UID " +
                                                 std::to_string(*resource) + " names no resource; left out");
        continue;
      }
      const auto node = AByUID.find(*task);
      if (node == AByUID.end()) {
        Warn(assignment, "resource UID " + std::to_string(*resource) + " is assigned to task UID " +
                             std::to_string(*task) + ", which is no task of the map; left out");
        continue;
      }
      ATasks[node->second].Resources.push_back(who->second);
    }
  }

  // A resource calendar that only points at the base calendar adds nothing the map loses.
  static bool ResourceCalendarHasOwnTime(pugi::xml_node ACalendar) {
    for (pugi::xml_node day = Child(ACalendar, "WeekDays").first_child(); day; day = day.next_sibling())
      if (LocalName(day) == "WeekDay") return true;
    return static_cast<bool>(Child(Child(ACalendar, "Exceptions"), "Exception"));
  }

  const std::string& FText;
  std::string FName;
  TPlaces FPlaces;
  pugi::xml_document FDocument;
  TMspdiPlan FPlan;
  int32_t FMinutesPerDay = 480;
  std::unordered_map<int64_t, pugi::xml_node> FOtherCalendars;
  TWorkingCalendar FCalendar;
};

}  // namespace

TMspdiPlan ReadMspdiPlan(const std::string& AText, const std::string& AName) { return TReader(AText, AName).Read(); }

std::unique_ptr<TLumetaMap> MspdiPlanToMap(const TMspdiPlan& APlan, TLumetaXmlArchive& AArchive,
                                           const std::string& AName) {
  std::unique_ptr<TLumetaMap> map = AArchive.LoadFromText(APlan.MapText, AName);
  TLumetaMapSettings* settings = map->MapSettings();
  TMapCalendar calendar;
  calendar.WorkingDays = APlan.WorkingDays;
  for (const auto& [start, finish] : APlan.WorkingPeriods) calendar.WorkingPeriods.push_back({start, finish});
  calendar.Holidays = APlan.Holidays;
  calendar.ScheduleStart = APlan.ScheduleStart;
  settings->SetCalendar(calendar);
  // A plan from a planning tool is a scheduled one: summaries show their subtasks' dates.
  settings->SetTaskScheduling(true);
  return map;
}

std::vector<std::string> ImportMspdiFile(TMapDocument& ADocument, const std::string& APath) {
  TLumetaMap& target = ADocument.Model()->Map();
  if (!target.Root()->Children().empty())
    throw ELumetaError("import builds a new map, and this one holds nodes: start lumeta without a map file, import, "
                       "then save");
  const std::string text = ReadRegularFile(APath, KMaxFileSize);
  TMspdiPlan plan = ReadMspdiPlan(text, APath);
  TLumetaXmlArchive archive;
  for (const ComPtr<IPropertyManager>& manager : ADocument.Loader().Managers()) archive.RegisterManager(manager.get());
  std::unique_ptr<TLumetaMap> map = MspdiPlanToMap(plan, archive, APath);
  target.Swap(*map);
  target.SettleDefaultScheduleStart(LocaleService().Today());
  // The plan is in no map file yet: closing asks to save it.
  ADocument.Model()->Processor()->MarkUnsaved();
  for (const std::string& warning : archive.Warnings()) plan.Warnings.push_back(warning);
  return std::move(plan.Warnings);
}
