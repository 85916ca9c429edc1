#pragma once
// The attribute tree: scalar leaves under records (fixed named children) and lists (items of one
// interface type). Every read goes through EnsureLoaded, so values held by a lazily loaded map
// are fetched from the host's document source on first use.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <unordered_map>
#include <utility>
#include <vector>

#include "contract/LumetaAttributesIntf.h"
#include "com/NumberText.h"
#include "com/ComErrors.h"
#include "com/AggregableObject.h"

struct INode;
struct IProperty;

// The base of every attribute. An attribute made with a controller (the property that carries it)
// is aggregated: the property answers for it and it lives as long as the property does.
class TStructuredAttribute;

class TAttribute : public TImplements<TAggregableObject, IAttribute, IPersist, IPersistStream> {
 public:
  // Inline, so that the concrete classes' constructors write each vtable pointer once.
  explicit TAttribute(IUnknown* AController = nullptr) noexcept : TImplements(AController) {}
  ~TAttribute() override;

  // The object behind an interface pointer when it is built on TAttribute, else null; not counted
  // (the caller's reference keeps it alive). Cheaper than dynamic_cast and works across libraries.
  static TAttribute* FromInterface(IAttribute* AAttribute) noexcept;
  // This object as a structure, or null.
  virtual TStructuredAttribute* AsStructure() noexcept { return nullptr; }
  // Whether the other object is of this object's very class. Objects of one class share their
  // vtable, so that is asked first; a class whose vtable two libraries hold still compares equal
  // by its type.
  bool SameClassAs(const TAttribute& AOther) const noexcept {
    return *reinterpret_cast<const void* const*>(&AOther) == *reinterpret_cast<const void* const*>(this) ||
           typeid(AOther) == typeid(*this);
  }

  // The name AssignError prints: the dynamic class name without namespaces ("TIntegerAttribute").
  virtual std::string ClassName() const;
  // ClassName of any attribute object, ours or the host's; "(Nothing)" for none.
  static std::string ClassNameOf(IAttribute* AAttribute);

  // A hash that agrees with EqualTo (attributes that are EqualTo hash alike), used to index large
  // lists during Merge and Apply; false when the class has none. A subclass that loosens EqualTo
  // must override this as well or answer false.
  virtual bool GetValueHash(size_t& AHash);
  // GetValueHash of any attribute object; false for objects not built on TAttribute.
  static bool ValueHashOf(IAttribute* AAttribute, size_t& AHash);

  // Assign, EqualTo and Merge between two of our own objects, which structures call for their
  // children without asking interfaces. Here they go through the interface operations; scalars of
  // one class work on their stored values and flag bits directly, so a subclass that changes what
  // copying or comparing does for its own class overrides these too.
  virtual void AssignObject(TAttribute& ASource) { Assign(ASource.Self()); }
  virtual bool EqualToObject(TAttribute& AOther) { return EqualTo(AOther.Self()); }
  virtual void MergeObject(TAttribute& AOther) { Merge(AOther.Self()); }

  // Attributes are many and small: they come from pools of blocks per size instead of one heap
  // block each (the pools keep freed memory for the next attributes).
  static void* operator new(size_t ASize);
  static void operator delete(void* AObject, size_t ASize) noexcept;

