#pragma once
// The indexes that merge and apply long lists: items with their value hashes, and the searches
// that ask only the items of a matching hash instead of every item.
#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "attributes/StructuredAttribute.h"

namespace attribute_tree {

// An item with its value hash, worked out once per merge or apply. Two words, as a structure's
// child entry keeps its item in one: a long merge walks two arrays of these whole.
class THashedItem {
 public:
  // AObject, when the caller knew it, is FromInterface(AItem): it spares asking the item for it.
  explicit THashedItem(IAttribute* AItem, TAttribute* AObject = nullptr) noexcept
      : FWord(AObject ? reinterpret_cast<uintptr_t>(AObject) : reinterpret_cast<uintptr_t>(AItem) | ForeignBit) {}

  IAttribute* Item() const noexcept {
    if (FWord & ForeignBit) return reinterpret_cast<IAttribute*>(FWord & ~(ForeignBit | HashedBit));
    return static_cast<IAttribute*>(reinterpret_cast<TAttribute*>(FWord & ~HashedBit));
  }
  TAttribute* Object() const noexcept {
    return FWord & ForeignBit ? nullptr : reinterpret_cast<TAttribute*>(FWord & ~HashedBit);
  }
  bool Hashed() const noexcept { return FWord & HashedBit; }
  size_t Hash() const noexcept { return FHash; }
  void SetHash(bool AHashed, size_t AHash) noexcept {
    FWord = AHashed ? FWord | HashedBit : FWord & ~HashedBit;
    FHash = AHash;
  }
  // Asks the object when known (no interface round trip), else the item.
  void MakeHash() {
    size_t hash = 0;
    const bool hashed = FWord & ForeignBit ? TAttribute::ValueHashOf(Item(), hash) : Object()->GetValueHash(hash);
    SetHash(hashed, hash);
  }

 private:
  // Objects and interfaces are at least pointer-aligned, which leaves the two low bits free.
  static constexpr uintptr_t ForeignBit = 1, HashedBit = 2;
  uintptr_t FWord;
  size_t FHash = 0;
};
static_assert(sizeof(THashedItem) == 2 * sizeof(void*));

// Below this many items a plain scan is cheaper than hashing.
constexpr size_t LinearLimit = 16;

template <class TItems>
std::vector<THashedItem> HashItems(const TItems& AItems, bool AHash) {
  std::vector<THashedItem> hashed;
  hashed.reserve(AItems.size());
  for (const auto& item : AItems) {
    THashedItem entry(&*item);
    if (AHash) entry.MakeHash();
    hashed.push_back(entry);
  }
  return hashed;
}

// Room for a merge's arrays: from a megabyte on, whole huge pages, as the attribute pools take,
// since on a virtual machine a fault per 4 KiB costs more than filling the array.
template <class T>
struct TLargeAllocator {
  using value_type = T;
  TLargeAllocator() noexcept = default;
  template <class U>
  TLargeAllocator(const TLargeAllocator<U>&) noexcept {}
  static constexpr size_t HugePage = 2 * 1024 * 1024;
  static bool IsLarge(size_t ACount) noexcept { return ACount * sizeof(T) >= HugePage / 2; }
  T* allocate(size_t ACount) {
    if (!IsLarge(ACount)) return std::allocator<T>().allocate(ACount);
    const size_t bytes = (ACount * sizeof(T) + HugePage - 1) / HugePage * HugePage;
    void* block = std::aligned_alloc(HugePage, bytes);
    if (!block) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(block, bytes, MADV_HUGEPAGE);  // advice only
#endif
    return static_cast<T*>(block);
  }
  void deallocate(T* AItems, size_t ACount) noexcept {
    if (IsLarge(ACount))
      std::free(AItems);
    else
      std::allocator<T>().deallocate(AItems, ACount);
  }
  friend bool operator==(const TLargeAllocator&, const TLargeAllocator&) noexcept { return true; }
};

using THashedItems = std::vector<THashedItem, TLargeAllocator<THashedItem>>;

// The items of a merge, kept per thread between merges (a merge within a merge takes another):
// a long list's array is megabytes, which fresh from the system cost a page fault per 4 KiB on
// every merge.
class TScratchItems {
 public:
  TScratchItems() {
    std::vector<THashedItems>& spare = Spare();
    if (!spare.empty()) {
      FItems = std::move(spare.back());
      spare.pop_back();
    }
  }
  ~TScratchItems() {
    if (FItems.capacity() > KeptItems) return;
    FItems.clear();
    try {
      Spare().push_back(std::move(FItems));
    } catch (...) {  // only not kept
    }
  }
  TScratchItems(const TScratchItems&) = delete;
  TScratchItems& operator=(const TScratchItems&) = delete;
  THashedItems& operator*() noexcept { return FItems; }

