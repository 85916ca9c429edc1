#pragma once
// The base of the attribute tree: names, owners, state flags and the lazy load that every
// attribute shares.
#include <cstddef>
#include <cstdint>
#include <string>
#include <typeinfo>

#include "attributes/AttributePool.h"
#include "attributes/RecordSlots.h"
#include "contract/LumetaAttributesIntf.h"
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
  // Also answers FromInterface's private query: uncounted here when there is no controller,
  // counted through FindInterface when a controller asks.
  HRESULT QueryInterface(const GUID& AIid, void** AObject) noexcept override;
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
  // EqualToObject and, when equal, GetValueHash of this object (AHashed says whether it has
  // one): a long merge asks both of most pairs, and a record answers them in one walk.
  virtual bool EqualToObjectHashing(TAttribute& AOther, bool& AHashed, size_t& AHash) {
    if (!EqualToObject(AOther)) return false;
    AHashed = GetValueHash(AHash);
    return true;
  }

  // Attributes are many and small: they come from the attribute pools.
  static void* operator new(size_t ASize) { return TAttributePool::Allocate(ASize); }
  static void operator delete(void* AObject, size_t ASize) noexcept { TAttributePool::Free(AObject, ASize); }

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
  // A child bound to its record's slot first takes its value and flags back into itself.
  void SetOwner(IAttribute* AOwner) final {
    if (FOwner & SlotBit) LeaveSlot();
    FOwner = reinterpret_cast<uintptr_t>(AOwner);
  }
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
  bool FindInterface(const GUID& AIid, void** AObject) noexcept override;
  // Called after every SetValue with 0; subclasses call it with their own codes (-1 for a part of
  // the value beside the main one, such as a link type). Does nothing here.
  virtual void Changed(int32_t AIndex);
  // One DebugText line: "$flags name: value".
  static std::string DebugLine(uint32_t AFlags, const std::string& AName, const std::string& AValue);
  // The value text of this attribute's DebugText line; SaveToString here.
  virtual std::string DebugValueText();
  // The lazy-load step as cheap as a flag test once loaded.
  void CheckLoaded() {
    if (!(FlagWord() & afLoaded)) EnsureLoaded();
  }
  // Flag changes without a virtual call, for the hot paths of subclasses.
  void SetFlagBits(uint32_t AMask, bool AOn) noexcept {
    uint32_t& flags = FlagWord();
    flags = AOn ? flags | AMask : flags & ~AMask;
  }
  void SetFlagBitsTo(uint32_t AFlags) noexcept { FlagWord() = AFlags; }
  uint32_t FlagBits() const noexcept { return const_cast<TAttribute*>(this)->FlagWord(); }
  IAttribute* RawOwner() const noexcept {
    if (FOwner & SlotBit) return SlotOwner();
    return reinterpret_cast<IAttribute*>(FOwner & ~NameKeptBit);
  }
  // The record slot this child reads and writes, or null for a child that holds its own value.
  TSlot* BoundSlot() const noexcept { return FOwner & SlotBit ? reinterpret_cast<TSlot*>(FOwner & ~SlotBit) : nullptr; }
  // Whether this object can stand for a slot of that kind; no class can here.
  virtual bool FitsSlot(TSlotKind) const noexcept { return false; }
  // Takes the bound slot's value into the object itself, before it leaves the slot.
  virtual void KeepSlotValue() {}
  IAttribute* Self() noexcept { return static_cast<IAttribute*>(this); }

 private:
  friend class TListAttribute;  // keeps its items' names
  friend class TRecordAttribute;  // binds its children to its slots
  std::string TextFromOwner(bool ACaption);

  // The owner, not counted (it holds this attribute). The low bit says that a list owner keeps
  // this item's name: SetOwner clears it, so a name kept from before is never read again.
  // Bound to a record's slot, the word holds the slot (with SlotBit) instead of the owner, and the
  // slot holds the flags: the record's own walks then see what the child object sees.
  static constexpr uintptr_t NameKeptBit = 1;
  static constexpr uintptr_t SlotBit = 2;
  uint32_t& FlagWord() noexcept { return FOwner & SlotBit ? reinterpret_cast<TSlot*>(FOwner & ~SlotBit)->Flags : FFlags; }
  // The record is the owner of a slot's child.
  IAttribute* SlotOwner() const noexcept;
  // From now on the value and flags live in ASlot; what the object held is dropped.
  void BindSlot(TSlot* ASlot) noexcept { FOwner = reinterpret_cast<uintptr_t>(ASlot) | SlotBit; }
  void LeaveSlot();
  uintptr_t FOwner = 0;
  // Last, so that a subclass's first 4-byte field fills the room after it.
  uint32_t FFlags = 0;
};
