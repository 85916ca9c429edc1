#include "outlook/ExportActionsCommand.h"

#include <string>

#include "com/DialogService.h"
#include "outlook/ActionOutlookExporter.h"
#include "outlook/ExportActionsOptions.h"
#include "outlook/MsOfficeAppVersion.h"
#include "ui/ExportActionsForm.h"
#include "ui/ProgressDialog.h"

void RunExportActions(ILumetaModel* AModel, ISelection* ASelection) {
  if (ThvMsOfficeAppVersion::AppVersion("Outlook") <= 0) {
    DialogService().ShowMessage(TMessageKind::Warning, "Outlook must be installed to use this feature");
    return;
  }
  ComPtr<TExportActionsOutlookOptions> options = make<TExportActionsOutlookOptions>();
  options->LoadSettings();
  if (!TExportActionsForm::Execute(options.get(), ASelection)) return;
  options->SaveSettings();
  TActionOutlookExporter exporter(make<TDlgProgress>());
  exporter.OnOwnerMissing = [](std::string& AName, std::string& AAddress) {
    return TExportOwnerForm::Execute(AName, AAddress);
  };
  const int32_t count = exporter.ExportActions(options.get(), ASelection, AModel);
  if (count != -1)
    DialogService().ShowMessage(TMessageKind::Information,
                                "Export Actions to MS Outlook complete\rTotal Number of Actions exported: " +
                                    std::to_string(count));
}


ComPtr<IExportActionsOutlookOptions> TActionExport::LoadExportOptions() {
  ComPtr<TExportActionsOutlookOptions> options = make<TExportActionsOutlookOptions>();
  options->LoadSettings();
  return options;
}

std::vector<TPlannedTask> TActionExport::PlanExport(IExportActionsOutlookOptions* AOptions, ISelection* ASelection,
                                                    ILumetaModel* AModel) {
  return TActionOutlookExporter(nullptr).PlanExport(AOptions, ASelection, AModel);
}

int32_t TActionExport::ExportActions(IExportActionsOutlookOptions* AOptions, ISelection* ASelection,
                                     ILumetaModel* AModel, ILumetaProgress* AProgress,
                                     const std::function<void(const TExportedTask&)>& AOnExported) {
  TActionOutlookExporter exporter{ComPtr<ILumetaProgress>(AProgress)};
  exporter.OnExported = AOnExported;
  return exporter.ExportActions(AOptions, ASelection, AModel);
}
