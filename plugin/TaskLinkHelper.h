#pragma once
// The rules about task links: which predecessor links are allowed and the warning shown when one
// is not, how a typed predecessor ("12FS") reads, which constraints let a task be rescheduled,
// which summary tasks may take which links, and the earliest dates a task's predecessors allow.
// Links are read from the nodes' "NodeLinks" (predecessors) and "SuccessorNodeLinks" properties.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "contract/InteractionIntf.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "contract/LumetaTypes.h"
#include "contract/WorkingSchedulerIntf.h"
#include "commands/NodeList.h"

// A proposed predecessor of a task.
struct TPredecessorPair {
  ComPtr<INode> Node;
  TTaskLinkType LinkType = ltFinishToStart;
};

// The warning for a typed task number that names no task of the map.
inline constexpr const char* KInvalidTaskIdMessage =
    "Invalid task ID.\r\n\r\nThis task ID number you entered does not exist. Specify a task ID number that is "
    "used in this project to create a new predecessor.";

// Nodes are compared by identity: the host hands out one object per node. Missing nodes, records
// and link lists count as empty; nothing here raises for them.
class TTaskLinkHelper {
 public:
  TTaskLinkHelper() = delete;

  // Whether APredecessor may become a predecessor of ASuccessor with ALinkType, checked against
  // ALinks (the successor's own predecessor links when null). A link that exists with the same
  // type passes, so that an unchanged link revalidates. Summary tasks count with all their
  // subtasks when looking for a way back from the successor to the predecessor.
  static TTaskLinkResult Validate(INode* ASuccessor, INode* APredecessor, INodeLinkList2* ALinks,
                                  TTaskLinkType ALinkType);
  // Validates the pairs in order as the successor's whole list of predecessors (so a task named
  // twice with two types fails); shows the first failure's warning and answers false.
  static bool ValidatePredecessorLinks(INode* ASuccessor, const std::vector<TPredecessorPair>& APairs);
  // The warning for a result: empty for tlOk, a general one for a value outside the enumeration.
  static std::string LinkErrorText(TTaskLinkResult AResult);
  // Shows LinkErrorText as a warning through the dialog service; nothing for tlOk.
  static void ShowLinkError(TTaskLinkResult AResult);
  // Reads a task number with an optional type code in any case ("12", "12fs", "7SS"); no code
  // means finish-to-start. False, with ATaskNumber unspecified, when the rest is not a number.
  static bool ValidatePredStr(std::string_view AText, int64_t& ATaskNumber, TTaskLinkType& ALinkType);
  // True when ACheck is false or the node's constraint lets it move (as soon as possible, finish
  // no later than, start no earlier than); a node without a record has no constraint.
  static bool ValidateConstraint(INode* ANode, bool ACheck);
  // False when the node has a finish-to-finish or start-to-finish predecessor, which a summary
  // task may not have; true for no node.
  static bool IsEligiableSummary(INode* ASummary);
  // True for an empty selection, else whether the node the interaction would make a summary task
  // may be one; shows the summary-link warning on failure when AShowError.
  static bool ValidateInteraction(IInteraction* AInteraction, ISelection* ASelection, bool AShowError);
  // The node the interaction would put the selection's nodes under (see InteractionIntf.h); empty
  // for other kinds. The selection's first node is the target; "not selected" means not in it.
  static ComPtr<INode> GetNewSummary(IInteraction* AInteraction, ISelection* ASelection);
  // A summary task's constraint gives way to its subtasks.
  static TTaskConflictResolutionType ResolveSummaryConflict() { return rtRemoveConstraint; }
  static bool HasSuccessors(INode* ANode);
  // Whether a link from APredecessor to ASuccessor closes a circle: the way back that Validate
  // looks for, without its other checks.
  static bool LeadsBack(INode* ASuccessor, INode* APredecessor);
  // The first of the node's successor links (and, with APredecessorsToo, of its predecessor links)
  // that LeadsBack, as its two ends; both empty when none does.
  struct TLinkEnds {
    ComPtr<INode> Predecessor, Successor;
    explicit operator bool() const { return Predecessor != nullptr; }
  };
  static TLinkEnds LinkLeadingBack(INode* ANode, bool APredecessorsToo);
  // The links of one circle in the map that holds ANode, in the order they lead round, each link
  // leading on from where the one before it ends (through subtasks and the summaries above, as
  // LeadsBack searches); empty when the map's links form none. Linear in the map's nodes and links.
  static std::vector<TLinkEnds> FindCircle(INode* ANode);
  // "the link from node P to node S leads back to where it starts": names the circle's first link.
  static std::string CircleText(const std::vector<TLinkEnds>& ACircle);
  // The summary task directly above the node, or empty; the map's root is never one.
  static ComPtr<INode> SummaryAbove(INode* ANode);
  // The linked nodes of the node's successor links, in list order.
  static ComPtr<TNodeList> FindSuccessors(INode* ANode);
  // Working days between the dates by the node's map; 0 without a scheduler.
  static double CalcDuration(INode* ANode, double AStart, double AFinish);
  // The earliest of ADate and the finishes the node's finish-to-finish and start-to-finish
  // predecessors give; a running value of 0 (no date) takes the next candidate.
  static double CalcNextEndDate(INode* ANode, double ADate);
  // The earliest start the node's predecessors allow, and those of every summary task above it.
  // ADate 0 means the start of the project's top task (the context's first main branch, else the
  // node's). Only a task to be scheduled as soon as possible is held back by its predecessors.
  static double CalcNextStartDate(ILumetaModel* AContext, INode* ANode, double ADate);
  // The start the predecessors allow for a proposed start; ADate without a scheduler. With AClimb
  // the summary task directly above is asked too.
  static double CalcEarliestStart(INode* ANode, IWorkingScheduler* AScheduler, bool AClimb, double AProposedStart,
                                  double ADate);
  // The finish the finish-to-finish and start-to-finish predecessors allow.
  static double CalcEarliestFinish(INode* ANode, IWorkingScheduler* AScheduler, double ADate);
  // A property command, with the one-node selection to run it on, that moves the node's task to
  // ANewStart: a task with a duration loses its finish (rescheduling works it out again), one
  // without keeps its finish at the same distance. Empty when the node has no record. Raises
  // EClassNotFound when the model has no "Action" class.
  static ComPtr<ICommandListItem> PrepareMoveTaskCommand(ILumetaModel* AContext, INode* ANode, double ANewStart);
  // Adds to ACommands (at its front with AAtFront) one remove-link command, with the reschedule
  // switch given, for each finish-to-finish or start-to-finish predecessor link of the summary task
  // the interaction would make: a summary may not keep those. The commands use ACommands' model.
  // One set for the one summary, however many nodes the selection holds.
  static void BuildInvalidLinks(IInteraction* AInteraction, ISelection* ASelection, IMultipleCommand* ACommands,
                                bool AReschedule, bool AAtFront);
};
