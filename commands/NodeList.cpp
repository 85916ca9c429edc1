#include "commands/NodeList.h"

#include <vector>

#include "contract/LumetaAttributesIntf.h"
#include "attributes/TreeIterator.h"
#include "com/ComErrors.h"

namespace {

// The class description of the predecessor-links property.
constexpr const char* PredecessorLinksProperty = "NodeLinks";

// Pre-order, each node before its children; a stack of next siblings instead of recursion, so
// any depth fits.
void AddSubtree(TInterfaceList<INode>& AList, const ComPtr<INode>& ANode) {
  AList.Add(ANode);
  std::vector<ComPtr<INode>> pending{ANode->GetFirstChild()};
  while (!pending.empty()) {
    ComPtr<INode> node = std::move(pending.back());
    pending.pop_back();
    if (!node) continue;
    AList.Add(node);
    pending.push_back(node->GetNextSibling());
    pending.push_back(node->GetFirstChild());
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TNodeLink

TNodeLink::TNodeLink(INode* AParent, INode* ALinkedNode) : FLinkedNode(ALinkedNode), FParentNode(AParent) {}

TNodeLink::TNodeLink(INode* AParent, const std::string& ARelativeIndex)
    : FParentNode(AParent), FRelativeIndex(ARelativeIndex) {}

TNodeLink::TNodeLink(INode* AParent, const std::string& ARelativeIndex, const std::string& ALinkID,
                     INode* ALinkedNode)
    : FLinkedNode(ALinkedNode), FParentNode(AParent), FRelativeIndex(ARelativeIndex), FLinkID(ALinkID) {}

ComPtr<TNodeLink> TNodeLink::CreateLinkID(INode* AParent, const std::string& ALinkID) {
  return make<TNodeLink>(AParent, std::string(), ALinkID, nullptr);
}

ComPtr<INode> TNodeLink::GetLinkedNode() {
  if (FLinkedNode || !FParentNode) return FLinkedNode;
  if (!FRelativeIndex.empty()) {
    FLinkedNode = FParentNode->NodeFromRelativeIndex(FRelativeIndex);
  } else if (!FLinkID.empty()) {
    ComPtr<INode> root = FParentNode->GetRoot();
    ComPtr<TTreeIterator> walk = make<TTreeIterator>(root ? root.get() : FParentNode.get());
    for (; !walk->IsDone(); walk->Next()) {
      ComPtr<INode> node = walk->GetCurrent();
      if (node->GetID() == FLinkID) {
        FLinkedNode = std::move(node);
        break;
      }
    }
  }
  return FLinkedNode;
}

std::string TNodeLink::GetLinkID() {
  if (FLinkID.empty())
    if (ComPtr<INode> node = GetLinkedNode()) FLinkID = node->GetID();
  return FLinkID;
}

ComPtr<INode> TNodeLink::GetParentNode() { return FParentNode; }

std::string TNodeLink::GetRelativeIndex() {
  if (FRelativeIndex.empty() && FParentNode)
    if (ComPtr<INode> node = GetLinkedNode()) FRelativeIndex = FParentNode->GetRelativeIndex(node.get());
  return FRelativeIndex;
}

void TNodeLink::SetLinkedNode(INode* ANode) {
  FLinkedNode = ANode;
  FRelativeIndex.clear();
  FLinkID.clear();
}

// ---------------------------------------------------------------------------------------------
// TNodeList

int32_t TNodeList::Add(INode* ANode) {
  if (!ANode) throw EInvalidOperation("Cannot add an empty node to a node list");
  return FItems.Add(ANode);
}

void TNodeList::AddList(INodeList* AList) {
  if (!AList) return;
  // Counted first: adding a list to itself must not run on forever.
  const int32_t count = AList->GetCount();
  for (int32_t i = 0; i < count; ++i)
    if (ComPtr<INode> node = AList->GetItem(i)) FItems.Add(std::move(node));
}

void TNodeList::AddSelection(ISelection* ASelection) {
  if (!ASelection) return;
  const int32_t count = ASelection->GetCount();
  for (int32_t i = 0; i < count; ++i)
    if (ComPtr<INode> node = QueryAs<INode>(ASelection->GetItem(i).get())) FItems.Add(std::move(node));
}

void TNodeList::AddInterfaces(const TInterfaceList<IUnknown>& AList) {
  for (const ComPtr<IUnknown>& item : AList)
    if (ComPtr<INode> node = QueryAs<INode>(item.get())) FItems.Add(std::move(node));
}

void TNodeList::Clear() { FItems.Clear(); }

int32_t TNodeList::GetCount() { return FItems.Count(); }

ComPtr<INode> TNodeList::GetItem(int32_t AIndex) {
  if (AIndex < 0 || AIndex >= FItems.Count()) return {};
  return FItems.Items(AIndex);
}

int32_t TNodeList::IndexOf(INode* ANode) { return ANode ? FItems.IndexOf(ANode) : -1; }

bool TNodeList::Contains(INode* ANode) { return IndexOf(ANode) >= 0; }

void TNodeList::Delete(int32_t AIndex) { FItems.Delete(AIndex); }

int32_t TNodeList::Remove(INode* ANode) { return ANode ? FItems.Remove(ANode) : -1; }

void TNodeList::Exchange(int32_t AIndex1, int32_t AIndex2) { FItems.Exchange(AIndex1, AIndex2); }

void TNodeList::Prune() {
  for (int32_t i = FItems.Count() - 1; i >= 0; --i) {
    const ComPtr<INode> ancestor = FItems.Items(i);  // a copy: deleting entries moves the slots
    for (int32_t j = FItems.Count() - 1; j >= 0; --j) {
      if (j == i || !FItems.Items(j)->IsDescendantOf(ancestor.get())) continue;
      FItems.Delete(j);
      if (j < i) --i;
    }
  }
}

bool TNodeList::AnyHasPredecessors() {
  for (const ComPtr<INode>& node : FItems) {
    ComPtr<IListAttribute> links = QueryAs<IListAttribute>(node->FindProperty(PredecessorLinksProperty).get());
    if (links && links->GetChildCount() > 0) return true;
  }
  return false;
}

bool TNodeList::AllPass(const TNodePredicate& APredicate, bool AFlag) {
  for (const ComPtr<INode>& node : FItems) {
    ComPtr<INode> parent = node->GetParent();
    if (parent && Contains(parent.get())) continue;
    if (!APredicate(node.get(), AFlag)) return false;
  }
  return true;
}

void TNodeList::RebuildWithSubtrees() {
  TInterfaceList<INode> rebuilt;
  for (const ComPtr<INode>& node : FItems) AddSubtree(rebuilt, node);
  FItems = std::move(rebuilt);
}
