#pragma once
// The host's list of nodes, as it hands nodes to a plug-in with an event.
#include <cstdint>

#include "com/AggregableObject.h"
#include "com/InterfaceList.h"
#include "contract/LumetaSelectionIntf.h"

// Holds its nodes counted; a node may be listed twice. Walks subtrees without recursion, so any
// depth of map is safe.
class TLumetaNodeList : public TImplements<TAggregableObject, INodeList> {
 public:
  TLumetaNodeList();
  ~TLumetaNodeList() override;

  // Raises EInvalidOperation for an empty node.
  int32_t Add(INode* ANode) override;
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
  // Predecessors are the list attribute of a node's "NodeLinks" property.
  bool AnyHasPredecessors() override;
  bool AllPass(const TNodePredicate& APredicate, bool AFlag) override;
  // Lists a node that lies below another entry once for each such entry; Prune first to avoid that.
  void RebuildWithSubtrees() override;

 private:
  TInterfaceList<INode> FNodes;
};
