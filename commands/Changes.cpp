#include "commands/Changes.h"

#include <algorithm>
#include <utility>

#include "attributes/LumetaAttributes.h"
#include "com/ComErrors.h"

TChange::TChange(int32_t AKind, IUnknown* AObject, int32_t AData) : FKind(AKind), FData(AData), FObject(AObject) {}

void* TChange::operator new(size_t ASize) { return TAttribute::operator new(ASize); }

void TChange::operator delete(void* AObject, size_t ASize) noexcept { TAttribute::operator delete(AObject, ASize); }

int32_t TChange::GetKind() { return FKind; }

ComPtr<IUnknown> TChange::GetObject() { return FObject; }

void TChange::SetKind(int32_t AKind) { FKind = AKind; }

void TChange::SetObject(IUnknown* AObject) { FObject = AObject; }

void TChange::Reuse(int32_t AKind, IUnknown* AObject, int32_t AData) {
  FKind = AKind;
  FData = AData;
  FObject = AObject;
}

void TChanges::Add(int32_t AKind, IUnknown* AObject) { Add(AKind, AObject, 0); }

void TChanges::Add(int32_t AKind, IUnknown* AObject, int32_t AData) {
  if (FCount < FItems.size())
    FItems[FCount]->Reuse(AKind, AObject, AData);
  else
    FItems.push_back(make<TChange>(AKind, AObject, AData));
  ++FCount;
}

void TChanges::Clear() {
  const size_t count = std::exchange(FCount, 0);
  bool shared = false;
  for (size_t i = 0; i < count; ++i) {
    // A change someone still holds stays as it is, object included; the list makes a new one.
    if (FItems[i]->Unshared())
      FItems[i]->Drop();
    else
      FItems[i].reset(), shared = true;
  }
  if (shared) std::erase(FItems, nullptr);
  // A long batch of changes leaves no long list of spares behind.
  constexpr size_t KKept = 16;
  if (FItems.size() > KKept) FItems.resize(KKept);
}

bool TChanges::Contains(int32_t AKind) {
  for (size_t i = 0; i < FCount; ++i)
    if (FItems[i]->GetKind() == AKind) return true;
  return false;
}

int32_t TChanges::GetCount() { return static_cast<int32_t>(FCount); }

ComPtr<IChange> TChanges::GetItem(int32_t AIndex) {
  if (AIndex < 0 || static_cast<size_t>(AIndex) >= FCount) throw EListError::OutOfBounds(AIndex);
  return ComPtr<IChange>(FItems[AIndex].get());
}
