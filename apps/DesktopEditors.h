#pragma once
// The in-place editors of the desktop window's columns. Kept apart from the window: the cell
// editors' names and the action record's field names share identifiers.
#include "com/ComPtr.h"
#include "treegrid/EditLinkIntf.h"

// The editor for a column of TDesktopColumn.
ComPtr<IVTEditLink> MakeDesktopEditor(int AColumn);
