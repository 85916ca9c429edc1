#pragma once
// The export entry of the controller: check that the task program is installed, let the user
// confirm the options, export the selection's map with a progress window, and report the count.
// Beside it the same export without windows, which the controller serves to front ends.
#include "com/ComObject.h"
#include "contract/ExportIntf.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/LumetaSelectionIntf.h"

void RunExportActions(ILumetaModel* AModel, ISelection* ASelection);

class TActionExport : public TImplements<TComObject, IActionExport> {
 public:
  ComPtr<IExportActionsOutlookOptions> LoadExportOptions() override;
  std::vector<TPlannedTask> PlanExport(IExportActionsOutlookOptions* AOptions, ISelection* ASelection,
                                       ILumetaModel* AModel) override;
  int32_t ExportActions(IExportActionsOutlookOptions* AOptions, ISelection* ASelection, ILumetaModel* AModel,
                        ILumetaProgress* AProgress,
                        const std::function<void(const TExportedTask&)>& AOnExported) override;
};
