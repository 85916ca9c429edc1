#include "plugin/NodeLinkAttribute.h"

ComPtr<INode> TNodeLinkAttribute::GetLinkedNode() { return GetValue(); }

std::string TNodeLinkAttribute::GetLinkID() { return GetReferenceText(); }

ComPtr<INode> TNodeLinkAttribute::GetParentNode() { return QueryAs<INode>(GetHostObject().get()); }

std::string TNodeLinkAttribute::GetRelativeIndex() { return GetReferenceText(); }

void TNodeLinkAttribute::SetLinkedNode(INode* ANode) { SetValue(ANode); }

TTaskLinkType TNodeLinkAttribute::GetLinkType() {
  CheckLoaded();
  return FLinkType;
}

void TNodeLinkAttribute::SetLinkType(TTaskLinkType AType) {
  FLinkType = AType;
  // A changed type must be saved and applied like a changed node.
  SetFlagBits(afModified | afLoaded, true);
  Changed(-1);
}

bool TNodeLinkAttribute::IsEmpty() { return !GetValue(); }

std::string TNodeLinkAttribute::AsPlainText(int32_t) { return GetReferenceText(); }

void TNodeLinkAttribute::Assign(IAttribute* ASource) {
  if (ComPtr<ITaskLink> link = QueryAs<ITaskLink>(ASource)) FLinkType = link->GetLinkType();
  TNodeReferenceAttribute::Assign(ASource);
}

bool TNodeLinkAttribute::EqualTo(IAttribute* AOther) {
  ComPtr<INodeLink> other = QueryAs<INodeLink>(AOther);
  if (!other) return false;
  ComPtr<INode> mine = GetValue();
  ComPtr<INode> theirs = other->GetLinkedNode();
  if (mine && theirs) return SameObject(mine.get(), theirs.get());
  // Outside a map nothing resolves; the identifiers still tell whether the nodes are the same.
  return GetReferenceText() == other->GetLinkID();
}

uint32_t TNodeLinkAttribute::LoadFromStream(IStream* AStream) {
  uint32_t bytes = TNodeReferenceAttribute::LoadFromStream(AStream);
  ComPtr<TIntegerAttribute> type = make<TIntegerAttribute>();
  bytes += type->LoadFromStream(AStream);
  const int32_t value = type->GetValue();
  FLinkType = value >= ltFinishToStart && value <= ltStartToFinish ? static_cast<TTaskLinkType>(value) : ltFinishToStart;
  return bytes;
}

uint32_t TNodeLinkAttribute::SaveToStream(IStream* AStream) {
  uint32_t bytes = TNodeReferenceAttribute::SaveToStream(AStream);
  ComPtr<TIntegerAttribute> type = make<TIntegerAttribute>();
  type->SetValue(FLinkType);
  return bytes + type->SaveToStream(AStream);
}

GUID TNodeLinkAttribute::GetClassID() { return TaskLinkAttributeIid; }

std::string TNodeLinkAttribute::DebugValueText() {
  std::string text = GetReferenceText();
  if (FLinkType < KTaskLinkTypeCodes.size()) (text += ' ') += KTaskLinkTypeCodes[FLinkType];
  return text;
}

ComPtr<IAttribute> CreateNodeLinkAttribute() { return make<TNodeLinkAttribute>(); }

void RegisterNodeLinkAttributeClass(ILumetaAttributeFactory* AFactory) {
  AFactory->RegisterClass(TaskLinkAttributeIid, &CreateNodeLinkAttribute);
}
