#pragma once
// A small node tree standing in for the host's map, and a property that may carry a list.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "attributes/LumetaAttributeFactory.h"
#include "attributes/LumetaAttributes.h"
#include "contract/LumetaIntf.h"
#include "plugin/NodeLinkAttribute.h"
#include "tests/support/TestProperty.h"

// The host calls that the code under test should make few of.
struct TCallCounts {
  int FirstChild = 0, RelativeIndex = 0, FromRelativeIndex = 0, PropertyCount = 0;
};

// A named property; made with links, it carries an aggregated list of task links.
class TTaskLinkList : public TListAttribute {
 public:
  explicit TTaskLinkList(IUnknown* AController) : TListAttribute(TaskLinkAttributeIid, AController) {}
};

class TFakeProperty : public TTestProperty<TTaskLinkList> {
 public:
  explicit TFakeProperty(std::string AName, bool AWithLinks = false) : TTestProperty(std::move(AName), {}, AWithLinks) {}
  TListAttribute* List() { return Content(); }
};

// A map node. A relative index is "rel:" and the target's ID: enough to see which way was taken.
class TTreeNode : public TImplements<TAggregableObject, INode> {
 public:
  TTreeNode(std::string AId, std::shared_ptr<TCallCounts> ACounts) : FId(std::move(AId)), FCounts(std::move(ACounts)) {}
  static ComPtr<TTreeNode> Root() { return make<TTreeNode>("0", std::make_shared<TCallCounts>()); }

  ComPtr<TTreeNode> AddNode(std::string AId) {
    ComPtr<TTreeNode> child = make<TTreeNode>(std::move(AId), FCounts);
    child->FParent = this;
    FChildren.push_back(child);
    return child;
  }
  ComPtr<TFakeProperty> AddProperty(const std::string& AName, bool AWithLinks = false) {
    ComPtr<TFakeProperty> property = make<TFakeProperty>(AName, AWithLinks);
    SetProperty(property.get());
    return property;
  }
  TCallCounts& Counts() { return *FCounts; }

  ComPtr<INode> GetFirstChild() override {
    ++FCounts->FirstChild;
    return FChildren.empty() ? nullptr : FChildren.front();
  }
  ComPtr<INode> GetNextSibling() override {
    if (!FParent) return {};
    auto& siblings = FParent->FChildren;
    auto self = std::find(siblings.begin(), siblings.end(), ComPtr<TTreeNode>(this));
    return self + 1 < siblings.end() ? self[1] : nullptr;
  }
  ComPtr<INode> GetParent() override { return FParent; }
  std::string GetID() override { return FId; }
  bool HasChildren() override { return !FChildren.empty(); }
  bool IsSummaryTask() override { return FParent && !FChildren.empty(); }
  ComPtr<INode> GetRoot() override { return FParent ? FParent->GetRoot() : this; }
  ComPtr<IAttribute> FindAttribute(const std::string&) override { return {}; }
  ComPtr<IProperty> FindProperty(const std::string& AName) override {
    for (const ComPtr<IProperty>& property : FProperties)
      if (property->GetPropertyName() == AName) return property;
    return {};
  }
  void SetProperty(IProperty* AProperty) override {
    FProperties.emplace_back(AProperty);
    AProperty->SetHostObject(static_cast<INode*>(this));
  }
  bool RemoveProperty(const std::string&) override { return false; }
  int32_t GetPropertyCount() override {
    ++FCounts->PropertyCount;
    return static_cast<int32_t>(FProperties.size());
  }
  ComPtr<IProperty> GetPropertyItem(int32_t AIndex) override { return FProperties.at(static_cast<size_t>(AIndex)); }
  bool IsDescendantOf(INode* AAncestor) override {
    return FParent && (SameObject(static_cast<INode*>(FParent), AAncestor) || FParent->IsDescendantOf(AAncestor));
  }
  std::string GetRelativeIndex(INode* ANode) override {
    ++FCounts->RelativeIndex;
    return "rel:" + ANode->GetID();
  }
  ComPtr<INode> NodeFromRelativeIndex(const std::string& AText) override {
    ++FCounts->FromRelativeIndex;
    return AText.rfind("rel:", 0) == 0 ? Find(GetRoot(), AText.substr(4)) : nullptr;
  }

 private:
  static ComPtr<INode> Find(const ComPtr<INode>& ANode, const std::string& AId) {
    if (ANode->GetID() == AId) return ANode;
    for (ComPtr<INode> child = ANode->GetFirstChild(); child; child = child->GetNextSibling())
      if (ComPtr<INode> found = Find(child, AId)) return found;
    return {};
  }

  std::string FId;
  std::shared_ptr<TCallCounts> FCounts;
  TTreeNode* FParent = nullptr;  // the parent holds its children
  std::vector<ComPtr<TTreeNode>> FChildren;
  std::vector<ComPtr<IProperty>> FProperties;
};

// An in-process attribute factory that makes the standard classes and task links, for one test.
struct TFactoryScope {
  TFactoryScope() {
    ComPtr<TLumetaAttributeFactory> factory = make<TLumetaAttributeFactory>();
    RegisterStandardAttributeClasses(factory.get());
    RegisterNodeLinkAttributeClass(factory.get());
    SetAttributeFactory(factory.get());
  }
  ~TFactoryScope() { SetAttributeFactory(nullptr); }
};
