#pragma once
// The `edit` command of the lumeta language: the plug-in's Edit Action dialog, opened on nodes and
// worked as a person works it: values typed into its controls, predecessors typed into its grid,
// then OK or Cancel pressed. The warnings the dialog shows go to standard error.
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "contract/LumetaSelectionIntf.h"
#include "host/LumetaModel.h"
#include "session/ActionEditor.h"

inline constexpr const char* EditCommandUsage =
    "edit ID... [--set FIELD=VALUE]... [--pred [-]ID[TYPE]]... [--page general|advanced] [--screenshot FILE] "
    "[--ok|--cancel]";

// What one `edit` asks for, read from its words before any window opens.
struct TEditRequest {
  struct TFieldValue {
    std::string Field;  // as the user wrote it
    std::string Value;
  };
  struct TPredecessor {
    std::string TaskID;
    std::string Type;  // "FS", "SS", "FF", "SF"; empty when not given
    bool Remove = false;
  };
  std::vector<std::string> NodeIDs;
  std::vector<TFieldValue> Fields;
  std::vector<TPredecessor> Predecessors;
  std::string Page;
  std::string Screenshot;
  bool Ok = true;
};

// Reads the words after `edit`; raises ELumetaError naming what is wrong with them (an unknown
// field or option, a value the field's control cannot take, a malformed predecessor).
TEditRequest ParseEditRequest(TActionEditor& AEditor, const std::vector<std::string>& AArgs);

// Opens the dialog through the controller's Edit Action entry on the selection (the request's
// nodes) and works it. Raises ELumetaError when the entry is disabled, when the dialog does not
// open, or when a value cannot be typed into its control (the dialog is then cancelled).
void RunEditCommand(TLumetaModel* AModel, ISelection* ASelection, const TEditRequest& ARequest);
