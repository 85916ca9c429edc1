#pragma once
// The two task-link properties of a node: its predecessors and its successors. A link between
// two tasks is stored twice, once in each list; the link commands keep the two in step.
#include <vector>

#include "plugin/LumetaProperty.h"
#include "contract/LumetaPropertyFactoriesIntf.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "contract/LumetaSelectionIntf.h"

// What the twins share: a list of task links (items made by the attribute factory under the task
// link GUID) and the link operations on it.
class TLumetaLinksProperty : public TImplements<TLumetaProperty, INodeLinkList2> {
 public:
  void DeleteLink(int32_t AIndex) override;
  int32_t GetCount() override;
  ComPtr<INodeLink> GetLink(int32_t AIndex) override;
  ComPtr<INodeLink> GetLink(INode* ANode) override;
  ComPtr<INodeLink> AddLink(INode* ANode) override;
  void RemoveLink(INode* ANode) override;
  // Walks from the last link to the first and deletes each link whose parent and linked node were
  // seen already; links that cannot be resolved compare their identifier texts.
  void RemoveDuplicates() override;
  bool ContainsLink(INode* ANode) override;
  bool ContainsLink(INodeList* ANodes) override;
  int32_t IndexOfLink(INode* ANode) override;

  // The list itself; null before Initialize.
  TListAttribute* Links() const noexcept { return FLinks; }

 protected:
  void Initialize() override;

 private:
  TListAttribute* FLinks = nullptr;  // owned by the base as the carried attribute
};

// The links to the tasks this node's task depends on.
class TLumetaNodeLinksProperty : public TLumetaLinksProperty {
 public:
  static constexpr TPropertyClassInfo ManagerInfo{"NodeLinks", MakeGuid("BD604E2B-7445-426E-8F3D-7EAE83A77690")};

  TLumetaNodeLinksProperty();
  // The node's predecessor links; empty for no node or a node without the property.
  static ComPtr<INodeLinkList2> Of(INode* ANode);
  std::string GetCaption() override;  // "Predecessors"
  const TXmlDeclarations& GetXmlDeclarations() override;

 protected:
  std::string ManagerClassDescription() override;
};

// The links to the tasks that depend on this node's task.
class TLumetaSuccessorLinksProperty : public TLumetaLinksProperty {
 public:
  static constexpr TPropertyClassInfo ManagerInfo{"SuccessorNodeLinks",
                                                  MakeGuid("8FF5AD90-638B-4C1E-A74C-E490A5BF84C1")};

  TLumetaSuccessorLinksProperty();
  // The node's successor links; empty for no node or a node without the property.
  static ComPtr<INodeLinkList2> Of(INode* ANode);
  std::string GetCaption() override;  // "Successors"
  const TXmlDeclarations& GetXmlDeclarations() override;

 protected:
  std::string ManagerClassDescription() override;
};

class TLumetaNodeLinksPropertyManager : public TLumetaPropertyManagerOf<TLumetaNodeLinksProperty> {};
class TLumetaSuccessorLinksPropertyManager : public TLumetaPropertyManagerOf<TLumetaSuccessorLinksProperty> {};

// A task link as a node's list holds it: the node at the other end and the link's type.
struct TTaskLinkEntry {
  ComPtr<INode> Node;
  TTaskLinkType Type = ltFinishToStart;
};
// The links of a list in list order; links to nodes that are gone are passed over.
std::vector<TTaskLinkEntry> TaskLinksOf(INodeLinkList2* AList);

// Registers the two managers under "NodeLinks" and "SuccessorNodeLinks", in that order.
void RegisterNodeLinksPropertyManagers(IAttributeFactory* AFactory);
