#pragma once
// The `link`, `links` and `refresh` commands of the lumeta language: task links between two
// nodes, and rescheduling the whole map.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "com/ComErrors.h"
#include "com/ComPtr.h"
#include "contract/CommandIntf.h"
#include "contract/LumetaTypes.h"
#include "host/LumetaModel.h"

inline constexpr const char* LinkCommandUsage = "link add|remove|type PRED SUCC [FS|SS|FF|SF]";
inline constexpr const char* LinksCommandUsage = "links ID";
inline constexpr const char* RefreshCommandUsage = "refresh";

// Raised after the link rules' warning has been shown, so that a caller need not say it again.
class ELinkRefused : public ELumetaError {
 public:
  ELinkRefused() : ELumetaError("the link rules refuse this link") {}
};

enum class TLinkChange { Add, Remove, Retype };

// The undoable command that adds, removes or retypes (to AType) the link from APredecessor to
// ASuccessor (nothing runs it yet). A link the link rules refuse shows their warning through the
// dialog service and raises ELinkRefused; a link that is there already (Add) or is missing raises
// ELumetaError. The rescheduling that follows is on exactly while the map's task scheduling is.
ComPtr<ICommand> MakeLinkCommand(TLumetaModel* AModel, TLinkChange AChange, TLumetaNode* APredecessor,
                                 TLumetaNode* ASuccessor, TTaskLinkType AType = ltFinishToStart);

// `link add|remove|type PRED SUCC [TYPE]`: MakeLinkCommand on the words; unknown nodes, words and
// types raise ELumetaError.
ComPtr<ICommand> RunLinkCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs);

// One change of a successor's predecessor links: to the link from the node APredecessorID.
struct TPredecessorChange {
  TLinkChange Change = TLinkChange::Add;
  int64_t PredecessorID = 0;
  TTaskLinkType Type = ltFinishToStart;
};

// What makes ASuccessor's predecessors the list typed as a predecessors column shows it: task
// numbers, each with an optional type code ("3, 5SS, 7ff"), separated by commas or semicolons; an
// empty text removes them all. Removals come first, then type changes, then new links, each to be
// made by MakeLinkCommand once the ones before it have run (so the link rules see the links as
// they will be then); an unchanged list gives none. A number that names no task shows the
// plug-in's invalid-task warning, a task named with two types the duplicate-link warning, and
// either raises ELinkRefused.
std::vector<TPredecessorChange> PredecessorListChanges(TLumetaModel* AModel, TLumetaNode* ASuccessor,
                                                       const std::string& AText);

// After a tree change put ANode under new summary tasks: a warning naming a link of those
// summaries that now leads in a circle (a link into a summary holds back everything below it, and
// their finishes hold back its own), else empty. A reschedule that meets the circle stops on it.
std::string LinkCircleAbove(TLumetaNode* ANode);
// The warning for a map whose links form a circle (an edited file can hold one), naming the tasks
// of one circle and one of its links; empty when there is none.
std::string LinkCircleInMap(TLumetaMap& AMap);

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
