#pragma once
// A registered task program over a store and settings in temporary folders, and the independent
// iCalendar check of the files it writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/tasks/TaskProgram.h"
#include "settings/AutomationServers.h"
#include "settings/LumetaSettingsStore.h"
#include "../support/ShellRun.h"
#include "../support/TestFiles.h"
#include "tests/outlook/CalendarCheck.h"

// Every .ics file under the folder.
inline std::vector<std::string> CalendarFiles(const std::string& AFolder) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(AFolder, error))
    if (entry.path().extension() == ".ics") files.push_back(entry.path().string());
  return files;
}

// Empty when Python's icalendar reads every file as valid, else what it found.
inline std::string CalendarFaults(const std::vector<std::string>& AFiles) {
  std::string command = LUMETA_ICAL_VALIDATOR;
  for (const std::string& file : AFiles) command += " " + ShellQuoted(file);
  const TShellRun run = Shell(command);
  return run.Status == 0 ? std::string() : run.Output.empty() ? "the validator failed" : run.Output;
}

class TaskProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("LUMETA_TASKS_DIR", FStore.Path().c_str(), 1);
    unsetenv("LUMETA_TASKS_FAULTS");
    SetSettingsFolder(FSettings.Path());
    RegisterAutomationServer(TaskProgramEntry(LUMETA_TASKPROGRAM_LIBRARY));
    WriteTaskProgramOwner({"Olive Owner", "owner@example.org"});
  }
  void TearDown() override {
    RevokeActiveObject(TaskProgramClassID);
    unsetenv("LUMETA_TASKS_FAULTS");
    // Every file the store wrote in the test must be valid iCalendar, to Python's icalendar and
    // to libical's restriction checks.
    const std::vector<std::string> files = CalendarFiles(FStore.Path());
    if (!files.empty()) {
      EXPECT_EQ(CalendarFaults(files), "");
      EXPECT_EQ(LibicalFaults(files), "");
    }
  }
  static void Faults(const char* AFaults) { setenv("LUMETA_TASKS_FAULTS", AFaults, 1); }
  std::string StorePath(const std::string& ARelative) const { return FStore / ARelative; }
  void WriteStoreFile(const std::string& ARelative, const std::string& AText) const {
    std::filesystem::create_directories(std::filesystem::path(StorePath(ARelative)).parent_path());
    WriteText(StorePath(ARelative), AText);
  }

  TTempFolder FStore;
  TTempFolder FSettings;
};
