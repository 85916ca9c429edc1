#pragma once
// The `panel` command of the lumeta language: the Action plug-in's docked panel, opened offscreen
// on the nodes, read, typed into and pictured as a user would.
#include <iosfwd>
#include <string>
#include <vector>

#include "host/LumetaModel.h"

inline constexpr const char* PanelCommandUsage = "panel ID... [--set FIELD=VALUE...] [--read-only] [--screenshot FILE]";

// Makes the nodes the current selection and shows the panel on them. With --set, types each value
// into its field (FIELD as the panel labels it, in any case) and presses Enter, which commits the
// edits as one undoable step. Then prints the panel's fields, "label: value" in panel order with
// " (disabled)" after a disabled one, and saves the panel's picture as a PNG when asked. Raises
// ELumetaError for a field the panel does not have, a value it cannot take, or a disabled field (with the reason the plug-in gives, when it gives one).
void RunPanelCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut);
