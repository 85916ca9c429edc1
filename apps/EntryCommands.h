#pragma once
// The `exec` and `update` commands of the lumeta language: the command entries (menu items and
// action columns) that the Action plug-in's controller serves, run or updated on a selection
// through the session's action editor.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "com/ComErrors.h"
#include "com/ComPtr.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaSelectionIntf.h"
#include "host/LumetaModel.h"
#include "session/ActionEditor.h"

inline constexpr const char* ExecCommandUsage = "exec CMD [VALUE] [--auto] [--no-validate] [--move]";
inline constexpr const char* UpdateCommandUsage = "update CMD";

// Raised after the link rules' warning has been shown, so that a caller need not say it again.
class ELinkRefused : public ELumetaError {
 public:
  explicit ELinkRefused(const std::string& AMessage = "the link rules refuse this link") : ELumetaError(AMessage) {}
};

// Raises the result's error (ELinkRefused when the plug-in has shown its warning already).
void RaiseIfRefused(const TEditResult& AResult);

// The node's "Action" record, or empty (also for no node).
ComPtr<IActionAttribute> ActionOf(INode* ANode);

// Runs entry AID (6 to 23) on the selection as TActionEditor::RunEntry does; raises its error.
void ExecuteEntry(TLumetaModel* AModel, ISelection* ASelection, int32_t AID,
                  const std::vector<std::string>& AValueWords, TDateEditFlags AFlags = {});
// Entry AID (6 to 23) as the controller leaves it after its update on the selection.
TEntryState UpdateEntry(TLumetaModel* AModel, ISelection* ASelection, int32_t AID);

// `exec CMD [VALUE] [--auto] [--no-validate] [--move]` on the selection.
void RunExecCommand(TLumetaModel* AModel, ISelection* ASelection, const std::vector<std::string>& AArgs);

// `update CMD`: prints "enabled=0|1 checked=0|1" for a checkable entry on the selection.
void RunUpdateCommand(TLumetaModel* AModel, ISelection* ASelection, const std::vector<std::string>& AArgs,
                      std::ostream& AOut);
