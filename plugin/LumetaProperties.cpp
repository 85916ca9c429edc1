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
