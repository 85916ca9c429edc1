#pragma once
// The base classes of the plug-in's counted objects, of its property managers and of the
// properties they create.
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "attributes/LumetaAttributes.h"
#include "attributes/XmlAttributes.h"
#include "com/ComObject.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaRenderIntf.h"

// The common part of the property managers: the host interactor, registration with the host's
// catalogue and property creation.
class TLumetaPropertyManager : public TImplements<TComObject, IPropertyManager, IPlugin, IPropertyPlugin> {
 public:
  using TImplements::TImplements;

  // Empty in every manager here.
  std::string GetText() override;
  // The class description, as GetClassDescription.
  std::string GetDescription() override;
  // Adds the class description to the catalogue (which must answer IPropertyCatalogue, else
  // ENoInterface); derived managers then give it their CLSID. Answers true.
  bool RegisterWith(IUnknown* ACatalogue) override;
  // Raises ENotImplemented; each manager creates its own property class.
  ComPtr<IProperty> CreateProperty() override;
  // Answers no interface.
  ComPtr<IUnknown> GetExtension() override;
  // Answers nothing; a manager with a UI controller overrides it.
  ComPtr<IUnknown> CreatePlugInUI() override;
  virtual std::string GetClassDescription() = 0;

  ComPtr<IPlugInInteractor> GetHost() override;
  // The manager keeps a counted reference to the interactor.
  void SetHost(IPlugInInteractor* AHost) override;
  ComPtr<IProperty> NewProperty() override;
  // Empty while no interactor has been set.
  ComPtr<IUnknown> GetHostApplication() override;

 private:
  ComPtr<IPlugInInteractor> FHost;
};

// What the host's catalogue files a property class under.
struct TPropertyClassInfo {
  const char* Description;  // the manager's class description, which is also the property's name
  GUID ClassID;
};

// The host's render values of one property; a property owns one and hands it out.
class TLumetaPropertyRenderInfo : public TImplements<TAggregableObject, IPropertyRenderInfo> {
 public:
  TLumetaPropertyRenderInfo() = default;

  int32_t GetKind() override;
  void SetKind(int32_t AValue) override;
  float GetLeft() override;
  void SetLeft(float AValue) override;
  float GetTop() override;
  void SetTop(float AValue) override;
  float GetRight() override;
  void SetRight(float AValue) override;
  float GetBottom() override;
  void SetBottom(float AValue) override;
  int32_t GetColor() override;
  void SetColor(int32_t AValue) override;
  int32_t GetFlags() override;
  void SetFlags(int32_t AValue) override;
  TPropertyRenderValues GetValues() override;
  void SetValues(const TPropertyRenderValues& AValues) override;

 private:
  TPropertyRenderValues FValues;
};

// A property attached to a node or to the map. It is the root of the attribute tree it carries:
// the carried attribute is aggregated into it, so the property answers that attribute's
// interfaces, the attribute lives exactly as long as the property, and the tree's names start
// with the property's name ("Action.Due Date").
class TLumetaProperty : public TImplements<TComObject, IProperty, IPlugin, IXmlMapping, IPropertySymbol> {
 public:
  TLumetaProperty();
  ~TLumetaProperty() override;

  // The manager class's description, worked out once.
  std::string GetPropertyName() override;
  // Empty here.
  std::string GetCaption() override;
  // Empty here.
  std::string GetHint() override;
  // Empty until the manager's NewProperty hands itself over.
  ComPtr<IPropertyManager> GetManager() override;
  // Counted: a property keeps its manager alive (the manager never holds its properties).
  void SetManager(IPropertyManager* AManager) override;
  ComPtr<IUnknown> GetHostObject() override;
  // Not counted: the node or map holds its properties.
  void SetHostObject(IUnknown* AHostObject) override;

  // Clears the host's bit 1 of the render flags; a property with a symbol also decides bit 0.
  void UpdateRenderInfo() override;
  ComPtr<IPropertyRenderInfo> GetRenderInfo() override;
  // No symbol here: 0 x 0, nothing drawn, no images.
  void MeasureSymbol(TGPGraphics* AGraphics, int32_t AAvailableHeight, int32_t& AWidth, int32_t& AHeight) override;
  void DrawSymbol(TGPGraphics* AGraphics, int32_t AFlags, int32_t AX, int32_t AY, int32_t AAvailableWidth,
                  int32_t AAvailableHeight) override;
  std::vector<std::string> GetSymbolImages(int32_t AFlags) override;

  // Made on first use with InitialRenderValues: the host asks only for the nodes it draws.
  TLumetaPropertyRenderInfo* RenderInfo();

  // The carried attribute; null before Initialize.
  TAttribute* Attribute() const noexcept { return FAttribute.get(); }

 protected:
  // The class description of the manager that creates this class of property.
  virtual std::string ManagerClassDescription() = 0;
  // What a new render info holds; all zero here.
  virtual TPropertyRenderValues InitialRenderValues() { return {}; }

  // Makes the carried attribute with this property as its controller and owns it, replacing any
  // made before. T's constructor takes the controller as its last argument.
  template <class T, class... Args>
  T* CreateAttribute(Args&&... AArgs) {
    auto attribute = std::make_unique<T>(std::forward<Args>(AArgs)..., static_cast<IProperty*>(this));
    T* result = attribute.get();
    FAttribute = std::move(attribute);
    return result;
  }

  // The carried attribute's interfaces.
  HRESULT QueryAggregated(const GUID& AIid, void** AObject) noexcept override;

 private:
  IUnknown* FHostObject = nullptr;
  std::optional<std::string> FName;
  ComPtr<IPropertyManager> FManager;
  ComPtr<TLumetaPropertyRenderInfo> FRenderInfo;
  // Aggregated: its reference count goes to this property, so it is freed here, not by Release.
  std::unique_ptr<TAttribute> FAttribute;
};

// A manager that adds nothing but its property class. TProperty names the manager's description
// and class ID in its static member ManagerInfo.
template <class TProperty>
class TLumetaPropertyManagerOf : public TLumetaPropertyManager {
 public:
  TLumetaPropertyManagerOf() { Initialize(); }

  std::string GetClassDescription() override { return TProperty::ManagerInfo.Description; }
  // Also gives the catalogue the property's class ID.
  bool RegisterWith(IUnknown* ACatalogue) override {
    TLumetaPropertyManager::RegisterWith(ACatalogue);
    ComPtr<IUnknown>(ACatalogue).as<IPropertyCatalogue>()->SetClassID(TProperty::ManagerInfo.ClassID);
    return true;
  }
  // A new property for each call.
  ComPtr<IProperty> CreateProperty() override { return make<TProperty>(); }
};

// A property class's XML declarations from declaration objects, in argument order.
template <class... T>
TXmlDeclarations MakeXmlDeclarations(T... ADeclarations) {
  TXmlDeclarations result;
  result.reserve(sizeof...(T));
  (result.push_back(std::make_unique<T>(std::move(ADeclarations))), ...);
  return result;
}
