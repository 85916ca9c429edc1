#include "com/AggregableObject.h"

HRESULT TAggregableObject::QueryInterface(const GUID& AIid, void** AObject) noexcept {
  if (FController) return FController->QueryInterface(AIid, AObject);
  return InnerQueryInterface(AIid, AObject);
}

uint32_t TAggregableObject::AddRef() noexcept {
  if (FController) return FController->AddRef();
  return static_cast<uint32_t>(++FRefCount);
}

uint32_t TAggregableObject::Release() noexcept {
  if (FController) return FController->Release();
  const int32_t count = --FRefCount;
  if (count < 1) delete this;
  return static_cast<uint32_t>(count < 0 ? 0 : count);
}

HRESULT TAggregableObject::InnerQueryInterface(const GUID& AIid, void** AObject) noexcept {
  if (!AObject) return E_POINTER;
  *AObject = nullptr;
  if (FindInterface(AIid, AObject)) {
    AddRef();
    return S_OK;
  }
  return QueryAggregated(AIid, AObject);
}

bool TAggregableObject::ImplementsInterface(const GUID& AIid) noexcept {
  void* object = nullptr;
  return FindInterface(AIid, &object);
}

bool TAggregableObject::FindInterface(const GUID& AIid, void** AObject) noexcept {
  if (AIid != uuidof<IUnknown>()) return false;
  *AObject = static_cast<IUnknown*>(this);
  return true;
}

HRESULT TAggregableObject::QueryAggregated(const GUID&, void**) noexcept { return E_NOINTERFACE; }
