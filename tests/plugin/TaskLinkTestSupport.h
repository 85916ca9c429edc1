#pragma once
// Links properties on fake nodes: a named property carrying an aggregated list of task links, and
// an attribute factory that can make the links.
#include "plugin/NodeLinkAttribute.h"
#include "tests/support/FactoryScope.h"
#include "tests/support/FakeNode.h"
#include "tests/support/FakeProperty.h"

class TTaskLinkList : public TListAttribute {
 public:
  explicit TTaskLinkList(IUnknown* AController) : TListAttribute(TaskLinkAttributeIid, AController) {}
};
using TLinksProperty = TFakeProperty<TTaskLinkList>;

inline ComPtr<TLinksProperty> AddLinks(TFakeNode* ANode, const char* AName) {
  ComPtr<TLinksProperty> property = make<TLinksProperty>(AName);
  ANode->SetProperty(property.get());
  return property;
}

class TLinkFactoryScope : public TFactoryScope {
 public:
  TLinkFactoryScope() : TFactoryScope(&RegisterNodeLinkAttributeClass) {}
};
