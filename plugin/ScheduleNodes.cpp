#include "plugin/ScheduleNodes.h"

#include "plugin/ActionAttributes.h"
#include "plugin/ActionHelpers.h"
#include "plugin/LumetaNodeLinksProperty.h"

TScheduleNodes::TEntry& TScheduleNodes::Entry(INode* ANode) {
  if (ANode != FLastNode || !FLastEntry) {
    FLastEntry = &FEntries[ANode];  // elements stay in place while others are added
    FLastNode = ANode;
  }
  return *FLastEntry;
}

IActionAttribute* TScheduleNodes::Action(INode* ANode) {
  if (!ANode) return nullptr;
  TEntry& entry = Entry(ANode);
  if (!entry.ActionRead) {
    entry.Action = TActionHelper::GetAction(ANode, false);
    entry.Record = TActionAttribute::FromAction(entry.Action.get());
    entry.ActionRead = true;
  }
  return entry.Action.get();
}

TActionAttribute* TScheduleNodes::Record(INode* ANode) {
  if (!Action(ANode)) return nullptr;
  return FLastEntry->Record;
}

void TScheduleNodes::ReadLinks(INodeLinkList2* AList, TLinks& ALinks) {
  ALinks.Ends.clear();
  ALinks.Count = AList ? AList->GetCount() : 0;
  ALinks.Ends.reserve(ALinks.Count);
  for (int32_t i = 0; i < ALinks.Count; ++i) {
    ComPtr<INodeLink> link = AList->GetLink(i);
    ComPtr<INode> node = link ? link->GetLinkedNode() : nullptr;
    if (!node) continue;
    ComPtr<ITaskLink> task = QueryAs<ITaskLink>(link.get());
    ALinks.Ends.push_back({node.get(), task ? task->GetLinkType() : ltFinishToStart, task != nullptr});
  }
}

const TScheduleNodes::TLinks& TScheduleNodes::Predecessors(INode* ANode) {
  TEntry& entry = Entry(ANode);
  if (!entry.PredecessorsRead) {
    ReadLinks(TLumetaNodeLinksProperty::Of(ANode).get(), entry.Predecessors);
    entry.PredecessorsRead = true;
  }
  return entry.Predecessors;
}

const TScheduleNodes::TLinks& TScheduleNodes::Successors(INode* ANode) {
  TEntry& entry = Entry(ANode);
  if (!entry.SuccessorsRead) {
    ReadLinks(TLumetaSuccessorLinksProperty::Of(ANode).get(), entry.Successors);
    entry.SuccessorsRead = true;
  }
  return entry.Successors;
}

void TScheduleNodes::ForgetRecord(INode* ANode) {
  const auto found = FEntries.find(ANode);
  if (found == FEntries.end()) return;
  found->second.Action.reset();
  found->second.Record = nullptr;
  found->second.ActionRead = false;
}

void TScheduleNodes::Clear() noexcept {
  FLastNode = nullptr;
  FLastEntry = nullptr;
  if (!FEntries.empty()) FEntries.clear();
}
