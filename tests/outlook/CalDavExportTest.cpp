// The task store on a real CalDAV server (Radicale on loopback), driven through the lumeta program
// as a user runs it, and read back by python3-caldav, a client nobody here wrote.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <thread>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "com/OleVariant.h"
#include "host/tasks/TaskProgram.h"
#include "settings/AutomationServers.h"
#include "settings/LumetaSettingsStore.h"
#include "tests/outlook/RadicaleServer.h"
#include "tests/support/ShellRun.h"
#include "tests/support/TestFiles.h"

namespace {

// A task as the second client lists it.
struct TListedTask {
  std::string Summary, Status;
  int Sequence = 0;
  std::vector<std::string> Related;
};

class CalDavExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TRadicaleServer::Installed())
      GTEST_SKIP() << "Radicale is not installed (Debian package radicale; scripts/setup.sh installs it)";
    std::filesystem::copy_file(LUMETA_EXAMPLE_MAP, MapPath());
    Env = "LUMETA_SETTINGS_DIR=" + ShellQuoted(FSettings.Path()) + " LUMETA_TASKS_DIR=" + ShellQuoted(FStore.Path()) + " ";
    ASSERT_EQ(Lumeta("", "tasks owner \"Nina Lead\" nina@nimbus.example").Status, 0);
  }
  void StartServer(std::string AUser = {}, std::string APassword = {}) {
    FServer = std::make_unique<TRadicaleServer>(std::move(AUser), std::move(APassword));
    ASSERT_TRUE(FServer->Running());
  }
  // HTTPS with a certificate for 127.0.0.1 signed by an authority of the test's own, whose
  // certificate is ca.pem in the test's folder.
  void StartTlsServer() {
    const std::string ca = FFolder / "ca", server = FFolder / "server";
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    const std::vector<std::string> steps{
        "openssl req -x509" + key + "-keyout " + ca + ".key -out " + ca + ".pem -days 2 -subj '/CN=Lumeta Test Authority'",
        "openssl req" + key + "-keyout " + server + ".key -out " + server + ".csr -subj '/CN=127.0.0.1'",
        "printf 'subjectAltName=IP:127.0.0.1\n' > " + server + ".ext && openssl x509 -req -in " + server + ".csr -CA " +
            ca + ".pem -CAkey " + ca + ".key -CAcreateserial -days 2 -out " + server + ".pem -extfile " + server + ".ext"};
    for (const std::string& step : steps) {
      const TShellRun run = Shell(step);
      ASSERT_EQ(run.Status, 0) << step << "\n" << run.Output;
    }
    FServer = std::make_unique<TRadicaleServer>(std::string(), std::string(), false);
    FServer->UseTls(server + ".pem", server + ".key");
    FServer->Start();
    ASSERT_TRUE(FServer->Running());
  }
  std::string Url() const { return FServer->Base() + "/nina/tasks/"; }
  std::string MapPath() const { return FFolder / "launch.xml"; }
  TShellRun Lumeta(const std::string& AMap, const std::string& ACommands, const std::string& AEnv = {}) {
    return Shell(Env + AEnv + ShellQuoted(LUMETA_BINARY) + " " + (AMap.empty() ? "" : ShellQuoted(AMap) + " ") + "-c " +
                 ShellQuoted(ACommands));
  }
  // UID -> task, through python3-caldav.
  std::map<std::string, TListedTask> Listed(const std::string& AUser = {}, const std::string& AEnv = {}) {
    const TShellRun run = Shell(AEnv + LUMETA_CALDAV_LIST + " " + ShellQuoted(Url()) + (AUser.empty() ? "" : " " + AUser));
    EXPECT_EQ(run.Status, 0) << run.Output;
    std::map<std::string, TListedTask> tasks;
    std::istringstream lines(run.Output);
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> fields;
      std::istringstream parts(line);
      for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
      if (fields.size() < 4) continue;
      TListedTask& task = tasks[fields[0]];
      task = {fields[1], fields[2], std::stoi(fields[3]), {fields.begin() + 4, fields.end()}};
    }
    return tasks;
  }
  // UID -> href and ETag from the store's index.
  std::map<std::string, std::pair<std::string, std::string>> Index() const {
    std::map<std::string, std::pair<std::string, std::string>> index;
    std::istringstream lines(ReadText(FStore / "exports/caldav.index"));
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> fields;
      std::istringstream parts(line);
      for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
      if (fields.size() == 4 && fields[0] == "task") index[fields[1]] = {fields[2], fields[3]};
    }
    return index;
  }

  TTempFolder FFolder, FSettings, FStore;
  std::unique_ptr<TRadicaleServer> FServer;
  std::string Env;
};

