#include "exchange/MspdiWriter.h"

#include <charconv>
#include <cmath>
#include <map>
#include <tuple>
#include <utility>

#include "com/AtomicFile.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "contract/ActionVocabulary.h"
#include "exchange/MspdiFormat.h"
#include "exchange/PlanRows.h"
#include "host/LumetaMapSettings.h"
#include "host/xml/XmlPrinter.h"

namespace {

// The status SetComplete gives a percentage; another stored status travels as a text field.
std::string StatusOfComplete(int32_t AComplete) {
  return AComplete >= 100 ? KStatusCompleted : AComplete > 0 ? KStatusInProgress : KStatusNotStarted;
}

// Streams the plan straight into text, in the layout pugixml gives a document indented by two
// spaces: building the document first cost as much again as writing it.
class TWriter {
 public:
  explicit TWriter(TLumetaMap& AMap, std::string& AOut)
      : FMap(AMap), FSettings(*AMap.MapSettings()), FOut(AOut, nullptr, nullptr) {
    FMinutesPerDay = FSettings.WorkingMinutesPerDay();
  }

  void Write() {
    FOut.Declaration(true);
    FOut.Open("Project");
    FOut.Attribute("xmlns", KMspdiNamespace);
    WriteProject();
    FOut.Close();
    FOut.Finish();
  }

 private:
  void Put(const char* AName, const std::string& AText) { FOut.Leaf(AName, AText.c_str()); }
  template <size_t N>
  void Put(const char* AName, const char (&AText)[N]) { FOut.Leaf(AName, AText); }
  void Put(const char* AName, int64_t AValue) {
    char text[24];
    *std::to_chars(text, text + sizeof text - 1, AValue).ptr = '\0';
    FOut.Leaf(AName, text);
  }
  void PutDate(const char* AName, double ADate) {
    if (!IsDateToShow(ADate)) return;
    char text[KXmlDateTimeChars + 1];
    // Whole seconds: the format has no fractions.
    const double rounded = std::round(ADate * 86400.0) / 86400.0;
    *PutXmlDateTime(rounded, text) = '\0';
    FOut.Leaf(AName, text);
  }
  static std::string TimeText(int32_t AMinute) {
    const std::string hours = std::to_string(AMinute / 60), minutes = std::to_string(AMinute % 60);
    return (hours.size() < 2 ? "0" : "") + hours + ':' + (minutes.size() < 2 ? "0" : "") + minutes + ":00";
  }
  int64_t WorkingSeconds(double ADays) const { return std::llround(ADays * FMinutesPerDay * 60.0); }

  void WriteProject() {
    const std::string title = FMap.Root()->Title();
    Put("SaveVersion", 14);
    Put("Name", title);
    Put("Title", title);
    Put("ScheduleFromStart", 1);
    PutDate("StartDate", FSettings.EffectiveScheduleStart());
    Put("CalendarUID", 1);
    const std::vector<TWorkingPeriod>& periods = FSettings.WorkingPeriods();
    Put("DefaultStartTime", TimeText(periods.front().Start));
    Put("DefaultFinishTime", TimeText(periods.back().Finish));
    Put("MinutesPerDay", FMinutesPerDay);
    int days = 0;
    for (int bit = 0; bit < 7; ++bit) days += (FSettings.WorkingDays() >> bit) & 1;
    Put("MinutesPerWeek", int64_t{FMinutesPerDay} * days);
    Put("DaysPerMonth", 20);
    Put("DefaultTaskType", 1);  // fixed duration: the map schedules by duration

    FOut.Open("ExtendedAttributes");
    for (const auto& [id, name, alias] : {std::tuple{KPriorityFieldID, "Text1", "Priority"},
                                          std::tuple{KStatusFieldID, "Text2", "Status"}}) {
      FOut.Open("ExtendedAttribute");
      FOut.Leaf("FieldID", id);
      FOut.Leaf("FieldName", name);
      FOut.Leaf("Alias", alias);
      FOut.Close();
    }
    FOut.Close();
    FOut.Open("Calendars");
    FOut.Open("Calendar");
    WriteCalendar();
    FOut.Close();
    FOut.Close();
    FOut.Open("Tasks");
    WriteTasks();
    FOut.Close();
    WriteResources();
  }

