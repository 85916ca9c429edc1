#include "com/ComObject.h"

HRESULT TComObject::InterfaceSupportsErrorInfo(const GUID& AIid) noexcept {
  return ImplementsInterface(AIid) ? S_OK : S_FALSE;
}
