#include "attributes/StructuredAttribute.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "attributes/AttributeHash_p.h"
#include "attributes/AttributePrefetch_p.h"
#include "com/MemoryStream.h"

using namespace attribute_tree;

TStructuredAttribute::~TStructuredAttribute() { DropChildren(); }

void TStructuredAttribute::DropChildren() noexcept {
  // Children that outlive this structure must not point back at it.
  for (const TChild& child : FChildren) {
    if (TAttribute* object = child.Object())
      object->SetOwner(nullptr);
    else
      child.Interface()->SetOwner(nullptr);
  }
  FChildren.clear();
}

void TStructuredAttribute::Adopt(ComPtr<IAttribute>&& AChild, TAttribute* AObject) {
  IAttribute* child = AChild.get();
  FChildren.emplace_back(std::move(AChild), AObject);
  if (AObject)
    AObject->SetOwner(Self());
  else
    child->SetOwner(Self());
}

void TStructuredAttribute::MakeDeferredChildren() {
  // Cleared first: MakeChildren adds through AddChild, which comes back here.
  FChildrenDeferred = false;
  try {
    MakeChildren();
  } catch (...) {
    DropChildren();
    FChildrenDeferred = true;
    throw;
  }
  if (const uint32_t clears = std::exchange(FDeferredClears, 0))
    for (const TChild& child : FChildren) child.Interface()->SetFlagEx(clears, false, true);
}

void TStructuredAttribute::AddChild(IAttribute* AChild) {
  if (!AChild) throw EInvalidOperation("Cannot add an empty child attribute");
  Children();
  Adopt(ComPtr<IAttribute>(AChild), FromInterface(AChild));
}

void TStructuredAttribute::AddChild(TAttribute* AChild) {
  if (!AChild) throw EInvalidOperation("Cannot add an empty child attribute");
  Children();
  Adopt(ComPtr<IAttribute>(static_cast<IAttribute*>(AChild)), AChild);
}

void TStructuredAttribute::ThrowEmptyChild() { throw EInvalidOperation("Cannot add an empty child attribute"); }

void TStructuredAttribute::Clear() {
  for (int32_t i = Count() - 1; i >= 0; --i) Delete(i);
}

void TStructuredAttribute::Delete(int32_t AIndex) {
  CheckIndex(AIndex);
  ComPtr<IAttribute> child = FChildren[static_cast<size_t>(AIndex)].Take();  // made by CheckIndex
  FChildren.erase(FChildren.begin() + AIndex);
  child->SetOwner(nullptr);
}

int32_t TStructuredAttribute::GetChildCount() {
  CheckLoaded();
  return Count();
}

ComPtr<IAttribute> TStructuredAttribute::GetChild(int32_t AIndex) {
  if (AIndex >= Count()) return {};
  return ComPtr<IAttribute>(ChildAt(AIndex));
}

ComPtr<IAttribute> TStructuredAttribute::FindChild(const std::string& AName) {
  for (const TChild& child : Children())
    if (child.Interface()->GetName() == AName) return ComPtr<IAttribute>(child.Interface());
  return {};
}

int32_t TStructuredAttribute::IndexOf(IAttribute* AChild) {
  // The same interface pointer first; COM identity only for a child reached another way.
  for (int32_t i = 0; i < Count(); ++i)
    if (ChildAt(i) == AChild) return i;
  for (int32_t i = 0; i < Count(); ++i)
    if (SameObject(ChildAt(i), AChild)) return i;
  return -1;
}

void TStructuredAttribute::InsertChild(int32_t AIndex, IAttribute* AChild) {
  if (!AChild) throw EInvalidOperation("Cannot add an empty child attribute");
  if (AIndex < 0 || AIndex > static_cast<int32_t>(Children().size())) throw EListError::OutOfBounds(AIndex);
  FChildren.emplace(FChildren.begin() + AIndex, ComPtr<IAttribute>(AChild), FromInterface(AChild));  // made by Count
  AChild->SetOwner(Self());
}