  // IAttribute
  void Apply(IAttribute* ASource) override;  // same as Assign
  std::string AsHtml(int32_t AOptions) override;
  ComPtr<IUnknown> GetExtension() override;
  std::string AsPlainText(int32_t AOptions) override;
  std::string GetHint() override;
  // Empty source: marks cleared; otherwise hands over to the source's AssignTo.
  void Assign(IAttribute* ASource) override;
  bool EqualTo(IAttribute* AOther) override;
  std::string DebugText() override;
  TVariant GetAsValue() override;  // raises "Method not implemented."
  std::string GetCaption() override;
  ComPtr<IUnknown> GetHostObject() override;
  bool IsMergedView() override;
  ComPtr<IDocSource> GetDocSource() override;
  int32_t GetIndex() override;
  bool IsMixed() override;
  bool IsModified() override;
  // A property's name, a record child's name from the record's table, a list item's 1-based
  // position as it was when first asked for (kept by the list until SetOwner).
  std::string GetName() override;
  ComPtr<IProperty> GetProperty() override;
  ComPtr<IAttribute> GetOwner() override;
  std::string GetFullName() override;
  bool HasState2() override;
  bool HasFlag(uint32_t AMask) override;
  bool IsCleared() override;
  bool IsLoaded() override;
  // Marks this attribute mixed when it is not EqualTo the other (also when the other is empty).
  void Merge(IAttribute* AOther) override;
  uint32_t LoadFromStream(IStream* AStream) override;  // raises "Method not implemented."
  void BeforeSave() override;
  void SetMergedView(bool AOn, bool ARecursive) override;
  void SetMixed(bool AOn) override;
  void SetModified(bool AOn) override;
  // Final, so that structures adopting children set it without a virtual call.
  void SetOwner(IAttribute* AOwner) final { FOwner = reinterpret_cast<uintptr_t>(AOwner); }
  void SetState2(bool AOn, bool ARecursive) override;
  void SetFlag(uint32_t AMask, bool AOn) override;
  void SetFlagEx(uint32_t AMask, bool AOn, bool ARecursive) override;
  void SetCleared(bool AOn) override;
  void SetLoaded(bool AOn) override;
  uint32_t SaveToStream(IStream* AStream) override;  // raises "Method not implemented."
  void LoadFromString(const std::string& AText) override;  // no text form here: ignored
  std::string SaveToString() override;                      // no text form here: empty
  // SaveToString into AText, reusing its room, for writers that save many values in a row; the
  // classes that print without a heap block do so only for their very own class, since a
  // subclass may print otherwise through SaveToString.
  virtual void SaveToText(std::string& AText) { AText = SaveToString(); }
  // Marks the attribute loaded before asking the document source, so the source may read and
  // write it while filling it; a source that fails leaves it unloaded for the next read.
  void EnsureLoaded() override;
  [[noreturn]] void AssignError(IAttribute* ASource) override;
  void AssignTo(IAttribute* ATarget) override;
  uint32_t GetFlags() override;
  void SetFlags(uint32_t AFlags) override;

  // IPersist / IPersistStream over LoadFromStream and SaveToStream.
  GUID GetClassID() override;  // GUID_NULL here; scalars answer their interface GUID
  bool IsDirty() override;
  void Load(IStream* AStream) override;
  // AClearDirty clears the modified flag of the whole subtree.
  void Save(IStream* AStream, bool AClearDirty) override;
  uint64_t GetSizeMax() override;

 protected:
  // Also answers FromInterface's private query.
  bool FindInterface(const GUID& AIid, void** AObject) noexcept override;
  // Called after every SetValue with 0; subclasses call it with their own codes (-1 for a part of
  // the value beside the main one, such as a link type). Does nothing here.
  virtual void Changed(int32_t AIndex);
  // The value text of this attribute's DebugText line; SaveToString here.
  virtual std::string DebugValueText();
  // The lazy-load step as cheap as a flag test once loaded.
  void CheckLoaded() {
    if (!(FFlags & afLoaded)) EnsureLoaded();
  }
  // Flag changes without a virtual call, for the hot paths of subclasses.
  void SetFlagBits(uint32_t AMask, bool AOn) noexcept { FFlags = AOn ? FFlags | AMask : FFlags & ~AMask; }
  void SetFlagBitsTo(uint32_t AFlags) noexcept { FFlags = AFlags; }
  uint32_t FlagBits() const noexcept { return FFlags; }
  IAttribute* RawOwner() const noexcept { return reinterpret_cast<IAttribute*>(FOwner & ~NameKeptBit); }
  IAttribute* Self() noexcept { return static_cast<IAttribute*>(this); }

 private:
  friend class TListAttribute;  // keeps its items' names
  std::string TextFromOwner(bool ACaption);

  // The owner, not counted (it holds this attribute). The low bit says that a list owner keeps
  // this item's name: SetOwner clears it, so a name kept from before is never read again.
  static constexpr uintptr_t NameKeptBit = 1;
  uintptr_t FOwner = 0;
  // Last, so that a subclass's first 4-byte field fills the room after it.
  uint32_t FFlags = 0;
};

