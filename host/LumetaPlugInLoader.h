#pragma once
// Loads the plug-in library, creates its property managers (those asked for by CLSID, then those
// its property factory offers by name), hands them the interactor, registers them with the
// catalogue and starts those with a UI provider; shuts them down again before releasing them.
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "host/LumetaInteractor.h"
#include "host/LumetaPropertyCatalogue.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaPropertyFactoriesIntf.h"

inline constexpr const char* LumetaPlugInLibraryName = "lumeta_actionproperty.so";

// The classes the host asks every plug-in library for, in this order.
inline constexpr GUID LumetaPlugInClassIDs[] = {
    MakeGuid("D1BE7F7D-A80A-4FF7-BCD9-1FCDB9CB27CD"),  // the per-node property's manager
    MakeGuid("B7D51A23-79ED-45D0-B7A6-CFD330FC2256"),  // the map-level property's manager
};

// The folder plug-in libraries are looked for in: $LUMETA_PLUGIN_DIR when set and not empty, else
// the running program's own folder when the plug-in is there (the build tree), else the installed
// library folder relative to it (bin/../lib/x86_64-linux-gnu/lumeta).
std::string DefaultPlugInDir();
// ADir joined with the plug-in library's file name.
std::string PlugInLibraryPath(const std::string& ADir);

// One loader holds one library. Failures raise ELumetaError whose message starts with the
// library path and carries the plug-in's error text; a failed Load leaves nothing loaded.
class TLumetaPlugInLoader {
 public:
  // Without arguments the loader makes its own catalogue, interactor and host object (a
  // TLumetaHostObject with the default registry path).
  explicit TLumetaPlugInLoader(ComPtr<TLumetaPropertyCatalogue> ACatalogue = nullptr,
                               ComPtr<TLumetaInteractor> AInteractor = nullptr, ComPtr<IUnknown> AHostObject = nullptr);
  TLumetaPlugInLoader(const TLumetaPlugInLoader&) = delete;
  TLumetaPlugInLoader& operator=(const TLumetaPlugInLoader&) = delete;
  ~TLumetaPlugInLoader();

  // Raises EInvalidOperation when a library is loaded already.
  void Load(const std::string& APath);
  // Calls Shutdown on the started managers, each once, in the order they were started; when one
  // fails the others still run and the first error is raised afterwards (a settings file that
  // cannot be written, say). Does nothing when none is started.
  void Shutdown();
  // Shuts the managers down (a failure is reported as a warning on standard error), releases
  // them, then closes the library. Objects of the library that others still hold must be
  // released before this.
  void Unload() noexcept;
  // Asks the loaded library for another object; the caller owns the reference.
  ComPtr<IUnknown> CreateClass(const GUID& AClassID);

  bool Loaded() const noexcept { return FHandle != nullptr; }
  const std::string& Path() const noexcept { return FPath; }
  // Those of LumetaPlugInClassIDs in that order, then those of the property factory in its order.
  const std::vector<ComPtr<IPropertyManager>>& Managers() const noexcept { return FManagers; }
  // The catalogue entries of the managers asked for by CLSID, in the order of
  // LumetaPlugInClassIDs; the managers offered by name are left out.
  std::vector<TPropertyClassEntry> PlugInClasses() const;
  // The library's property factory; null while nothing is loaded.
  IPlugInFactory* PropertyFactory() const noexcept { return FPropertyFactory.get(); }
  TLumetaPropertyCatalogue* Catalogue() const noexcept { return FCatalogue.get(); }
  TLumetaInteractor* Interactor() const noexcept { return FInteractor.get(); }
  // What the managers' Startup and Shutdown are given.
  IUnknown* HostObject() const noexcept { return FHostObject.get(); }

 private:
  ComPtr<TLumetaPropertyCatalogue> FCatalogue;
  ComPtr<TLumetaInteractor> FInteractor;
  ComPtr<IUnknown> FHostObject;
  std::string FPath;
  void* FHandle = nullptr;
  TLumetaCreateClassFunc FCreateClass = nullptr;
  std::vector<ComPtr<IPropertyManager>> FManagers;
  ComPtr<IPlugInFactory> FPropertyFactory;
  std::vector<ComPtr<IPropertyUIProvider>> FStarted;

  void AddManager(ComPtr<IPropertyManager> AManager);
};
