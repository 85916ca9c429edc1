// The lumeta program killed in the middle of an export, then run again as a user would retry.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/outlook/CalendarCheck.h"
#include "tests/support/TestFiles.h"

namespace {

constexpr int KActions = 1500;

size_t FilesIn(const std::string& AFolder, const std::string& AEnding) {
  size_t count = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(AFolder, error))
    if (entry.path().string().ends_with(AEnding)) ++count;
  return count;
}

class ExportKillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("LUMETA_SETTINGS_DIR", FSettings.Path().c_str(), 1);
    setenv("LUMETA_TASKS_DIR", FStore.Path().c_str(), 1);
    unsetenv("LUMETA_TASKS_FAULTS");
    std::string map = "<Map Version=\"1\" HighestID=\"" + std::to_string(KActions) + "\">\n";
    for (int id = 1; id <= KActions; ++id)
      map += "<Node ID=\"" + std::to_string(id) + "\"><Title>Task " + std::to_string(id) +
             "</Title><Action ForOutlook=\"true\" /></Node>\n";
    WriteText(MapPath(), map + "</Map>\n");
    ASSERT_EQ(Run({"-c", "tasks register"}), 0);
  }
  void TearDown() override {
    unsetenv("LUMETA_SETTINGS_DIR");
    unsetenv("LUMETA_TASKS_DIR");
  }
  std::string MapPath() const { return FFolder / "plan.xml"; }
  std::string Tasks() const { return FStore / "tasks"; }

  // The program's pid, its output going nowhere.
  static pid_t Start(std::vector<std::string> AArgs) {
    const pid_t child = fork();
    if (child == 0) {
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      std::vector<char*> argv{const_cast<char*>(LUMETA_BINARY)};
      for (std::string& arg : AArgs) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(LUMETA_BINARY, argv.data());
      _exit(127);
    }
    return child;
  }
  static int Run(std::vector<std::string> AArgs) {
    int status = 0;
    waitpid(Start(std::move(AArgs)), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TTempFolder FFolder, FSettings, FStore;
};

TEST_F(ExportKillTest, AKilledExportIsContinuedAndNothingGoesOutTwice) {
  const std::vector<std::string> exportAndSave{MapPath(), "-c", "export --range map; save"};
  const pid_t child = Start(exportAndSave);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (FilesIn(Tasks(), ".ics") < 50 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  const size_t written = FilesIn(Tasks(), ".ics");
  ASSERT_TRUE(WIFSIGNALED(status)) << "the export ended before it could be killed";
  ASSERT_GE(written, 50u);
  ASSERT_LT(written, static_cast<size_t>(KActions));
  EXPECT_EQ(Occurrences(ReadText(MapPath()), "PostedToOutlook"), 0u) << "the map was not saved";
  // What a save killed at its worst moment leaves.
  WriteText(Tasks() + "/gone.ics.Ab3dE6gH.tmp", "BEGIN:VCALENDAR\r\n");

  EXPECT_EQ(Run(exportAndSave), 0);
  EXPECT_EQ(FilesIn(Tasks(), ".ics"), static_cast<size_t>(KActions)) << "each action exactly once";
  EXPECT_EQ(FilesIn(Tasks(), ".tmp"), 0u);
  EXPECT_EQ(FilesIn(FStore / "exports", ".journal"), 0u);
  EXPECT_EQ(Occurrences(ReadText(MapPath()), "PostedToOutlook=\"true\""), static_cast<size_t>(KActions));

  EXPECT_EQ(Run(exportAndSave), 0);
  EXPECT_EQ(FilesIn(Tasks(), ".ics"), static_cast<size_t>(KActions)) << "nothing new to export";
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(Tasks())) files.push_back(entry.path());
  EXPECT_EQ(LibicalFaults(files), "");
}

}  // namespace
