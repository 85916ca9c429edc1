// The export entry of the controller: check that the task program is installed, let the user
// confirm the options, export with a progress window, and report the count.
#include <string>

#include "com/DialogService.h"
#include "outlook/ActionOutlookExporter.h"
#include "outlook/ExportActionsOptions.h"
#include "outlook/MsOfficeAppVersion.h"
#include "plugin/ActionWindows.h"
#include "ui/ExportActionsForm.h"
#include "ui/ProgressDialog.h"

namespace {

void ExportActions(ILumetaModel* AModel, ISelection* ASelection) {
  if (ThvMsOfficeAppVersion::AppVersion("Outlook") <= 0) {
    DialogService().ShowMessage(TMessageKind::Warning, "Outlook must be installed to use this feature");
    return;
  }
  ComPtr<TExportActionsOutlookOptions> options = make<TExportActionsOutlookOptions>();
  options->LoadSettings();
  if (!TExportActionsForm::Execute(options.get(), ASelection)) return;
  options->SaveSettings();
  TActionOutlookExporter exporter(make<TDlgProgress>());
  const int32_t count = exporter.ExportActions(options.get(), ASelection, AModel);
  if (count != -1)
    DialogService().ShowMessage(TMessageKind::Information,
                                "Export Actions to MS Outlook complete\rTotal Number of Actions exported: " +
                                    std::to_string(count));
}

const bool KRegistered = [] {
  ActionWindows().ExportActions = &ExportActions;
  return true;
}();

}  // namespace
