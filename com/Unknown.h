#pragma once
// The root interface. Interfaces derive from it (or their parent interface) virtually, so that a
// class implementing a derived interface and, through its base class, the parent shares one
// parent subobject and one final overrider per operation.
#include <cstdint>

#include "com/Guid.h"
#include "com/HResult.h"

struct IUnknown {
  static constexpr GUID Iid = MakeGuid("00000000-0000-0000-C000-000000000046");
  // Answers S_OK with an added reference in AObject, or E_NOINTERFACE with AObject null.
  virtual HRESULT QueryInterface(const GUID& AIid, void** AObject) noexcept = 0;
  virtual uint32_t AddRef() noexcept = 0;
  virtual uint32_t Release() noexcept = 0;

 protected:
  ~IUnknown() = default;
};