// Room from the attribute pools for containers that attributes keep, such as a structure's list
// of children: a record then costs no heap block besides its objects.
template <class T>
struct TAttributePoolAllocator {
  using value_type = T;
  TAttributePoolAllocator() noexcept = default;
  template <class U>
  TAttributePoolAllocator(const TAttributePoolAllocator<U>&) noexcept {}
  T* allocate(size_t ACount) { return static_cast<T*>(TAttribute::operator new(ACount * sizeof(T))); }
  void deallocate(T* AItems, size_t ACount) noexcept { TAttribute::operator delete(AItems, ACount * sizeof(T)); }
  friend bool operator==(const TAttributePoolAllocator&, const TAttributePoolAllocator&) noexcept { return true; }
};

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
    return FromStored(FValue);
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
      Store(source->FValue);
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
      return other->FValue == FValue;
    else
      return FromStored(other->FValue) == FromStored(FValue);
  }
  void MergeObject(TAttribute& AOther) override {
    if (!SameClass(AOther)) return TAttribute::MergeObject(AOther);
    if (!(this->FlagBits() & afMixed) && !EqualToObject(AOther)) this->SetMixed(true);
  }

 protected:
  // The value as stored, without loading.
  TValue StoredValue() const { return FromStored(FValue); }
  // A write: assigned in place, so that text reuses the room it has.
  void Store(const TStored& AStored) {
    FValue = AStored;
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
    return FromStored(FValue);
  }
  void* ValueAddress() override {
    if constexpr (std::is_trivially_copyable_v<TStored>) return &FValue;
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

// An ordered list of child attributes that the structure holds (children never hold it).
class TStructuredAttribute : public TImplements<TAttribute, IStructuredAttribute> {
 public:
  using TImplements::TImplements;
  ~TStructuredAttribute() override;

  // IStructuredAttribute. AddChild and InsertChild set the child's owner; Delete clears it first.
  void AddChild(IAttribute* AChild) override;
  // The same for a child known to be ours, which spares asking it for its object.
  void AddChild(TAttribute* AChild);
  // The same, taking over the caller's reference instead of adding one of its own: a record
  // that makes its children hands each over as it comes from make<T>().
  void AddChild(ComPtr<TAttribute>&& AChild) {
    if (!AChild) ThrowEmptyChild();
    if (FChildrenDeferred) MakeDeferredChildren();
    TAttribute* object = AChild.get();
    FChildren.emplace_back(AttachPtr(static_cast<IAttribute*>(AChild.detach())), object);
    object->SetOwner(Self());
  }
  void Clear() override;  // last child first
  void Delete(int32_t AIndex) override;
  int32_t GetChildCount() override;  // loads first
  ComPtr<IAttribute> GetChild(int32_t AIndex) override;
  ComPtr<IAttribute> FindChild(const std::string& AName) override;
  // By identity; -1 when not a child.
  int32_t IndexOf(IAttribute* AChild) override;
  void InsertChild(int32_t AIndex, IAttribute* AChild) override;

  // Equal to any structure with as many children, each EqualTo the child of the same index.
  bool EqualTo(IAttribute* AOther) override;
  std::string DebugText() override;  // own line, then each child's lines
  bool IsModified() override;        // own flag or any child's
  void SetFlagEx(uint32_t AMask, bool AOn, bool ARecursive) override;
  // Children in index order, each through its IPersistStream when it has one.
  uint32_t LoadFromStream(IStream* AStream) override;
  uint32_t SaveToStream(IStream* AStream) override;
  bool GetValueHash(size_t& AHash) override;
  TStructuredAttribute* AsStructure() noexcept override { return this; }

  // A child as the structure keeps it, holding one reference in one word: the object when it is
  // built on TAttribute (its interface is then the object's own), else the interface with the low
  // bit set. A record keeps as many of these as it has children, so the second word that held
  // the object beside the interface was a tenth of a record's memory.
  class TChild {
   public:
    // AObject is FromInterface(AInterface): the object of that very interface pointer, or null.
    TChild(ComPtr<IAttribute>&& AInterface, TAttribute* AObject) noexcept
        : FWord(AObject ? reinterpret_cast<uintptr_t>(AObject) : reinterpret_cast<uintptr_t>(AInterface.get()) | ForeignBit) {
      (void)AInterface.detach();
    }
    TChild(TChild&& AOther) noexcept : FWord(std::exchange(AOther.FWord, 0)) {}
    TChild& operator=(TChild&& AOther) noexcept {
      std::swap(FWord, AOther.FWord);
      return *this;
    }
    ~TChild() {
      if (FWord) Interface()->Release();
    }

    IAttribute* Interface() const noexcept {
      if (FWord & ForeignBit) return reinterpret_cast<IAttribute*>(FWord & ~ForeignBit);
      return static_cast<IAttribute*>(reinterpret_cast<TAttribute*>(FWord));
    }
    // Null for a child not built on TAttribute.
    TAttribute* Object() const noexcept { return FWord & ForeignBit ? nullptr : reinterpret_cast<TAttribute*>(FWord); }
    // An address inside the child's first line, whatever it is built on: for prefetching.
    const void* Memory() const noexcept { return reinterpret_cast<const void*>(FWord); }
    // The reference the entry holds, leaving it empty.
    ComPtr<IAttribute> Take() noexcept {
      IAttribute* child = Interface();
      FWord = 0;
      return AttachPtr(child);
    }

   private:
    static constexpr uintptr_t ForeignBit = 1;  // interface pointers are at least pointer-aligned
    uintptr_t FWord;
  };

  // The stored children, without loading; ChildAt raises EListError outside the list. Our own
  // structures compare and copy each other through these rather than GetChild. Both make the
  // children of a structure that defers them.
  int32_t Count() { return static_cast<int32_t>(Children().size()); }
  IAttribute* ChildAt(int32_t AIndex) {
    CheckIndex(AIndex);
    return FChildren[static_cast<size_t>(AIndex)].Interface();
  }
  // The child's object when it is built on TAttribute, else null; checked like ChildAt.
  TAttribute* ChildObjectAt(int32_t AIndex) {
    CheckIndex(AIndex);
    return FChildren[static_cast<size_t>(AIndex)].Object();
  }
  // Every child in order, for loops that check their bounds once; valid until the children change.
  std::span<const TChild> ChildEntries() { return Children(); }
  // False while a structure that defers its children has not made them: it then holds nothing
  // anybody has read or set below it.
  bool HasMadeChildren() const noexcept { return !FChildrenDeferred; }
  // A number the document source that fills this structure keeps for it (0 for none), so that it
  // finds its note of the structure without a search. Only that source reads it.
  uint32_t SourceTag() const noexcept { return FSourceTag; }
  void SetSourceTag(uint32_t ATag) noexcept { FSourceTag = ATag; }

 protected:
  // For a structure with fixed children that is mostly made and thrown away unread (a loaded
  // map holds one per node): its constructor calls DeferChildren instead of adding them, and
  // MakeChildren adds them on first need. Flags cleared recursively before then are cleared on
  // the children once they are made, so the clearing need not make them.
  void DeferChildren() noexcept { FChildrenDeferred = true; }
  virtual void MakeChildren() {}
  using TChildren = std::vector<TChild, TAttributePoolAllocator<TChild>>;
  TChildren& Children() {
    if (FChildrenDeferred) MakeDeferredChildren();
    return FChildren;
  }

  // Room for that many children, for subclasses that know their size.
  void ReserveChildren(int32_t ACount) { FChildren.reserve(static_cast<size_t>(std::max(ACount, 0))); }
  // The object of the child added last (null when it is not ours); there must be one.
  TAttribute* LastChildObject() const noexcept { return FChildren.back().Object(); }
  // Copies the source's own cleared and modified bits and marks this structure loaded; the end
  // of Assign from a like structure.
  void FinishAssign(IAttribute* ASource);
  // EqualTo between two of our own structures: as many children, each equal to its counterpart.
  bool EqualChildren(TStructuredAttribute& AOther);
  uint32_t LoadChild(IStream* AStream, IAttribute* AChild);
  uint32_t SaveChild(IStream* AStream, IAttribute* AChild);

 private:
  void CheckIndex(int32_t AIndex) {
    if (AIndex < 0 || AIndex >= Count()) throw EListError::OutOfBounds(AIndex);
  }
  void MakeDeferredChildren();
  [[noreturn]] static void ThrowEmptyChild();
  void Adopt(ComPtr<IAttribute>&& AChild, TAttribute* AObject);
  void DropChildren() noexcept;

  uint32_t FDeferredClears = 0;  // flags cleared recursively while the children were deferred; first, beside the flags
  TChildren FChildren;
  uint32_t FSourceTag = 0;
  bool FChildrenDeferred = false;
};

// A fixed set of children that the subclass's constructor creates, named by index from a table.
class TRecordAttribute : public TImplements<TStructuredAttribute, IRecordAttribute> {
 public:
  // AChildNames is not copied: pass a table that outlives the record (a static array).
  explicit TRecordAttribute(std::span<const char* const> AChildNames = {}, IUnknown* AController = nullptr) noexcept;

  // IRecordAttribute. AddChildOfType raises when the factory cannot make the class (see AttributeFactory).
  ComPtr<IAttribute> AddChildOfType(const GUID& AIid) override;
  std::string GetChildCaption(int32_t AIndex) override;  // the name unless overridden
  std::string GetChildName(int32_t AIndex) override;     // empty outside the table

  // The children load themselves, so the record never asks the document source.
  int32_t GetChildCount() override;
  // Modified, unmixed source children reach the child of the same index through its Apply; a
  // missing or cleared source assigns nothing to every child.
  void Apply(IAttribute* ASource) override;
  // From a record: child by child (as many as both have); an empty source marks only the record cleared.
  void Assign(IAttribute* ASource) override;
  // Child by child; with no structure to merge, every child is marked mixed.
  void Merge(IAttribute* AOther) override;
  GUID GetClassID() override;

  // A record of this very class is compared, copied and merged child by child without asking
  // for interfaces; a subclass that adds state of its own overrides these as well.
  void AssignObject(TAttribute& ASource) override;
  bool EqualToObject(TAttribute& AOther) override;
  void MergeObject(TAttribute& AOther) override;

 private:
  void AssignChildren(TStructuredAttribute& ASource);
  void MergeChildren(TStructuredAttribute& AOther);

  std::span<const char* const> FChildNames;
};

// A variable list of items that all answer one interface; new items come from the attribute
// factory. Changing the item type empties the list.
class TListAttribute : public TImplements<TStructuredAttribute, IListAttribute> {
 public:
  explicit TListAttribute(const GUID& AItemType = GUID_NULL, IUnknown* AController = nullptr) noexcept;

  // IListAttribute
  ComPtr<IAttribute> Add() override;
  bool Contains(IAttribute* AItem) override;
  GUID GetItemType() override;
  void Resize(int32_t ADelta) override;
  void SetCount(int32_t ACount) override;
  int32_t IndexOfValue(IAttribute* AItem) override;
  void SetItemType(const GUID& AIid) override;

  void Apply(IAttribute* ASource) override;
  // From a list: a copy of its items; an empty source marks the list cleared and empties it.
  void Assign(IAttribute* ASource) override;
  // Only another list with equal items in the same order.
  bool EqualTo(IAttribute* AOther) override;
  // The union: the other's missing items are added and marked mixed, own items the other lacks
  // are marked mixed; with nothing to merge, every item is marked mixed.
  void Merge(IAttribute* AOther) override;
  // A uint32 item count, then the items.
  uint32_t LoadFromStream(IStream* AStream) override;
  uint32_t SaveToStream(IStream* AStream) override;
  GUID GetClassID() override;

 protected:
  // A new item of the item type appended without marking the list modified.
  ComPtr<IAttribute> AppendItem();

 private:
  friend class TAttribute;
  // The item's name: its position when first asked for, kept until the item's SetOwner.
  std::string ItemName(TAttribute& AItem);

  GUID FItemType;
  std::unique_ptr<std::unordered_map<const TAttribute*, int32_t>> FItemNames;  // made on the first name asked
};
