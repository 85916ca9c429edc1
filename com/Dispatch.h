#pragma once
// Late-bound automation: an object whose members are called by name with positional arguments,
// as scripting clients drive an application they were not compiled against.
#include <cstddef>
#include <string>
#include <string_view>

#include "com/HResult.h"
#include "com/Unknown.h"

class TOleVariant;  // com/OleVariant.h

enum class TInvokeKind { Method, PropertyGet, PropertyPut };

struct IDispatch : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("00020400-0000-0000-C000-000000000046");
  // The object's class name as messages name it ("TaskItem").
  virtual std::string GetTypeName() = 0;
  // Calls the member AName (any case). Method and PropertyGet are interchangeable, as late-bound
  // callers ask for either; PropertyPut writes the property from the one argument. Raises
  // EOleError naming the member for an unknown name, a wrong argument or the member's own failure.
  virtual TOleVariant Invoke(std::string_view AName, TInvokeKind AKind, const TOleVariant* AArgs, size_t ACount) = 0;
};

// The one function an automation server library exports: a new object of the class AClassID
// (CLASS_E_CLASSNOTAVAILABLE for a class it does not serve), failures as error information.
inline constexpr const char* AutomationFactoryName = "LumetaCreateAutomationObject";
using TCreateAutomationObjectFunc = HRESULT (*)(const GUID* AClassID, IUnknown** AObject);
