#pragma once
// The `link`, `links` and `refresh` commands of the lumeta language: task links between two
// nodes, and rescheduling the whole map, through the session's action editor.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "apps/EntryCommands.h"
#include "com/ComPtr.h"
#include "contract/CommandIntf.h"
#include "contract/LumetaTypes.h"
#include "host/LumetaModel.h"
#include "session/ActionEditor.h"

inline constexpr const char* LinkCommandUsage = "link add|remove|type PRED SUCC [FS|SS|FF|SF]";
inline constexpr const char* LinksCommandUsage = "links ID";
inline constexpr const char* RefreshCommandUsage = "refresh";

// The undoable command that adds, removes or retypes (to AType) the link from APredecessor to
// ASuccessor (nothing runs it yet). A link the link rules refuse shows their warning through the
// dialog service and raises ELinkRefused; a link that is there already (Add) or is missing raises
// ELumetaError. The rescheduling that follows is on exactly while the map's task scheduling is.
ComPtr<ICommand> MakeLinkCommand(TLumetaModel* AModel, TLinkChange AChange, TLumetaNode* APredecessor,
                                 TLumetaNode* ASuccessor, TTaskLinkType AType = ltFinishToStart);

// `link add|remove|type PRED SUCC [TYPE]` on the words, run as one undo step; unknown nodes, words
// and types raise ELumetaError. Returns the warnings of a link made with a node that is no task.
std::vector<std::string> RunLinkCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs);

// TActionEditor::PredecessorChanges on ASuccessor; a refused list raises ELinkRefused.
std::vector<TPredecessorChange> PredecessorListChanges(TLumetaModel* AModel, TLumetaNode* ASuccessor,
                                                       const std::string& AText);

// After a tree change put ANode under new summary tasks: the warning for a link that now leads in
// a circle, else empty. A reschedule that meets the circle stops on it.
std::string LinkCircleAbove(TLumetaModel* AModel, TLumetaNode* ANode);
// The warning for a map whose links form a circle (an edited file can hold one), else empty.
std::string LinkCircleInMap(TLumetaModel* AModel);

// Prints the node's links, predecessors first, each list in its order: "pred ID TYPE" and
// "succ ID TYPE" with TYPE one of FS, SS, FF, SF.
void RunLinksCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut);