const std::string KExport = "export --range map --include Notes,Categories,Status,Priority,Complete,StartDate,DueDate";

TEST_F(CalDavExportTest, ExportedTasksLandOnTheServerAndUpdatesKeepTheirPlace) {
  StartServer();
  const TShellRun refused = Lumeta("", "tasks register --caldav " + Url());
  EXPECT_NE(refused.Status, 0);
  EXPECT_NE(refused.Output.find("there is no calendar at " + Url() + ": give --create"), std::string::npos)
      << refused.Output;
  const TShellRun registered = Lumeta("", "tasks register --caldav " + Url() + " --create");
  ASSERT_EQ(registered.Status, 0) << registered.Output;
  const TShellRun status = Lumeta("", "tasks status");
  EXPECT_NE(status.Output.find("store caldav " + Url()), std::string::npos) << status.Output;
  EXPECT_NE(status.Output.find("server calendar " + Url() + " answers"), std::string::npos) << status.Output;

  const TShellRun exported = Lumeta(MapPath(), KExport + " --all; save");
  ASSERT_EQ(exported.Status, 0) << exported.Output;
  const std::map<std::string, TListedTask> first = Listed();
  ASSERT_EQ(first.size(), 4u) << "Market survey, Certification, Retail partners, Launch event";
  size_t relations = 0;
  for (const auto& [uid, task] : first)
    for (const std::string& other : task.Related) {
      EXPECT_TRUE(first.contains(other)) << task.Summary << " is related to a task that is not on the server";
      ++relations;
    }
  EXPECT_GT(relations, 0u);
  // Only tasks: the assigned tasks' requests stay in the local outbox.
  EXPECT_FALSE(std::filesystem::is_empty(FStore / "outbox"));
  const auto index = Index();
  ASSERT_EQ(index.size(), 4u);

  ASSERT_EQ(Lumeta(MapPath(), "title 22 \"Launch party\"; save").Status, 0);
  const TShellRun again = Lumeta(MapPath(), KExport + "; save");
  ASSERT_EQ(again.Status, 0) << again.Output;
  const std::map<std::string, TListedTask> second = Listed();
  ASSERT_EQ(second.size(), 4u) << "no second task for the renamed action";
  const auto renamed = std::find_if(second.begin(), second.end(), [](const auto& t) { return t.second.Summary == "Launch party"; });
  ASSERT_NE(renamed, second.end());
  EXPECT_GT(renamed->second.Sequence, first.at(renamed->first).Sequence);
  const auto after = Index();
  EXPECT_EQ(after.at(renamed->first).first, index.at(renamed->first).first) << "the same href";
  EXPECT_NE(after.at(renamed->first).second, index.at(renamed->first).second) << "a new ETag";
  // Only the renamed action went out again.
  size_t unchanged = 0;
  for (const auto& [uid, place] : index) unchanged += after.at(uid) == place;
  EXPECT_EQ(unchanged, 3u);

  // Somebody else ticks it off; the plan renames it again: both changes survive the next export.
  const TShellRun done = Shell(std::string(LUMETA_CALDAV_LIST) + " " + ShellQuoted(Url()) + " --complete " + renamed->first);
  ASSERT_EQ(done.Status, 0) << done.Output;
  ASSERT_EQ(Lumeta(MapPath(), "title 22 \"Launch night\"; " + KExport + "; save").Status, 0);
  const TListedTask merged = Listed().at(renamed->first);
  EXPECT_EQ(merged.Summary, "Launch night");
  EXPECT_EQ(merged.Status, "COMPLETED");
  EXPECT_EQ(Listed().size(), 4u);
}

