#pragma once
// What the attribute tests share: a node that loads attributes lazily, a record of two named
// children carried by an "Action" property, and short accessors for values.
#include <functional>
#include <string>
#include <vector>

#include "attributes/LumetaAttributes.h"
#include "tests/support/FactoryScope.h"
#include "tests/support/FakeNode.h"
#include "tests/support/FakeProperty.h"
#include "tests/support/PairRecord.h"

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

using TPairProperty = TFakeProperty<TPairRecord>;

// The standard classes and TPairRecord, for one test.
class TPairFactoryScope : public TFactoryScope {
 public:
  TPairFactoryScope()
      : TFactoryScope([](TLumetaAttributeFactory* AFactory) {
          AFactory->RegisterClass(PairRecordIid, [] { return ComPtr<IAttribute>(make<TPairRecord>()); });
        }) {}
};

inline int32_t IntOf(IAttribute* AAttribute) { return QueryAs<IIntegerAttribute>(AAttribute)->GetValue(); }
inline std::string TextOf(IAttribute* AAttribute) { return QueryAs<IStringAttribute>(AAttribute)->GetValue(); }
inline void SetInt(IAttribute* AAttribute, int32_t AValue) { QueryAs<IIntegerAttribute>(AAttribute)->SetValue(AValue); }
inline void SetText(IAttribute* AAttribute, const std::string& AValue) {
  QueryAs<IStringAttribute>(AAttribute)->SetValue(AValue);
}

// A list of strings holding the given values.
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
