#pragma once
// Records: a fixed set of named children.
#include <cstdint>
#include <span>
#include <string>

#include "attributes/StructuredAttribute.h"

// A document source that fills a record's slots itself, so that the first read of a loaded record
// makes no child objects. Asked of the record's document source.
struct IRecordSlotSource : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("8C4D2E71-3B5A-4F69-9E0D-1A2B3C4D5E6F");
  // Fills every slot of ARecord that is not read or set yet, marking it read and not modified;
  // false when the source holds nothing for the record (its slots are then left as they are).
  virtual bool LoadSlots(TStructuredAttribute* ARecord) = 0;
};

// A fixed set of children that the subclass's constructor creates, named by index from a table.
class TRecordAttribute : public TImplements<TStructuredAttribute, IRecordAttribute> {
 public:
  // AChildNames is not copied: pass a table that outlives the record (a static array).
  explicit TRecordAttribute(std::span<const char* const> AChildNames = {}, IUnknown* AController = nullptr) noexcept;
  // A record that keeps its children's values in slots of these kinds, one per name, in one
  // block; child objects are made only when asked for (standard scalars unless MakeChildren makes
  // others) and then read and write their slots. Copying, comparing, merging and hashing two
  // records of one such class walk the slots, so a subclass may make children of other classes
  // only where those copy, compare and hash the stored value as the standard class does.
  TRecordAttribute(std::span<const char* const> AChildNames, std::span<const TSlotKind> ALayout,
                   IUnknown* AController = nullptr);
  ~TRecordAttribute() override;

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
  bool EqualToObjectHashing(TAttribute& AOther, bool& AHashed, size_t& AHash) override;

  bool EqualTo(IAttribute* AOther) override;
  bool IsModified() override;
  void SetFlagEx(uint32_t AMask, bool AOn, bool ARecursive) override;
  bool GetValueHash(size_t& AHash) override;

  // The slots with every value read from the document first, as reads of the children would;
  // null when the record keeps no slots or they no longer stand for every child.
  TRecordSlots* LoadedSlots();

 protected:
  // The standard scalar of each slot's kind.
  void MakeChildren() override;
  // A slot's value for a subclass's typed reads, read from the document first as its child would
  // be; the record must keep slots.
  int32_t SlotInteger(size_t AIndex) { return LoadedSlot(AIndex).Integer; }
  double SlotReal(size_t AIndex) { return LoadedSlot(AIndex).Real; }
  bool SlotBool(size_t AIndex) { return LoadedSlot(AIndex).WordBool != 0; }
  const std::string& SlotText(size_t AIndex) { return FSlots->Text(LoadedSlot(AIndex)); }
  // Adds the next child of a record with slots and binds it to its slot; raises when its class
  // cannot stand for the slot's kind.
  void AddSlotChild(ComPtr<TAttribute>&& AChild);

 private:
  // Whether the slots stand for every child (no child was added beside them or taken away).
  bool SlotsIntact();
  // The other object when it is a record of this very class keeping slots (as this one does).
  TRecordAttribute* SlotTwin(TAttribute* AOther);
  // The slot's child reads it from the document first, as a read of that child would.
  void LoadSlot(size_t AIndex) {
    if (!(FSlots->Slots()[AIndex].Flags & afLoaded)) LoadSlotFromDocument(AIndex);
  }
  void LoadSlotFromDocument(size_t AIndex);
  TSlot& LoadedSlot(size_t AIndex) {
    LoadSlot(AIndex);
    return FSlots->Slots()[AIndex];
  }
  void AssignSlots(TRecordAttribute& ASource);
  bool EqualSlots(TRecordAttribute& AOther);
  void MergeSlots(TRecordAttribute& AOther);

  void AssignChildren(TStructuredAttribute& ASource);
  void MergeChildren(TStructuredAttribute& AOther);

  std::span<const char* const> FChildNames;
};
