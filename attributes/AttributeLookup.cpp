#include "attributes/Attribute.h"

#include <cstddef>
#include <cstdint>

namespace {

// Not an interface: asked with this GUID, an attribute answers its TAttribute object.
constexpr GUID AttributeObjectIid = MakeGuid("8A1F4C52-3B7E-4D09-9E61-2C5B7D3A0F14");

// FromInterface's answers, by the vtable of the interface asked: one vtable means one class with
// the interface at one place in it, so its object lies at the same distance from the interface
// pointer in every object of the class. Only found objects are kept.
struct TObjectOffset {
  const void* Table = nullptr;
  ptrdiff_t Offset = 0;
};
constexpr size_t ObjectOffsetSlots = 64;
thread_local TObjectOffset ObjectOffsets[ObjectOffsetSlots];

TObjectOffset& ObjectOffsetSlot(const void* ATable) noexcept {
  return ObjectOffsets[(reinterpret_cast<uintptr_t>(ATable) >> 4) % ObjectOffsetSlots];
}

}  // namespace

TAttribute* TAttribute::FromInterface(IAttribute* AAttribute) noexcept {
  if (!AAttribute) return nullptr;
  const void* table = *reinterpret_cast<const void* const*>(AAttribute);
  TObjectOffset& slot = ObjectOffsetSlot(table);
  if (slot.Table == table) {
    auto* attribute = reinterpret_cast<TAttribute*>(reinterpret_cast<char*>(AAttribute) + slot.Offset);
    // An aggregated object asks its controller, which may answer otherwise: asked below.
    if (!attribute->GetController()) return attribute;
  }
  void* object = nullptr;
  if (AAttribute->QueryInterface(AttributeObjectIid, &object) != S_OK || !object) return nullptr;
  auto* attribute = static_cast<TAttribute*>(object);
  attribute->Release();
  // An attribute aggregated into another attribute would hear the outer one answer; only the
  // object that owns this very interface pointer counts.
  if (static_cast<IAttribute*>(attribute) != AAttribute) return nullptr;
  if (!attribute->GetController())
    slot = {table, reinterpret_cast<char*>(attribute) - reinterpret_cast<char*>(AAttribute)};
  return attribute;
}

bool TAttribute::FindInterface(const GUID& AIid, void** AObject) noexcept {
  if (AIid == AttributeObjectIid) {
    *AObject = this;
    return true;
  }
  return TImplements::FindInterface(AIid, AObject);
}
