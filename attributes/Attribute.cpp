#include "attributes/Attribute.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <typeinfo>

#include "attributes/ListAttribute.h"
#include "com/MemoryStream.h"
#include "contract/LumetaIntf.h"

namespace {

std::string DemangledClassName(const std::type_info& AType) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(AType.name(), nullptr, nullptr, &status),
                                                    std::free);
  std::string name = status == 0 && demangled ? demangled.get() : AType.name();
  const size_t scope = name.rfind("::");
  if (scope != std::string::npos) name.erase(0, scope + 2);
  return name;
}
}  // namespace

std::string TAttribute::DebugLine(uint32_t AFlags, const std::string& AName, const std::string& AValue) {
  char flags[16];
  std::snprintf(flags, sizeof flags, "$%x ", AFlags);
  return flags + AName + ": " + AValue;
}

TAttribute::~TAttribute() = default;

std::string TAttribute::ClassName() const { return DemangledClassName(typeid(*this)); }

std::string TAttribute::ClassNameOf(IAttribute* AAttribute) {
  if (!AAttribute) return "(Nothing)";
  if (TAttribute* attribute = FromInterface(AAttribute)) return attribute->ClassName();
  return DemangledClassName(typeid(*AAttribute));
}

bool TAttribute::GetValueHash(size_t&) { return false; }

bool TAttribute::ValueHashOf(IAttribute* AAttribute, size_t& AHash) {
  TAttribute* attribute = FromInterface(AAttribute);
  return attribute && attribute->GetValueHash(AHash);
}

void TAttribute::Apply(IAttribute* ASource) { Assign(ASource); }

std::string TAttribute::AsHtml(int32_t) { return {}; }

ComPtr<IUnknown> TAttribute::GetExtension() { return {}; }

std::string TAttribute::AsPlainText(int32_t) { return {}; }

std::string TAttribute::GetHint() { return {}; }

void TAttribute::Assign(IAttribute* ASource) {
  if (!ASource) {
    SetCleared(true);
    return;
  }
  ASource->AssignTo(Self());
}

bool TAttribute::EqualTo(IAttribute*) { return false; }

std::string TAttribute::DebugText() {
  std::string value = DebugValueText();  // first: reading may load and so change the flags
  return DebugLine(GetFlags(), GetName(), value);
}

std::string TAttribute::DebugValueText() { return SaveToString(); }

TVariant TAttribute::GetAsValue() { throw ENotImplemented(); }

std::string TAttribute::GetCaption() {
  if (ComPtr<IProperty> property = QueryAs<IProperty>(Self())) return property->GetCaption();
  return TextFromOwner(true);
}

// What the owner calls this attribute: a list its 1-based position, a record the child's caption
// or name.
std::string TAttribute::TextFromOwner(bool ACaption) {
  IAttribute* owner = RawOwner();
  if (!owner) return {};
  if (ComPtr<IListAttribute> list = QueryAs<IListAttribute>(owner)) {
    const int32_t index = list->IndexOf(Self());
    return index >= 0 ? std::to_string(index + 1) : std::string();
  }
  if (ComPtr<IRecordAttribute> record = QueryAs<IRecordAttribute>(owner)) {
    const int32_t index = record->IndexOf(Self());
    if (index < 0) return {};
    return ACaption ? record->GetChildCaption(index) : record->GetChildName(index);
  }
  return {};
}

ComPtr<IUnknown> TAttribute::GetHostObject() {
  ComPtr<IProperty> property = GetProperty();
  return property ? property->GetHostObject() : ComPtr<IUnknown>();
}

bool TAttribute::IsMergedView() { return FlagWord() & afMergedView; }

ComPtr<IDocSource> TAttribute::GetDocSource() { return QueryAs<IDocSource>(GetHostObject().get()); }

int32_t TAttribute::GetIndex() {
  ComPtr<IStructuredAttribute> owner = QueryAs<IStructuredAttribute>(RawOwner());
  return owner ? owner->IndexOf(Self()) : 0;
}

bool TAttribute::IsMixed() { return FlagWord() & afMixed; }

bool TAttribute::IsModified() { return FlagWord() & afModified; }

std::string TAttribute::GetName() {
  if (ComPtr<IProperty> property = QueryAs<IProperty>(Self())) return property->GetPropertyName();
  // A list item keeps the name it had when first asked for, even once earlier items are gone.
  if (TAttribute* owner = FromInterface(RawOwner()))
    if (auto* list = dynamic_cast<TListAttribute*>(owner)) return list->ItemName(*this);
  return TextFromOwner(false);
}

