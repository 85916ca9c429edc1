#pragma once
// Reads an MS Project XML (MSPDI) file into a map: the tree from the outline levels, an action per
// task, the task links with their types, the base calendar as the map's calendar, the resources on
// their tasks. What the map cannot hold (link lags, resource calendars, baselines, custom fields,
// recurring tasks) is named in warnings with the task's UID; a file that is not well-formed MSPDI
// is refused with its place ("file:line:column: reason", EArchiveError) and gives no map.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TLumetaMap;
class TLumetaXmlArchive;
class TMapDocument;

struct TMspdiPlan {
  // The plan in the map file format, with the calendar apart: the archive reads the one, the map
  // settings take the other.
  std::string MapText;
  uint8_t WorkingDays = 0;
  std::vector<std::pair<int32_t, int32_t>> WorkingPeriods;  // minutes after midnight
  std::vector<double> Holidays;
  double ScheduleStart = 0;
  std::vector<std::string> Warnings;
};

// AName stands for the file in messages.
TMspdiPlan ReadMspdiPlan(const std::string& AText, const std::string& AName);
// The plan as a map of its own, read by AArchive (which knows the plug-in's property managers).
std::unique_ptr<TLumetaMap> MspdiPlanToMap(const TMspdiPlan& APlan, TLumetaXmlArchive& AArchive,
                                           const std::string& AName);

// Builds the document's map, which must hold no node yet (ELumetaError, nothing changed), from
// the file; answers the warnings.
std::vector<std::string> ImportMspdiFile(TMapDocument& ADocument, const std::string& APath);
