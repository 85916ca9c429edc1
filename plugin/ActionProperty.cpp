#include "plugin/ActionProperty.h"

TActionPropertyManager::TActionPropertyManager() { Initialize(); }

std::string TActionPropertyManager::GetClassDescription() { return "Action"; }

bool TActionPropertyManager::RegisterWith(IUnknown* ACatalogue) {
  TLumetaPropertyManager::RegisterWith(ACatalogue);
  ComPtr<IUnknown> catalogue(ACatalogue);
  catalogue.as<IPropertyCatalogue>()->SetClassID(CLSID_ActionPropertyManager);
  if (auto flags = catalogue.try_as<ICatalogueFlags>()) flags->SetCatalogueFlags(flags->GetCatalogueFlags() | 1u);
  return true;
}

void TActionPropertyManager::Startup(IUnknown*) {}

void TActionPropertyManager::BeginSession(IUnknown*) {}

void TActionPropertyManager::EndSession(IUnknown*) {}

void TActionPropertyManager::Shutdown(IUnknown*) {}

TMasterActionPropertyManager::TMasterActionPropertyManager() { Initialize(); }

std::string TMasterActionPropertyManager::GetClassDescription() { return "Action List"; }

bool TMasterActionPropertyManager::RegisterWith(IUnknown* ACatalogue) {
  TLumetaPropertyManager::RegisterWith(ACatalogue);
  ComPtr<IUnknown>(ACatalogue).as<IPropertyCatalogue>()->SetClassID(CLSID_MasterActionPropertyManager);
  return true;
}

void TMasterActionPropertyManager::Startup(IUnknown*) {}

void TMasterActionPropertyManager::BeginSession(IUnknown*) {}

void TMasterActionPropertyManager::EndSession(IUnknown*) {}

void TMasterActionPropertyManager::Shutdown(IUnknown*) {}

void TMasterActionPropertyManager::MapCreated(IUnknown*) {}

void TMasterActionPropertyManager::MapLoaded(IUnknown*) {}

void TMasterActionPropertyManager::MapSaving(IUnknown*) {}

void TMasterActionPropertyManager::MapClosed(IUnknown*) {}

ComPtr<IUnknown> CreateLumetaClass(const GUID& AClassID) {
  if (AClassID == CLSID_ActionPropertyManager) return make<TActionPropertyManager>();
  if (AClassID == CLSID_MasterActionPropertyManager) return make<TMasterActionPropertyManager>();
  throw EClassNotFound(GuidToString(AClassID));
}
