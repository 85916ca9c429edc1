#pragma once
// The scalar leaves of the attribute tree: integer, double, date/time, string, 16-bit boolean and
// node reference.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

#include "attributes/Attribute.h"

// One value. Fixed-size values stream as their raw bytes through ValueAddress and ValueSize.
class TSimpleAttribute : public TAttribute {
 public:
  using TAttribute::TAttribute;

  // Reads the raw value straight into place and marks it loaded (not modified); a short stream
  // raises STG_E_READFAULT and keeps the old value.
  uint32_t LoadFromStream(IStream* AStream) override;
  uint32_t SaveToStream(IStream* AStream) override;

 protected:
  // Where the stored value lies and how many bytes it has; nullptr and 0 for values that are not
  // plain bytes (their classes stream themselves).
  virtual void* ValueAddress() = 0;
  virtual uint32_t ValueSize() const = 0;
};

// What every scalar shares: a read goes through the lazy load; a write stores the value and marks
// it modified and loaded (so a later lazy load cannot overwrite it); Assign copies the value and
// the flags of a scalar of the same interface; EqualTo compares values of the same interface.
// TStored is how the value is kept and streamed when it differs from the interface's type.
template <class TIntf, class TValue, class TStored = TValue>
class TScalarAttribute : public TImplements<TSimpleAttribute, TIntf> {
  using TParam = std::conditional_t<std::is_scalar_v<TValue>, TValue, const TValue&>;

 public:
  using TImplements<TSimpleAttribute, TIntf>::TImplements;

  TValue GetValue() override {
    this->CheckLoaded();
    return FromStored(Value());
  }
  void SetValue(TParam AValue) override { Store(ToStored(AValue)); }
  void Assign(IAttribute* ASource) override {
    if (ComPtr<TIntf> source = QueryAs<TIntf>(ASource)) {
      SetValue(source->GetValue());
      this->SetFlags(ASource->GetFlags());
    } else {
      TAttribute::Assign(ASource);
    }
  }
  bool EqualTo(IAttribute* AOther) override {
    ComPtr<TIntf> other = QueryAs<TIntf>(AOther);
    return other && other->GetValue() == GetValue();
  }
  GUID GetClassID() override { return uuidof<TIntf>(); }

  void AssignObject(TAttribute& ASource) override {
    if (TScalarAttribute* source = SameClass(ASource)) {
      source->CheckLoaded();
      Store(source->Value());
      this->SetFlagBitsTo(source->FlagBits());
    } else {
      TAttribute::AssignObject(ASource);
    }
  }
  bool EqualToObject(TAttribute& AOther) override {
    TScalarAttribute* other = SameClass(AOther);
    if (!other) return TAttribute::EqualToObject(AOther);
    other->CheckLoaded();
    this->CheckLoaded();
    if constexpr (std::is_same_v<TValue, TStored>)
      return other->Value() == Value();
    else
      return FromStored(other->Value()) == FromStored(Value());
  }
  void MergeObject(TAttribute& AOther) override {
    if (!SameClass(AOther)) return TAttribute::MergeObject(AOther);
    if (!(this->FlagBits() & afMixed) && !EqualToObject(AOther)) this->SetMixed(true);
  }

