#pragma once
// The property factory: property managers offered by name beside the classes the host asks for
// by CLSID. Operations in slot order.
#include <cstdint>
#include <string>

#include "com/ComPtr.h"
#include "contract/LumetaIntf.h"

// A manager class: creates a new manager holding one reference for the caller.
using TPropertyManagerClass = ComPtr<IPropertyPlugin> (*)();

// One registration: a manager class under a property name.
struct IPropertyMapping : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("F526B243-0E5B-417F-8F72-01C5982ED157");
  virtual TPropertyManagerClass GetClass() = 0;
  virtual std::string GetName() = 0;
};

// Walks the factory's registrations in order. It sees registrations made after it was created.
struct IMappingIterator : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("196B9018-ADDF-491A-A86A-5F0D1C60C24B");
  virtual void Reset() = 0;
  virtual void Next() = 0;
  virtual bool IsDone() = 0;
  // The current registration's name; empty once done.
  virtual std::string Current() = 0;
};

// Unrelated to the host's attribute factory (ILumetaAttributeFactory): this one makes managers.
struct IAttributeFactory : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("17E3B9DA-970F-42C1-B128-926BBE9C5504");
  virtual ComPtr<IMappingIterator> GetIterator() = 0;
  // A new manager of the first class registered under exactly this name (case-sensitive); empty
  // when there is none.
  virtual ComPtr<IPropertyPlugin> CreateByName(const std::string& AName) = 0;
  // Raises EListError outside 0..count-1.
  virtual ComPtr<IPropertyPlugin> CreateByIndex(int32_t AIndex) = 0;
  virtual int32_t GetCount() = 0;
  // Appends a registration unless the name has one already: the first registration of a name
  // wins. A null class raises EInvalidOperation.
  virtual void Register(const std::string& AName, TPropertyManagerClass AClass) = 0;
};

// The same operations under the identity the host asks for.
struct IPlugInFactory : virtual IAttributeFactory {
  static constexpr GUID Iid = MakeGuid("235E35DF-F11C-4DCD-9E55-43274484D498");
};

// The plug-in library's second export, beside LumetaCreateClass: the process-wide property
// factory's IUnknown, holding one reference for the caller.
extern "C" {
using TGetPropertyFactoryFunc = HRESULT (*)(IUnknown** AFactory);
}
