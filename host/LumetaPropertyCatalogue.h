#pragma once
// The host's list of property classes that plug-ins register with RegisterWith.
#include <cstdint>
#include <string>
#include <vector>

#include "com/AggregableObject.h"
#include "contract/LumetaIntf.h"

struct TPropertyClassEntry {
  std::string Description;
  GUID ClassID{};
  uint32_t Flags = 0;
};

// SetClassID and the flags act on the class added last; before any class is added they raise
// EInvalidOperation.
class TLumetaPropertyCatalogue : public TImplements<TAggregableObject, IPropertyCatalogue, ICatalogueFlags> {
 public:
  using TImplements::TImplements;

  void AddPropertyClass(const std::string& AClassDescription) override;
  void SetClassID(const GUID& AClassID) override;
  uint32_t GetCatalogueFlags() override;
  void SetCatalogueFlags(uint32_t AFlags) override;

  // In the order of registration.
  const std::vector<TPropertyClassEntry>& Classes() const noexcept { return FClasses; }
  // Null when no class has that description or CLSID; the first match wins.
  const TPropertyClassEntry* FindByDescription(const std::string& ADescription) const noexcept;
  const TPropertyClassEntry* FindByClassID(const GUID& AClassID) const noexcept;

 private:
  TPropertyClassEntry& Last();
  std::vector<TPropertyClassEntry> FClasses;
};
