// Exporting 10,000 actions into an empty task store, against libical alone writing the same
// 10,000 VTODO files the same way (atomic replace, one flush at the end). Prints tasks per second
// and the ratio against the target.
#include <libical/ical.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/BenchClock.h"
#include "com/AtomicFile.h"
#include "com/OleDate.h"
#include "commands/SelectionData.h"
#include "host/LumetaModel.h"
#include "host/tasks/TaskProgram.h"
#include "outlook/ActionOutlookExporter.h"
#include "outlook/ExportActionsOptions.h"
#include "plugin/ActionHelpers.h"
#include "settings/AutomationServers.h"
#include "tests/support/InProcessPlugIn.h"

namespace {

constexpr int KTasks = 10'000;
constexpr double KTarget = 3.0;

std::string Temporary(const char* AName) {
  std::string path = (std::filesystem::temp_directory_path() / AName).string() + ".XXXXXX";
  if (!mkdtemp(path.data())) std::perror("mkdtemp");
  return path;
}

// The same properties the task program writes for an exported action.
void WriteWithLibical(const std::string& AFolder) {
  std::filesystem::create_directories(AFolder);
  const icaltimetype now = icaltime_current_time_with_zone(icaltimezone_get_utc_timezone());
  for (int i = 0; i < KTasks; ++i) {
    icalcomponent* calendar = icalcomponent_new_vcalendar();
    icalcomponent_add_property(calendar, icalproperty_new_prodid("-//bench//EN"));
    icalcomponent_add_property(calendar, icalproperty_new_version("2.0"));
    icalcomponent* todo = icalcomponent_new_vtodo();
    const std::string uid = "bench-" + std::to_string(i);
    icalcomponent_add_property(todo, icalproperty_new_created(now));
    icalcomponent_add_property(todo, icalproperty_new_uid(uid.c_str()));
    icalcomponent_add_property(todo, icalproperty_new_dtstamp(now));
    icalcomponent_add_property(todo, icalproperty_new_lastmodified(now));
    icalcomponent_add_property(todo, icalproperty_new_sequence(0));
    icalcomponent_add_property(todo, icalproperty_new_summary(("Branch->Task " + std::to_string(i)).c_str()));
    icalcomponent_add_property(todo, icalproperty_new_description("Notes of the task"));
    icalcomponent_add_property(todo, icalproperty_new_categories("Work"));
    icalcomponent_add_property(todo, icalproperty_new_status(ICAL_STATUS_INPROCESS));
    icalcomponent_add_property(todo, icalproperty_new_priority(1));
    icalcomponent_add_property(todo, icalproperty_new_percentcomplete(40));
    icaltimetype day = icaltime_null_date();
    day.year = 2026, day.month = 3, day.day = 2;
    icalcomponent_add_property(todo, icalproperty_new_dtstart(day));
    day.day = 6;
    icalcomponent_add_property(todo, icalproperty_new_due(day));
    icalcomponent_add_component(calendar, todo);
    char* text = icalcomponent_as_ical_string_r(calendar);
    WriteFileAtomically(AFolder + "/" + uid + ".ics", text, TFlush::Deferred);
    std::free(text);
    icalcomponent_free(calendar);
  }
  SyncFileSystem(AFolder);
}

}  // namespace

int main() {
  const std::string settings = Temporary("lumeta-bench-settings");
  const std::string store = Temporary("lumeta-bench-store");
  const std::string plain = Temporary("lumeta-bench-libical");
  SetSettingsFolder(settings);
  setenv(TaskProgramFolderVariable, store.c_str(), 1);
  RegisterAutomationServer(TaskProgramEntry(LUMETA_TASKPROGRAM_LIBRARY));

  TLumetaXmlArchive archive;
  TInProcessPlugIn plugIn{archive};
  ComPtr<TLumetaModel> model = make<TLumetaModel>();
  TLumetaMap& map = model->Map();
  TLumetaNode* branch = map.AddNode(map.Root(), "Branch");
  for (int i = 0; i < KTasks; ++i) {
    TLumetaNode* node = map.AddNode(branch, "Task " + std::to_string(i));
    node->HostData().Notes = "Notes of the task";
    node->HostData().Categories = {"Work"};
    ComPtr<IActionAttribute> action = TActionHelper::GetAction(node, true);
    action->SetIsAction(true);
    action->SetComplete(40);
    action->SetPriority("High");
    action->SetStartDate(EncodeDate(2026, 3, 2));
    action->SetDueDate(EncodeDate(2026, 3, 6));
  }
  auto options = make<TExportActionsOutlookOptions>();
  options->SetExportRange(erEntireMap);
  options->SetIncludeProperties(eiNotes | eiCategories | eiStatus | eiPriority | eiPercentComplete | eiStartDate |
                                eiDueDate | eiFullTitlePath);

  auto start = TClock::now();
  TActionOutlookExporter exporter;
  const int32_t exported = exporter.ExportActions(options.get(), nullptr, model.get());
  const double exportTime = SecondsSince(start);
  start = TClock::now();
  WriteWithLibical(plain);
  const double libicalTime = SecondsSince(start);

  const double ratio = exportTime / libicalTime;
  std::printf("export: %d tasks in %.2f s, %.0f tasks/s (libical alone: %.2f s, %.0f tasks/s)\n", exported, exportTime,
              exported / exportTime, libicalTime, KTasks / libicalTime);
  std::printf("export / libical alone: %.2fx (target <= %.0fx): %s\n", ratio, KTarget, ratio <= KTarget ? "met" : "MISSED");
  model->Close();
  RevokeActiveObject(TaskProgramClassID);
  for (const std::string& folder : {settings, store, plain}) std::filesystem::remove_all(folder);
  return exported == KTasks ? 0 : 1;
}
