// The attribute factory library's one export. The factory is a process-wide object that is never
// freed: attributes it made, and classes others registered into it, may be used until the process
// ends.
#include <type_traits>

#include "attributes/LumetaAttributeFactory.h"
#include "com/ErrorInfo.h"
#include "contract/LumetaIntf.h"

namespace {

ILumetaAttributeFactory* Instance() {
  static ILumetaAttributeFactory* const instance = [] {
    ComPtr<TLumetaAttributeFactory> factory = make<TLumetaAttributeFactory>();
    RegisterStandardAttributeClasses(factory.get());
    // Lists and records made in here ask this library's copy of AttributeFactory() for their
    // items; it must hand out this object rather than load the library again.
    SetAttributeFactory(factory.get());
    return static_cast<ILumetaAttributeFactory*>(factory.detach());
  }();
  return instance;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT GetAttributeFactory(ILumetaAttributeFactory** AFactory) noexcept {
  return CallGuarded(
      [&]() -> HRESULT {
        if (!AFactory) return E_POINTER;
        *AFactory = Instance();
        (*AFactory)->AddRef();
        return S_OK;
      },
      uuidof<ILumetaAttributeFactory>(), "GetAttributeFactory");
}

static_assert(std::is_convertible_v<decltype(&GetAttributeFactory), TGetAttributeFactoryFunc>,
              "GetAttributeFactory must match the signature the loaders expect");
