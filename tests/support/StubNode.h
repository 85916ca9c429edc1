#pragma once
// A node that answers every question with nothing: no relatives, no attributes, no properties.
// Test nodes derive from it and answer what their test asks.
#include <string>

#include "com/AggregableObject.h"
#include "contract/LumetaIntf.h"

class TStubNode : public TImplements<TAggregableObject, INode> {
 public:
  ComPtr<INode> GetFirstChild() override { return {}; }
  ComPtr<INode> GetNextSibling() override { return {}; }
  ComPtr<INode> GetParent() override { return {}; }
  std::string GetID() override { return {}; }
  bool HasChildren() override { return false; }
  bool IsSummaryTask() override { return false; }
  ComPtr<INode> GetRoot() override { return {}; }
  ComPtr<IAttribute> FindAttribute(const std::string&) override { return {}; }
  ComPtr<IProperty> FindProperty(const std::string&) override { return {}; }
  void SetProperty(IProperty*) override {}
  bool RemoveProperty(const std::string&) override { return false; }
  int32_t GetPropertyCount() override { return 0; }
  ComPtr<IProperty> GetPropertyItem(int32_t) override { return {}; }
  bool IsDescendantOf(INode*) override { return false; }
  std::string GetRelativeIndex(INode*) override { return {}; }
  ComPtr<INode> NodeFromRelativeIndex(const std::string&) override { return {}; }
  int32_t GetLevel() override { return 0; }
  bool IsExpanded() override { return true; }
  int32_t GetChildCount() override { return 0; }
};
