#pragma once
// Node links and node lists as the host and the plug-in build them while they work: transient
// objects, never stored.
#include <cstdint>
#include <string>

#include "com/InterfaceList.h"
#include "com/AggregableObject.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaSelectionIntf.h"

// A link from a parent node to a node given directly, by relative index or by identifier. A link
// given by text finds its node on first use and keeps it. Holds both nodes (counted).
class TNodeLink : public TImplements<TAggregableObject, INodeLink> {
 public:
  TNodeLink(INode* AParent, INode* ALinkedNode);
  // The linked node is what AParent->NodeFromRelativeIndex(ARelativeIndex) answers.
  TNodeLink(INode* AParent, const std::string& ARelativeIndex);
  TNodeLink(INode* AParent, const std::string& ARelativeIndex, const std::string& ALinkID, INode* ALinkedNode);
  // The linked node is the first node of the parent's map whose ID is ALinkID.
  static ComPtr<TNodeLink> CreateLinkID(INode* AParent, const std::string& ALinkID);

  // Empty while the node cannot be found; a later call tries again.
  ComPtr<INode> GetLinkedNode() override;
  // Taken from the linked node when none was given.
  std::string GetLinkID() override;
  ComPtr<INode> GetParentNode() override;
  // Asked of the parent when none was given.
  std::string GetRelativeIndex() override;
  // Forgets both texts: they described the previous node.
  void SetLinkedNode(INode* ANode) override;

 private:
  ComPtr<INode> FLinkedNode;
  ComPtr<INode> FParentNode;
  std::string FRelativeIndex;
  std::string FLinkID;
};

// An ordered list of nodes held by counted references. The same node may be added twice.
class TNodeList : public TImplements<TAggregableObject, INodeList> {
 public:
  TNodeList() = default;

  int32_t Add(INode* ANode) override;  // raises EInvalidOperation for an empty node
  void AddList(INodeList* AList) override;
  void AddSelection(ISelection* ASelection) override;
  void AddInterfaces(const TInterfaceList<IUnknown>& AList) override;
  void Clear() override;
  int32_t GetCount() override;
  ComPtr<INode> GetItem(int32_t AIndex) override;
  int32_t IndexOf(INode* ANode) override;
  bool Contains(INode* ANode) override;
  void Delete(int32_t AIndex) override;
  int32_t Remove(INode* ANode) override;
  void Exchange(int32_t AIndex1, int32_t AIndex2) override;
  void Prune() override;
  // Predecessor links are the list attribute of a node's "NodeLinks" property.
  bool AnyHasPredecessors() override;
  // The predicate is the host's (a node test the caller picks); an empty list passes.
  bool AllPass(const TNodePredicate& APredicate, bool AFlag) override;
  // A node listed together with one of its ancestors appears twice; Prune first to avoid that.
  void RebuildWithSubtrees() override;

  const TInterfaceList<INode>& Items() const noexcept { return FItems; }

 private:
  TInterfaceList<INode> FItems;
};