TEST_F(CalDavExportTest, AnExportStoppedInTheMiddleIsRunAgainWithoutDuplicates) {
  constexpr int KActions = 300;
  StartServer();
  std::string map = "<Map Version=\"1\" HighestID=\"" + std::to_string(KActions) + "\">\n";
  for (int id = 1; id <= KActions; ++id)
    map += "<Node ID=\"" + std::to_string(id) + "\"><Title>Task " + std::to_string(id) +
           "</Title><Action ForOutlook=\"true\" /></Node>\n";
  const std::string plan = FFolder / "plan.xml";
  WriteText(plan, map + "</Map>\n");
  ASSERT_EQ(Lumeta("", "tasks register --caldav " + Url() + " --create").Status, 0);
  const std::string items = FServer->Folder() + "/collection-root/nina/tasks";
  const auto onServer = [&] {
    size_t count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(items, error)) count += entry.path().extension() == ".ics";
    return count;
  };

  // The server goes away part way: a clear error, and the map is not saved as exported.
  const std::string command = Env + ShellQuoted(LUMETA_BINARY) + " " + ShellQuoted(plan) + " -c 'export --range map; save'";
  FILE* running = popen((command + " 2>&1").c_str(), "r");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (onServer() < 30 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  FServer->Stop();
  std::string output;
  char buffer[4096];
  while (fgets(buffer, sizeof buffer, running)) output += buffer;
  const int status = pclose(running);
  const size_t landed = onServer();
  ASSERT_GE(landed, 30u);
  ASSERT_LT(landed, static_cast<size_t>(KActions)) << "the export ended before the server stopped";
  EXPECT_NE(WEXITSTATUS(status), 0);
  EXPECT_NE(output.find("cannot reach the CalDAV server " + Url()), std::string::npos) << output;
  EXPECT_EQ(Occurrences(ReadText(plan), "PostedToOutlook"), 0u);
  // Several saves were in flight when it stopped: the index holds only what the server has.
  const auto indexed = Index();
  EXPECT_GE(indexed.size(), 30u);
  for (const auto& [uid, place] : indexed)
    EXPECT_TRUE(std::filesystem::exists(items + "/" + std::filesystem::path(place.first).filename().string())) << uid;

  FServer->Start();
  const TShellRun again = Lumeta(plan, "export --range map; save");
  ASSERT_EQ(again.Status, 0) << again.Output;
  // A run of more than a second counts the uploads on standard error, a line now and then.
  EXPECT_NE(again.Output.find(" of " + std::to_string(KActions - landed) + " tasks written\n"), std::string::npos)
      << again.Output;
  EXPECT_EQ(onServer(), static_cast<size_t>(KActions)) << "each action exactly once";
  EXPECT_EQ(Listed().size(), static_cast<size_t>(KActions));
  EXPECT_EQ(Occurrences(ReadText(plan), "PostedToOutlook=\"true\""), static_cast<size_t>(KActions));
  EXPECT_EQ(Index().size(), static_cast<size_t>(KActions));
}