bool TStructuredAttribute::EqualChildren(TStructuredAttribute& AOther) {
  const int32_t count = GetChildCount();
  if (AOther.GetChildCount() != count) return false;
  const size_t size = static_cast<size_t>(count);
  Children(), AOther.Children();  // a record with slots counts without making its children
  for (size_t i = 0; i < size; ++i) {
    if (size > PrefetchFrom) {
      PrefetchAhead(FChildren, i);
      PrefetchAhead(AOther.FChildren, i);
    }
    TAttribute* mine = FChildren[i].Object();
    TAttribute* theirs = AOther.FChildren[i].Object();
    if (mine && theirs ? !mine->EqualToObject(*theirs) : !FChildren[i].Interface()->EqualTo(AOther.FChildren[i].Interface()))
      return false;
  }
  return true;
}

bool TStructuredAttribute::EqualTo(IAttribute* AOther) {
  // Between our own structures the children are compared without counting references.
  if (TAttribute* object = FromInterface(AOther); object && object->AsStructure()) return EqualChildren(*object->AsStructure());
  ComPtr<IStructuredAttribute> other = QueryAs<IStructuredAttribute>(AOther);
  if (!other) return false;
  const int32_t count = GetChildCount();
  if (other->GetChildCount() != count) return false;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<IAttribute> otherChild = other->GetChild(i);
    if (!ChildAt(i)->EqualTo(otherChild.get())) return false;
  }
  return true;
}

std::string TStructuredAttribute::DebugText() {
  const int32_t count = GetChildCount();
  std::string text = DebugLine(GetFlags(), GetName(), std::string());
  for (int32_t i = 0; i < count; ++i) {
    text += '\n';
    text += ChildAt(i)->DebugText();
  }
  return text;
}

bool TStructuredAttribute::IsModified() {
  if (FlagBits() & afModified) return true;
  // Children not made yet were never set.
  return std::any_of(FChildren.begin(), FChildren.end(), [](const TChild& AChild) { return AChild.Interface()->IsModified(); });
}

void TStructuredAttribute::SetFlagEx(uint32_t AMask, bool AOn, bool ARecursive) {
  SetFlag(AMask, AOn);
  if (!ARecursive) return;
  if (!AOn && FChildrenDeferred) {
    FDeferredClears |= AMask;
    return;
  }
  for (const TChild& child : Children()) child.Interface()->SetFlagEx(AMask, AOn, true);
}

uint32_t TStructuredAttribute::LoadChild(IStream* AStream, IAttribute* AChild) {
  if (ComPtr<IPersistStream> persist = QueryAs<IPersistStream>(AChild)) {
    const uint64_t start = StreamPosition(AStream);
    persist->Load(AStream);
    return static_cast<uint32_t>(StreamPosition(AStream) - start);
  }
  return AChild->LoadFromStream(AStream);
}

uint32_t TStructuredAttribute::SaveChild(IStream* AStream, IAttribute* AChild) {
  if (ComPtr<IPersistStream> persist = QueryAs<IPersistStream>(AChild)) {
    const uint64_t start = StreamPosition(AStream);
    persist->Save(AStream, false);
    return static_cast<uint32_t>(StreamPosition(AStream) - start);
  }
  return AChild->SaveToStream(AStream);
}

uint32_t TStructuredAttribute::LoadFromStream(IStream* AStream) {
  uint32_t bytes = 0;
  for (int32_t i = 0; i < Count(); ++i) bytes += LoadChild(AStream, ChildAt(i));
  SetFlagBits(afLoaded, true);
  return bytes;
}

uint32_t TStructuredAttribute::SaveToStream(IStream* AStream) {
  const int32_t count = GetChildCount();
  uint32_t bytes = 0;
  for (int32_t i = 0; i < count; ++i) bytes += SaveChild(AStream, ChildAt(i));
  return bytes;
}

bool TStructuredAttribute::GetValueHash(size_t& AHash) {
  size_t hash = static_cast<size_t>(GetChildCount());  // a list loads first, a record need not
  const std::span<const TChild> children = ChildEntries();
  for (const TChild& child : children) {
    size_t childHash = 0;
    TAttribute* object = child.Object();
    if (!object || !(StandardScalarHash(*object, childHash) || object->GetValueHash(childHash))) return false;
    hash = CombineHash(hash, childHash);
  }
  AHash = hash;
  return true;
}

void TStructuredAttribute::FinishAssign(IAttribute* ASource) {
  constexpr uint32_t copied = afCleared | afModified;
  SetFlags((GetFlags() & ~copied) | (ASource->GetFlags() & copied) | afLoaded);
}
