#pragma once
// The task program: an automation server (lumeta_taskprogram.so) serving the object model that
// clients of the desktop task program drive late-bound (application, "MAPI" namespace, folders,
// items, task items, recipients, contacts, address lists) over the iCalendar store of TaskStore.h.
// Clients reach it by its program identifier through the settings store's class entries.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "com/AtomicFile.h"
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

// A store on a CalDAV server instead of the folder's tasks/ (the folder still keeps the outbox,
// contacts, journals and the server's index): "CalDAV" (the calendar collection's URL),
// "CalDAVUser", "CalDAVCAFile" (a private certificate authority) and "CalDAVAllowHttp" under the
// settings key. No password is ever kept there.
struct TCalDavSettings {
  std::string Url;  // empty: the store is the folder
  std::string User;
  std::string CaFile;
  bool AllowHttp = false;  // plain HTTP to a host other than loopback
};

inline TCalDavSettings ReadCalDavSettings() {
  TSettingsStore& store = SettingsStore();
  return {store.ReadString(THive::CurrentUser, TaskProgramSettingsKey, "CalDAV", ""),
          store.ReadString(THive::CurrentUser, TaskProgramSettingsKey, "CalDAVUser", ""),
          store.ReadString(THive::CurrentUser, TaskProgramSettingsKey, "CalDAVCAFile", ""),
          store.ReadBool(THive::CurrentUser, TaskProgramSettingsKey, "CalDAVAllowHttp", false)};
}

// An empty URL makes the folder the store again.
inline void WriteCalDavSettings(const TCalDavSettings& AServer) {
  TSettingsStore& store = SettingsStore();
  if (AServer.Url.empty()) {
    for (const char* name : {"CalDAV", "CalDAVUser", "CalDAVCAFile", "CalDAVAllowHttp"})
      store.DeleteValue(THive::CurrentUser, TaskProgramSettingsKey, name);
    return;
  }
  store.WriteString(THive::CurrentUser, TaskProgramSettingsKey, "CalDAV", AServer.Url);
  store.WriteString(THive::CurrentUser, TaskProgramSettingsKey, "CalDAVUser", AServer.User);
  store.WriteString(THive::CurrentUser, TaskProgramSettingsKey, "CalDAVCAFile", AServer.CaFile);
  store.WriteBool(THive::CurrentUser, TaskProgramSettingsKey, "CalDAVAllowHttp", AServer.AllowHttp);
}

inline constexpr const char* CalDavPasswordVariable = "LUMETA_CALDAV_PASSWORD";
// A program with windows sets this property of its application object to true to have the task
// program ask for a CalDAV password that neither the variable nor the file gives, once the server
// refused the login, once per session.
inline constexpr const char* CalDavPasswordDialogProperty = "lumetaCalDavPasswordDialog";
inline std::string CalDavPasswordFile() { return SettingsStore().Folder() + "/caldav-password"; }

// $LUMETA_CALDAV_PASSWORD, else the first line of the credentials file in the settings folder,
// else empty. Raises ELumetaError (E_ACCESSDENIED) for a file other users could read: a password
// others have seen is no longer one.
inline std::string ReadCalDavPassword() {
  if (const char* password = std::getenv(CalDavPasswordVariable); password && *password) return password;
  const std::string path = CalDavPasswordFile();
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  if ((info.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    throw ELumetaError("the credentials file " + path + " can be read by other users (mode " + mode +
                           "); it is not used: make it private with 'chmod 600 " + path + "'",
                       E_ACCESSDENIED);
  }
  std::string text = ReadRegularFile(path, 4096);
  text = text.substr(0, text.find_first_of("\r\n"));
  return text;
}
