#pragma once
// The attribute factory: new attributes by interface GUID. The process's factory lives in the
// shared library lumeta_attributefactories.so, loaded on first need and kept until the process
// ends; the host and the plug-in register their own classes into it.
#include <string>
#include <unordered_map>

#include "contract/LumetaAttributesIntf.h"
#include "com/AggregableObject.h"

inline constexpr const char* AttributeFactoryLibraryName = "lumeta_attributefactories.so";

// A GUID-to-creator map. The factory library hands out one of these; tests may make their own.
class TLumetaAttributeFactory : public TImplements<TAggregableObject, ILumetaAttributeFactory> {
 public:
  using TImplements::TImplements;

  // Raises EClassNotFound "No attribute class is registered for {GUID}".
  ComPtr<IAttribute> CreateAttribute(const GUID& AIid) override;
  // A null creator removes the registration.
  void RegisterClass(const GUID& AIid, TCreateFunc ACreate) override;
  bool IsRegistered(const GUID& AIid) override;

 private:
  std::unordered_map<GUID, TCreateFunc> FClasses;
};

// Registers the scalar classes under their interfaces: integer, double, date/time, string, word
// boolean and node reference. Records and lists need a subclass (names, item type), so neither
// interface is registered here.
void RegisterStandardAttributeClasses(ILumetaAttributeFactory* AFactory);

// The factory in use: the one given to SetAttributeFactory, else the factory library's, loaded on
// first call. Raises ELumetaError naming the library file and the loader's message when the
// library cannot be loaded or does not export GetAttributeFactory; never returns null. The
// pointer stays valid until SetAttributeFactory replaces the factory. Call from one thread.
ILumetaAttributeFactory* AttributeFactory();
// Replaces the factory in use, holding a reference; null goes back to the factory library.
void SetAttributeFactory(ILumetaAttributeFactory* AFactory);
// The file loaded on first need: by default lumeta_attributefactories.so in the folder of the
// program or library that this code is linked into.
std::string AttributeFactoryLibraryPath();
// Points loading at another file (tests); empty restores the default. A library loaded before is
// not unloaded (attributes it made may still live), but the next need loads from the new path.
void SetAttributeFactoryLibraryPath(const std::string& APath);