ComPtr<IProperty> TAttribute::GetProperty() {
  if (ComPtr<IProperty> property = QueryAs<IProperty>(Self())) return property;
  IAttribute* owner = RawOwner();
  return owner ? owner->GetProperty() : ComPtr<IProperty>();
}

ComPtr<IAttribute> TAttribute::GetOwner() { return ComPtr<IAttribute>(RawOwner()); }

std::string TAttribute::GetFullName() {
  IAttribute* owner = RawOwner();
  std::string name = owner ? owner->GetFullName() : std::string();
  if (!name.empty()) name += '.';
  return name + GetName();
}

bool TAttribute::HasState2() { return FlagWord() & afState2; }

bool TAttribute::HasFlag(uint32_t AMask) { return (FlagWord() & AMask) != 0; }

bool TAttribute::IsCleared() { return FlagWord() & afCleared; }

bool TAttribute::IsLoaded() { return FlagWord() & afLoaded; }

void TAttribute::Merge(IAttribute* AOther) {
  if (!IsMixed() && !EqualTo(AOther)) SetMixed(true);
}

uint32_t TAttribute::LoadFromStream(IStream*) { throw ENotImplemented(); }

void TAttribute::BeforeSave() {}

void TAttribute::SetMergedView(bool AOn, bool ARecursive) { SetFlagEx(afMergedView, AOn, ARecursive); }

void TAttribute::SetMixed(bool AOn) { SetFlag(afMixed, AOn); }

void TAttribute::SetModified(bool AOn) { SetFlag(afModified, AOn); }

void TAttribute::SetState2(bool AOn, bool ARecursive) { SetFlagEx(afState2, AOn, ARecursive); }

void TAttribute::SetFlag(uint32_t AMask, bool AOn) { SetFlagBits(AMask, AOn); }

void TAttribute::SetFlagEx(uint32_t AMask, bool AOn, bool) { SetFlag(AMask, AOn); }

void TAttribute::SetCleared(bool AOn) { SetFlag(afCleared, AOn); }

void TAttribute::SetLoaded(bool AOn) { SetFlag(afLoaded, AOn); }

uint32_t TAttribute::SaveToStream(IStream*) { throw ENotImplemented(); }

void TAttribute::LoadFromString(const std::string&) {}

std::string TAttribute::SaveToString() { return {}; }

void TAttribute::EnsureLoaded() {
  if (FlagWord() & afLoaded) return;
  FlagWord() |= afLoaded;
  const bool wasModified = IsModified();
  try {
    if (ComPtr<IDocSource> source = GetDocSource()) source->LoadAttribute(Self());
  } catch (...) {
    FlagWord() &= ~afLoaded;
    throw;
  }
  // What the document holds is not an edit, however the source chose to store it.
  if (!wasModified) SetFlagEx(afModified, false, true);
}

void TAttribute::AssignError(IAttribute* ASource) {
  throw EConvertError("Cannot assign " + ClassNameOf(ASource) + " to " + ClassName());
}

void TAttribute::AssignTo(IAttribute*) {}

uint32_t TAttribute::GetFlags() { return FlagWord(); }

void TAttribute::SetFlags(uint32_t AFlags) { FlagWord() = AFlags; }

GUID TAttribute::GetClassID() { return GUID_NULL; }

bool TAttribute::IsDirty() { return IsModified(); }

void TAttribute::Load(IStream* AStream) { LoadFromStream(AStream); }

void TAttribute::Save(IStream* AStream, bool AClearDirty) {
  SaveToStream(AStream);
  if (AClearDirty) SetFlagEx(afModified, false, true);
}

uint64_t TAttribute::GetSizeMax() {
  ComPtr<TMemoryStream> stream = make<TMemoryStream>();
  SaveToStream(stream.get());
  return stream->GetSize();
}

void TAttribute::Changed(int32_t) {}

IAttribute* TAttribute::SlotOwner() const noexcept {
  return static_cast<IAttribute*>(TRecordSlots::Of(reinterpret_cast<TSlot*>(FOwner & ~SlotBit))->Record());
}

void TAttribute::LeaveSlot() {
  KeepSlotValue();
  FFlags = FlagWord();
  FOwner = 0;
}
