#pragma once
// The context menu of a node in the tree: the map's categories, checked where the node is in
// one, and New Category; each choice is one undo step.
#include <cstdint>

class QMenu;
class QWidget;
class TDesktopItemModel;

// A new menu for the node (owned by AParent); empty of entries without a map or a node.
QMenu* MakeNodeMenu(TDesktopItemModel* AItems, int64_t AID, QWidget* AParent);
