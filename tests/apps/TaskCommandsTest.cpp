// The `tasks` command against the built task program library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "apps/TaskCommands.h"
#include "com/ComErrors.h"
#include "settings/AutomationServers.h"
#include "settings/LumetaSettingsStore.h"
#include "../support/TestFiles.h"

namespace {

std::string Tasks(std::vector<std::string> AArgs) {
  std::ostringstream out;
  RunTasksCommand(AArgs, out);
  return out.str();
}

TEST(TasksCommand, RegistersListsAndUnregisters) {
  TTempFolder settings, store;
  SetSettingsFolder(settings.Path());
  setenv("LUMETA_TASKS_DIR", store.Path().c_str(), 1);
  EXPECT_EQ(Tasks({"status"}), "registered no\nfolder " + store.Path() + "\nstore folder " + store.Path() + "/tasks\nowner none\n");
  EXPECT_THROW(Tasks({"list"}), ELumetaError) << "nothing to list through";
  EXPECT_THROW(Tasks({"register", store / "missing.so"}), ELumetaError);

  EXPECT_EQ(Tasks({"register"}).rfind("registered Outlook.Application.16 /", 0), 0u);
  const std::string status = Tasks({"status"});
  EXPECT_NE(status.find("registered yes\nprogid Outlook.Application.16\nclsid {"), std::string::npos) << status;
  EXPECT_NE(status.find("lumeta_taskprogram.so\nfolder " + store.Path()), std::string::npos) << status;

  std::filesystem::create_directories(store / "tasks");
  WriteText(store / "tasks/x.ics", "");  // not a task: passed over
  WriteText(store / "tasks/t1.ics",
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VTODO\r\nUID:t1\r\nDTSTAMP:20260101T000000Z\r\n"
            "SUMMARY:Book\\nvenue\\\\2\r\nSTATUS:IN-PROCESS\r\nPERCENT-COMPLETE:30\r\nDUE;VALUE=DATE:20260306\r\n"
            "END:VTODO\r\nEND:VCALENDAR\r\n");
  EXPECT_EQ(Tasks({"list"}), "t1\tBook\\nvenue\\\\2\tin-progress\t30%\t2026-03-06\n") << "one line per task";
  EXPECT_THROW(GetActiveOleObject("Outlook.Application"), ELumetaError) << "list quits what it started";

  EXPECT_EQ(Tasks({"unregister"}), "unregistered\n");
  EXPECT_EQ(Tasks({"unregister"}), "not registered\n");
  EXPECT_TRUE(SettingsStore().SubKeyNames(THive::ClassesRoot, "CLSID").empty());
  EXPECT_FALSE(SettingsStore().KeyExists(THive::ClassesRoot, "Outlook.Application.16"));
  EXPECT_THROW(Tasks({"frobnicate"}), ELumetaError);

  EXPECT_EQ(Tasks({"owner", "Nina Lead", "nina@example.com"}), "owner Nina Lead <nina@example.com>\n");
  EXPECT_THROW(Tasks({"owner", "Eve", "eve@example.com\r\nATTENDEE:x"}), ELumetaError);
  EXPECT_EQ(Tasks({"owner"}), "owner Nina Lead <nina@example.com>\n") << "a refused owner changes nothing";
  unsetenv("LUMETA_TASKS_DIR");
}

}  // namespace