TEST_F(CalDavExportTest, TheLoginIsCheckedAndThePasswordKeptPrivate) {
  StartServer("nina", "s3cret");
  const std::string passwordFile = FSettings / "caldav-password";
  const std::string registerCommand = "tasks register --caldav " + Url() + " --create --user nina";
  const TShellRun wrong = Lumeta("", registerCommand, "LUMETA_CALDAV_PASSWORD=guess ");
  EXPECT_NE(wrong.Status, 0);
  EXPECT_NE(wrong.Output.find("the CalDAV server " + Url() + " refused the login of user 'nina' (401)"),
            std::string::npos)
      << wrong.Output;
  EXPECT_NE(Lumeta("", "tasks status").Output.find("store folder"), std::string::npos) << "not registered";

  WriteText(passwordFile, "s3cret\n");
  chmod(passwordFile.c_str(), 0644);
  const TShellRun exposed = Lumeta("", registerCommand);
  EXPECT_NE(exposed.Status, 0);
  EXPECT_NE(exposed.Output.find("the credentials file " + passwordFile + " can be read by other users (mode 0644)"),
            std::string::npos)
      << exposed.Output;
  chmod(passwordFile.c_str(), 0600);
  const TShellRun registered = Lumeta("", registerCommand);
  ASSERT_EQ(registered.Status, 0) << registered.Output;

  // A password changed on the server: the export says so and marks nothing.
  const std::string before = ReadText(MapPath());
  const TShellRun refused = Lumeta(MapPath(), KExport + " --all; save", "LUMETA_CALDAV_PASSWORD=old ");
  EXPECT_NE(refused.Status, 0);
  EXPECT_NE(refused.Output.find("refused the login of user 'nina'"), std::string::npos) << refused.Output;
  EXPECT_EQ(ReadText(MapPath()), before);
  const TShellRun exported = Lumeta(MapPath(), KExport + " --all; save");
  ASSERT_EQ(exported.Status, 0) << exported.Output;
  EXPECT_EQ(Listed("nina", "LUMETA_CALDAV_PASSWORD=s3cret ").size(), 4u);
  // The password is nowhere but in its own file.
  for (const std::string& folder : {FSettings.Path(), FStore.Path()})
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      if (entry.path() == passwordFile || !entry.is_regular_file()) continue;
      EXPECT_EQ(ReadText(entry.path()).find("s3cret"), std::string::npos) << entry.path();
    }
  EXPECT_EQ(ReadText(MapPath()).find("s3cret"), std::string::npos);
}

TEST_F(CalDavExportTest, HttpsChecksTheServerAgainstTheAuthorityGiven) {
  if (Shell("openssl version").Status != 0) GTEST_SKIP() << "openssl is not installed (Debian package openssl)";
  StartTlsServer();
  ASSERT_TRUE(Url().starts_with("https://"));
  const TShellRun unknown = Lumeta("", "tasks register --caldav " + Url() + " --create");
  EXPECT_NE(unknown.Status, 0);
  EXPECT_NE(unknown.Output.find("cannot reach the CalDAV server " + Url() + ": TLS failed: "), std::string::npos)
      << unknown.Output;
  EXPECT_NE(Lumeta("", "tasks status").Output.find("store folder"), std::string::npos) << "not registered";

  const TShellRun registered = Lumeta("", "tasks register --caldav " + Url() + " --create --ca-file " + (FFolder / "ca.pem"));
  ASSERT_EQ(registered.Status, 0) << registered.Output;
  const TShellRun exported = Lumeta(MapPath(), KExport + " --all; save");
  ASSERT_EQ(exported.Status, 0) << exported.Output;
  EXPECT_EQ(Index().size(), 4u);
}

