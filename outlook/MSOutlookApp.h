#pragma once
// The connection to the task program, driven late-bound through its automation object model:
// start or attach, log on, the Tasks folder, new task items, task lookup, contacts and address
// lists, shut-down. One wrapper per export.
#include <memory>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "com/OleVariant.h"
#include "outlook/OutlookContacts.h"
#include "outlook/OutlookContactsIterators.h"

// The task program's constants as its clients pass them.
inline constexpr const char* OutlookProgID = "Outlook.Application";
inline constexpr int olFolderContacts = 10;
inline constexpr int olFolderTasks = 13;
inline constexpr int olContactItem = 2;
inline constexpr int olTaskItem = 3;

class ThvMSOutlookApp {
 public:
  ThvMSOutlookApp() = default;
  ThvMSOutlookApp(const ThvMSOutlookApp&) = delete;
  ThvMSOutlookApp& operator=(const ThvMSOutlookApp&) = delete;

  // True when ready. Attaches to a running instance, else starts one; a failure to attach, start
  // or log on answers false, and an instance this wrapper started is then quit and forgotten.
  bool StartOutlook();
  // True when it closed an instance this wrapper started; a running one it attached to stays open.
  bool ShutDownOutlook();
  // A new, unsaved task item in the Tasks folder with the subject; the caller fills and saves it.
  TOleVariant NewTask(const std::string& ASubject);
  // The first task of that subject (inserted into the filter as it is), or Empty.
  TOleVariant FindTask(const std::string& ASubject);
  // The task program's "no date", 1 January 4501, as a date.
  TOleVariant GetDateNone() const;

  // Contacts folders from the default Contacts folder down, depth first; a folder without items
  // only when AWantEmpty.
  void GetContactsFolders(ThvOutlookContactFoldersList& AList, bool AWantEmpty);
  // Names of the address lists; one without entries only when AWantEmpty.
  void GetContactFolders(std::vector<std::string>& AList, bool AWantEmpty);
  // Over AFolder's contacts; Empty means the default Contacts folder.
  ComPtr<IhvOutlookContactsIterator> GetContactsListIterator(const TOleVariant& AFolder = {});
  // Over the entries of address list AIndex (1-based).
  ComPtr<IhvOutlookContactsIterator> GetAddressListIterator(int AIndex);
  // The EntryID of the folder at AIndex of the list (0-based, as the list counts).
  std::string GetContactFolderID(const ThvOutlookContactFoldersList& AList, int AIndex);
  // Every contact of the contacts folders and then of the address lists whose full name equals
  // AFullName, ignoring case; the list owns them.
  std::unique_ptr<ThvOutlookContactList> GetContactByName(const std::string& AFullName);

  int Version() const noexcept { return FVersion; }
  const TOleVariant& App() const noexcept { return FApp; }
  const TOleVariant& NameSpace() const noexcept { return FNameSpace; }
  const TOleVariant& TaskFolder() const noexcept { return FTaskFolder; }
  bool Running() const noexcept { return FRunning; }

 private:
  TOleVariant FApp;
  TOleVariant FNameSpace;
  bool FRunning = false;
  TOleVariant FTaskFolder;
  int FVersion = 0;
};
