#pragma once
// The `symbol` command of the lumeta language: what the host draws beside a node for its Action
// property.
#include <iosfwd>
#include <string>
#include <vector>

#include "contract/LumetaIntf.h"

// The command's usage line.
inline constexpr const char* SymbolCommandUsage = "symbol ID [HEIGHT] [--png FILE]";

// Runs the command for ANode; AArgs are the words after the node ID. Without --png it writes two
// lines to AOut: "images:" with " NAME" for each image the symbol draws, in drawing order, then
// "size: WxH", the room the symbol takes at icon size 6 when HEIGHT (default 6) is available.
// With --png FILE it writes nothing but draws the symbol four times enlarged (HEIGHT too) onto a
// transparent image saved as FILE. A node without an Action property is measured and drawn as one
// with an empty record, which the action manager AActionManager makes for the purpose. Raises
// ELumetaError (code E_INVALIDARG) for bad arguments and for a symbol with nothing to render, and
// ELumetaError naming FILE when it cannot be written.
void RunSymbolCommand(INode* ANode, IPropertyManager* AActionManager, const std::vector<std::string>& AArgs,
                      std::ostream& AOut);
