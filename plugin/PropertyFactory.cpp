#include "plugin/PropertyFactory.h"

#include <utility>

TPropertyMapping::TPropertyMapping(TPropertyManagerClass AClass, std::string AName)
    : FClass(AClass), FName(std::move(AName)) {
  Initialize();
}

TPropertyManagerClass TPropertyMapping::GetClass() { return FClass; }

std::string TPropertyMapping::GetName() { return FName; }

ComPtr<IMappingIterator> TPropertyFactory::GetIterator() { return make<TMappingIterator>(ComPtr<TPropertyFactory>(this)); }

ComPtr<IPropertyPlugin> TPropertyFactory::CreateByName(const std::string& AName) {
  IPropertyMapping* mapping = FindMapping(AName);
  return mapping ? mapping->GetClass()() : nullptr;
}

ComPtr<IPropertyPlugin> TPropertyFactory::CreateByIndex(int32_t AIndex) { return FMappings.Items(AIndex)->GetClass()(); }

int32_t TPropertyFactory::GetCount() { return FMappings.Count(); }

void TPropertyFactory::Register(const std::string& AName, TPropertyManagerClass AClass) {
  if (!AClass) throw EInvalidOperation("No manager class given for the property \"" + AName + "\"");
  if (FindMapping(AName)) return;
  FMappings.Add(make<TPropertyMapping>(AClass, AName));
}

IPropertyMapping* TPropertyFactory::FindMapping(const std::string& AName) const {
  for (const ComPtr<IPropertyMapping>& mapping : FMappings)
    if (mapping->GetName() == AName) return mapping.get();
  return nullptr;
}

TMappingIterator::TMappingIterator(ComPtr<TPropertyFactory> AFactory) : FFactory(std::move(AFactory)) { Initialize(); }

void TMappingIterator::Reset() { FPosition = 0; }

void TMappingIterator::Next() { ++FPosition; }

bool TMappingIterator::IsDone() { return FPosition >= FFactory->GetCount(); }

std::string TMappingIterator::Current() { return IsDone() ? std::string() : FFactory->Mappings().Items(FPosition)->GetName(); }

TPropertyFactory* PropertyFactory() {
  static const ComPtr<TPropertyFactory> factory = make<TPropertyFactory>();
  return factory.get();
}
