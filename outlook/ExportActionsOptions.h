#pragma once
// The export options, kept in the settings store under
// HKEY_CURRENT_USER\<section key>\ExportActionsToOutlook.
#include <string>

#include "com/ComObject.h"
#include "contract/ExportIntf.h"

inline constexpr const char* KExportSectionKey = "Software\\Quorvantis\\V4";
inline constexpr const char* KExportSectionName = "ExportActionsToOutlook";

class TExportActionsOutlookOptions
    : public TImplements<TComObject, IExportActionsOutlookOptions, IhvSettings> {
 public:
  // Everything 0 and off until LoadSettings finds the key.
  TExportActionsOutlookOptions() = default;

  int32_t GetActionsToExport() override { return FActionsToExport; }
  int32_t GetExportRange() override { return FExportRange; }
  bool GetExpandBranches() override { return FExpandBranches; }
  int32_t GetIncludeProperties() override { return FIncludeProperties; }
  void SetActionsToExport(int32_t AValue) override { FActionsToExport = AValue; }
  void SetExportRange(int32_t AValue) override { FExportRange = AValue; }
  void SetExpandBranches(bool AValue) override { FExpandBranches = AValue; }
  void SetIncludeProperties(int32_t AValue) override { FIncludeProperties = AValue; }

  std::string GetSectionKey() override { return FSectionKey; }
  std::string GetSectionName() override { return KExportSectionName; }
  // Without the section key nothing changes; a value that is missing takes its default (expand on,
  // "Full title path" only, current view, new or updated).
  void LoadSettings() override;
  void SaveSettings() override;
  void SetSectionKey(const std::string& AKey) override { FSectionKey = AKey; }

 private:
  int32_t FActionsToExport = aeNewOrUpdated;
  int32_t FExportRange = erCurrentView;
  bool FExpandBranches = false;
  int32_t FIncludeProperties = 0;
  std::string FSectionKey = KExportSectionKey;
};
