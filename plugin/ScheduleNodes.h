#pragma once
// What a schedule run reads of a node again and again, looked up once per run: its action record
// and its two link lists. Each look-up through the node costs a search of its properties and
// several interface queries, and a run asks the same few nodes for them a dozen times per task.
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "contract/LumetaTypes.h"

class TActionAttribute;

// A run changes no links and no tree, so the link lists stay as read. A property command puts a new
// record on its node: its issuer forgets that node's record (ForgetRecord); after any other command
// the run cannot see into, everything is forgotten (Clear). Kept for one run of one map; the map
// holds the nodes meanwhile, so nodes are not counted.
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
    std::vector<TLinkEnd> Ends;
    int32_t Count = 0;
  };

  TScheduleNodes() = default;
  TScheduleNodes(const TScheduleNodes&) = delete;
  TScheduleNodes& operator=(const TScheduleNodes&) = delete;

  // The node's "Action" record, null when it has none; kept alive by this object until forgotten.
  IActionAttribute* Action(INode* ANode);
  // The same as the plug-in's own record class; null for none or another kind.
  TActionAttribute* Record(INode* ANode);
  // The predecessor and successor links. The reference stays valid until Clear.
  const TLinks& Predecessors(INode* ANode);
  const TLinks& Successors(INode* ANode);

  void ForgetRecord(INode* ANode);
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
  };
  TEntry& Entry(INode* ANode);
  static void ReadLinks(INodeLinkList2* AList, TLinks& ALinks);

  std::unordered_map<INode*, TEntry> FEntries;
  // The last node asked about: the rules ask the same node several times in a row.
  INode* FLastNode = nullptr;
  TEntry* FLastEntry = nullptr;
};
