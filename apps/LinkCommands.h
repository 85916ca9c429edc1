#pragma once
// The `link`, `links` and `refresh` commands of the lumeta language: task links between two
// nodes, and rescheduling the whole map.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "contract/CommandIntf.h"
#include "host/LumetaModel.h"

inline constexpr const char* LinkCommandUsage = "link add|remove|type PRED SUCC [FS|SS|FF|SF]";
inline constexpr const char* LinksCommandUsage = "links ID";
inline constexpr const char* RefreshCommandUsage = "refresh";

// The undoable command that adds, removes or retypes the link from PRED to SUCC (nothing runs
// it yet). A link the link rules refuse shows their warning through the dialog service and
// raises ELumetaError, as do unknown nodes, words and types. The rescheduling that follows is on
// exactly while the map's task scheduling is.
ComPtr<ICommand> RunLinkCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs);

// Prints the node's links, predecessors first, each list in its order: "pred ID TYPE" and
// "succ ID TYPE" with TYPE one of FS, SS, FF, SF.
void RunLinksCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut);

// One task link as the node stores it: the linked node's ID and the type's code (FS, SS, FF, SF).
struct TTaskLinkInfo {
  int64_t NodeID = 0;
  const char* Type = "FS";
};
// The node's predecessors (APredecessors) or successors, in their order; links to nodes that are
// gone are left out.
std::vector<TTaskLinkInfo> TaskLinksOf(INode* ANode, bool APredecessors);

// The command that starts every task of the map again from the schedule start and lets its
// links and constraints place it.
ComPtr<ICommand> RunRefreshCommand(TLumetaModel* AModel);
