#pragma once
// The `exec` and `update` commands of the lumeta language: the command entries (menu items and
// action columns) that the Action plug-in's controller serves, run or updated on a selection.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "com/ComPtr.h"
#include "commands/ActionFieldEdit.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaSelectionIntf.h"
#include "host/LumetaModel.h"

inline constexpr const char* ExecCommandUsage = "exec CMD [VALUE] [--auto] [--no-validate] [--move]";
inline constexpr const char* UpdateCommandUsage = "update CMD";

// The node's "Action" record, or empty (also for no node).
ComPtr<IActionAttribute> ActionOf(INode* ANode);

// The value typed for AField of ANode, as a column stores it: a date is placed by the plug-in's
// rule (a day alone keeps the field's time of day or takes the working day's start or end).
// Raises EConvertError naming the text and the field.
TActionFieldValue ParseTypedFieldValue(TLumetaModel* AModel, INode* ANode, TActionField AField,
                                       std::string_view AText);

// How a date edit is handed on: checked first, kept as soon as possible, moving the whole task.
struct TDateEditFlags {
  bool Validate = true;
  bool AutoSchedule = false;
  bool MoveTask = false;
};

// Runs entry AID (6 to 23) on the selection with the value typed from AValueWords as its field's
// column types it (Duration's second word is its measure, by default the first selected node's).
// The entry is updated first, and a disabled one is refused as the desktop program refuses a
// disabled menu item. Raises ELumetaError naming the entry and what was wrong with the words.
void ExecuteEntry(TLumetaModel* AModel, ISelection* ASelection, int32_t AID,
                  const std::vector<std::string>& AValueWords, TDateEditFlags AFlags = {});

// Entry AID (6 to 23) as the controller leaves it after its update on the selection.
struct TEntryState {
  bool Enabled = false;
  bool Checked = false;
};
TEntryState UpdateEntry(TLumetaModel* AModel, ISelection* ASelection, int32_t AID);

// `exec CMD [VALUE] [--auto] [--no-validate] [--move]` on the selection.
void RunExecCommand(TLumetaModel* AModel, ISelection* ASelection, const std::vector<std::string>& AArgs);

// `update CMD`: prints "enabled=0|1 checked=0|1" for a checkable entry on the selection.
void RunUpdateCommand(TLumetaModel* AModel, ISelection* ASelection, const std::vector<std::string>& AArgs,
                      std::ostream& AOut);
