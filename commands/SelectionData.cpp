#include "commands/SelectionData.h"

#include <algorithm>
#include <exception>

#include "com/ComErrors.h"
#include "contract/LumetaIntf.h"

// Brackets one operation in BeginUpdate and EndUpdate. When the operation fails, observers are
// still told (part of it may have happened), and an observer's own error then gives way to the
// operation's, which is already on its way.
class TData::TUpdateGuard {
 public:
  explicit TUpdateGuard(TSubject& ASubject) : FSubject(ASubject), FExceptions(std::uncaught_exceptions()) {
    FSubject.BeginUpdate();
  }
  TUpdateGuard(const TUpdateGuard&) = delete;
  TUpdateGuard& operator=(const TUpdateGuard&) = delete;
  ~TUpdateGuard() noexcept(false) {
    if (std::uncaught_exceptions() == FExceptions) {
      FSubject.EndUpdate();
      return;
    }
    try {
      FSubject.EndUpdate();
    } catch (...) {
    }
  }

 private:
  TSubject& FSubject;
  int FExceptions;
};

TData::TData(IUnknown* AOwner)
    : FOwner(AOwner), FSubject(std::make_unique<TSubject>(static_cast<IUnknown*>(this))) {}

TData::~TData() = default;

HRESULT TData::QueryAggregated(const GUID& AIid, void** AObject) noexcept {
  return FSubject->InnerQueryInterface(AIid, AObject);
}

void TData::Update(IUnknown* ASubject) {
  // Told of our own change (attached to ourselves): passing it on would never end.
  if (SameObject(ASubject, static_cast<IObserver*>(this))) return;
  TUpdateGuard guard(*FSubject);
  SelectionChanged();
}

// ---------------------------------------------------------------------------------------------
// ISelection

int32_t TData::GetCount() { return FSelection.Count(); }

ComPtr<IUnknown> TData::GetItem(int32_t AIndex) {
  if (AIndex < 0 || AIndex >= FSelection.Count()) return {};
  return FSelection.Items(AIndex);
}

int32_t TData::Add(IUnknown* AObject) {
  TUpdateGuard guard(*FSubject);
  if (!AObject) throw EInvalidOperation("Cannot add an empty object to a selection");
  const int32_t index = FSelection.IndexOf(AObject);
  if (index >= 0) return index;
  SelectionChanged();
  return FSelection.Add(AObject);
}

void TData::Insert(int32_t AIndex, IUnknown* AObject) {
  TUpdateGuard guard(*FSubject);
  if (!AObject) throw EInvalidOperation("Cannot add an empty object to a selection");
  if (AIndex < 0 || AIndex > FSelection.Count()) throw EListError::OutOfBounds(AIndex);
  if (FSelection.IndexOf(AObject) >= 0) return;
  SelectionChanged();
  FSelection.Insert(AIndex, AObject);
}

void TData::Delete(int32_t AIndex) {
  TUpdateGuard guard(*FSubject);
  FSelection.Delete(AIndex);
  SelectionChanged();
}

int32_t TData::Remove(IUnknown* AObject) {
  TUpdateGuard guard(*FSubject);
  const int32_t index = FSelection.Remove(AObject);
  if (index >= 0) SelectionChanged();
  return index;
}

void TData::Clear() {
  TUpdateGuard guard(*FSubject);
  FSelection.Clear();
  SelectionChanged();
}

int32_t TData::IndexOf(IUnknown* AObject) { return AObject ? FSelection.IndexOf(AObject) : -1; }

bool TData::Contains(IUnknown* AObject) { return IndexOf(AObject) >= 0; }

// ---------------------------------------------------------------------------------------------
// IProperties

int32_t TData::GetPropertyCount() { return FProperties.Count(); }

ComPtr<IProperty> TData::GetProperty(int32_t AIndex) {
  if (AIndex < 0 || AIndex >= FProperties.Count()) return {};
  return FProperties.Items(AIndex);
}

int32_t TData::AddProperty(IProperty* AProperty) {
  TUpdateGuard guard(*FSubject);
  if (!AProperty) throw EInvalidOperation("Cannot add an empty property to a property list");
  return FProperties.Add(AProperty);
}

void TData::DeleteProperty(int32_t AIndex) {
  TUpdateGuard guard(*FSubject);
  FProperties.Delete(AIndex);
}

int32_t TData::RemoveProperty(IProperty* AProperty) {
  TUpdateGuard guard(*FSubject);
  return AProperty ? FProperties.Remove(AProperty) : -1;
}

void TData::ClearProperties() {
  TUpdateGuard guard(*FSubject);
  FProperties.Clear();
}

int32_t TData::IndexOfProperty(IProperty* AProperty) { return AProperty ? FProperties.IndexOf(AProperty) : -1; }

ComPtr<IProperty> TData::FindProperty(const std::string& AName) {
  EnsurePropertyNames();
  AddPropertyName(AName);
  for (const ComPtr<IProperty>& property : FProperties)
    if (property->GetPropertyName() == AName) return property;
  return {};
}

std::vector<std::string> TData::GetPropertyNames() {
  EnsurePropertyNames();
  return FPropertyNames;
}

ComPtr<IUnknown> TData::GetOwner() { return ComPtr<IUnknown>(FOwner); }

// ---------------------------------------------------------------------------------------------

void TData::SelectionChanged() noexcept {
  FState &= static_cast<uint8_t>(~(1u << ssPropertyCount));
  FPropertyNames.clear();
}

void TData::EnsurePropertyNames() {
  if (HasState(ssPropertyCount)) return;
  FPropertyNames.clear();
  for (const ComPtr<IUnknown>& object : FSelection) {
    ComPtr<INode> node = QueryAs<INode>(object.get());
    if (!node) continue;
    const int32_t count = node->GetPropertyCount();
    for (int32_t i = 0; i < count; ++i)
      if (ComPtr<IProperty> property = node->GetPropertyItem(i)) AddPropertyName(property->GetPropertyName());
  }
  FState |= 1u << ssPropertyCount;
}

void TData::AddPropertyName(const std::string& AName) {
  auto place = std::lower_bound(FPropertyNames.begin(), FPropertyNames.end(), AName);
  if (place == FPropertyNames.end() || *place != AName) FPropertyNames.insert(place, AName);
}
