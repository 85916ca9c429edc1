#pragma once
// The map as a plan: its nodes below the central topic in tree order, each with its place in the
// outline, its action as the plug-in answers it (summaries rolled up) and its predecessors.
#include <cstdint>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "contract/ActionVocabulary.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaTypes.h"
#include "host/LumetaMap.h"

struct TPlanLink {
  int64_t NodeID = 0;
  TTaskLinkType Type = ltFinishToStart;
};

struct TPlanRow {
  TLumetaNode* Node = nullptr;
  int32_t Depth = 1;          // 1 for a main branch
  std::string OutlineNumber;  // "2.1.3": the positions among siblings, from 1
  ComPtr<IActionAttribute> Action;  // null for a node without an action
  std::vector<TPlanLink> Predecessors;
};

// Every node but the root, in pre-order, walked without recursion.
std::vector<TPlanRow> PlanRows(TLumetaMap& AMap);

// The node's predecessor links, in their order; links to nodes that are gone are left out.
std::vector<TPlanLink> PlanPredecessors(INode* ANode);

// "FS", "SS", "FF" or "SF".
inline std::string LinkTypeCode(TTaskLinkType AType) { return std::string(KTaskLinkTypeCodes.at(AType)); }

