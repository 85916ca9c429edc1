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

const TScheduleNodes::TLinks& TScheduleNodes::Links(INode* ANode, bool ASuccessors) {
  TEntry& entry = Entry(ANode);
  bool& read = ASuccessors ? entry.SuccessorsRead : entry.PredecessorsRead;
  TLinks& links = ASuccessors ? entry.Successors : entry.Predecessors;
  if (!read) {
    ReadLinks((ASuccessors ? TLumetaSuccessorLinksProperty::Of(ANode) : TLumetaNodeLinksProperty::Of(ANode)).get(), links);
    read = true;
  }
  return links;
}

void TScheduleNodes::DatesWritten(INode* ANode) {
  if (!ANode) return;
  ++FWrites;
  Entry(ANode).DatesStamp = FWrites;
  for (ComPtr<INode> above = ANode->GetParent(); above; above = above->GetParent()) Entry(above.get()).DatesStamp = FWrites;
}

void TScheduleNodes::RecordWritten(INode* ANode) {
  if (!ANode) return;
  DatesWritten(ANode);
  TEntry& entry = Entry(ANode);
  entry.RecordStamp = FWrites;
  entry.Action.reset();
  entry.Record = nullptr;
  entry.ActionRead = false;
}

bool TScheduleNodes::Holds(const TRead& ARead, uint32_t AAt) const {
  const auto found = FEntries.find(ARead.Node);
  if (found == FEntries.end()) return true;  // never written
  const TEntry& entry = found->second;
  return entry.RecordStamp <= AAt && (!ARead.Dates || entry.DatesStamp <= AAt);
}

const TScheduleNodes::TKeptValidation* TScheduleNodes::KeptValidation(INode* ANode) {
  const auto found = FEntries.find(ANode);
  if (found == FEntries.end() || !found->second.Validation) return nullptr;
  const TKeptValidation& kept = *found->second.Validation;
  for (uint32_t i = 0; i < kept.ReadCount; ++i)
    if (!Holds(kept.Reads[i], kept.At)) return nullptr;
  return &kept;
}

void TScheduleNodes::KeepValidation(INode* ANode, const TKeptValidation& AValidation) {
  Entry(ANode).Validation = AValidation;
}

void TScheduleNodes::Clear() noexcept {
  FLastNode = nullptr;
  FLastEntry = nullptr;
  if (!FEntries.empty()) FEntries.clear();
}