  void WriteHoliday(double AHoliday) {
    FOut.Open("TimePeriod");
    PutDate("FromDate", AHoliday);
    PutDate("ToDate", AHoliday + 1439.0 / 1440);
    FOut.Close();
  }

  void WriteCalendar() {
    Put("UID", 1);
    Put("Name", "Standard");
    Put("IsBaseCalendar", 1);
    Put("BaseCalendarUID", -1);
    FOut.Open("WeekDays");
    // MSPDI counts the days from Sunday (1) to Saturday (7); the mask has Monday as bit 0.
    for (int dayType = 1; dayType <= 7; ++dayType) {
      const int isoDay = dayType == 1 ? 7 : dayType - 1;
      const bool working = FSettings.IsWorkingWeekDay(isoDay);
      FOut.Open("WeekDay");
      Put("DayType", dayType);
      Put("DayWorking", working ? 1 : 0);
      if (working) {
        FOut.Open("WorkingTimes");
        for (const TWorkingPeriod& period : FSettings.WorkingPeriods()) {
          FOut.Open("WorkingTime");
          Put("FromTime", TimeText(period.Start));
          Put("ToTime", TimeText(period.Finish % 1440));
          FOut.Close();
        }
        FOut.Close();
      }
      FOut.Close();
    }
    // Holidays twice: as day-type 0 week days, which older readers know, and as exceptions.
    for (const double holiday : FSettings.Holidays()) {
      FOut.Open("WeekDay");
      Put("DayType", 0);
      Put("DayWorking", 0);
      WriteHoliday(holiday);
      FOut.Close();
    }
    FOut.Close();
    if (FSettings.Holidays().empty()) return;
    FOut.Open("Exceptions");
    for (const double holiday : FSettings.Holidays()) {
      FOut.Open("Exception");
      Put("EnteredByOccurrences", 0);
      WriteHoliday(holiday);
      Put("Occurrences", 1);
      Put("Name", "Holiday");
      Put("Type", 1);
      Put("DayWorking", 0);
      FOut.Close();
    }
    FOut.Close();
  }

  // Whether a node without an action stands for the tasks below it.
  static std::vector<bool> KeptRows(const std::vector<TPlanRow>& ARows) {
    std::vector<bool> kept(ARows.size(), false);
    // From the last row back: a row is kept when it has an action or a kept row below it.
    std::vector<bool> below;  // per depth: a kept row seen below the current one
    for (size_t i = ARows.size(); i-- > 0;) {
      const size_t depth = static_cast<size_t>(ARows[i].Depth);
      if (below.size() < depth + 2) below.resize(depth + 2, false);
      kept[i] = ARows[i].Action || below[depth + 1];
      below[depth + 1] = false;
      if (kept[i]) below[depth] = true;
    }
    return kept;
  }

  void WriteTasks() {
    FOut.Open("Task");
    Put("UID", 0);
    Put("ID", 0);
    Put("Name", FMap.Root()->Title());
    Put("OutlineNumber", "0");
    Put("OutlineLevel", 0);
    Put("Summary", 1);
    if (const std::string& notes = FMap.Root()->ReadHostData().Notes; !notes.empty()) Put("Notes", notes);
    FOut.Close();

    FRows = PlanRows(FMap);
    const std::vector<bool> kept = KeptRows(FRows);
    for (size_t i = 0; i < FRows.size(); ++i)
      if (kept[i]) WriteTask(FRows[i]);
  }

