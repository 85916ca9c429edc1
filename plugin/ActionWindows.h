#pragma once
// The windows the controller opens (the Edit Action dialog, the action panel, the value pick list
// and the export) are built in the layers above the plug-in's core. The library that assembles the
// plug-in hands them to its Action manager, which gives them to each controller it makes; a window
// left empty is missing, and the command that would open it does nothing.
#include <functional>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "contract/ExportIntf.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaSelectionIntf.h"

struct TEditActionArgs {
  IProperty* Action = nullptr;       // the selection's combined record, written in place
  ISelection* Selection = nullptr;
  IProperty* Title = nullptr;        // the first selected node's title, when the host offers it as a property
  IProperty* EmptyAction = nullptr;  // what "Clear" resets the record to
  ILumetaModel* Model = nullptr;
};

struct TActionWindows {
  // True when the dialog closed with OK; ACollected then holds the title and link commands, to run
  // after the record's own command.
  std::function<bool(const TEditActionArgs& AArgs, ComPtr<IMultipleCommand>& ACollected)> EditAction;
  // The action panel for the host object, answering IPlugInView.
  std::function<ComPtr<IUnknown>(IUnknown* AParent, IUnknown* AApplication)> CreateView;
  // A pick list captioned AField, preset to AValue; true with AValue set to the pick on OK.
  std::function<bool(const std::string& AField, const std::vector<std::string>& AItems, std::string& AValue)>
      PickValue;
  // The export dialog, then the export of the selection's map.
  std::function<void(ILumetaModel* AModel, ISelection* ASelection)> ExportActions;
  // The same export without windows, which the controller serves to front ends.
  ComPtr<IActionExport> Export;
};