 protected:
  // The value as stored, without loading.
  TValue StoredValue() const { return FromStored(const_cast<TScalarAttribute*>(this)->Value()); }
  // A write: assigned in place, so that text reuses the room it has.
  void Store(const TStored& AStored) {
    Value() = AStored;
    this->SetFlagBits(afModified | afLoaded, true);
    this->Changed(0);
  }
  // The other attribute when it is of this very class, whose value then means what ours means.
  TScalarAttribute* SameClass(TAttribute& AOther) {
    return this->SameClassAs(AOther) ? static_cast<TScalarAttribute*>(&AOther) : nullptr;
  }
  // The value a hash is made of: read in place when this object is of the very class T, else
  // through GetValue, which a subclass may answer otherwise.
  template <class T>
  TValue HashedValue() {
    if (typeid(*this) != typeid(T)) return GetValue();
    this->CheckLoaded();
    return FromStored(Value());
  }
  // Where the value lives: in the record's slot for a bound child, else here.
  TStored& Value() noexcept {
    if (TSlot* slot = this->BoundSlot()) {
      if constexpr (std::is_same_v<TStored, int32_t>)
        return slot->Integer;
      else if constexpr (std::is_same_v<TStored, double>)
        return slot->Real;
      else if constexpr (std::is_same_v<TStored, int16_t>)
        return slot->WordBool;
      else
        return TRecordSlots::Of(slot)->Text(*slot);
    }
    return FValue;
  }
  bool FitsSlot(TSlotKind AKind) const noexcept override {
    if constexpr (std::is_same_v<TStored, int32_t>)
      return AKind == TSlotKind::Integer;
    else if constexpr (std::is_same_v<TStored, double>)
      return AKind == TSlotKind::Double || AKind == TSlotKind::DateTime;
    else if constexpr (std::is_same_v<TStored, int16_t>)
      return AKind == TSlotKind::WordBool;
    else
      return AKind == TSlotKind::String;
  }
  void KeepSlotValue() override { FValue = Value(); }
  void* ValueAddress() override {
    if constexpr (std::is_trivially_copyable_v<TStored>) return &Value();
    return nullptr;
  }
  uint32_t ValueSize() const override {
    if constexpr (std::is_trivially_copyable_v<TStored>) return sizeof(TStored);
    return 0;
  }
  static TValue FromStored(const TStored& AStored) {
    if constexpr (std::is_same_v<TValue, bool>) return AStored != 0;
    return AStored;
  }
  static decltype(auto) ToStored(TParam AValue) {
    if constexpr (std::is_same_v<TValue, bool>)
      return TStored(AValue ? -1 : 0);
    else
      return static_cast<TParam>(AValue);
  }

  TStored FValue{};
};

class TIntegerAttribute : public TScalarAttribute<IIntegerAttribute, int32_t> {
 public:
  // Defined beside the class's tables, so that making one writes its vtable pointers once (the
  // other scalars likewise).
  explicit TIntegerAttribute(IUnknown* AController = nullptr) noexcept;

  TVariant GetAsValue() override;
  // Decimal; a value outside 32 bits or text that is not an integer reads as -1.
  void LoadFromString(const std::string& AText) override;
  // The value a text makes, or none where LoadFromString falls back on its default.
  static std::optional<int32_t> ReadText(std::string_view AText);
  std::string SaveToString() override;
  bool GetValueHash(size_t& AHash) override;
};

class TDoubleAttribute : public TScalarAttribute<IDoubleAttribute, double> {
 public:
  explicit TDoubleAttribute(IUnknown* AController = nullptr) noexcept;

  TVariant GetAsValue() override;
  // "." as decimal separator whatever the locale; bad text reads as 0.
  void LoadFromString(const std::string& AText) override;
  static std::optional<double> ReadText(std::string_view AText);
  // The shortest text of up to 15 significant digits.
  std::string SaveToString() override;
  bool GetValueHash(size_t& AHash) override;

 protected:
  std::string DebugValueText() override;  // "%.16g"
};

// Days since 30 December 1899, the fraction the time of day; 0 is "not set".
class TDateTimeAttribute : public TScalarAttribute<IDateTimeAttribute, double> {
 public:
  explicit TDateTimeAttribute(IUnknown* AController = nullptr) noexcept;

  TVariant GetAsValue() override;  // TVariantDate
  // XML Schema dateTime; empty text keeps the value, malformed text reads as 0.
  void LoadFromString(const std::string& AText) override;
  // None for malformed text; empty text is no value either.
  static std::optional<double> ReadText(std::string_view AText);
  // Empty for a value whose whole-day part is 0 or less.
  std::string SaveToString() override;
  void SaveToText(std::string& AText) override;
  bool GetValueHash(size_t& AHash) override;

