#include "attributes/LumetaAttributeFactory.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdint>

#include "attributes/LumetaAttributes.h"
#include "com/ErrorInfo.h"
#include "contract/LumetaIntf.h"

ComPtr<IAttribute> TLumetaAttributeFactory::CreateAttribute(const GUID& AIid) {
  const auto found = FClasses.find(AIid);
  if (found == FClasses.end()) throw EClassNotFound("No attribute class is registered for " + GuidToString(AIid));
  return found->second();
}

void TLumetaAttributeFactory::RegisterClass(const GUID& AIid, TCreateFunc ACreate) {
  if (ACreate)
    FClasses[AIid] = ACreate;
  else
    FClasses.erase(AIid);
}

bool TLumetaAttributeFactory::IsRegistered(const GUID& AIid) { return FClasses.contains(AIid); }

namespace {

template <class T>
ComPtr<IAttribute> Create() {
  return make<T>();
}

struct TFactoryState {
  ComPtr<ILumetaAttributeFactory> Override;
  // The library's factory, referenced once and never released: the library stays loaded for the
  // life of the process because attributes it made may outlive any point we could unload it at.
  ILumetaAttributeFactory* Loaded = nullptr;
  std::string Path;  // empty: the default
};

TFactoryState& State() {
  static TFactoryState state;
  return state;
}

// The file of the loaded object (program or shared library) that holds this function.
std::string ThisModuleFolder() {
  struct TSearch {
    uintptr_t Address;
    std::string Name;
    bool Found = false;
  } search{reinterpret_cast<uintptr_t>(&ThisModuleFolder), {}};
  dl_iterate_phdr(
      [](dl_phdr_info* AInfo, size_t, void* AData) -> int {
        auto* searchData = static_cast<TSearch*>(AData);
        for (int i = 0; i < AInfo->dlpi_phnum; ++i) {
          const ElfW(Phdr)& header = AInfo->dlpi_phdr[i];
          if (header.p_type != PT_LOAD) continue;
          const uintptr_t start = AInfo->dlpi_addr + header.p_vaddr;
          if (searchData->Address >= start && searchData->Address < start + header.p_memsz) {
            searchData->Name = AInfo->dlpi_name ? AInfo->dlpi_name : "";
            searchData->Found = true;
            return 1;
          }
        }
        return 0;
      },
      &search);
  std::string file = search.Name;
  // The program itself comes without a name.
  if (!search.Found || file.empty()) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    file = length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
  }
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string(".") : file.substr(0, slash);
}

ILumetaAttributeFactory* LoadLibraryFactory(const std::string& APath) {
  // RTLD_NODELETE: even a stray dlclose elsewhere must not unmap code that live attributes run.
  void* handle = dlopen(APath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!handle) {
    const char* error = dlerror();
    throw ELumetaError("Cannot load the attribute factory library " + APath + ": " + (error ? error : "unknown error"),
                       CLASS_E_CLASSNOTAVAILABLE);
  }
  auto* getFactory = reinterpret_cast<TGetAttributeFactoryFunc>(dlsym(handle, "GetAttributeFactory"));
  if (!getFactory)
    throw ELumetaError("The attribute factory library " + APath + " does not export GetAttributeFactory",
                       CLASS_E_CLASSNOTAVAILABLE);
  ILumetaAttributeFactory* factory = nullptr;
  CheckResult(getFactory(&factory), APath);
  if (!factory) throw ELumetaError("The attribute factory library " + APath + " returned no factory", E_POINTER);
  return factory;
}

}  // namespace

void RegisterStandardAttributeClasses(ILumetaAttributeFactory* AFactory) {
  AFactory->RegisterClass(uuidof<IIntegerAttribute>(), &Create<TIntegerAttribute>);
  AFactory->RegisterClass(uuidof<IDoubleAttribute>(), &Create<TDoubleAttribute>);
  AFactory->RegisterClass(uuidof<IDateTimeAttribute>(), &Create<TDateTimeAttribute>);
  AFactory->RegisterClass(uuidof<IStringAttribute>(), &Create<TStringAttribute>);
  AFactory->RegisterClass(uuidof<IWordBoolAttribute>(), &Create<TWordBoolAttribute>);
  AFactory->RegisterClass(uuidof<INodeReferenceAttribute>(), &Create<TNodeReferenceAttribute>);
}

ILumetaAttributeFactory* AttributeFactory() {
  TFactoryState& state = State();
  if (state.Override) return state.Override.get();
  if (!state.Loaded) state.Loaded = LoadLibraryFactory(AttributeFactoryLibraryPath());
  return state.Loaded;
}

void SetAttributeFactory(ILumetaAttributeFactory* AFactory) { State().Override = AFactory; }

std::string AttributeFactoryLibraryPath() {
  const TFactoryState& state = State();
  if (!state.Path.empty()) return state.Path;
  return ThisModuleFolder() + "/" + AttributeFactoryLibraryName;
}

void SetAttributeFactoryLibraryPath(const std::string& APath) {
  TFactoryState& state = State();
  state.Path = APath;
  state.Loaded = nullptr;
}
