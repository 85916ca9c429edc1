#pragma once
// The settings store: the host's stand-in for the Windows registry.
//
// Two hives, "HKEY_CURRENT_USER" and "HKEY_CLASSES_ROOT", each kept in one INI file of the
// settings folder (HKEY_CURRENT_USER.ini, HKEY_CLASSES_ROOT.ini). Keys are backslash paths
// ("Software\Quorvantis\V4\ExportActionsToOutlook"); empty segments and leading or trailing
// backslashes are ignored, and the empty path is the hive itself, which always exists.
//
// File format, written and read by this module:
//   [Software\Quorvantis\V4\ExportActionsToOutlook]
//   Expand Branches=bool:true
//   Export Range=int:2
//   @=str:Outlook.Application.14
// - One section per key, named by its full path. A key with neither values nor subkeys is
//   written as an empty section so that it keeps existing; parents of a written key exist
//   implicitly. Lines before the first section belong to the hive itself.
// - Each value is "name=type:text" with type bool ("true"/"false"), int (decimal, 32-bit) or
//   str (any text). "@" names the key's default (unnamed) value, as .reg files do.
// - Names and texts are percent-encoded where the format needs it: '%', control characters,
//   '=', '[' and ']' in names, '[' and ']' in key paths, a leading '@', ';' or '#', and spaces
//   at either end.
// - Keys and value names are case-insensitive, as in the registry: lookups compare case-folded
//   text and the spelling first created is the one kept and listed. Two sections that differ
//   only in case (a hand-edited file) are merged.
// - A line that is neither a section, a value nor a comment (';' or '#') is skipped, and so
//   are the values under a damaged section header, so a damaged file loads as far as it can.
//   A value whose type tag or text does not parse reads as the default, and so does a value of
//   another type; either is reported once per value on standard error.
//
// Changes go to disk at once: every write or delete that changes something saves the hive's file
// atomically (a new file beside the old one, then renamed over it), so the old file survives a
// failed save; a write of what is already stored saves nothing. Several programs may share the
// folder: a save holds the file locked, reads what others saved since this store last read it and
// makes this store's unsaved changes again on top of that, so that no run loses another's. A save
// that fails raises ELumetaError naming the file; the change stays in memory and the next write,
// Flush() or the destructor tries again. Each hive's file is read on first use.
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

enum class THive { CurrentUser, ClassesRoot };

// "HKEY_CURRENT_USER" or "HKEY_CLASSES_ROOT".
std::string HiveName(THive AHive);
// Accepts the full names and "HKCU"/"HKCR", in any case; empty for anything else.
std::optional<THive> ParseHive(std::string_view AText);

enum class TSettingsValueType { None, Boolean, Integer, String, Unreadable };

class TSettingsStore {
 public:
  // The environment variable that moves the default settings folder.
  static constexpr const char* FolderVariable = "LUMETA_SETTINGS_DIR";

  // An empty folder means: $LUMETA_SETTINGS_DIR, else the user's configuration folder + "/lumeta".
  explicit TSettingsStore(const std::string& AFolder = {});
  // Saves unsaved changes; a failure is reported on standard error, never thrown.
  ~TSettingsStore();
  TSettingsStore(const TSettingsStore&) = delete;
  TSettingsStore& operator=(const TSettingsStore&) = delete;

  const std::string& Folder() const { return FFolder; }
  // Saves pending changes to the old folder (throwing if that fails), then forgets the loaded
  // hives so that the next access reads from the new folder (empty: the default folder).
  void SetFolder(const std::string& AFolder);
  // The file that backs a hive.
  std::string HiveFile(THive AHive) const;

  bool KeyExists(THive AHive, std::string_view AKey);
  // Creates the key and its missing parents; an existing key is left as it is.
  void CreateKey(THive AHive, std::string_view AKey);
  // Deletes the key with all its subkeys and values; false when it did not exist. The hive
  // itself cannot be deleted (EInvalidOperation).
  bool DeleteKey(THive AHive, std::string_view AKey);

  bool ValueExists(THive AHive, std::string_view AKey, std::string_view AName);
  TSettingsValueType ValueType(THive AHive, std::string_view AKey, std::string_view AName);
  // Missing key or value gives the default silently; a value of another type or one that does
  // not parse gives the default with a one-time warning on standard error.
  bool ReadBool(THive AHive, std::string_view AKey, std::string_view AName, bool ADefault);
  int ReadInteger(THive AHive, std::string_view AKey, std::string_view AName, int ADefault);
  std::string ReadString(THive AHive, std::string_view AKey, std::string_view AName,
                         const std::string& ADefault);
  // Creates the key when missing and replaces a value of any type.
  void WriteBool(THive AHive, std::string_view AKey, std::string_view AName, bool AValue);
  void WriteInteger(THive AHive, std::string_view AKey, std::string_view AName, int AValue);
  void WriteString(THive AHive, std::string_view AKey, std::string_view AName, std::string_view AValue);
  // False when there was no such value.
  bool DeleteValue(THive AHive, std::string_view AKey, std::string_view AName);

  // In the order they were created; empty for a missing key.
  std::vector<std::string> ValueNames(THive AHive, std::string_view AKey);
  std::vector<std::string> SubKeyNames(THive AHive, std::string_view AKey);

  // Saves every hive with unsaved changes; raises ELumetaError naming the file on failure.
  void Flush();
  // Why a save into the folder would fail (it cannot be created, or written in); empty when it
  // would not. For a run that changed nothing, and so saved nothing, to warn all the same.
  std::string FolderProblem() const;
  // Forgets the unsaved changes, once a failed Flush was reported: the destructor then does not
  // try, and report, the same write again.
  void DropUnsaved();

 private:
  struct TKey;
  struct TChange;
  struct THiveData;

  std::string ReadHiveFile(THive AHive) const;
  void Parse(THive AHive, const std::string& AText, THiveData& AInto) const;
  THiveData& Hive(THive AHive);
  TKey* FindKey(THive AHive, std::string_view AKey);
  // Makes the change in the tree under ARoot; false when it changes nothing there.
  static bool Apply(TKey& ARoot, const TChange& AChange);
  // Makes the change and saves it; false, saving nothing, when it changes nothing.
  bool Change(THive AHive, TChange AChange);
  const std::string* FindStored(THive AHive, std::string_view AKey, std::string_view AName);
  void Store(THive AHive, std::string_view AKey, std::string_view AName, std::string AStored);
  void Save(THive AHive);
  void Warn(THive AHive, std::string_view AKey, std::string_view AName, const std::string& AMessage);

  std::string FFolder;
  std::unique_ptr<THiveData> FHives[2];  // loaded on first use
  std::set<std::string> FWarned;  // folded places already warned about
};

// The process-wide store, created on first use in the default folder.
TSettingsStore& SettingsStore();
// Points the process-wide store at another folder (what `lumeta --settings-dir` sets).
void SetSettingsFolder(const std::string& AFolder);
