#include "com/AggregableObject.h"

HRESULT TAggregableObject::QueryInterface(const GUID& AIid, void** AObject) noexcept {
  if (IUnknown* controller = GetController()) return controller->QueryInterface(AIid, AObject);
  return InnerQueryInterface(AIid, AObject);
}

uint32_t TAggregableObject::AddRef() noexcept {
  if (IUnknown* controller = GetController()) return controller->AddRef();
  const uintptr_t word = FWord.fetch_add(CountStep, std::memory_order_relaxed) + CountStep;
  return static_cast<uint32_t>(static_cast<intptr_t>(word) >> 1);
}

uint32_t TAggregableObject::Release() noexcept {
  if (IUnknown* controller = GetController()) return controller->Release();
  const uintptr_t word = FWord.fetch_sub(CountStep, std::memory_order_acq_rel) - CountStep;
  const intptr_t count = static_cast<intptr_t>(word) >> 1;
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