 private:
  static constexpr size_t KeptItems = size_t(1) << 22;  // 128 MiB at most
  static std::vector<THashedItems>& Spare() {
    thread_local std::vector<THashedItems> spare;
    return spare;
  }
  THashedItems FItems;
};

inline void HashItems(std::span<const TStructuredAttribute::TChild> AChildren, THashedItems& AHashed) {
  AHashed.clear();
  AHashed.reserve(AChildren.size());
  for (const TStructuredAttribute::TChild& child : AChildren) AHashed.emplace_back(child.Interface(), child.Object());
}

// Answers "does any of these items EqualTo a value" for many values in a row. With hashes, only
// the items of the same hash and those without one are asked, so merging lists costs time in
// proportion to their sizes rather than to their product; the answers are those of a plain scan.
// The items given at the start are kept sorted by hash in one array (a merge indexes whole lists);
// the few added later go into a hash table.
class TValueIndex {
 public:
  explicit TValueIndex(const std::vector<THashedItem>& AItems) {
    FItems.reserve(AItems.size());
    for (const THashedItem& item : AItems) {
      FItems.push_back(item.Item());
      if (item.Hashed())
        FSorted.emplace_back(item.Hash(), item.Item());
      else
        FUnhashed.push_back(item.Item());
    }
    std::sort(FSorted.begin(), FSorted.end(),
              [](const TEntry& ALeft, const TEntry& ARight) { return ALeft.first < ARight.first; });
  }

  void Add(const THashedItem& AItem) {
    FItems.push_back(AItem.Item());
    if (AItem.Hashed())
      FAdded.emplace(AItem.Hash(), AItem.Item());
    else
      FUnhashed.push_back(AItem.Item());
  }

  bool Contains(const THashedItem& AValue) const {
    IAttribute* value = AValue.Item();
    const auto equal = [value](IAttribute* AItem) { return AItem->EqualTo(value); };
    if (!AValue.Hashed()) return std::any_of(FItems.begin(), FItems.end(), equal);
    const auto byHash = [](const TEntry& AEntry, size_t AHash) { return AEntry.first < AHash; };
    for (auto candidate = std::lower_bound(FSorted.begin(), FSorted.end(), AValue.Hash(), byHash);
         candidate != FSorted.end() && candidate->first == AValue.Hash(); ++candidate)
      if (equal(candidate->second)) return true;
    const auto [first, last] = FAdded.equal_range(AValue.Hash());
    for (auto candidate = first; candidate != last; ++candidate)
      if (equal(candidate->second)) return true;
    return std::any_of(FUnhashed.begin(), FUnhashed.end(), equal);
  }

 private:
  using TEntry = std::pair<size_t, IAttribute*>;
  std::vector<IAttribute*> FItems;  // the caller keeps them alive
  std::vector<TEntry> FSorted;
  std::unordered_multimap<size_t, IAttribute*> FAdded;
  std::vector<IAttribute*> FUnhashed;
};

// For each wanted value, whether some item is EqualTo it (asked of the item, as TValueIndex asks),
// found by one pass over the items against a table of the wanted values' hashes. When few values
// are looked for among many items this is far cheaper than indexing the items.
inline std::vector<uint8_t> FindAmong(std::span<const THashedItem> AItems, const std::vector<const THashedItem*>& AWanted) {
  std::vector<uint8_t> found(AWanted.size());
  size_t missing = AWanted.size();
  // Open addressing over the hashed values, slots holding index + 1; the unhashed are asked of
  // every item.
  size_t capacity = 16;
  while (capacity < 2 * AWanted.size()) capacity *= 2;
  std::vector<uint32_t> slots(capacity);
  std::vector<uint32_t> unhashed;
  for (size_t i = 0; i < AWanted.size(); ++i) {
    if (!AWanted[i]->Hashed()) {
      unhashed.push_back(static_cast<uint32_t>(i));
      continue;
    }
    size_t slot = AWanted[i]->Hash() & (capacity - 1);
    while (slots[slot]) slot = (slot + 1) & (capacity - 1);
    slots[slot] = static_cast<uint32_t>(i + 1);
  }
  const auto ask = [&](const THashedItem& AItem, uint32_t AWantedIndex) {
    if (found[AWantedIndex] || !AItem.Item()->EqualTo(AWanted[AWantedIndex]->Item())) return;
    found[AWantedIndex] = 1;
    --missing;
  };
  for (const THashedItem& item : AItems) {
    if (!missing) break;
    if (item.Hashed()) {
      for (size_t slot = item.Hash() & (capacity - 1); slots[slot]; slot = (slot + 1) & (capacity - 1))
        if (AWanted[slots[slot] - 1]->Hash() == item.Hash()) ask(item, slots[slot] - 1);
    } else {
      for (size_t i = 0; i < AWanted.size(); ++i)
        if (AWanted[i]->Hashed()) ask(item, static_cast<uint32_t>(i));
    }
    for (uint32_t i : unhashed) ask(item, i);
  }
  return found;
}

}  // namespace attribute_tree
