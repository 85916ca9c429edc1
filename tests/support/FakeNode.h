#pragma once
// A node of a small tree standing in for the host's map. It holds its children and properties;
// a relative index is "rel:" and the target's ID, enough to see which way a link was resolved.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/StubNode.h"

class TFakeNode : public TStubNode {
 public:
  explicit TFakeNode(std::string AId) : FId(std::move(AId)) {}

  ComPtr<TFakeNode> AddNode(std::string AId) {
    ComPtr<TFakeNode> child = make<TFakeNode>(std::move(AId));
    child->FParent = this;
    FChildren.push_back(child);
    return child;
  }

  ComPtr<INode> GetFirstChild() override { return FChildren.empty() ? nullptr : FChildren.front(); }
  ComPtr<INode> GetNextSibling() override {
    if (!FParent) return {};
    auto& siblings = FParent->FChildren;
    auto self = std::find(siblings.begin(), siblings.end(), ComPtr<TFakeNode>(this));
    return self + 1 < siblings.end() ? self[1] : nullptr;
  }
  ComPtr<INode> GetParent() override { return FParent; }
  std::string GetID() override { return FId; }
  bool HasChildren() override { return !FChildren.empty(); }
  bool IsSummaryTask() override { return FParent && !FChildren.empty(); }
  int32_t GetLevel() override { return FParent ? FParent->GetLevel() + 1 : 0; }
  int32_t GetChildCount() override { return static_cast<int32_t>(FChildren.size()); }
  ComPtr<INode> GetRoot() override { return Top(); }
  ComPtr<IProperty> FindProperty(const std::string& AName) override {
    for (const ComPtr<IProperty>& property : FProperties)
      if (property->GetPropertyName() == AName) return property;
    return {};
  }
  void SetProperty(IProperty* AProperty) override {
    FProperties.emplace_back(AProperty);
    AProperty->SetHostObject(static_cast<INode*>(this));
  }
  int32_t GetPropertyCount() override { return static_cast<int32_t>(FProperties.size()); }
  ComPtr<IProperty> GetPropertyItem(int32_t AIndex) override { return FProperties.at(static_cast<size_t>(AIndex)); }
  bool IsDescendantOf(INode* AAncestor) override {
    for (TFakeNode* node = FParent; node; node = node->FParent)
      if (SameObject(static_cast<INode*>(node), AAncestor)) return true;
    return false;
  }
  std::string GetRelativeIndex(INode* ANode) override { return "rel:" + ANode->GetID(); }
  ComPtr<INode> NodeFromRelativeIndex(const std::string& AText) override {
    if (AText.rfind("rel:", 0) != 0) return {};
    std::vector<ComPtr<TFakeNode>> pending{Top()};
    while (!pending.empty()) {
      ComPtr<TFakeNode> node = pending.back();
      pending.pop_back();
      if (node->FId == AText.substr(4)) return node;
      pending.insert(pending.end(), node->FChildren.begin(), node->FChildren.end());
    }
    return {};
  }

 private:
  TFakeNode* Top() {
    TFakeNode* node = this;
    while (node->FParent) node = node->FParent;
    return node;
  }

  std::string FId;
  TFakeNode* FParent = nullptr;  // the parent holds its children
  std::vector<ComPtr<TFakeNode>> FChildren;
  std::vector<ComPtr<IProperty>> FProperties;
};
