#include "commands/Changes.h"

#include <algorithm>
#include <utility>

#include "attributes/LumetaAttributes.h"
#include "com/ComErrors.h"

TChange::TChange(int32_t AKind, IUnknown* AObject, int32_t AData) : FKind(AKind), FData(AData), FObject(AObject) {
  if (FObject) FObject->AddRef();
}

TChange::~TChange() { Drop(); }

void* TChange::operator new(size_t ASize) { return TAttribute::operator new(ASize); }

void TChange::operator delete(void* AObject, size_t ASize) noexcept { TAttribute::operator delete(AObject, ASize); }

int32_t TChange::GetKind() { return FKind; }

ComPtr<IUnknown> TChange::GetObject() { return ComPtr<IUnknown>(FObject); }

void TChange::SetKind(int32_t AKind) { FKind = AKind; }

void TChange::SetObject(IUnknown* AObject) { Reuse(FKind, AObject, FData); }

void TChange::Reuse(int32_t AKind, IUnknown* AObject, int32_t AData, bool ABorrowed) {
  if (AObject && !ABorrowed) AObject->AddRef();  // first: AObject may be the object held now
  Drop();
  FKind = AKind;
  FData = AData;
  FObject = AObject;
  FCounted = !ABorrowed;
}

void TChange::Drop() noexcept {
  IUnknown* object = std::exchange(FObject, nullptr);
  if (object && FCounted) object->Release();
  FCounted = true;
}

void TChange::Keep() noexcept {
  if (FObject && !FCounted) FObject->AddRef();
  FCounted = true;
}

TChanges::~TChanges() { Clear(); }

void TChanges::Add(int32_t AKind, IUnknown* AObject) { Add(AKind, AObject, 0); }

void TChanges::Add(int32_t AKind, IUnknown* AObject, int32_t AData) { Put(AKind, AObject, AData, false); }

void TChanges::AddBorrowed(int32_t AKind, IUnknown* AObject, int32_t AData) { Put(AKind, AObject, AData, true); }

void TChanges::Put(int32_t AKind, IUnknown* AObject, int32_t AData, bool ABorrowed) {
  if (FCount == FItems.size()) FItems.push_back(make<TChange>());
  FItems[FCount]->Reuse(AKind, AObject, AData, ABorrowed);
  ++FCount;
}

void TChanges::Clear() {
  const size_t count = std::exchange(FCount, 0);
  bool shared = false;
  for (size_t i = 0; i < count; ++i) {
    // A change someone still holds stays as it is, object included; the list makes a new one.
    if (FItems[i]->Unshared()) {
      FItems[i]->Drop();
    } else {
      FItems[i]->Keep();
      FItems[i].reset(), shared = true;
    }
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
