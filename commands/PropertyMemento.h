#pragma once
// What a node held under one property name before a command changed it.
#include <string>

#include "com/AggregableObject.h"
#include "contract/CommandIntf.h"

// The saved property is one the node no longer holds (the one it gave up, or a copy), owned by the
// memento; empty means "the node did not have it", so undo removes the property again.
class TPropertyMemento : public TImplements<TAggregableObject, IPropertyMemento> {
 public:
  explicit TPropertyMemento(std::string ADescription = {}, IProperty* AProperty = nullptr);
  ~TPropertyMemento() override;

  std::string GetDescription() override;
  ComPtr<IProperty> GetPropertyMemento() override;
  void SetDescription(const std::string& ADescription) override;
  void SetPropertyMemento(IProperty* AProperty) override;

 private:
  std::string FDescription;
  ComPtr<IProperty> FPropertyMemento;
};
