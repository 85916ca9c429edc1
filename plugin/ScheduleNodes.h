#pragma once
// What a schedule run reads of a node again and again, looked up once per run: its action record
// and its two link lists. Each look-up through the node costs a search of its properties and
// several interface queries, and a run asks the same few nodes for them a dozen times per task.
// Also the last validation of each node's dates, for as long as what it read stays as it was.
#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "attributes/LumetaAttributes.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "contract/LumetaTypes.h"

class TActionAttribute;

// A run changes no links and no tree, so the link lists stay as read. A property command puts a new
// record on its node: its issuer says so (RecordWritten), as the run does for the dates it writes
// itself (DatesWritten); after any other command the run cannot see into, everything is forgotten
// (Clear). Kept for one run of one map; the map holds the nodes meanwhile, so nodes are not counted.
class TScheduleNodes {
 public:
  // A link as a list holds it: the node at the other end and the link's type (finish to start
  // for a link that carries none).
  struct TLinkEnd {
    INode* Node;
    TTaskLinkType Type;
    bool IsTaskLink;  // the link answers the task-link interface
  };
  // A node's links in list order, links to nodes that are gone left out; Count is the list's own
  // count, those included.
  struct TLinks {
    std::vector<TLinkEnd, TAttributePoolAllocator<TLinkEnd>> Ends;
    int32_t Count = 0;
  };

  // What a validation read of a node: its record's fields, and with Dates the dates it shows (a
  // summary's rolled up from the tasks below it).
  struct TRead {
    INode* Node;
    bool Dates;
  };
  static constexpr size_t KKeptReads = 6;
  // A validation of a node's proposed start and finish, with what it read and whether its outcome
  // read the proposals. A finish that passes the proposal through is the proposal, whatever it is.
  struct TKeptValidation {
    uint32_t At = 0;  // Writes() when it ran
    std::array<TRead, KKeptReads> Reads{};
    uint32_t ReadCount = 0;
    double ProposedStart = 0;
    double ProposedFinish = 0;
    bool StartReadsProposal = true;
    bool FinishReadsProposal = true;
    bool FinishPassesProposal = false;
    bool StartRestricted = false;
    bool FinishRestricted = false;
    double Start = 0;
    double Finish = 0;
  };

  TScheduleNodes() = default;
  TScheduleNodes(const TScheduleNodes&) = delete;
  TScheduleNodes& operator=(const TScheduleNodes&) = delete;

  // The node's "Action" record, null when it has none; kept alive by this object until forgotten.
  IActionAttribute* Action(INode* ANode);
  // The same as the plug-in's own record class; null for none or another kind.
  TActionAttribute* Record(INode* ANode);
  // The predecessor and successor links. The reference stays valid until Clear.
  const TLinks& Predecessors(INode* ANode) { return Links(ANode, false); }
  const TLinks& Successors(INode* ANode) { return Links(ANode, true); }

  // The run wrote the node's dates, which moves the dates the summaries above it show.
  void DatesWritten(INode* ANode);
  // A command put a new record on the node: forgotten, and counted as a write of its dates too.
  void RecordWritten(INode* ANode);
  // How many writes the run has told of.
  uint32_t Writes() const noexcept { return FWrites; }
  // The node's kept validation when nothing it read was written since; else null.
  const TKeptValidation* KeptValidation(INode* ANode);
  void KeepValidation(INode* ANode, const TKeptValidation& AValidation);
  void Clear() noexcept;

 private:
  struct TEntry {
    ComPtr<IActionAttribute> Action;
    TActionAttribute* Record = nullptr;  // the object behind Action, which holds it
    bool ActionRead = false;
    bool PredecessorsRead = false;
    bool SuccessorsRead = false;
    TLinks Predecessors;
    TLinks Successors;
    uint32_t RecordStamp = 0;  // Writes() at the last write of the record, or 0
    uint32_t DatesStamp = 0;   // the same for the dates it shows
    std::optional<TKeptValidation> Validation;
  };
  TEntry& Entry(INode* ANode);
  const TLinks& Links(INode* ANode, bool ASuccessors);
  static void ReadLinks(INodeLinkList2* AList, TLinks& ALinks);
  // Whether the read still holds: nothing it covers was written after AAt.
  bool Holds(const TRead& ARead, uint32_t AAt) const;

  // From the attribute pools, which keep their room: a run of a large plan reads a hundred
  // thousand nodes, and heap blocks freed at its end went back to the system, to be faulted in
  // again by the next run.
  std::unordered_map<INode*, TEntry, std::hash<INode*>, std::equal_to<INode*>,
                     TAttributePoolAllocator<std::pair<INode* const, TEntry>>>
      FEntries;
  uint32_t FWrites = 0;
  // The last node asked about: the rules ask the same node several times in a row.
  INode* FLastNode = nullptr;
  TEntry* FLastEntry = nullptr;
};
