#include "exchange/MspdiWriter.h"

#include <cmath>
#include <map>
#include <sstream>
#include <tuple>
#include <utility>

#include <pugixml.hpp>

#include "com/AtomicFile.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "contract/ActionVocabulary.h"
#include "exchange/MspdiFormat.h"
#include "exchange/PlanRows.h"
#include "host/LumetaMapSettings.h"

namespace {

// The status SetComplete gives a percentage; another stored status travels as a text field.
std::string StatusOfComplete(int32_t AComplete) {
  return AComplete >= 100 ? KStatusCompleted : AComplete > 0 ? KStatusInProgress : KStatusNotStarted;
}

class TWriter {
 public:
  explicit TWriter(TLumetaMap& AMap) : FMap(AMap), FSettings(*AMap.MapSettings()) {
    FMinutesPerDay = FSettings.WorkingMinutesPerDay();
  }

  std::string Text() {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    declaration.append_attribute("standalone") = "yes";
    pugi::xml_node project = document.append_child("Project");
    project.append_attribute("xmlns") = KMspdiNamespace;
    WriteProject(project);
    std::ostringstream out;
    document.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return std::move(out).str();
  }

 private:
  static void Put(pugi::xml_node AParent, const char* AName, const std::string& AText) {
    AParent.append_child(AName).text().set(AText.c_str());
  }
  static void Put(pugi::xml_node AParent, const char* AName, int64_t AValue) {
    AParent.append_child(AName).text().set(static_cast<long long>(AValue));
  }
  static void PutDate(pugi::xml_node AParent, const char* AName, double ADate) {
    if (!IsDateToShow(ADate)) return;
    char text[KXmlDateTimeChars];
    // Whole seconds: the format has no fractions.
    const double rounded = std::round(ADate * 86400.0) / 86400.0;
    *PutXmlDateTime(rounded, text) = '\0';
    AParent.append_child(AName).text().set(text);
  }
  static std::string TimeText(int32_t AMinute) {
    const std::string hours = std::to_string(AMinute / 60), minutes = std::to_string(AMinute % 60);
    return (hours.size() < 2 ? "0" : "") + hours + ':' + (minutes.size() < 2 ? "0" : "") + minutes + ":00";
  }
  int64_t WorkingSeconds(double ADays) const { return std::llround(ADays * FMinutesPerDay * 60.0); }

  void WriteProject(pugi::xml_node AProject) {
    const std::string title = FMap.Root()->Title();
    Put(AProject, "SaveVersion", 14);
    Put(AProject, "Name", title);
    Put(AProject, "Title", title);
    Put(AProject, "ScheduleFromStart", 1);
    PutDate(AProject, "StartDate", FSettings.EffectiveScheduleStart());
    Put(AProject, "CalendarUID", 1);
    const std::vector<TWorkingPeriod>& periods = FSettings.WorkingPeriods();
    Put(AProject, "DefaultStartTime", TimeText(periods.front().Start));
    Put(AProject, "DefaultFinishTime", TimeText(periods.back().Finish));
    Put(AProject, "MinutesPerDay", FMinutesPerDay);
    int days = 0;
    for (int bit = 0; bit < 7; ++bit) days += (FSettings.WorkingDays() >> bit) & 1;
    Put(AProject, "MinutesPerWeek", int64_t{FMinutesPerDay} * days);
    Put(AProject, "DaysPerMonth", 20);
    Put(AProject, "DefaultTaskType", 1);  // fixed duration: the map schedules by duration

    pugi::xml_node fields = AProject.append_child("ExtendedAttributes");
    for (const auto& [id, name, alias] : {std::tuple{KPriorityFieldID, "Text1", "Priority"},
                                          std::tuple{KStatusFieldID, "Text2", "Status"}}) {
      pugi::xml_node field = fields.append_child("ExtendedAttribute");
      Put(field, "FieldID", id);
      Put(field, "FieldName", name);
      Put(field, "Alias", alias);
    }
    WriteCalendar(AProject.append_child("Calendars").append_child("Calendar"));
    WriteTasks(AProject.append_child("Tasks"));
    WriteResources(AProject);
  }

