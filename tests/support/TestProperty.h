#pragma once
// A property for tests: a name, a content attribute aggregated into the property (made with the
// property as its controller), and the node it is attached to.
#include <string>
#include <utility>

#include "com/AggregableObject.h"
#include "contract/LumetaIntf.h"

template <class TContent>
class TTestProperty : public TImplements<TAggregableObject, IProperty> {
 public:
  // AHeldHost: a stand-alone node the property keeps alive (a map's node holds its properties
  // instead, so the property only points at it). Without content the property answers no
  // attribute interface.
  explicit TTestProperty(std::string AName, ComPtr<IUnknown> AHeldHost = {}, bool AWithContent = true)
      : FName(std::move(AName)),
        FHeldHost(std::move(AHeldHost)),
        FHost(FHeldHost.get()),
        FContent(AWithContent ? new TContent(static_cast<IProperty*>(this)) : nullptr) {}
  ~TTestProperty() override { delete FContent; }

  TContent* Content() const noexcept { return FContent; }
  std::string GetPropertyName() override { return FName; }
  std::string GetCaption() override { return Caption.empty() ? FName : Caption; }
  std::string GetHint() override { return {}; }
  ComPtr<IPropertyManager> GetManager() override { return FManager; }
  void SetManager(IPropertyManager* AManager) override { FManager = AManager; }
  ComPtr<IUnknown> GetHostObject() override { return ComPtr<IUnknown>(FHost); }
  void SetHostObject(IUnknown* AHost) override {
    FHost = AHost;
    if (FHeldHost.get() != AHost) FHeldHost.reset();
  }

  std::string Caption;  // empty: the name

 protected:
  HRESULT QueryAggregated(const GUID& AIid, void** AObject) noexcept override {
    return FContent ? FContent->InnerQueryInterface(AIid, AObject) : E_NOINTERFACE;
  }

 private:
  std::string FName;
  ComPtr<IUnknown> FHeldHost;
  IUnknown* FHost;
  ComPtr<IPropertyManager> FManager;
  TContent* FContent;  // aggregated: freed with this property
};
