#include "outlook/ExportActionsOptions.h"

#include "settings/LumetaSettingsStore.h"

namespace {

constexpr const char* KExpandBranches = "Expand Branches";
constexpr const char* KExportRange = "Export Range";
constexpr const char* KIncludeProperties = "Include Properties";
constexpr const char* KActionsToExport = "Actions To Export";

std::string SubKey(const std::string& ASection) { return ASection + "\\" + KExportSectionName; }

}  // namespace

void TExportActionsOutlookOptions::LoadSettings() {
  TSettingsStore& store = SettingsStore();
  if (!store.KeyExists(THive::CurrentUser, FSectionKey)) return;
  const std::string key = SubKey(FSectionKey);
  FExpandBranches = store.ReadBool(THive::CurrentUser, key, KExpandBranches, true);
  FExportRange = store.ReadInteger(THive::CurrentUser, key, KExportRange, erCurrentView);
  FIncludeProperties = store.ReadInteger(THive::CurrentUser, key, KIncludeProperties, eiFullTitlePath);
  FActionsToExport = store.ReadInteger(THive::CurrentUser, key, KActionsToExport, aeNewOrUpdated);
}

void TExportActionsOutlookOptions::SaveSettings() {
  TSettingsStore& store = SettingsStore();
  const std::string key = SubKey(FSectionKey);
  store.CreateKey(THive::CurrentUser, key);
  store.WriteBool(THive::CurrentUser, key, KExpandBranches, FExpandBranches);
  store.WriteInteger(THive::CurrentUser, key, KExportRange, FExportRange);
  store.WriteInteger(THive::CurrentUser, key, KIncludeProperties, FIncludeProperties);
  store.WriteInteger(THive::CurrentUser, key, KActionsToExport, FActionsToExport);
}