  void WriteCalendar(pugi::xml_node ACalendar) {
    Put(ACalendar, "UID", 1);
    Put(ACalendar, "Name", "Standard");
    Put(ACalendar, "IsBaseCalendar", 1);
    Put(ACalendar, "BaseCalendarUID", -1);
    pugi::xml_node weekDays = ACalendar.append_child("WeekDays");
    // MSPDI counts the days from Sunday (1) to Saturday (7); the mask has Monday as bit 0.
    for (int dayType = 1; dayType <= 7; ++dayType) {
      const int isoDay = dayType == 1 ? 7 : dayType - 1;
      const bool working = FSettings.IsWorkingWeekDay(isoDay);
      pugi::xml_node day = weekDays.append_child("WeekDay");
      Put(day, "DayType", dayType);
      Put(day, "DayWorking", working ? 1 : 0);
      if (!working) continue;
      pugi::xml_node times = day.append_child("WorkingTimes");
      for (const TWorkingPeriod& period : FSettings.WorkingPeriods()) {
        pugi::xml_node time = times.append_child("WorkingTime");
        Put(time, "FromTime", TimeText(period.Start));
        Put(time, "ToTime", TimeText(period.Finish % 1440));
      }
    }
    // Holidays twice: as day-type 0 week days, which older readers know, and as exceptions.
    for (const double holiday : FSettings.Holidays()) {
      pugi::xml_node day = weekDays.append_child("WeekDay");
      Put(day, "DayType", 0);
      Put(day, "DayWorking", 0);
      pugi::xml_node period = day.append_child("TimePeriod");
      PutDate(period, "FromDate", holiday);
      PutDate(period, "ToDate", holiday + 1439.0 / 1440);
    }
    if (FSettings.Holidays().empty()) return;
    pugi::xml_node exceptions = ACalendar.append_child("Exceptions");
    for (const double holiday : FSettings.Holidays()) {
      pugi::xml_node exception = exceptions.append_child("Exception");
      Put(exception, "EnteredByOccurrences", 0);
      pugi::xml_node period = exception.append_child("TimePeriod");
      PutDate(period, "FromDate", holiday);
      PutDate(period, "ToDate", holiday + 1439.0 / 1440);
      Put(exception, "Occurrences", 1);
      Put(exception, "Name", "Holiday");
      Put(exception, "Type", 1);
      Put(exception, "DayWorking", 0);
    }
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

  void WriteTasks(pugi::xml_node ATasks) {
    pugi::xml_node summary = ATasks.append_child("Task");
    Put(summary, "UID", 0);
    Put(summary, "ID", 0);
    Put(summary, "Name", FMap.Root()->Title());
    Put(summary, "OutlineNumber", "0");
    Put(summary, "OutlineLevel", 0);
    Put(summary, "Summary", 1);
    if (const std::string& notes = FMap.Root()->ReadHostData().Notes; !notes.empty()) Put(summary, "Notes", notes);

    FRows = PlanRows(FMap);
    const std::vector<bool> kept = KeptRows(FRows);
    for (size_t i = 0; i < FRows.size(); ++i)
      if (kept[i]) WriteTask(ATasks.append_child("Task"), FRows[i]);
  }

  void WriteTask(pugi::xml_node ATask, const TPlanRow& ARow) {
    TLumetaNode* node = ARow.Node;
    IActionAttribute* action = ARow.Action.get();
    Put(ATask, "UID", node->ID());
    Put(ATask, "ID", node->ID());
    Put(ATask, "Name", node->Title());
    Put(ATask, "Type", 1);
    Put(ATask, "WBS", ARow.OutlineNumber);
    Put(ATask, "OutlineNumber", ARow.OutlineNumber);
    Put(ATask, "OutlineLevel", ARow.Depth);
    const std::string priority = action ? action->GetPriority() : std::string();
    Put(ATask, "Priority", MspdiPriority(priority));
    if (action) {
      PutDate(ATask, "Start", action->GetStartDate());
      PutDate(ATask, "Finish", action->GetCompletedDate());
      Put(ATask, "Duration", MspdiDuration(WorkingSeconds(action->GetDurationInDays())));
      Put(ATask, "DurationFormat", MspdiFormatOfMeasure(action->GetDurationMeasure()));
      const double work = action->GetWork();
      const int32_t workMeasure = action->GetWorkMeasure();
      const double workSeconds = workMeasure == amDays      ? work * FMinutesPerDay * 60.0
                                 : workMeasure == amMinutes ? work * 60.0
                                                            : work * 3600.0;
      Put(ATask, "Work", MspdiDuration(std::llround(workSeconds)));
    }
    Put(ATask, "Milestone", action && action->GetIsMilestone() ? 1 : 0);
    Put(ATask, "Summary", node->HasChildren() ? 1 : 0);
    if (action) {
      Put(ATask, "PercentComplete", action->GetComplete());
      Put(ATask, "Cost", ShortestFloatText(action->GetCost()));
      const TTaskConstraintType constraint = action->GetConstraintType();
      Put(ATask, "ConstraintType", KMspdiConstraintTypes.at(constraint));
      if (constraint != tcAsSoonAsPossible && constraint != tcAsLateAsPossible)
        PutDate(ATask, "ConstraintDate", action->GetConstraintDate());
      PutDate(ATask, "Deadline", action->GetDueDate());
    }
    if (const std::string& notes = node->ReadHostData().Notes; !notes.empty()) Put(ATask, "Notes", notes);
    for (const TPlanLink& link : ARow.Predecessors) {
      pugi::xml_node predecessor = ATask.append_child("PredecessorLink");
      Put(predecessor, "PredecessorUID", link.NodeID);
      Put(predecessor, "Type", KMspdiLinkTypes.at(link.Type));
      Put(predecessor, "CrossProject", 0);
      Put(predecessor, "LinkLag", 0);
      Put(predecessor, "LagFormat", KMspdiDays);
    }
    if (!action) return;
    if (PriorityFromMspdi(MspdiPriority(priority)) != priority) PutField(ATask, KPriorityFieldID, priority);
    if (const std::string status = action->GetStatus(); status != StatusOfComplete(action->GetComplete()))
      PutField(ATask, KStatusFieldID, status);
  }

  static void PutField(pugi::xml_node ATask, const char* AFieldID, const std::string& AValue) {
    pugi::xml_node field = ATask.append_child("ExtendedAttribute");
    Put(field, "FieldID", AFieldID);
    Put(field, "Value", AValue);
  }

  void WriteResources(pugi::xml_node AProject) {
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
    pugi::xml_node list = AProject.append_child("Resources");
    for (size_t i = 0; i < resources.size(); ++i) {
      pugi::xml_node resource = list.append_child("Resource");
      Put(resource, "UID", static_cast<int64_t>(i) + 1);
      Put(resource, "ID", static_cast<int64_t>(i) + 1);
      Put(resource, "Name", resources[i].first);
      Put(resource, "Type", 1);  // work
      if (!resources[i].second.empty()) Put(resource, "EmailAddress", resources[i].second);
    }
    pugi::xml_node links = AProject.append_child("Assignments");
    for (size_t i = 0; i < assignments.size(); ++i) {
      pugi::xml_node assignment = links.append_child("Assignment");
      Put(assignment, "UID", static_cast<int64_t>(i) + 1);
      Put(assignment, "TaskUID", assignments[i].first);
      Put(assignment, "ResourceUID", assignments[i].second);
      Put(assignment, "Units", 1);
    }
  }

  TLumetaMap& FMap;
  TLumetaMapSettings& FSettings;
  int32_t FMinutesPerDay = 480;
  std::vector<TPlanRow> FRows;
};

}  // namespace

std::string MspdiText(TLumetaMap& AMap) { return TWriter(AMap).Text(); }

void WriteMspdiFile(TLumetaMap& AMap, const std::string& APath) {
  const std::string text = MspdiText(AMap);
  TAtomicFile file(APath);
  file.Write(text);
  file.Commit();
}
