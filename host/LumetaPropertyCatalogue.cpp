#include "host/LumetaPropertyCatalogue.h"

#include <algorithm>

void TLumetaPropertyCatalogue::AddPropertyClass(const std::string& AClassDescription) {
  FClasses.push_back({AClassDescription, GUID_NULL, 0});
}

void TLumetaPropertyCatalogue::SetClassID(const GUID& AClassID) { Last().ClassID = AClassID; }

uint32_t TLumetaPropertyCatalogue::GetCatalogueFlags() { return Last().Flags; }

void TLumetaPropertyCatalogue::SetCatalogueFlags(uint32_t AFlags) { Last().Flags = AFlags; }

const TPropertyClassEntry* TLumetaPropertyCatalogue::FindByDescription(const std::string& ADescription) const noexcept {
  auto found = std::find_if(FClasses.begin(), FClasses.end(),
                            [&](const TPropertyClassEntry& AEntry) { return AEntry.Description == ADescription; });
  return found == FClasses.end() ? nullptr : &*found;
}

const TPropertyClassEntry* TLumetaPropertyCatalogue::FindByClassID(const GUID& AClassID) const noexcept {
  auto found = std::find_if(FClasses.begin(), FClasses.end(),
                            [&](const TPropertyClassEntry& AEntry) { return AEntry.ClassID == AClassID; });
  return found == FClasses.end() ? nullptr : &*found;
}

TPropertyClassEntry& TLumetaPropertyCatalogue::Last() {
  if (FClasses.empty()) throw EInvalidOperation("No property class has been added to the catalogue");
  return FClasses.back();
}
