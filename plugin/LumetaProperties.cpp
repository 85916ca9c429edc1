#include "plugin/LumetaProperties.h"

HRESULT TLumetaNonComBase::InterfaceSupportsErrorInfo(const GUID& AIid) noexcept {
  return ImplementsInterface(AIid) ? S_OK : S_FALSE;
}

std::string TLumetaPropertyManager::GetText() { return {}; }

std::string TLumetaPropertyManager::GetDescription() { return GetClassDescription(); }

bool TLumetaPropertyManager::RegisterWith(IUnknown* ACatalogue) {
  ComPtr<IUnknown>(ACatalogue).as<IPropertyCatalogue>()->AddPropertyClass(GetClassDescription());
  return true;
}

ComPtr<IProperty> TLumetaPropertyManager::CreateProperty() { throw ENotImplemented(); }

ComPtr<IUnknown> TLumetaPropertyManager::GetExtension() { return nullptr; }

ComPtr<IUnknown> TLumetaPropertyManager::CreatePlugInUI() { return nullptr; }

ComPtr<IPlugInInteractor> TLumetaPropertyManager::GetHost() { return FHost; }

void TLumetaPropertyManager::SetHost(IPlugInInteractor* AHost) { FHost = AHost; }

ComPtr<IProperty> TLumetaPropertyManager::NewProperty() {
  ComPtr<IProperty> property = CreateProperty();
  if (property) property->SetManager(this);
  return property;
}

ComPtr<IUnknown> TLumetaPropertyManager::GetHostApplication() {
  return FHost ? FHost->GetApplication() : nullptr;
}

TLumetaProperty::~TLumetaProperty() = default;

std::string TLumetaProperty::GetPropertyName() {
  if (!FName) FName = ManagerClassDescription();
  return *FName;
}

std::string TLumetaProperty::GetCaption() { return {}; }

std::string TLumetaProperty::GetHint() { return {}; }

ComPtr<IPropertyManager> TLumetaProperty::GetManager() { return FManager; }

void TLumetaProperty::SetManager(IPropertyManager* AManager) { FManager = AManager; }

ComPtr<IUnknown> TLumetaProperty::GetHostObject() { return ComPtr<IUnknown>(FHostObject); }

void TLumetaProperty::SetHostObject(IUnknown* AHostObject) { FHostObject = AHostObject; }

HRESULT TLumetaProperty::QueryAggregated(const GUID& AIid, void** AObject) noexcept {
  return FAttribute ? FAttribute->InnerQueryInterface(AIid, AObject) : E_NOINTERFACE;
}
