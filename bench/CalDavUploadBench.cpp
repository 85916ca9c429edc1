// Exporting 1,000 actions to a CalDAV calendar (Radicale on loopback) with lumeta, against
// uploading the same 1,000 task files with one curl per file, one after the other, into a second
// calendar of the same server. Each side starts from an empty calendar; the export's time is the
// whole lumeta run (start, map, store read, uploads, save). curl is told not to wait for a
// "100 Continue" (Radicale never sends one; each upload would idle a second). Prints both times and
// their ratio; the target is an export no slower than curl.
//   caldav_upload_bench [TASKS]
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "tests/outlook/RadicaleServer.h"
#include "tests/support/ShellRun.h"
#include "tests/support/TestFiles.h"

namespace {

std::string MapOf(int ATasks) {
  std::string map = "<Map Version=\"1\" HighestID=\"" + std::to_string(ATasks) + "\">\n";
  for (int id = 1; id <= ATasks; ++id)
    map += "<Node ID=\"" + std::to_string(id) + "\"><Title>Task " + std::to_string(id) +
           "</Title><Notes>Prepared for the review in week " + std::to_string(id % 52 + 1) +
           ".</Notes><Action ForOutlook=\"true\" Status=\"In Progress\" Complete=\"40\" Priority=\"High\" "
           "StartDate=\"2026-03-02T08:00:00\" DueDate=\"2026-03-20T17:00:00\"/></Node>\n";
  return map + "</Map>\n";
}

bool Check(const TShellRun& ARun, const char* AWhat) {
  if (ARun.Status == 0) return true;
  std::fprintf(stderr, "%s failed:\n%s\n", AWhat, ARun.Output.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const int tasks = argc > 1 ? std::stoi(argv[1]) : 1000;
  if (!TRadicaleServer::Installed()) {
    std::fprintf(stderr, "Radicale is not installed (Debian package radicale)\n");
    return 1;
  }
  TRadicaleServer server;
  TTempFolder work, settings, store, files;
  const std::string map = work / "plan.xml";
  WriteText(map, MapOf(tasks));
  const std::string env = "LUMETA_SETTINGS_DIR=" + ShellQuoted(settings.Path()) + " LUMETA_TASKS_DIR=" +
                          ShellQuoted(store.Path()) + " ";
  const std::string lumeta = env + ShellQuoted(LUMETA_BINARY) + " ";
  const std::string exportCommand = "export --range map --all --include Notes,Status,Priority,Complete,StartDate,DueDate";

  // The files curl uploads: the same export into a folder store.
  const std::string fileEnv = "LUMETA_SETTINGS_DIR=" + ShellQuoted(settings.Path()) + " LUMETA_TASKS_DIR=" +
                              ShellQuoted(files.Path()) + " ";
  if (!Check(Shell(fileEnv + ShellQuoted(LUMETA_BINARY) + " -c 'tasks register'"), "register the folder")) return 1;
  const std::string copy = work / "copy.xml";
  WriteText(copy, MapOf(tasks));
  if (!Check(Shell(fileEnv + ShellQuoted(LUMETA_BINARY) + " " + ShellQuoted(copy) + " -c " + ShellQuoted(exportCommand)),
             "export into the folder"))
    return 1;
  std::vector<std::filesystem::path> taskFiles;
  for (const auto& entry : std::filesystem::directory_iterator(files / "tasks")) taskFiles.push_back(entry.path());

  const std::string exportUrl = server.Base() + "/nina/tasks/";
  if (!Check(Shell(lumeta + "-c " + ShellQuoted("tasks register --caldav " + exportUrl + " --create")), "register"))
    return 1;
  const std::string curlUrl = server.Base() + "/nina/curl/";
  if (!Check(Shell("curl -sf -X MKCALENDAR " + ShellQuoted(curlUrl)), "MKCALENDAR for curl")) return 1;

  auto start = TClock::now();
  if (!Check(Shell(lumeta + ShellQuoted(map) + " -c " + ShellQuoted(exportCommand + "; save")), "export")) return 1;
  const double exportSeconds = SecondsSince(start);

  start = TClock::now();
  for (const auto& file : taskFiles) {
    const std::string put = "curl -sf -o /dev/null -T " + ShellQuoted(file.string()) +
                            " -H 'Content-Type: text/calendar; charset=utf-8' -H 'If-None-Match: *' -H 'Expect:' " +
                            ShellQuoted(curlUrl + file.filename().string());
    if (!Check(Shell(put), "curl")) return 1;
  }
  const double curlSeconds = SecondsSince(start);

  std::printf("%zu tasks to Radicale on loopback\n", taskFiles.size());
  std::printf("lumeta export        %8.2f s\n", exportSeconds);
  std::printf("curl, one per file   %8.2f s\n", curlSeconds);
  std::printf("export / curl        %8.2f (target: at most 1)\n", exportSeconds / curlSeconds);
  return 0;
}