 protected:
  std::string DebugValueText() override;  // 'YYYY-MM-DD hh:mm:ss'
};

// UTF-8 text; streams as a byte count and UTF-16 units. EqualTo is exact and case-sensitive.
class TStringAttribute : public TScalarAttribute<IStringAttribute, std::string> {
 public:
  explicit TStringAttribute(IUnknown* AController = nullptr) noexcept;

  // The value through the HTML text parser; bit 4 of the options asks for the form with line breaks.
  std::string AsPlainText(int32_t AOptions) override;
  TVariant GetAsValue() override;
  void LoadFromString(const std::string& AText) override;
  std::string SaveToString() override;
  uint32_t LoadFromStream(IStream* AStream) override;
  uint32_t SaveToStream(IStream* AStream) override;
  bool GetValueHash(size_t& AHash) override;
};

// A 16-bit boolean kept as 0 or -1; streams as those two bytes.
class TWordBoolAttribute : public TScalarAttribute<IWordBoolAttribute, bool, int16_t> {
 public:
  explicit TWordBoolAttribute(IUnknown* AController = nullptr) noexcept;

  TVariant GetAsValue() override;
  // "true"/"false" and integers (non-zero is true), case-insensitive; anything else reads as false.
  void LoadFromString(const std::string& AText) override;
  static std::optional<bool> ReadText(std::string_view AText);
  std::string SaveToString() override;  // "true" / "false"
  uint32_t LoadFromStream(IStream* AStream) override;
  bool GetValueHash(size_t& AHash) override;
};

// Takes the value the standard scalar of the slot's kind takes from text in LoadFromString, without
// touching the slot's flags: a document source fills a record's slots with it.
void ReadSlotText(TRecordSlots& ABlock, TSlot& ASlot, std::string_view AText);
// The text (SaveToString) and the value (GetAsValue) the standard scalar of the slot's kind gives,
// so that a writer prints a record's slots without making its children. The text is a string
// slot's own, else written into ARoom, without a heap block; either way a NUL follows it. Valid
// until the slot or ARoom changes.
using TSlotTextRoom = std::array<char, 40>;
std::string_view SlotText(TRecordSlots& ABlock, const TSlot& ASlot, TSlotTextRoom& ARoom);
TVariant SlotAsValue(TRecordSlots& ABlock, const TSlot& ASlot);

// Refers to a node of the map. A reference loaded from text or a stream holds only the node's
// identifier until its first read, which looks the node up in the map of this attribute's host
// node and then holds the node (a counted reference) instead of the text.
class TNodeReferenceAttribute : public TImplements<TSimpleAttribute, INodeReferenceAttribute> {
 public:
  using TImplements::TImplements;

  // Empty when nothing is referenced or the identifier names no node of the map (yet).
  ComPtr<INode> GetValue() override;
  void SetValue(INode* ANode) override;
  std::string GetReferenceText() override;

  void Assign(IAttribute* ASource) override;
  // The same node (COM identity); two references that cannot be resolved compare their texts.
  bool EqualTo(IAttribute* AOther) override;
  TVariant GetAsValue() override;  // the reference text
  // Keeps the text as the pending reference; marks the attribute modified.
  void LoadFromString(const std::string& AText) override;
  std::string SaveToString() override;  // the identifier, without resolving
  uint32_t LoadFromStream(IStream* AStream) override;
  uint32_t SaveToStream(IStream* AStream) override;
  GUID GetClassID() override;
  bool GetValueHash(size_t& AHash) override;

 protected:
  void* ValueAddress() override { return nullptr; }
  uint32_t ValueSize() const override { return 0; }
  // Looks the pending text up in the host node's map; keeps the text when nothing matches.
  void Resolve();

 private:
  ComPtr<INode> FNode;
  std::string FReferenceText;  // pending identifier while FNode is empty
};
