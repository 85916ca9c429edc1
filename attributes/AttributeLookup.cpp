#include "attributes/Attribute.h"

namespace {

// Not an interface: asked with this GUID, an attribute answers its TAttribute object. Only
// FromInterface asks it.
constexpr GUID AttributeObjectIid = MakeGuid("8A1F4C52-3B7E-4D09-9E61-2C5B7D3A0F14");

}  // namespace

TAttribute* TAttribute::FromInterface(IAttribute* AAttribute) noexcept {
  if (!AAttribute) return nullptr;
  void* object = nullptr;
  if (AAttribute->QueryInterface(AttributeObjectIid, &object) != S_OK || !object) return nullptr;
  auto* attribute = static_cast<TAttribute*>(object);
  // An attribute with a controller answered through it, counted; one without answered itself.
  if (attribute->GetController()) attribute->Release();
  // An attribute aggregated into another attribute hears the outer one answer; only the object
  // that owns this very interface pointer counts.
  return static_cast<IAttribute*>(attribute) == AAttribute ? attribute : nullptr;
}

HRESULT TAttribute::QueryInterface(const GUID& AIid, void** AObject) noexcept {
  // Most attributes have no controller: they answer at once, without a count, so that the lookup
  // is one call and no reference count traffic.
  if (AIid == AttributeObjectIid && AObject && !GetController()) {
    *AObject = this;
    return S_OK;
  }
  return TImplements::QueryInterface(AIid, AObject);
}

bool TAttribute::FindInterface(const GUID& AIid, void** AObject) noexcept {
  // Asked through a controller (an outer object asking its inner parts): answered counted.
  if (AIid == AttributeObjectIid) {
    *AObject = this;
    return true;
  }
  return TImplements::FindInterface(AIid, AObject);
}
