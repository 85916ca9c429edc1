#include "plugin/LumetaNodeLinksProperty.h"

#include <algorithm>
#include <vector>

#include "attributes/XmlDataConverters.h"
#include "plugin/PropertyFactory.h"
#include "plugin/NodeLinkAttribute.h"

namespace {

// The list element, then its item, the "Link" element that the task-link loader reads and writes.
// Each link is also stored in the linked task's other list.
TXmlDeclarations LinkListDeclarations(const char* APropertyName, const char* AXmlName, const char* AOtherEnd) {
  return MakeXmlDeclarations(Paired(XmlListElement(APropertyName, AXmlName, "Link"), AOtherEnd),
                             XmlElement("Link", "Link", &NewConverter<TTaskLinkDataLoader>, true));
}

// Resolved nodes compare by identity; otherwise the identifier texts tell, as link equality does.
bool SameLinkedNode(INodeLink* ALeft, INodeLink* ARight) {
  ComPtr<INode> left = ALeft->GetLinkedNode();
  ComPtr<INode> right = ARight->GetLinkedNode();
  if (left && right) return SameObject(left.get(), right.get());
  return !left && !right && ALeft->GetLinkID() == ARight->GetLinkID();
}

// The name is made once: "SuccessorNodeLinks" is too long to be a string without a heap block.
ComPtr<INodeLinkList2> LinksOf(INode* ANode, const std::string& AName) {
  return ANode ? QueryAs<INodeLinkList2>(ANode->FindProperty(AName).get()) : nullptr;
}

}  // namespace

void TLumetaLinksProperty::Initialize() {
  TLumetaProperty::Initialize();
  FLinks = CreateAttribute<TListAttribute>(TaskLinkAttributeIid);
}

void TLumetaLinksProperty::DeleteLink(int32_t AIndex) { FLinks->Delete(AIndex); }

int32_t TLumetaLinksProperty::GetCount() { return FLinks->GetChildCount(); }

ComPtr<INodeLink> TLumetaLinksProperty::GetLink(int32_t AIndex) {
  return QueryAs<INodeLink>(FLinks->GetChild(AIndex).get());
}

ComPtr<INodeLink> TLumetaLinksProperty::GetLink(INode* ANode) {
  const int32_t index = IndexOfLink(ANode);
  return index < 0 ? nullptr : GetLink(index);
}

ComPtr<INodeLink> TLumetaLinksProperty::AddLink(INode* ANode) {
  if (!ANode) return {};
  ComPtr<INodeLink> link = FLinks->Add().as<INodeLink>();
  link->SetLinkedNode(ANode);
  return link;
}

void TLumetaLinksProperty::RemoveLink(INode* ANode) {
  const int32_t index = IndexOfLink(ANode);
  if (index >= 0) FLinks->Delete(index);
}

void TLumetaLinksProperty::RemoveDuplicates() {
  const int32_t count = FLinks->GetChildCount();
  if (count < 2) return;
  struct TSeen {
    ComPtr<INodeLink> Link;
    ComPtr<INode> Parent;
  };
  std::vector<TSeen> seen;
  for (int32_t i = count - 1; i >= 0; --i) {
    ComPtr<INodeLink> link = QueryAs<INodeLink>(FLinks->ChildAt(i));
    if (!link) continue;
    ComPtr<INode> parent = link->GetParentNode();
    const bool duplicate = std::any_of(seen.begin(), seen.end(), [&](const TSeen& AOther) {
      return SameObject(parent.get(), AOther.Parent.get()) && SameLinkedNode(link.get(), AOther.Link.get());
    });
    if (duplicate)
      FLinks->Delete(i);
    else
      seen.push_back({link, parent});
  }
}

bool TLumetaLinksProperty::ContainsLink(INode* ANode) { return IndexOfLink(ANode) != -1; }

bool TLumetaLinksProperty::ContainsLink(INodeList* ANodes) {
  if (!ANodes) return false;
  const int32_t count = ANodes->GetCount();
  for (int32_t i = 0; i < count; ++i)
    if (ContainsLink(ANodes->GetItem(i).get())) return true;
  return false;
}

int32_t TLumetaLinksProperty::IndexOfLink(INode* ANode) {
  if (!ANode) return -1;
  ComPtr<TNodeLinkAttribute> probe = make<TNodeLinkAttribute>();
  probe->SetLinkedNode(ANode);
  return FLinks->IndexOfValue(probe.get());
}

TLumetaNodeLinksProperty::TLumetaNodeLinksProperty() { Initialize(); }

std::vector<TTaskLinkEntry> TaskLinksOf(INodeLinkList2* AList) {
  std::vector<TTaskLinkEntry> links;
  const int32_t count = AList ? AList->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<INodeLink> link = AList->GetLink(i);
    ComPtr<INode> node = link ? link->GetLinkedNode() : nullptr;
    if (!node) continue;
    ComPtr<ITaskLink> task = QueryAs<ITaskLink>(link.get());
    links.push_back({node, task ? task->GetLinkType() : ltFinishToStart});
  }
  return links;
}

ComPtr<INodeLinkList2> TLumetaNodeLinksProperty::Of(INode* ANode) {
  static const std::string name = ManagerInfo.Description;
  return LinksOf(ANode, name);
}

std::string TLumetaNodeLinksProperty::GetCaption() { return "Predecessors"; }

const TXmlDeclarations& TLumetaNodeLinksProperty::GetXmlDeclarations() {
  static const TXmlDeclarations declarations = LinkListDeclarations(ManagerInfo.Description, "TaskLinks", "SuccessorTaskLinks");
  return declarations;
}

std::string TLumetaNodeLinksProperty::ManagerClassDescription() { return ManagerInfo.Description; }

TLumetaSuccessorLinksProperty::TLumetaSuccessorLinksProperty() { Initialize(); }

ComPtr<INodeLinkList2> TLumetaSuccessorLinksProperty::Of(INode* ANode) {
  static const std::string name = ManagerInfo.Description;
  return LinksOf(ANode, name);
}

std::string TLumetaSuccessorLinksProperty::GetCaption() { return "Successors"; }

const TXmlDeclarations& TLumetaSuccessorLinksProperty::GetXmlDeclarations() {
  static const TXmlDeclarations declarations = LinkListDeclarations(ManagerInfo.Description, "SuccessorTaskLinks", "TaskLinks");
  return declarations;
}

std::string TLumetaSuccessorLinksProperty::ManagerClassDescription() { return ManagerInfo.Description; }

void RegisterNodeLinksPropertyManagers(IAttributeFactory* AFactory) {
  AFactory->Register(TLumetaNodeLinksProperty::ManagerInfo.Description,
                     &CreatePropertyManager<TLumetaNodeLinksPropertyManager>);
  AFactory->Register(TLumetaSuccessorLinksProperty::ManagerInfo.Description,
                     &CreatePropertyManager<TLumetaSuccessorLinksPropertyManager>);
}
