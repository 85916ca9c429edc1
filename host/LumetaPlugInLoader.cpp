#include "host/LumetaPlugInLoader.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <utility>

#include "com/ErrorInfo.h"
#include "host/LumetaHostObject.h"

// Where an installed program's plug-in folder lies, relative to the program's own folder.
#ifndef LUMETA_INSTALLED_PLUGIN_DIR
#define LUMETA_INSTALLED_PLUGIN_DIR "../lib/lumeta"
#endif

namespace {
// dlerror's text, without the path it usually starts with (the caller names the path itself).
std::string LoaderErrorText(const std::string& APath) {
  const char* error = dlerror();
  std::string text = error ? error : "unknown error";
  if (text.rfind(APath + ": ", 0) == 0) text.erase(0, APath.size() + 2);
  return text;
}
}  // namespace

std::string DefaultPlugInDir() {
  const char* dir = std::getenv("LUMETA_PLUGIN_DIR");
  if (dir && *dir) return dir;
  // Found from the running program, wherever it was built or installed, so no option is needed.
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  const std::filesystem::path programDir = program.parent_path();
  if (std::filesystem::exists(programDir / LumetaPlugInLibraryName, error)) return programDir.string();
  const std::filesystem::path installed = (programDir / LUMETA_INSTALLED_PLUGIN_DIR).lexically_normal();
  if (std::filesystem::exists(installed / LumetaPlugInLibraryName, error)) return installed.string();
  return programDir.string();
}

std::string PlugInLibraryPath(const std::string& ADir) {
  if (ADir.empty()) return LumetaPlugInLibraryName;
  return ADir.back() == '/' ? ADir + LumetaPlugInLibraryName : ADir + "/" + LumetaPlugInLibraryName;
}

TLumetaPlugInLoader::TLumetaPlugInLoader(ComPtr<TLumetaPropertyCatalogue> ACatalogue,
                                         ComPtr<TLumetaInteractor> AInteractor, ComPtr<IUnknown> AHostObject)
    : FCatalogue(ACatalogue ? std::move(ACatalogue) : make<TLumetaPropertyCatalogue>()),
      FInteractor(AInteractor ? std::move(AInteractor) : make<TLumetaInteractor>()),
      FHostObject(AHostObject ? std::move(AHostObject) : ComPtr<IUnknown>(make<TLumetaHostObject>())) {}

TLumetaPlugInLoader::~TLumetaPlugInLoader() { Unload(); }

void TLumetaPlugInLoader::Load(const std::string& APath) {
  if (FHandle) throw EInvalidOperation("A plug-in library is loaded already: " + FPath);
  dlerror();
  void* handle = dlopen(APath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) throw ELumetaError(APath + ": cannot load the plug-in library: " + LoaderErrorText(APath));
  FHandle = handle;
  FPath = APath;
  // The exception may be the library's own; take its text and close the library only after the
  // handler has destroyed it.
  bool failed = false;
  std::string message;
  HRESULT code = E_FAIL;
  try {
    FCreateClass = reinterpret_cast<TLumetaCreateClassFunc>(dlsym(handle, "LumetaCreateClass"));
    if (!FCreateClass) throw ELumetaError(APath + ": the library does not export LumetaCreateClass");
    for (const GUID& classID : LumetaPlugInClassIDs) AddManager(CreateClass(classID).as<IPropertyManager>());
    auto getFactory = reinterpret_cast<TGetPropertyFactoryFunc>(dlsym(handle, "GetPropertyFactory"));
    if (!getFactory) throw ELumetaError(APath + ": the library does not export GetPropertyFactory");
    ComPtr<IUnknown> factory;
    CheckResult(getFactory(factory.put()), APath);
    FPropertyFactory = factory.as<IPlugInFactory>();
    ComPtr<IMappingIterator> names = FPropertyFactory->GetIterator();
    for (names->Reset(); !names->IsDone(); names->Next())
      AddManager(FPropertyFactory->CreateByName(names->Current()).as<IPropertyManager>());
    // Started only once every manager is registered, so a manager may rely on the others.
    for (const auto& manager : FManagers) {
      if (auto provider = manager.try_as<IPropertyUIProvider>()) {
        provider->Startup(FHostObject.get());
        FStarted.push_back(provider);
      }
    }
  } catch (const std::exception& error) {
    failed = true;
    message = error.what();
    if (const auto* lumetaError = dynamic_cast<const ELumetaError*>(&error)) code = lumetaError->Code();
  } catch (...) {
    failed = true;
    message = "unknown failure";
  }
  if (!failed) return;
  Unload();
  throw ELumetaError(message.rfind(APath, 0) == 0 ? message : APath + ": " + message, code);
}

void TLumetaPlugInLoader::AddManager(ComPtr<IPropertyManager> AManager) {
  FManagers.push_back(AManager);
  AManager->SetHost(FInteractor.get());
  AManager->RegisterWith(static_cast<IPropertyCatalogue*>(FCatalogue.get()));
}

std::vector<TPropertyClassEntry> TLumetaPlugInLoader::PlugInClasses() const {
  std::vector<TPropertyClassEntry> result;
  for (const GUID& classID : LumetaPlugInClassIDs)
    if (const TPropertyClassEntry* entry = FCatalogue->FindByClassID(classID)) result.push_back(*entry);
  return result;
}

ComPtr<IUnknown> TLumetaPlugInLoader::CreateClass(const GUID& AClassID) {
  if (!FCreateClass) throw EInvalidOperation("No plug-in library is loaded");
  ComPtr<IUnknown> object;
  CheckResult(FCreateClass(&AClassID, object.put()), FPath);
  return object;
}

void TLumetaPlugInLoader::Shutdown() {
  // The error may be the library's own exception; keep only its text and code.
  bool failed = false;
  std::string message;
  HRESULT code = E_FAIL;
  for (auto& provider : std::exchange(FStarted, {})) {
    try {
      provider->Shutdown(FHostObject.get());
    } catch (const std::exception& error) {
      if (std::exchange(failed, true)) continue;
      message = error.what();
      if (const auto* lumetaError = dynamic_cast<const ELumetaError*>(&error)) code = lumetaError->Code();
    } catch (...) {
      if (std::exchange(failed, true)) continue;
      message = FPath + ": unknown failure while shutting down";
    }
  }
  if (failed) throw ELumetaError(message, code);
}

void TLumetaPlugInLoader::Unload() noexcept {
  try {
    Shutdown();
  } catch (const std::exception& error) {
    std::cerr << "warning: " << error.what() << '\n';
  }
  FManagers.clear();
  FPropertyFactory.reset();
  FCreateClass = nullptr;
  if (FHandle) dlclose(std::exchange(FHandle, nullptr));
  FPath.clear();
}
