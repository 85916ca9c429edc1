#include "host/LumetaNodeList.h"

#include <utility>

#include "attributes/TreeIterator.h"
#include "com/ComErrors.h"

TLumetaNodeList::TLumetaNodeList() = default;

TLumetaNodeList::~TLumetaNodeList() = default;

int32_t TLumetaNodeList::Add(INode* ANode) {
  if (!ANode) throw EInvalidOperation("A node list holds nodes only, not an empty entry");
  return FNodes.Add(ANode);
}

void TLumetaNodeList::AddList(INodeList* AList) {
  if (!AList) return;
  // The count is taken once, so that a list added to itself doubles instead of growing forever.
  for (int32_t i = 0, count = AList->GetCount(); i < count; ++i)
    if (ComPtr<INode> node = AList->GetItem(i)) FNodes.Add(std::move(node));
}

void TLumetaNodeList::AddSelection(ISelection* ASelection) {
  if (!ASelection) return;
  for (int32_t i = 0, count = ASelection->GetCount(); i < count; ++i)
    if (ComPtr<INode> node = QueryAs<INode>(ASelection->GetItem(i).get())) FNodes.Add(std::move(node));
}

void TLumetaNodeList::AddInterfaces(const TInterfaceList<IUnknown>& AList) {
  for (const ComPtr<IUnknown>& item : AList)
    if (ComPtr<INode> node = QueryAs<INode>(item.get())) FNodes.Add(std::move(node));
}

void TLumetaNodeList::Clear() { FNodes.Clear(); }

int32_t TLumetaNodeList::GetCount() { return FNodes.Count(); }

ComPtr<INode> TLumetaNodeList::GetItem(int32_t AIndex) {
  return AIndex >= 0 && AIndex < FNodes.Count() ? FNodes.Items(AIndex) : nullptr;
}

int32_t TLumetaNodeList::IndexOf(INode* ANode) { return ANode ? FNodes.IndexOf(ANode) : -1; }

bool TLumetaNodeList::Contains(INode* ANode) { return IndexOf(ANode) >= 0; }

void TLumetaNodeList::Delete(int32_t AIndex) { FNodes.Delete(AIndex); }

int32_t TLumetaNodeList::Remove(INode* ANode) { return ANode ? FNodes.Remove(ANode) : -1; }

void TLumetaNodeList::Exchange(int32_t AIndex1, int32_t AIndex2) { FNodes.Exchange(AIndex1, AIndex2); }

void TLumetaNodeList::Prune() {
  TInterfaceList<INode> kept;
  for (const ComPtr<INode>& node : FNodes) {
    bool below = false;
    for (const ComPtr<INode>& other : FNodes)
      if (node->IsDescendantOf(other.get())) {
        below = true;
        break;
      }
    if (!below) kept.Add(node);
  }
  FNodes = std::move(kept);
}

bool TLumetaNodeList::AnyHasPredecessors() {
  for (const ComPtr<INode>& node : FNodes) {
    ComPtr<IListAttribute> links = QueryAs<IListAttribute>(node->FindProperty("NodeLinks").get());
    if (links && links->GetChildCount() > 0) return true;
  }
  return false;
}

bool TLumetaNodeList::AllPass(const TNodePredicate& APredicate, bool AFlag) {
  for (const ComPtr<INode>& node : FNodes) {
    // A node whose parent is listed too is judged with its parent.
    ComPtr<INode> parent = node->GetParent();
    if (parent && Contains(parent.get())) continue;
    if (!APredicate(node.get(), AFlag)) return false;
  }
  return true;
}

void TLumetaNodeList::RebuildWithSubtrees() {
  TInterfaceList<INode> rebuilt;
  for (const ComPtr<INode>& node : FNodes)
    for (ComPtr<TTreeIterator> walk = make<TTreeIterator>(node.get()); !walk->IsDone(); walk->Next())
      rebuilt.Add(walk->GetCurrent());
  FNodes = std::move(rebuilt);
}
