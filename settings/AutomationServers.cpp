#include "settings/AutomationServers.h"

#include <dlfcn.h>

#include <map>

#include "com/ComErrors.h"
#include "com/ErrorInfo.h"
#include "settings/LumetaSettingsStore.h"

namespace {

constexpr THive KRoot = THive::ClassesRoot;

std::string ClassKey(const GUID& AClassID) { return "CLSID\\" + GuidToString(AClassID); }

std::optional<GUID> ClassIDOf(std::string_view AProgID) {
  TSettingsStore& store = SettingsStore();
  const std::string text = store.ReadString(KRoot, std::string(AProgID) + "\\CLSID", "", "");
  return ParseGuid(text);
}

GUID RequireClassID(std::string_view AProgID) {
  const std::optional<GUID> classID = AProgID.empty() ? std::nullopt : ClassIDOf(AProgID);
  if (!classID) throw EOleError("Invalid class string: '" + std::string(AProgID) + "' is not registered", CO_E_CLASSSTRING);
  return *classID;
}

// Never freed: a running object may outlive every other static, and releasing it at exit would
// call into libraries whose statics are gone.
std::map<GUID, ComPtr<IUnknown>>& ActiveObjects() {
  static auto* table = new std::map<GUID, ComPtr<IUnknown>>();
  return *table;
}

std::map<std::string, TCreateAutomationObjectFunc>& LoadedFactories() {
  static auto* factories = new std::map<std::string, TCreateAutomationObjectFunc>();
  return *factories;
}

TCreateAutomationObjectFunc FactoryOf(const std::string& ALibrary) {
  auto& factories = LoadedFactories();
  if (const auto found = factories.find(ALibrary); found != factories.end()) return found->second;
  dlerror();
  void* handle = dlopen(ALibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = dlerror();
    throw EOleError(ALibrary + ": cannot load the automation server: " + (error ? error : "unknown error"),
                    CO_E_DLLNOTFOUND);
  }
  auto factory = reinterpret_cast<TCreateAutomationObjectFunc>(dlsym(handle, AutomationFactoryName));
  if (!factory) {
    dlclose(handle);
    throw EOleError(ALibrary + ": the library does not export " + AutomationFactoryName, CO_E_DLLNOTFOUND);
  }
  factories.emplace(ALibrary, factory);
  return factory;
}

}  // namespace

void RegisterAutomationServer(const TAutomationServerEntry& AEntry) {
  UnregisterAutomationServer(AEntry.ProgID);
  TSettingsStore& store = SettingsStore();
  const std::string classID = GuidToString(AEntry.ClassID);
  const std::string versioned = AEntry.ProgID + "." + std::to_string(AEntry.MajorVersion);
  store.WriteString(KRoot, AEntry.ProgID, "", AEntry.Description);
  store.WriteString(KRoot, AEntry.ProgID + "\\CLSID", "", classID);
  store.WriteString(KRoot, AEntry.ProgID + "\\CurVer", "", versioned);
  store.WriteString(KRoot, versioned + "\\CLSID", "", classID);
  store.WriteString(KRoot, ClassKey(AEntry.ClassID) + "\\InprocServer32", "", AEntry.Library);
  store.WriteString(KRoot, ClassKey(AEntry.ClassID) + "\\ProgID", "", versioned);
}

bool UnregisterAutomationServer(std::string_view AProgID) {
  const std::optional<TAutomationServerEntry> entry = FindAutomationServer(AProgID);
  TSettingsStore& store = SettingsStore();
  bool found = store.DeleteKey(KRoot, AProgID);
  if (!entry) return found;
  const std::string base = entry->ProgID;
  if (base != AProgID) found = store.DeleteKey(KRoot, base) || found;
  store.DeleteKey(KRoot, base + "." + std::to_string(entry->MajorVersion));
  store.DeleteKey(KRoot, ClassKey(entry->ClassID));
  return true;
}

std::optional<TAutomationServerEntry> FindAutomationServer(std::string_view AProgID) {
  if (AProgID.empty()) return std::nullopt;
  const std::optional<GUID> classID = ClassIDOf(AProgID);
  if (!classID) return std::nullopt;
  TSettingsStore& store = SettingsStore();
  TAutomationServerEntry entry;
  entry.ClassID = *classID;
  entry.Library = store.ReadString(KRoot, ClassKey(*classID) + "\\InprocServer32", "", "");
  const std::string versioned = store.ReadString(KRoot, ClassKey(*classID) + "\\ProgID", "", std::string(AProgID));
  // "Name.Application.16": the version is the number after the last dot.
  const auto dot = versioned.rfind('.');
  entry.ProgID = versioned;
  if (dot != std::string::npos && dot + 1 < versioned.size() &&
      versioned.find_first_not_of("0123456789", dot + 1) == std::string::npos) {
    entry.ProgID = versioned.substr(0, dot);
    entry.MajorVersion = std::stoi(versioned.substr(dot + 1));
  }
  entry.Description = store.ReadString(KRoot, entry.ProgID, "", "");
  return entry;
}

ComPtr<IDispatch> CreateOleObject(std::string_view AProgID) {
  const GUID classID = RequireClassID(AProgID);
  const std::string library = SettingsStore().ReadString(KRoot, ClassKey(classID) + "\\InprocServer32", "", "");
  if (library.empty())
    throw EOleError("Class not registered: " + GuidToString(classID) + " names no server library", REGDB_E_CLASSNOTREG);
  const TCreateAutomationObjectFunc factory = FactoryOf(library);
  ComPtr<IUnknown> object;
  const HRESULT result = factory(&classID, object.put());
  if (Failed(result)) {
    const auto info = GetErrorInfo();
    throw EOleError(std::string(AProgID) + ": " +
                        (info && !info->Description.empty() ? info->Description : "the server failed to start"),
                    result);
  }
  ComPtr<IDispatch> dispatch = object.try_as<IDispatch>();
  if (!dispatch) throw EOleError(std::string(AProgID) + ": the object is no automation object", E_NOINTERFACE);
  return dispatch;
}

ComPtr<IDispatch> GetActiveOleObject(std::string_view AProgID) {
  const GUID classID = RequireClassID(AProgID);
  const auto found = ActiveObjects().find(classID);
  ComPtr<IDispatch> dispatch = found == ActiveObjects().end() ? nullptr : found->second.try_as<IDispatch>();
  if (!dispatch) throw EOleError("Operation unavailable: no " + std::string(AProgID) + " is running", MK_E_UNAVAILABLE);
  return dispatch;
}

void RegisterActiveObject(const GUID& AClassID, IUnknown* AObject) { ActiveObjects()[AClassID] = AObject; }

void RevokeActiveObject(const GUID& AClassID, IUnknown* AObject) {
  auto& table = ActiveObjects();
  const auto found = table.find(AClassID);
  if (found == table.end() || (AObject && !SameObject(found->second.get(), AObject))) return;
  // Released after the entry is gone, so a destructor that revokes again finds nothing.
  ComPtr<IUnknown> object = std::move(found->second);
  table.erase(found);
}
