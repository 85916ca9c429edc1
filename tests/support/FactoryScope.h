#pragma once
// Installs an in-process attribute factory for one test: the standard classes, and whatever
// ARegister adds.
#include <functional>

#include "attributes/LumetaAttributeFactory.h"

class TFactoryScope {
 public:
  explicit TFactoryScope(const std::function<void(TLumetaAttributeFactory*)>& ARegister = {}) {
    ComPtr<TLumetaAttributeFactory> factory = make<TLumetaAttributeFactory>();
    RegisterStandardAttributeClasses(factory.get());
    if (ARegister) ARegister(factory.get());
    SetAttributeFactory(factory.get());
  }
  ~TFactoryScope() { SetAttributeFactory(nullptr); }
  TFactoryScope(const TFactoryScope&) = delete;
  TFactoryScope& operator=(const TFactoryScope&) = delete;
};
