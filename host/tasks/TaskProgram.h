#pragma once
// The task program: an automation server (lumeta_taskprogram.so) serving the object model that
// clients of the desktop task program drive late-bound (application, "MAPI" namespace, folders,
// items, task items, recipients, contacts, address lists) over the iCalendar store of TaskStore.h.
// Clients reach it by its program identifier through the settings store's class entries.
#include <cstdlib>
#include <string>
#include <string_view>

#include "com/ComErrors.h"
#include "com/Guid.h"
#include "com/MailAddress.h"
#include "settings/AutomationServers.h"
#include "settings/LumetaSettingsStore.h"

inline constexpr const char* TaskProgramProgID = "Outlook.Application";
inline constexpr int TaskProgramMajorVersion = 16;
inline constexpr GUID TaskProgramClassID = MakeGuid("E1F8DAF6-6502-4283-843D-4D6F84C8F17F");
inline constexpr const char* TaskProgramLibraryName = "lumeta_taskprogram.so";

// Task program numbers clients pass.
inline constexpr int TaskProgramTasksFolder = 13;
inline constexpr int TaskProgramContactsFolder = 10;
inline constexpr int TaskProgramTaskItem = 3;
inline constexpr int TaskProgramContactItem = 2;

// The class entries that make the library at ALibrary the task program.
inline TAutomationServerEntry TaskProgramEntry(std::string ALibrary) {
  return {TaskProgramProgID, TaskProgramClassID, std::move(ALibrary), TaskProgramMajorVersion,
          "Task program (iCalendar task store)"};
}

// Where the store lives: $LUMETA_TASKS_DIR, else the "Folder" value under
// HKEY_CURRENT_USER\Software\Lumeta\TaskProgram, else $XDG_DATA_HOME/lumeta/tasks, else
// ~/.local/share/lumeta/tasks. Inline, so the command line reports what the library will use.
inline constexpr const char* TaskProgramFolderVariable = "LUMETA_TASKS_DIR";
inline constexpr const char* TaskProgramSettingsKey = "Software\\Lumeta\\TaskProgram";

// A text on one line of a listing read line by line: backslash, tab and line breaks escaped as
// "\\", "\t", "\r" and "\n".
inline std::string OneLineText(std::string_view AText) {
  std::string result;
  for (const char c : AText) {
    switch (c) {
      case '\\': result += "\\\\"; break;
      case '\t': result += "\\t"; break;
      case '\r': result += "\\r"; break;
      case '\n': result += "\\n"; break;
      default: result += c;
    }
  }
  return result;
}

// The organizer of the tasks the program sends: "OwnerName" and "Owner" (the e-mail address)
// under the settings key. A task is never sent without one, as replies could not arrive.
struct TTaskProgramOwner {
  std::string Name;
  std::string Address;  // empty: none set
};

inline TTaskProgramOwner ReadTaskProgramOwner() {
  return {SettingsStore().ReadString(THive::CurrentUser, TaskProgramSettingsKey, "OwnerName", ""),
          SettingsStore().ReadString(THive::CurrentUser, TaskProgramSettingsKey, "Owner", "")};
}

// Raises ELumetaError naming what is wrong with the address.
inline void WriteTaskProgramOwner(const TTaskProgramOwner& AOwner) {
  if (const std::string problem = MailAddressProblem(AOwner.Address); !problem.empty())
    throw ELumetaError("the owner's e-mail address '" + PrintableText(AOwner.Address) + "' " + problem, E_INVALIDARG);
  for (const char c : AOwner.Name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      throw ELumetaError("the owner's name '" + PrintableText(AOwner.Name) + "' has a control character", E_INVALIDARG);
  SettingsStore().WriteString(THive::CurrentUser, TaskProgramSettingsKey, "OwnerName", AOwner.Name);
  SettingsStore().WriteString(THive::CurrentUser, TaskProgramSettingsKey, "Owner", AOwner.Address);
}

inline std::string TaskProgramFolder() {
  if (const char* folder = std::getenv(TaskProgramFolderVariable); folder && *folder) return folder;
  const std::string stored = SettingsStore().ReadString(THive::CurrentUser, TaskProgramSettingsKey, "Folder", "");
  if (!stored.empty()) return stored;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return std::string(data) + "/lumeta/tasks";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.local/share/lumeta/tasks";
}