// What a synchronising client sees through the task program: only what changed since its token,
// each task with its href, ETag and time of change, and the tasks removed.
TEST_F(CalDavExportTest, ASyncClientAsksOnlyForWhatChanged) {
  StartServer();
  ASSERT_EQ(Lumeta("", "tasks register --caldav " + Url() + " --create").Status, 0);
  ASSERT_EQ(Lumeta(MapPath(), KExport + " --all; save").Status, 0);
  setenv("LUMETA_SETTINGS_DIR", FSettings.Path().c_str(), 1);
  setenv("LUMETA_TASKS_DIR", FStore.Path().c_str(), 1);
  SetSettingsFolder(FSettings.Path());
  const auto items = [](const TOleVariant& AApp) {
    return AApp.Call("GetNamespace", "MAPI").Call("GetDefaultFolder", TaskProgramTasksFolder).Get("Items");
  };
  std::string done, gone;
  {
    const TOleVariant app = CreateOleObject(TaskProgramProgID);
    EXPECT_EQ(app.Get("SyncToken").AsString(), "");
    const TOleVariant all = items(app).Call("ChangesSince", "");
    ASSERT_EQ(all.Get("Count").AsInteger(), 4);
    // By name, as the server lists them in no fixed order.
    for (int i = 1; i <= 4; ++i) {
      const TOleVariant task = all.Call("Item", i);
      const std::string subject = task.Get("Subject").AsString();
      if (subject == "Certification") done = task.Get("EntryID").AsString();
      else if (gone.empty()) gone = task.Get("EntryID").AsString();
    }
    ASSERT_FALSE(done.empty());
    app.Put("SyncToken", all.Get("Token"));
    app.Call("Quit");
  }
  ASSERT_EQ(Shell(std::string(LUMETA_CALDAV_LIST) + " " + ShellQuoted(Url()) + " --complete " + done).Status, 0);
  ASSERT_EQ(Shell(std::string(LUMETA_CALDAV_LIST) + " " + ShellQuoted(Url()) + " --delete " + gone).Status, 0);

  const TOleVariant app = CreateOleObject(TaskProgramProgID);
  const std::string token = app.Get("SyncToken").AsString();
  EXPECT_FALSE(token.empty()) << "kept in the index";
  const TOleVariant changes = items(app).Call("ChangesSince", token);
  ASSERT_EQ(changes.Get("Count").AsInteger(), 1);
  const TOleVariant task = changes.Call("Item", 1);
  EXPECT_EQ(task.Get("EntryID").AsString(), done);
  EXPECT_EQ(task.Get("Status").AsInteger(), 2) << "completed";
  EXPECT_TRUE(task.Get("Href").AsString().ends_with("/nina/tasks/" + done + ".ics"));
  EXPECT_FALSE(task.Get("ETag").AsString().empty());
  const double now = static_cast<double>(std::time(nullptr)) / 86400 + 25569;
  EXPECT_NEAR(task.Get("LastModified").AsDate(), now, 1.0 / 24);
  ASSERT_EQ(changes.Get("Removed").Get("Count").AsInteger(), 1);
  EXPECT_EQ(changes.Get("Removed").Call("Item", 1).AsString(), gone);
  EXPECT_TRUE(items(app).Call("ChangesSince", "http://radicale.org/ns/sync/unknown").IsEmpty())
      << "a forgotten token: read everything";
  app.Call("Quit");
}

// What a phone ticked off on the server comes back with sync, one undo step; the next sync asks
// only for what changed since, so an edit of the map not exported yet stays.
TEST_F(CalDavExportTest, SyncBringsBackATaskDoneOnTheServer) {
  StartServer();
  ASSERT_EQ(Lumeta("", "tasks register --caldav " + Url() + " --create").Status, 0);
  ASSERT_EQ(Lumeta(MapPath(), KExport + " --all; save").Status, 0);
  const TShellRun first = Lumeta(MapPath(), "sync; save");
  ASSERT_EQ(first.Status, 0) << first.Output;
  EXPECT_NE(first.Output.find("note: nothing changed: 4 tasks of the map were read"), std::string::npos) << first.Output;

  std::string certification;
  for (const auto& [uid, task] : Listed())
    if (task.Summary == "Certification") certification = uid;
  ASSERT_EQ(Shell(std::string(LUMETA_CALDAV_LIST) + " " + ShellQuoted(Url()) + " --complete " + certification).Status, 0);
  // Retail partners (19) is at 50 % on the server; the map moves on without exporting.
  const TShellRun sync = Lumeta(MapPath(), "set 19 Complete 70; sync; get 10 Complete; get 10 Status; get 19 Complete; "
                                           "undo; get 10 Complete; get 10 Status; sync; save");
  ASSERT_EQ(sync.Status, 0) << sync.Output;
  std::vector<std::string> lines;
  std::istringstream output(sync.Output);
  for (std::string line; std::getline(output, line);)
    if (!line.starts_with("warning: ") && !line.starts_with("note: ")) lines.push_back(line);
  ASSERT_EQ(lines.size(), 7u) << sync.Output;
  EXPECT_TRUE(lines[0].starts_with("10 Certification: 0 % -> 100 %, Completed, Completed Date 2025-10-16 17:00 -> "))
      << lines[0];
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
            (std::vector<std::string>{"100", "Completed", "70", "0", "Not Started", lines[0]}))
      << "the undone sync comes back at the next one";
  const TShellRun again = Lumeta(MapPath(), "sync");
  EXPECT_NE(again.Output.find("note: nothing changed: 0 tasks of the map changed in the store since the last sync"),
            std::string::npos) << again.Output;
}

}  // namespace
