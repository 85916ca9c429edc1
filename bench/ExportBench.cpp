// Exporting 10,000 actions into an empty task store, against libical alone writing the same
// 10,000 VTODO files the same way (atomic replace, one flush at the end); then the update path: every
// action changed and exported again, against libical alone reading, changing and writing back the
// same 10,000 files. Prints tasks per second and the ratios against the target.
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

// What an update changes in a task, on a VTODO read back from its file.
void UpdateWithLibical(const std::string& AFolder) {
  const icaltimetype now = icaltime_current_time_with_zone(icaltimezone_get_utc_timezone());
  for (int i = 0; i < KTasks; ++i) {
    const std::string path = AFolder + "/bench-" + std::to_string(i) + ".ics";
    icalcomponent* calendar = icalparser_parse_string(ReadWholeFile(path, 1 << 20).c_str());
    icalcomponent* todo = icalcomponent_get_first_component(calendar, ICAL_VTODO_COMPONENT);
    for (icalproperty_kind kind : {ICAL_DTSTAMP_PROPERTY, ICAL_LASTMODIFIED_PROPERTY, ICAL_SEQUENCE_PROPERTY,
                                   ICAL_PERCENTCOMPLETE_PROPERTY}) {
      icalproperty* property = icalcomponent_get_first_property(todo, kind);
      icalcomponent_remove_property(todo, property);
      icalproperty_free(property);
    }
    icalcomponent_add_property(todo, icalproperty_new_dtstamp(now));
    icalcomponent_add_property(todo, icalproperty_new_lastmodified(now));
    icalcomponent_add_property(todo, icalproperty_new_sequence(1));
    icalcomponent_add_property(todo, icalproperty_new_percentcomplete(60));
    char* text = icalcomponent_as_ical_string_r(calendar);
    WriteFileAtomically(path, text, TFlush::Deferred);
    std::free(text);
    icalcomponent_free(calendar);
  }
  SyncFileSystem(AFolder);
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

  // One export run timed against libical doing the same to the files; the ratio.
  bool allExported = true;
  const auto measure = [&](const char* AName, const auto& ALibical) {
    auto start = TClock::now();
    TActionOutlookExporter exporter;
    const int32_t count = exporter.ExportActions(options.get(), nullptr, model.get());
    const double time = SecondsSince(start);
    start = TClock::now();
    ALibical(plain);
    const double libicalTime = SecondsSince(start);
    const double ratio = time / libicalTime;
    std::printf("%s: %d tasks in %.2f s, %.0f tasks/s (libical alone: %.2f s, %.0f tasks/s)\n", AName, count, time,
                count / time, libicalTime, KTasks / libicalTime);
    std::printf("%s / libical alone: %.2fx (target <= %.0fx): %s\n", AName, ratio, KTarget, ratio <= KTarget ? "met" : "MISSED");
    allExported = allExported && count == KTasks;
  };
  measure("export", WriteWithLibical);
  // Every action changed, so that the default export sends each one again as an update.
  for (int i = 0; i < KTasks; ++i) TActionHelper::GetAction(map.FindNode(i + 2), false)->SetComplete(60);
  measure("update", UpdateWithLibical);
  model->Close();
  RevokeActiveObject(TaskProgramClassID);
  for (const std::string& folder : {settings, store, plain}) std::filesystem::remove_all(folder);
  return allExported ? 0 : 1;
}
