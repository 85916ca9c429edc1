#include "commands/Changes.h"

#include "attributes/LumetaAttributes.h"

TChange::TChange(int32_t AKind, IUnknown* AObject, int32_t AData) : FKind(AKind), FData(AData), FObject(AObject) {}

void* TChange::operator new(size_t ASize) { return TAttribute::operator new(ASize); }

void TChange::operator delete(void* AObject, size_t ASize) noexcept { TAttribute::operator delete(AObject, ASize); }

int32_t TChange::GetKind() { return FKind; }

ComPtr<IUnknown> TChange::GetObject() { return FObject; }

void TChange::SetKind(int32_t AKind) { FKind = AKind; }

void TChange::SetObject(IUnknown* AObject) { FObject = AObject; }

void TChanges::Add(int32_t AKind, IUnknown* AObject) { Add(AKind, AObject, 0); }

void TChanges::Add(int32_t AKind, IUnknown* AObject, int32_t AData) {
  FItems.Add(make<TChange>(AKind, AObject, AData));
}

void TChanges::Clear() { FItems.Clear(); }

bool TChanges::Contains(int32_t AKind) {
  for (const auto& change : FItems)
    if (change->GetKind() == AKind) return true;
  return false;
}

int32_t TChanges::GetCount() { return FItems.Count(); }

ComPtr<IChange> TChanges::GetItem(int32_t AIndex) { return FItems.Items(AIndex); }
