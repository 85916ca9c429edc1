#pragma once
// What the rows of a table show of their nodes' actions, read for many rows at once.
#include <vector>

#include "contract/ActionEditIntf.h"
#include "contract/LumetaIntf.h"

// What each of ANodes shows in a table: a summary task's rolled-up values while its map schedules
// tasks, else the record's own. Nodes listed in pre-order with all their children (a table of a
// whole branch) roll up from the rows themselves, each summary once; a summary whose children are
// not all listed after it is rolled up by a walk of its branch. Nothing may change the map meanwhile.
// ARecords, when not empty, holds each node's "Action" property (or null), not counted. ADepths,
// when not empty, holds each node's depth in a list of whole branches in pre-order, none null.
std::vector<TShownAction> ShownActionsOf(const std::vector<INode*>& ANodes, const std::vector<IProperty*>& ARecords = {},
                                         const std::vector<int32_t>& ADepths = {});
