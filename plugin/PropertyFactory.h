#pragma once
// The property factory that maps property names to manager classes, its registrations and the
// iterator over them.
#include <cstdint>
#include <string>

#include "com/InterfaceList.h"
#include "plugin/LumetaProperty.h"
#include "contract/LumetaPropertyFactoriesIntf.h"

// The manager class of a manager type T, for Register.
template <class T>
ComPtr<IPropertyPlugin> CreatePropertyManager() {
  return make<T>();
}

class TPropertyMapping : public TImplements<TComObject, IPropertyMapping> {
 public:
  TPropertyMapping(TPropertyManagerClass AClass, std::string AName);

  TPropertyManagerClass GetClass() override;
  std::string GetName() override;

 private:
  TPropertyManagerClass FClass;
  std::string FName;
};

class TPropertyFactory : public TImplements<TComObject, IAttributeFactory, IPlugInFactory> {
 public:
  using TImplements::TImplements;

  ComPtr<IMappingIterator> GetIterator() override;
  ComPtr<IPropertyPlugin> CreateByName(const std::string& AName) override;
  ComPtr<IPropertyPlugin> CreateByIndex(int32_t AIndex) override;
  int32_t GetCount() override;
  void Register(const std::string& AName, TPropertyManagerClass AClass) override;

  // The registration under exactly this name, or null; not counted.
  IPropertyMapping* FindMapping(const std::string& AName) const;
  const TInterfaceList<IPropertyMapping>& Mappings() const noexcept { return FMappings; }

 private:
  TInterfaceList<IPropertyMapping> FMappings;
};

// Holds its factory, so the factory outlives every iterator over it.
class TMappingIterator : public TImplements<TComObject, IMappingIterator> {
 public:
  explicit TMappingIterator(ComPtr<TPropertyFactory> AFactory);

  void Reset() override;
  void Next() override;
  bool IsDone() override;
  std::string Current() override;

 private:
  ComPtr<TPropertyFactory> FFactory;
  int32_t FPosition = 0;
};

// The process-wide factory, made on first call and released when the library that holds it
// unloads (at exit in a program that links it); never null.
TPropertyFactory* PropertyFactory();
