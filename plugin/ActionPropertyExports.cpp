// The plug-in library's one export; everything else of the library stays hidden.
#include <type_traits>

#include "com/ErrorInfo.h"
#include "plugin/ActionProperty.h"

extern "C" __attribute__((visibility("default"))) HRESULT LumetaCreateClass(const GUID* AClassID,
                                                                             IUnknown** AObject) noexcept {
  if (AObject) *AObject = nullptr;
  return CallGuarded([&] {
    if (!AClassID || !AObject) throw ELumetaError("LumetaCreateClass: null argument", E_POINTER);
    *AObject = CreateLumetaClass(*AClassID).detach();
  });
}

static_assert(std::is_convertible_v<decltype(&LumetaCreateClass), TLumetaCreateClassFunc>,
              "the export must match the type the host looks it up as");
