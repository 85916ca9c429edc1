#pragma once
// Small stand-ins for the host: a node tree, a node that loads attributes lazily, a property that
// carries an aggregated record, and a record of two named children.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "attributes/LumetaAttributeFactory.h"
#include "attributes/LumetaAttributes.h"
#include "contract/LumetaIntf.h"
#include "tests/support/StubNode.h"
#include "tests/support/TestProperty.h"

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
  ComPtr<INode> GetRoot() override {
    TFakeNode* node = this;
    while (node->FParent) node = node->FParent;
    return node;
  }

 private:
  std::string FId;
  TFakeNode* FParent = nullptr;  // the parent holds its children
  std::vector<ComPtr<TFakeNode>> FChildren;
};

// A node of a map that loads lazily: counts the loads and fills each attribute through Fill.
class TDocNode : public TImplements<TFakeNode, IDocSource> {
 public:
  using TImplements::TImplements;
  void LoadAttribute(IAttribute* AAttribute) override {
    ++Loads;
    if (Fill) Fill(AAttribute);
  }
  int Loads = 0;
  std::function<void(IAttribute*)> Fill;
};

// Two children, "Count" (integer) and "Label" (string).
class TPairRecord : public TRecordAttribute {
 public:
  static constexpr const char* Names[] = {"Count", "Label"};
  explicit TPairRecord(IUnknown* AController = nullptr) : TRecordAttribute(Names, AController) {
    AddChild(make<TIntegerAttribute>().get());
    AddChild(make<TStringAttribute>().get());
  }
};
inline const GUID PairRecordIid = MakeGuid("6E4C1D0A-0000-4000-8000-000000000001");

// A property named "Action" on a host object, carrying an aggregated TPairRecord.
class TFakeProperty : public TTestProperty<TPairRecord> {
 public:
  explicit TFakeProperty(ComPtr<IUnknown> AHost) : TTestProperty("Action", std::move(AHost)) { Caption = "Action caption"; }
  TPairRecord* Record() { return Content(); }
};

// Installs an in-process factory with the standard classes and TPairRecord for one test.
class TFactoryScope {
 public:
  TFactoryScope() {
    ComPtr<TLumetaAttributeFactory> factory = make<TLumetaAttributeFactory>();
    RegisterStandardAttributeClasses(factory.get());
    factory->RegisterClass(PairRecordIid, [] { return ComPtr<IAttribute>(make<TPairRecord>()); });
    SetAttributeFactory(factory.get());
  }
  ~TFactoryScope() { SetAttributeFactory(nullptr); }
};

inline int32_t IntOf(IAttribute* AAttribute) { return QueryAs<IIntegerAttribute>(AAttribute)->GetValue(); }
inline std::string TextOf(IAttribute* AAttribute) { return QueryAs<IStringAttribute>(AAttribute)->GetValue(); }
inline void SetInt(IAttribute* AAttribute, int32_t AValue) { QueryAs<IIntegerAttribute>(AAttribute)->SetValue(AValue); }
inline void SetText(IAttribute* AAttribute, const std::string& AValue) {
  QueryAs<IStringAttribute>(AAttribute)->SetValue(AValue);
}

// A list of strings, or of pair records, holding the given values.
inline ComPtr<TListAttribute> StringList(std::initializer_list<const char*> AValues) {
  ComPtr<TListAttribute> list = make<TListAttribute>(uuidof<IStringAttribute>());
  for (const char* value : AValues) SetText(list->Add().get(), value);
  return list;
}

inline std::vector<std::string> TextsOf(IStructuredAttribute* AList) {
  std::vector<std::string> texts;
  for (int32_t i = 0; i < AList->GetChildCount(); ++i) texts.push_back(TextOf(AList->GetChild(i).get()));
  return texts;
}
