#pragma once
// A property for tests: a name, an attribute tree aggregated into the property (made with the
// property as its controller), and the node it is attached to.
#include <string>
#include <type_traits>
#include <utility>

#include "com/AggregableObject.h"
#include "contract/LumetaIntf.h"

template <class TContent>
class TFakeProperty : public TImplements<TAggregableObject, IProperty> {
 public:
  // AHeldHost: a stand-alone node the property keeps alive (a map's node holds its properties
  // instead, so the property only points at it). Without content the property answers no
  // attribute interface.
  explicit TFakeProperty(std::string AName, ComPtr<IUnknown> AHeldHost = {}, bool AWithContent = true)
      : FName(std::move(AName)),
        FHeldHost(std::move(AHeldHost)),
        FHost(FHeldHost.get()),
        FContent(AWithContent ? MakeContent(this) : nullptr) {}
  // The "Action" property of AHeldHost.
  explicit TFakeProperty(ComPtr<IUnknown> AHeldHost) : TFakeProperty("Action", std::move(AHeldHost)) {}
  ~TFakeProperty() override { delete FContent; }

  // The aggregated tree: a record or a list.
  TContent* Record() const noexcept { return FContent; }
  std::string GetPropertyName() override { return FName; }
  std::string GetCaption() override { return FName; }
  std::string GetHint() override { return {}; }
  ComPtr<IPropertyManager> GetManager() override { return FManager; }
  void SetManager(IPropertyManager* AManager) override { FManager = AManager; }
  ComPtr<IUnknown> GetHostObject() override { return ComPtr<IUnknown>(FHost); }
  void SetHostObject(IUnknown* AHost) override {
    FHost = AHost;
    if (FHeldHost.get() != AHost) FHeldHost.reset();
  }

 protected:
  HRESULT QueryAggregated(const GUID& AIid, void** AObject) noexcept override {
    return FContent ? FContent->InnerQueryInterface(AIid, AObject) : E_NOINTERFACE;
  }

 private:
  // Test records take their controller alone; the library's records and lists take a layout first.
  static TContent* MakeContent(IProperty* AController) {
    if constexpr (std::is_constructible_v<TContent, IProperty*>)
      return new TContent(AController);
    else
      return new TContent({}, AController);
  }

  std::string FName;
  ComPtr<IUnknown> FHeldHost;
  IUnknown* FHost;
  ComPtr<IPropertyManager> FManager;
  TContent* FContent;  // aggregated: freed with this property
};
