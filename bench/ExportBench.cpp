// Exporting 10,000 actions into an empty task store, against libical alone writing the same
// 10,000 VTODO files the same way (atomic replace, one flush at the end); then the update path: every
// action changed and exported again, against libical alone reading, changing and writing back the
// same 10,000 files. Prints tasks per second and the ratios against the target.
//
// libical runs once before and once after each export, and the export is held against the mean of
// the two: on a file system without a journal, creating a file passes over the inodes freed in the
// last minutes, so whichever side runs first after many files were deleted (by an earlier run, or
// anything else on the machine) pays for it, and a single reference run made the ratio swing
// between 1 and 4.5 with the code unchanged. The processor time of each side, split into user and
// system time, is printed beside the clock.
#include <libical/ical.h>
#include <sys/resource.h>

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

std::string Parent(const std::string& APath) { return std::filesystem::path(APath).parent_path().string(); }

// Clock, user and system time of one run.
struct TTimes {
  double Wall = 0, User = 0, System = 0;
  TTimes operator+(const TTimes& AOther) const {
    return {Wall + AOther.Wall, User + AOther.User, System + AOther.System};
  }
  TTimes operator/(double ADivisor) const { return {Wall / ADivisor, User / ADivisor, System / ADivisor}; }
};

double Seconds(const timeval& ATime) { return static_cast<double>(ATime.tv_sec) + ATime.tv_usec / 1e6; }

template <class F>
TTimes Timed(F&& AWork) {
  rusage start{}, end{};
  getrusage(RUSAGE_SELF, &start);
  const auto clock = TClock::now();
  AWork();
  const double wall = SecondsSince(clock);
  getrusage(RUSAGE_SELF, &end);
  return {wall, Seconds(end.ru_utime) - Seconds(start.ru_utime), Seconds(end.ru_stime) - Seconds(start.ru_stime)};
}

}  // namespace

int main() {
  const std::string settings = Temporary("lumeta-bench-settings");
  const std::string store = Temporary("lumeta-bench-store");
  // The files go one folder down, as the store keeps them.
  const std::string plainBefore = Temporary("lumeta-bench-libical") + "/tasks";
  const std::string plainAfter = Temporary("lumeta-bench-libical") + "/tasks";
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

  // One export run timed against libical doing the same to the files before and after it; the ratio.
  bool allExported = true;
  const auto measure = [&](const char* AName, const auto& ALibical) {
    const TTimes before = Timed([&] { ALibical(plainBefore); });
    int32_t count = 0;
    const TTimes time = Timed([&] {
      TActionOutlookExporter exporter;
      count = exporter.ExportActions(options.get(), nullptr, model.get());
    });
    const TTimes after = Timed([&] { ALibical(plainAfter); });
    const TTimes libical = (before + after) / 2;
    const double ratio = time.Wall / libical.Wall;
    std::printf("%s: %d tasks in %.2f s, %.0f tasks/s (libical alone: %.2f s and %.2f s, %.0f tasks/s)\n", AName, count,
                time.Wall, count / time.Wall, before.Wall, after.Wall, KTasks / libical.Wall);
    std::printf("  processor time: export %.2f s user + %.2f s system, libical %.2f s + %.2f s: user time %.2fx\n",
                time.User, time.System, libical.User, libical.System, time.User / libical.User);
    std::printf("%s / libical alone: %.2fx (target <= %.0fx): %s\n", AName, ratio, KTarget, ratio <= KTarget ? "met" : "MISSED");
    allExported = allExported && count == KTasks;
  };
  measure("export", WriteWithLibical);
  // Every action changed, so that the default export sends each one again as an update.
  for (int i = 0; i < KTasks; ++i) TActionHelper::GetAction(map.FindNode(i + 2), false)->SetComplete(60);
  measure("update", UpdateWithLibical);
  model->Close();
  RevokeActiveObject(TaskProgramClassID);
  for (const std::string& folder : {settings, store, Parent(plainBefore), Parent(plainAfter)}) std::filesystem::remove_all(folder);
  return allExported ? 0 : 1;
}
