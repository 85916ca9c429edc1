#pragma once
// The attributes that hold children: the ordered child list that records and lists share.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "attributes/Attribute.h"
#include "attributes/AttributePool.h"
#include "com/ComErrors.h"

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
  int32_t Count() {
    if (FChildrenDeferred && FSlots) return FSlots->Count();  // a record's slots need no objects
    return static_cast<int32_t>(Children().size());
  }
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
  // The inline values of a record that keeps its scalar children in slots, else null.
  TRecordSlots* Slots() const noexcept { return FSlots; }

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

  // Empties the child list, its children no longer pointing back here.
  void DropChildren() noexcept;
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
    if (AIndex < 0 || AIndex >= static_cast<int32_t>(Children().size())) throw EListError::OutOfBounds(AIndex);
  }
  void MakeDeferredChildren();
  [[noreturn]] static void ThrowEmptyChild();
  void Adopt(ComPtr<IAttribute>&& AChild, TAttribute* AObject);

  uint32_t FDeferredClears = 0;  // flags cleared recursively while the children were deferred; first, beside the flags
  TChildren FChildren;
  uint32_t FSourceTag = 0;

 protected:
  TRecordSlots* FSlots = nullptr;  // owned by the record that makes it

 private:
  bool FChildrenDeferred = false;
};
