#pragma once
// The export entry of the controller: check that the task program is installed, let the user
// confirm the options, export the selection's map with a progress window, and report the count.
#include "contract/LumetaCommandsIntf.h"
#include "contract/LumetaSelectionIntf.h"

void RunExportActions(ILumetaModel* AModel, ISelection* ASelection);