  void WriteTask(const TPlanRow& ARow) {
    TLumetaNode* node = ARow.Node;
    IActionAttribute* action = ARow.Action.get();
    FOut.Open("Task");
    Put("UID", node->ID());
    Put("ID", node->ID());
    Put("Name", node->Title());
    Put("Type", 1);
    Put("WBS", ARow.OutlineNumber);
    Put("OutlineNumber", ARow.OutlineNumber);
    Put("OutlineLevel", ARow.Depth);
    const std::string priority = action ? action->GetPriority() : std::string();
    Put("Priority", MspdiPriority(priority));
    if (action) {
      PutDate("Start", action->GetStartDate());
      PutDate("Finish", action->GetCompletedDate());
      Put("Duration", MspdiDuration(WorkingSeconds(action->GetDurationInDays())));
      Put("DurationFormat", MspdiFormatOfMeasure(action->GetDurationMeasure()));
      const double work = action->GetWork();
      const int32_t workMeasure = action->GetWorkMeasure();
      const double workSeconds = workMeasure == amDays      ? work * FMinutesPerDay * 60.0
                                 : workMeasure == amMinutes ? work * 60.0
                                                            : work * 3600.0;
      Put("Work", MspdiDuration(std::llround(workSeconds)));
    }
    Put("Milestone", action && action->GetIsMilestone() ? 1 : 0);
    Put("Summary", node->HasChildren() ? 1 : 0);
    if (action) {
      Put("PercentComplete", action->GetComplete());
      Put("Cost", ShortestFloatText(action->GetCost()));
      const TTaskConstraintType constraint = action->GetConstraintType();
      Put("ConstraintType", KMspdiConstraintTypes.at(constraint));
      if (constraint != tcAsSoonAsPossible && constraint != tcAsLateAsPossible)
        PutDate("ConstraintDate", action->GetConstraintDate());
      PutDate("Deadline", action->GetDueDate());
    }
    if (const std::string& notes = node->ReadHostData().Notes; !notes.empty()) Put("Notes", notes);
    for (const TPlanLink& link : ARow.Predecessors) {
      FOut.Open("PredecessorLink");
      Put("PredecessorUID", link.NodeID);
      Put("Type", KMspdiLinkTypes.at(link.Type));
      Put("CrossProject", 0);
      Put("LinkLag", 0);
      Put("LagFormat", KMspdiDays);
      FOut.Close();
    }
    if (action) {
      if (PriorityFromMspdi(MspdiPriority(priority)) != priority) PutField(KPriorityFieldID, priority);
      if (const std::string status = action->GetStatus(); status != StatusOfComplete(action->GetComplete()))
        PutField(KStatusFieldID, status);
    }
    FOut.Close();
  }

  void PutField(const char* AFieldID, const std::string& AValue) {
    FOut.Open("ExtendedAttribute");
    FOut.Leaf("FieldID", AFieldID);
    Put("Value", AValue);
    FOut.Close();
  }

  void WriteResources() {
    // One resource per name and address, numbered in the order the tree first meets them.
    std::map<std::pair<std::string, std::string>, int64_t> uids;
    std::vector<std::pair<std::string, std::string>> resources;
    std::vector<std::pair<int64_t, int64_t>> assignments;  // task, resource
    for (const TPlanRow& row : FRows)
      for (const auto& resource : row.Node->ReadHostData().Resources) {
        auto [at, added] = uids.try_emplace(resource, static_cast<int64_t>(resources.size()) + 1);
        if (added) resources.push_back(resource);
        assignments.emplace_back(row.Node->ID(), at->second);
      }
    FOut.Open("Resources");
    for (size_t i = 0; i < resources.size(); ++i) {
      FOut.Open("Resource");
      Put("UID", static_cast<int64_t>(i) + 1);
      Put("ID", static_cast<int64_t>(i) + 1);
      Put("Name", resources[i].first);
      Put("Type", 1);  // work
      if (!resources[i].second.empty()) Put("EmailAddress", resources[i].second);
      FOut.Close();
    }
    FOut.Close();
    FOut.Open("Assignments");
    for (size_t i = 0; i < assignments.size(); ++i) {
      FOut.Open("Assignment");
      Put("UID", static_cast<int64_t>(i) + 1);
      Put("TaskUID", assignments[i].first);
      Put("ResourceUID", assignments[i].second);
      Put("Units", 1);
      FOut.Close();
    }
    FOut.Close();
  }

  TLumetaMap& FMap;
  TLumetaMapSettings& FSettings;
  xml_archive::TXmlPrinter FOut;
  int32_t FMinutesPerDay = 480;
  std::vector<TPlanRow> FRows;
};

}  // namespace

std::string MspdiText(TLumetaMap& AMap) {
  std::string text;
  TWriter(AMap, text).Write();
  return text;
}

void WriteMspdiFile(TLumetaMap& AMap, const std::string& APath) {
  const std::string text = MspdiText(AMap);
  TAtomicFile file(APath);
  file.Write(text);
  file.Commit();
}
