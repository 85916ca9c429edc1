#include "attributes/LumetaAttributes.h"

#include <cxxabi.h>
#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <typeinfo>
#include <unordered_map>
#include <utility>
#include <vector>

#include "attributes/LumetaAttributeFactory.h"
#include "attributes/TreeIterator.h"
#include "com/NumberText.h"
#include "com/ErrorInfo.h"
#include "com/OleDate.h"
#include "com/MemoryStream.h"
#include "html/HtmlParser.h"
#include "contract/LumetaIntf.h"

namespace {

std::string_view TrimAscii(std::string_view AText) {
  constexpr std::string_view blanks = " \t\r\n\f\v";
  const size_t first = AText.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return AText.substr(first, AText.find_last_not_of(blanks) - first + 1);
}


std::string DemangledClassName(const std::type_info& AType) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(AType.name(), nullptr, nullptr, &status),
                                                    std::free);
  std::string name = status == 0 && demangled ? demangled.get() : AType.name();
  const size_t scope = name.rfind("::");
  if (scope != std::string::npos) name.erase(0, scope + 2);
  return name;
}

std::string DebugLine(uint32_t AFlags, const std::string& AName, const std::string& AValue) {
  char flags[16];
  std::snprintf(flags, sizeof flags, "$%x ", AFlags);
  return flags + AName + ": " + AValue;
}

size_t CombineHash(size_t ASeed, size_t AValue) {
  return ASeed ^ (AValue + 0x9E3779B97F4A7C15ull + (ASeed << 6) + (ASeed >> 2));
}

// Values of a field are mostly short texts (states, priorities, names): those are mixed from a
// few fixed-size loads, a fraction of the cost of the general string hash, which longer texts keep.
uint64_t LoadWord(const char* AText) noexcept {
  uint64_t word;
  std::memcpy(&word, AText, 8);
  return word;
}

uint32_t LoadHalf(const char* AText) noexcept {
  uint32_t half;
  std::memcpy(&half, AText, 4);
  return half;
}

size_t TextHash(std::string_view AText) noexcept {
  const size_t size = AText.size();
  const char* text = AText.data();
  if (size > 32) return std::hash<std::string_view>{}(AText);
  uint64_t first, last;
  if (size >= 8) {
    // Overlapping loads cover every byte: 8..16 bytes by two words, 17..32 by four.
    first = LoadWord(text) ^ std::rotl(LoadWord(text + size - 8), 29);
    last = size > 16 ? LoadWord(text + 8) ^ std::rotl(LoadWord(text + size - 16), 13) : 0;
  } else if (size >= 4) {
    first = LoadHalf(text) | uint64_t(LoadHalf(text + size - 4)) << 32;
    last = 0;
  } else {
    first = size ? uint8_t(text[0]) | uint32_t(uint8_t(text[size / 2])) << 8 | uint32_t(uint8_t(text[size - 1])) << 16 : 0;
    last = 0;
  }
  uint64_t hash = (first ^ size * 0x9E3779B97F4A7C15ull) * 0xC2B2AE3D27D4EB4Full;
  hash = (std::rotl(hash, 31) ^ last) * 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(hash ^ (hash >> 29));
}

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

void HashItems(std::span<const TStructuredAttribute::TChild> AChildren, THashedItems& AHashed) {
  AHashed.clear();
  AHashed.reserve(AChildren.size());
  for (const TStructuredAttribute::TChild& child : AChildren) AHashed.emplace_back(child.Interface(), child.Object());
}

// Equal doubles hash alike (0.0 and -0.0 included); a multiply spreads the bits well enough for
// the merge index at a fraction of the cost of hashing the bytes.
size_t DoubleHash(double AValue) {
  if (AValue == 0) return 0;
  const uint64_t mixed = std::bit_cast<uint64_t>(AValue) * 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(mixed ^ (mixed >> 29));
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
std::vector<uint8_t> FindAmong(std::span<const THashedItem> AItems, const std::vector<const THashedItem*>& AWanted) {
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

// Long lists of records are walked faster than memory answers, since each record's children lie
// behind two pointers. Walking item AIndex, the item eight ahead is asked for, the child array of
// the one five ahead and the children of the one two ahead: one level per step, each fetched by
// the time the walk reaches it (one record's comparison is shorter than a memory round trip). Only hints: nothing is read that the walk would not read, and structures
// that have not made their children are left as they are.
constexpr size_t PrefetchFrom = 64;

void PrefetchChildArray(TAttribute* AItem) noexcept {
  TStructuredAttribute* structure = AItem ? AItem->AsStructure() : nullptr;
  if (!structure || !structure->HasMadeChildren()) return;
  const std::span<const TStructuredAttribute::TChild> children = structure->ChildEntries();
  const char* first = reinterpret_cast<const char*>(children.data());
  const char* last = reinterpret_cast<const char*>(children.data() + children.size());
  for (const char* line = first; line < last; line += 64) __builtin_prefetch(line);
}

void PrefetchChildren(TAttribute* AItem) noexcept {
  TStructuredAttribute* structure = AItem ? AItem->AsStructure() : nullptr;
  if (!structure || !structure->HasMadeChildren()) return;
  for (const TStructuredAttribute::TChild& child : structure->ChildEntries()) __builtin_prefetch(child.Memory());
}

TAttribute* ObjectOf(const THashedItem& AItem) noexcept { return AItem.Object(); }
TAttribute* ObjectOf(const THashedItem* AItem) noexcept { return AItem->Object(); }
TAttribute* ObjectOf(const TStructuredAttribute::TChild& AChild) noexcept { return AChild.Object(); }

template <class TItems>
void PrefetchAhead(const TItems& AItems, size_t AIndex) noexcept {
  // A record's walk reads its first 128 bytes (its interfaces' table pointers lie at the end),
  // three lines when it does not start one.
  if (AIndex + 8 < AItems.size())
    if (const char* item = reinterpret_cast<const char*>(ObjectOf(AItems[AIndex + 8]))) {
      __builtin_prefetch(item);
      __builtin_prefetch(item + 64);
      __builtin_prefetch(item + 127);
    }
  if (AIndex + 5 < AItems.size()) PrefetchChildArray(ObjectOf(AItems[AIndex + 5]));
  if (AIndex + 2 < AItems.size()) PrefetchChildren(ObjectOf(AItems[AIndex + 2]));
}

std::vector<ComPtr<IAttribute>> ChildrenOf(IStructuredAttribute* AStructure) {
  std::vector<ComPtr<IAttribute>> children;
  const int32_t count = AStructure->GetChildCount();
  children.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) children.push_back(AStructure->GetChild(i));
  return children;
}

// Not an interface: asked with this GUID, an attribute answers its TAttribute object.
constexpr GUID AttributeObjectIid = MakeGuid("8A1F4C52-3B7E-4D09-9E61-2C5B7D3A0F14");

}  // namespace

// ---------------------------------------------------------------------------------------------
// Attribute pools

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define LUMETA_ATTRIBUTE_POOLS 0  // every object its own heap block, so that misuse is caught
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMETA_ATTRIBUTE_POOLS 0
#endif
#endif
#ifndef LUMETA_ATTRIBUTE_POOLS
#define LUMETA_ATTRIBUTE_POOLS 1
#endif

#if LUMETA_ATTRIBUTE_POOLS
// Blocks of up to PoolLimit bytes in steps of PoolGranule, cut from chunks that are never given
// back. Each thread keeps its own free lists, so that no lock is taken; a block freed on another
// thread than its own joins that thread's lists. A chunk is one huge page where the system
// offers them: a new chunk then costs one page fault instead of 512, which on a virtual machine
// is most of what making a large map's attributes costs.
constexpr size_t PoolGranule = 16;
constexpr size_t PoolLimit = 512;
constexpr size_t PoolChunk = 2 * 1024 * 1024;
// Doubles and dates are 56 bytes, a tenth of a record's memory wasted in 64-byte blocks: that
// size has a class of its own, cut in pairs so that every other block stays 16-byte aligned (the
// second of a pair is 8-byte aligned, which is all its objects need).
constexpr size_t PairedSize = 56;
constexpr size_t PairedIndex = PoolLimit / PoolGranule;

size_t PoolIndex(size_t ASize) noexcept {
  if (ASize - (PairedSize - 7) < 8) return PairedIndex;
  return (ASize + PoolGranule - 1) / PoolGranule - 1;
}

struct TFreeBlock {
  TFreeBlock* Next;
};

struct TPools {
  TFreeBlock* Free[PairedIndex + 1] = {};
  char* Next = nullptr;
  char* End = nullptr;
};

thread_local TPools Pools;

// Every chunk stays listed, so that leak checkers see the memory in use.
void KeepChunk(void* AChunk) {
  static std::mutex lock;
  static auto* chunks = new std::vector<void*>();
  const std::lock_guard<std::mutex> guard(lock);
  chunks->push_back(AChunk);
}

// Out of line, so that taking a freed block, the common case, saves no registers.
[[gnu::noinline]] void* CutBlock(TPools& APools, size_t AIndex) {
  const size_t size = AIndex == PairedIndex ? 2 * PairedSize : (AIndex + 1) * PoolGranule;
  if (static_cast<size_t>(APools.End - APools.Next) < size) {
    void* chunk = std::aligned_alloc(PoolChunk, PoolChunk);
    if (!chunk) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(chunk, PoolChunk, MADV_HUGEPAGE);  // advice only: without huge pages, small ones do
#endif
    APools.Next = static_cast<char*>(chunk);
    APools.End = APools.Next + PoolChunk;
    KeepChunk(APools.Next);
  }
  char* block = APools.Next;
  APools.Next += size;
  if (AIndex == PairedIndex) {
    auto* second = reinterpret_cast<TFreeBlock*>(block + PairedSize);
    second->Next = APools.Free[PairedIndex];
    APools.Free[PairedIndex] = second;
  }
  return block;
}
#endif

}  // namespace

void* TAttribute::operator new(size_t ASize) {
#if LUMETA_ATTRIBUTE_POOLS
  if (ASize <= PoolLimit) {
    const size_t index = PoolIndex(ASize);
    TPools& pools = Pools;
    if (TFreeBlock* block = pools.Free[index]) {
      pools.Free[index] = block->Next;
      return block;
    }
    return CutBlock(pools, index);
  }
#endif
  return ::operator new(ASize);
}

void TAttribute::operator delete(void* AObject, [[maybe_unused]] size_t ASize) noexcept {
  if (!AObject) return;
#if LUMETA_ATTRIBUTE_POOLS
  if (ASize <= PoolLimit) {
    const size_t index = PoolIndex(ASize);
    TPools& pools = Pools;
    auto* block = static_cast<TFreeBlock*>(AObject);
    block->Next = pools.Free[index];
    pools.Free[index] = block;
    return;
  }
#endif
  ::operator delete(AObject);  // unsized: clang declares the sized form only with -fsized-deallocation
}

// ---------------------------------------------------------------------------------------------
// TAttribute

TAttribute::~TAttribute() = default;

std::string TAttribute::ClassName() const { return DemangledClassName(typeid(*this)); }

namespace {

// FromInterface's answers, by the vtable of the interface asked: one vtable means one class with
// the interface at one place in it, so its object lies at the same distance from the interface
// pointer in every object of the class. Only found objects are kept.
struct TObjectOffset {
  const void* Table = nullptr;
  ptrdiff_t Offset = 0;
};
constexpr size_t ObjectOffsetSlots = 64;
thread_local TObjectOffset ObjectOffsets[ObjectOffsetSlots];

TObjectOffset& ObjectOffsetSlot(const void* ATable) noexcept {
  return ObjectOffsets[(reinterpret_cast<uintptr_t>(ATable) >> 4) % ObjectOffsetSlots];
}

}  // namespace

TAttribute* TAttribute::FromInterface(IAttribute* AAttribute) noexcept {
  if (!AAttribute) return nullptr;
  const void* table = *reinterpret_cast<const void* const*>(AAttribute);
  TObjectOffset& slot = ObjectOffsetSlot(table);
  if (slot.Table == table) {
    auto* attribute = reinterpret_cast<TAttribute*>(reinterpret_cast<char*>(AAttribute) + slot.Offset);
    // An aggregated object asks its controller, which may answer otherwise: asked below.
    if (!attribute->GetController()) return attribute;
  }
  void* object = nullptr;
  if (AAttribute->QueryInterface(AttributeObjectIid, &object) != S_OK || !object) return nullptr;
  auto* attribute = static_cast<TAttribute*>(object);
  attribute->Release();
  // An attribute aggregated into another attribute would hear the outer one answer; only the
  // object that owns this very interface pointer counts.
  if (static_cast<IAttribute*>(attribute) != AAttribute) return nullptr;
  if (!attribute->GetController())
    slot = {table, reinterpret_cast<char*>(attribute) - reinterpret_cast<char*>(AAttribute)};
  return attribute;
}

bool TAttribute::FindInterface(const GUID& AIid, void** AObject) noexcept {
  if (AIid == AttributeObjectIid) {
    *AObject = this;
    return true;
  }
  return TImplements::FindInterface(AIid, AObject);
}

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

bool TAttribute::IsMergedView() { return FFlags & afMergedView; }

ComPtr<IDocSource> TAttribute::GetDocSource() { return QueryAs<IDocSource>(GetHostObject().get()); }

int32_t TAttribute::GetIndex() {
  ComPtr<IStructuredAttribute> owner = QueryAs<IStructuredAttribute>(RawOwner());
  return owner ? owner->IndexOf(Self()) : 0;
}

bool TAttribute::IsMixed() { return FFlags & afMixed; }

bool TAttribute::IsModified() { return FFlags & afModified; }

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

bool TAttribute::HasState2() { return FFlags & afState2; }

bool TAttribute::HasFlag(uint32_t AMask) { return (FFlags & AMask) != 0; }

bool TAttribute::IsCleared() { return FFlags & afCleared; }

bool TAttribute::IsLoaded() { return FFlags & afLoaded; }

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
  if (FFlags & afLoaded) return;
  FFlags |= afLoaded;
  const bool wasModified = IsModified();
  try {
    if (ComPtr<IDocSource> source = GetDocSource()) source->LoadAttribute(Self());
  } catch (...) {
    FFlags &= ~afLoaded;
    throw;
  }
  // What the document holds is not an edit, however the source chose to store it.
  if (!wasModified) SetFlagEx(afModified, false, true);
}

void TAttribute::AssignError(IAttribute* ASource) {
  throw EConvertError("Cannot assign " + ClassNameOf(ASource) + " to " + ClassName());
}

void TAttribute::AssignTo(IAttribute*) {}

uint32_t TAttribute::GetFlags() { return FFlags; }

void TAttribute::SetFlags(uint32_t AFlags) { FFlags = AFlags; }

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

// ---------------------------------------------------------------------------------------------
// TSimpleAttribute

uint32_t TSimpleAttribute::LoadFromStream(IStream* AStream) {
  void* address = ValueAddress();
  const uint32_t size = ValueSize();
  if (!address) throw ENotImplemented();
  uint8_t buffer[16];
  if (size > sizeof buffer) throw ENotImplemented();
  ReadBuffer(AStream, buffer, size);
  std::memcpy(address, buffer, size);
  SetFlagBits(afLoaded, true);
  return size;
}

uint32_t TSimpleAttribute::SaveToStream(IStream* AStream) {
  CheckLoaded();
  void* address = ValueAddress();
  if (!address) throw ENotImplemented();
  WriteBuffer(AStream, address, ValueSize());
  return ValueSize();
}

// ---------------------------------------------------------------------------------------------
// TIntegerAttribute

TIntegerAttribute::TIntegerAttribute(IUnknown* AController) noexcept : TScalarAttribute(AController) {}

TVariant TIntegerAttribute::GetAsValue() { return TVariant(std::in_place_type<int32_t>, GetValue()); }

void TIntegerAttribute::LoadFromString(const std::string& AText) { SetValue(ReadText(AText).value_or(-1)); }

std::optional<int32_t> TIntegerAttribute::ReadText(std::string_view AText) {
  const std::optional<int64_t> value = ParseInteger<int64_t>(AText, TNumberSyntax::Lenient);
  const bool fits = value && *value >= std::numeric_limits<int32_t>::min() && *value <= std::numeric_limits<int32_t>::max();
  return fits ? std::optional<int32_t>(static_cast<int32_t>(*value)) : std::nullopt;
}

std::string TIntegerAttribute::SaveToString() { return std::to_string(GetValue()); }

bool TIntegerAttribute::GetValueHash(size_t& AHash) {
  AHash = std::hash<int32_t>{}(HashedValue<TIntegerAttribute>());
  return true;
}

// ---------------------------------------------------------------------------------------------
// TDoubleAttribute

TDoubleAttribute::TDoubleAttribute(IUnknown* AController) noexcept : TScalarAttribute(AController) {}

TVariant TDoubleAttribute::GetAsValue() { return TVariant(std::in_place_type<double>, GetValue()); }

void TDoubleAttribute::LoadFromString(const std::string& AText) { SetValue(ReadText(AText).value_or(0.0)); }

std::optional<double> TDoubleAttribute::ReadText(std::string_view AText) { return ParseFloat(AText, TNumberSyntax::Lenient); }

std::string TDoubleAttribute::SaveToString() { return ShortestFloatText(GetValue()); }

std::string TDoubleAttribute::DebugValueText() {
  char text[64];
  std::snprintf(text, sizeof text, "%.16g", GetValue());
  return text;
}

bool TDoubleAttribute::GetValueHash(size_t& AHash) {
  AHash = DoubleHash(HashedValue<TDoubleAttribute>());
  return true;
}

// ---------------------------------------------------------------------------------------------
// TDateTimeAttribute

TDateTimeAttribute::TDateTimeAttribute(IUnknown* AController) noexcept : TScalarAttribute(AController) {}

TVariant TDateTimeAttribute::GetAsValue() { return TVariantDate{GetValue()}; }

void TDateTimeAttribute::LoadFromString(const std::string& AText) {
  if (TrimAscii(AText).empty()) return;
  SetValue(ReadText(AText).value_or(0.0));
}

std::optional<double> TDateTimeAttribute::ReadText(std::string_view AText) { return XmlTextToDateTime(AText); }

std::string TDateTimeAttribute::SaveToString() { return DateTimeToXmlText(GetValue()); }

void TDateTimeAttribute::SaveToText(std::string& AText) {
  if (typeid(*this) != typeid(TDateTimeAttribute)) return TAttribute::SaveToText(AText);
  char text[KXmlDateTimeChars];
  AText.assign(text, PutXmlDateTime(GetValue(), text));
}

std::string TDateTimeAttribute::DebugValueText() {
  const double value = GetValue();
  try {
    const TDateTimeParts parts = DecodeDateTime(value);
    char text[48];
    std::snprintf(text, sizeof text, "'%04d-%02d-%02d %02d:%02d:%02d'", parts.Year, parts.Month, parts.Day, parts.Hour,
                  parts.Minute, parts.Second);
    return text;
  } catch (const ELumetaError&) {
    char text[64];
    std::snprintf(text, sizeof text, "%.16g", value);
    return text;
  }
}

bool TDateTimeAttribute::GetValueHash(size_t& AHash) {
  AHash = DoubleHash(HashedValue<TDateTimeAttribute>());
  return true;
}

// ---------------------------------------------------------------------------------------------
// TStringAttribute

TStringAttribute::TStringAttribute(IUnknown* AController) noexcept : TScalarAttribute(AController) {}

std::string TStringAttribute::AsPlainText(int32_t AOptions) { return HtmlToPlainText(GetValue(), (AOptions & 4) != 0); }

TVariant TStringAttribute::GetAsValue() { return GetValue(); }

void TStringAttribute::LoadFromString(const std::string& AText) { SetValue(AText); }

std::string TStringAttribute::SaveToString() { return GetValue(); }

uint32_t TStringAttribute::LoadFromStream(IStream* AStream) {
  uint32_t bytes = 0;
  FValue = ReadUtf16String(AStream, &bytes);
  SetFlagBits(afLoaded, true);
  return bytes;
}

uint32_t TStringAttribute::SaveToStream(IStream* AStream) {
  CheckLoaded();
  return WriteUtf16String(AStream, FValue);
}

bool TStringAttribute::GetValueHash(size_t& AHash) {
  // Our very class hashes its text in place rather than a copy.
  if (typeid(*this) == typeid(TStringAttribute)) {
    CheckLoaded();
    AHash = TextHash(FValue);
  } else {
    AHash = TextHash(GetValue());
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// TWordBoolAttribute

TWordBoolAttribute::TWordBoolAttribute(IUnknown* AController) noexcept : TScalarAttribute(AController) {}

TVariant TWordBoolAttribute::GetAsValue() { return TVariant(std::in_place_type<bool>, GetValue()); }

void TWordBoolAttribute::LoadFromString(const std::string& AText) { SetValue(ReadText(AText).value_or(false)); }

std::optional<bool> TWordBoolAttribute::ReadText(std::string_view AText) {
  // The two texts a save writes, without the copy the general reading makes.
  if (AText == "true" || AText == "false") return AText[0] == 't';
  std::string text(TrimAscii(AText));
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char AChar) { return std::tolower(AChar); });
  if (text == "true" || text == "false") return text[0] == 't';
  const std::optional<int64_t> number = ParseInteger<int64_t>(text, TNumberSyntax::Lenient);
  if (!number) return std::nullopt;
  return *number != 0;
}

std::string TWordBoolAttribute::SaveToString() { return GetValue() ? "true" : "false"; }

uint32_t TWordBoolAttribute::LoadFromStream(IStream* AStream) {
  const uint32_t bytes = TSimpleAttribute::LoadFromStream(AStream);
  if (FValue != 0) FValue = -1;
  return bytes;
}

bool TWordBoolAttribute::GetValueHash(size_t& AHash) {
  AHash = HashedValue<TWordBoolAttribute>() ? 1 : 0;
  return true;
}

// ---------------------------------------------------------------------------------------------
// TNodeReferenceAttribute

ComPtr<INode> TNodeReferenceAttribute::GetValue() {
  CheckLoaded();
  if (!FNode && !FReferenceText.empty()) Resolve();
  return FNode;
}

void TNodeReferenceAttribute::SetValue(INode* ANode) {
  FNode = ANode;
  FReferenceText.clear();
  SetFlagBits(afModified | afLoaded, true);
  Changed(0);
}

std::string TNodeReferenceAttribute::GetReferenceText() {
  CheckLoaded();
  return FNode ? FNode->GetID() : FReferenceText;
}

void TNodeReferenceAttribute::Resolve() {
  ComPtr<INode> host = QueryAs<INode>(GetHostObject().get());
  if (!host) return;
  if (ComPtr<INodeLookup> lookup = QueryAs<INodeLookup>(host.get())) {
    if ((FNode = lookup->FindNodeByID(FReferenceText))) FReferenceText.clear();
    return;
  }
  ComPtr<INode> root = host->GetRoot();
  ComPtr<TTreeIterator> walk = make<TTreeIterator>(root ? root.get() : host.get());
  for (; !walk->IsDone(); walk->Next()) {
    ComPtr<INode> node = walk->GetCurrent();
    if (node->GetID() == FReferenceText) {
      FNode = std::move(node);
      FReferenceText.clear();
      return;
    }
  }
}

void TNodeReferenceAttribute::Assign(IAttribute* ASource) {
  ComPtr<INodeReferenceAttribute> source = QueryAs<INodeReferenceAttribute>(ASource);
  if (!source) return TAttribute::Assign(ASource);
  if (ComPtr<INode> node = source->GetValue()) {
    SetValue(node.get());
  } else {
    LoadFromString(source->GetReferenceText());
  }
  SetFlags(ASource->GetFlags());
}

bool TNodeReferenceAttribute::EqualTo(IAttribute* AOther) {
  ComPtr<INodeReferenceAttribute> other = QueryAs<INodeReferenceAttribute>(AOther);
  if (!other) return false;
  ComPtr<INode> mine = GetValue();
  ComPtr<INode> theirs = other->GetValue();
  if (mine && theirs) return SameObject(mine.get(), theirs.get());
  return GetReferenceText() == other->GetReferenceText();
}

TVariant TNodeReferenceAttribute::GetAsValue() { return GetReferenceText(); }

void TNodeReferenceAttribute::LoadFromString(const std::string& AText) {
  FNode.reset();
  FReferenceText = AText;
  SetFlagBits(afModified | afLoaded, true);
  Changed(0);
}

std::string TNodeReferenceAttribute::SaveToString() { return GetReferenceText(); }

uint32_t TNodeReferenceAttribute::LoadFromStream(IStream* AStream) {
  uint32_t bytes = 0;
  std::string text = ReadUtf16String(AStream, &bytes);
  FNode.reset();
  FReferenceText = std::move(text);
  SetFlagBits(afLoaded, true);
  return bytes;
}

uint32_t TNodeReferenceAttribute::SaveToStream(IStream* AStream) { return WriteUtf16String(AStream, GetReferenceText()); }

GUID TNodeReferenceAttribute::GetClassID() { return uuidof<INodeReferenceAttribute>(); }

// The identifier text: equal references name the same node, which has one identifier.
bool TNodeReferenceAttribute::GetValueHash(size_t& AHash) {
  AHash = std::hash<std::string>{}(GetReferenceText());
  return true;
}

namespace {

// The standard scalar classes recognised by their vtable, so that hashing a record hashes their
// stored values in place instead of calling each child: a merge of long lists hashes most of
// their records. Only objects of exactly these classes match (a subclass has a table of its own),
// and the hash is the one those classes' GetValueHash gives.
template <class T>
struct TScalarAccess : T {
  // Names the protected members through a derived class; never made.
  static constexpr auto Value = &TScalarAccess::FValue;
  static constexpr auto Loaded = &TScalarAccess::CheckLoaded;
};

const void* TableOf(const TAttribute& AObject) noexcept { return *reinterpret_cast<const void* const*>(&AObject); }

template <class T>
const void* TableOfClass() noexcept {
  const T probe;
  return TableOf(probe);
}

struct TScalarTables {
  const void* Integer = TableOfClass<TIntegerAttribute>();
  const void* Double = TableOfClass<TDoubleAttribute>();
  const void* DateTime = TableOfClass<TDateTimeAttribute>();
  const void* String = TableOfClass<TStringAttribute>();
  const void* WordBool = TableOfClass<TWordBoolAttribute>();
};

template <class T>
auto& StoredOf(TAttribute& AObject) {
  T& object = static_cast<T&>(AObject);
  (object.*TScalarAccess<T>::Loaded)();
  return object.*TScalarAccess<T>::Value;
}

// False when the object is of none of those classes.
bool ScalarHash(const TScalarTables& AKnown, TAttribute& AObject, size_t& AHash) {
  const void* table = TableOf(AObject);
  if (table == AKnown.Integer)
    AHash = std::hash<int32_t>{}(StoredOf<TIntegerAttribute>(AObject));
  else if (table == AKnown.Double)
    AHash = DoubleHash(StoredOf<TDoubleAttribute>(AObject));
  else if (table == AKnown.DateTime)
    AHash = DoubleHash(StoredOf<TDateTimeAttribute>(AObject));
  else if (table == AKnown.String)
    AHash = TextHash(StoredOf<TStringAttribute>(AObject));
  else if (table == AKnown.WordBool)
    AHash = StoredOf<TWordBoolAttribute>(AObject) != 0 ? 1 : 0;
  else
    return false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TStructuredAttribute

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
  if (AIndex < 0 || AIndex > Count()) throw EListError::OutOfBounds(AIndex);
  FChildren.emplace(FChildren.begin() + AIndex, ComPtr<IAttribute>(AChild), FromInterface(AChild));  // made by Count
  AChild->SetOwner(Self());
}

bool TStructuredAttribute::EqualChildren(TStructuredAttribute& AOther) {
  const int32_t count = GetChildCount();
  if (AOther.GetChildCount() != count) return false;
  const size_t size = static_cast<size_t>(count);
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
  static const TScalarTables known;
  for (const TChild& child : children) {
    size_t childHash = 0;
    TAttribute* object = child.Object();
    if (!object || !(ScalarHash(known, *object, childHash) || object->GetValueHash(childHash))) return false;
    hash = CombineHash(hash, childHash);
  }
  AHash = hash;
  return true;
}

void TStructuredAttribute::FinishAssign(IAttribute* ASource) {
  constexpr uint32_t copied = afCleared | afModified;
  SetFlags((GetFlags() & ~copied) | (ASource->GetFlags() & copied) | afLoaded);
}

// ---------------------------------------------------------------------------------------------
// TRecordAttribute

TRecordAttribute::TRecordAttribute(std::span<const char* const> AChildNames, IUnknown* AController) noexcept
    : TImplements(AController), FChildNames(AChildNames) {}

ComPtr<IAttribute> TRecordAttribute::AddChildOfType(const GUID& AIid) {
  ComPtr<IAttribute> child = AttributeFactory()->CreateAttribute(AIid);
  AddChild(child.get());
  return child;
}

std::string TRecordAttribute::GetChildCaption(int32_t AIndex) { return GetChildName(AIndex); }

std::string TRecordAttribute::GetChildName(int32_t AIndex) {
  if (AIndex < 0 || static_cast<size_t>(AIndex) >= FChildNames.size() || !FChildNames[AIndex]) return {};
  return FChildNames[AIndex];
}

int32_t TRecordAttribute::GetChildCount() { return Count(); }

void TRecordAttribute::Apply(IAttribute* ASource) {
  if (!ASource || ASource->IsCleared()) {
    for (int32_t i = 0; i < Count(); ++i) ChildAt(i)->Assign(nullptr);
    return;
  }
  ComPtr<IRecordAttribute> source = QueryAs<IRecordAttribute>(ASource);
  if (!source) return Assign(ASource);
  const int32_t count = std::min(Count(), source->GetChildCount());
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<IAttribute> sourceChild = source->GetChild(i);
    if (sourceChild->IsModified() && !sourceChild->IsMixed()) ChildAt(i)->Apply(sourceChild.get());
  }
}

void TRecordAttribute::Assign(IAttribute* ASource) {
  if (!ASource) return TAttribute::Assign(nullptr);
  if (ASource == Self()) return;
  // One of our own records (most sources are) is copied child object to child object, found
  // without counted queries.
  TAttribute* object = FromInterface(ASource);
  TStructuredAttribute* structure = object ? object->AsStructure() : nullptr;
  if (structure && structure->ImplementsInterface(uuidof<IRecordAttribute>())) {
    AssignChildren(*structure);
    return FinishAssign(ASource);
  }
  ComPtr<IRecordAttribute> source = QueryAs<IRecordAttribute>(ASource);
  if (!source) return TAttribute::Assign(ASource);
  const int32_t count = std::min(Count(), source->GetChildCount());
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<IAttribute> sourceChild = source->GetChild(i);
    ChildAt(i)->Assign(sourceChild.get());
  }
  FinishAssign(ASource);
}

void TRecordAttribute::AssignChildren(TStructuredAttribute& ASource) {
  const size_t count = static_cast<size_t>(std::min(Count(), ASource.GetChildCount()));
  const std::span<const TChild> mine = ChildEntries(), theirs = ASource.ChildEntries();
  for (size_t i = 0; i < count; ++i) {
    TAttribute* target = mine[i].Object();
    TAttribute* source = theirs[i].Object();
    if (target && source)
      target->AssignObject(*source);
    else
      mine[i].Interface()->Assign(theirs[i].Interface());
  }
}

void TRecordAttribute::MergeChildren(TStructuredAttribute& AOther) {
  const size_t otherCount = static_cast<size_t>(AOther.GetChildCount());
  const std::span<const TChild> mine = ChildEntries(), theirs = AOther.ChildEntries();
  for (size_t i = 0; i < mine.size(); ++i) {
    if (i >= otherCount)
      mine[i].Interface()->Merge(nullptr);
    else if (mine[i].Object() && theirs[i].Object())
      mine[i].Object()->MergeObject(*theirs[i].Object());
    else
      mine[i].Interface()->Merge(theirs[i].Interface());
  }
}

void TRecordAttribute::AssignObject(TAttribute& ASource) {
  if (&ASource == this || !SameClassAs(ASource)) return TAttribute::AssignObject(ASource);
  auto& source = static_cast<TRecordAttribute&>(ASource);
  AssignChildren(source);
  FinishAssign(source.Self());
}

bool TRecordAttribute::EqualToObject(TAttribute& AOther) {
  if (!SameClassAs(AOther)) return TAttribute::EqualToObject(AOther);
  return EqualChildren(static_cast<TRecordAttribute&>(AOther));
}

void TRecordAttribute::MergeObject(TAttribute& AOther) {
  if (!SameClassAs(AOther)) return TAttribute::MergeObject(AOther);
  MergeChildren(static_cast<TRecordAttribute&>(AOther));
}

void TRecordAttribute::Merge(IAttribute* AOther) {
  if (TAttribute* object = FromInterface(AOther); object && object->AsStructure()) return MergeChildren(*object->AsStructure());
  ComPtr<IStructuredAttribute> other = QueryAs<IStructuredAttribute>(AOther);
  if (!other) {
    for (int32_t i = 0; i < Count(); ++i) ChildAt(i)->SetMixed(true);
    return;
  }
  const int32_t otherCount = other->GetChildCount();
  for (int32_t i = 0; i < Count(); ++i) {
    ComPtr<IAttribute> otherChild = i < otherCount ? other->GetChild(i) : ComPtr<IAttribute>();
    ChildAt(i)->Merge(otherChild.get());
  }
}

GUID TRecordAttribute::GetClassID() { return uuidof<IRecordAttribute>(); }

// ---------------------------------------------------------------------------------------------
// TListAttribute

TListAttribute::TListAttribute(const GUID& AItemType, IUnknown* AController) noexcept
    : TImplements(AController), FItemType(AItemType) {}

ComPtr<IAttribute> TListAttribute::AppendItem() {
  ComPtr<IAttribute> item = AttributeFactory()->CreateAttribute(FItemType);
  AddChild(item.get());
  return item;
}

ComPtr<IAttribute> TListAttribute::Add() {
  CheckLoaded();  // an item added before loading would be lost or doubled by the load
  ComPtr<IAttribute> item = AppendItem();
  SetFlagBits(afModified, true);
  return item;
}

bool TListAttribute::Contains(IAttribute* AItem) { return IndexOfValue(AItem) >= 0; }

std::string TListAttribute::ItemName(TAttribute& AItem) {
  if (!FItemNames) FItemNames = std::make_unique<std::unordered_map<const TAttribute*, int32_t>>();
  // An entry is valid only while the item's bit is set: SetOwner clears the bit, so an entry left
  // by an item that moved or went away is overwritten, never read.
  if (AItem.FOwner & TAttribute::NameKeptBit) {
    const auto found = FItemNames->find(&AItem);
    if (found != FItemNames->end()) return std::to_string(found->second);
  }
  const int32_t index = IndexOf(AItem.Self());
  if (index < 0) return {};
  (*FItemNames)[&AItem] = index + 1;
  AItem.FOwner |= TAttribute::NameKeptBit;
  return std::to_string(index + 1);
}

GUID TListAttribute::GetItemType() { return FItemType; }

void TListAttribute::Resize(int32_t ADelta) {
  if (ADelta < 0) {
    const int32_t count = std::min(GetChildCount(), -std::max(ADelta, -std::numeric_limits<int32_t>::max()));
    for (int32_t i = 0; i < count; ++i) Delete(Count() - 1);
  } else {
    for (int32_t i = 0; i < ADelta; ++i) Add();
  }
}

void TListAttribute::SetCount(int32_t ACount) {
  const int64_t delta = int64_t(std::max(ACount, 0)) - GetChildCount();
  Resize(static_cast<int32_t>(delta));
}

int32_t TListAttribute::IndexOfValue(IAttribute* AItem) {
  const int32_t count = GetChildCount();
  for (int32_t i = 0; i < count; ++i)
    if (ChildAt(i)->EqualTo(AItem)) return i;
  return -1;
}

void TListAttribute::SetItemType(const GUID& AIid) {
  if (AIid == FItemType) return;
  Clear();
  FItemType = AIid;
}

void TListAttribute::Apply(IAttribute* ASource) {
  if (ASource == Self()) return;
  if (!ASource || ASource->IsCleared()) {
    if (IsMergedView()) {
      for (int32_t i = 0; i < GetChildCount(); ++i) ChildAt(i)->SetCleared(true);
    } else {
      Clear();
      SetCleared(true);
    }
    return;
  }
  ComPtr<IListAttribute> source = QueryAs<IListAttribute>(ASource);
  if (!source) return;

  if (IsMergedView()) {
    // The items themselves serve as the snapshot: they leave the list and are copied back.
    std::vector<ComPtr<IAttribute>> snapshot;
    for (int32_t i = 0; i < GetChildCount(); ++i) snapshot.emplace_back(ChildAt(i));
    if (snapshot.empty()) return;
    Clear();
    const std::vector<ComPtr<IAttribute>> sourceItems = ChildrenOf(source.get());
    const bool hash = snapshot.size() + sourceItems.size() > LinearLimit;
    const std::vector<THashedItem> olds = HashItems(snapshot, hash), edits = HashItems(sourceItems, hash);
    const TValueIndex inSource(edits), inSnapshot(olds);
    for (const THashedItem& old : olds) {
      if (inSource.Contains(old)) continue;
      ComPtr<IAttribute> item = Add();
      item->Assign(old.Item());
      item->SetCleared(true);
    }
    for (const THashedItem& edited : edits) {
      if (!inSnapshot.Contains(edited)) continue;
      ComPtr<IAttribute> item = Add();
      item->Assign(edited.Item());
      item->SetCleared(false);
    }
    return;
  }

  // Only what was edited reaches this list: new values are added, cleared ones removed.
  const int32_t count = source->GetChildCount();
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<IAttribute> edited = source->GetChild(i);
    if (!edited->IsModified()) continue;
    if (edited->IsCleared()) {
      const int32_t index = IndexOfValue(edited.get());
      if (index >= 0) Delete(index);
    } else if (!edited->IsMixed() && IndexOfValue(edited.get()) < 0) {
      Add()->Assign(edited.get());
    }
  }
}

void TListAttribute::Assign(IAttribute* ASource) {
  if (!ASource) {
    SetCleared(true);
    Clear();
    return;
  }
  if (ASource == Self()) return;
  ComPtr<IListAttribute> source = QueryAs<IListAttribute>(ASource);
  if (!source) return TAttribute::Assign(ASource);
  if (FItemType == GUID_NULL) FItemType = source->GetItemType();
  Clear();
  if (!ASource->IsCleared()) {
    const int32_t count = source->GetChildCount();
    TAttribute* object = FromInterface(ASource);
    TStructuredAttribute* structure = object ? object->AsStructure() : nullptr;
    ReserveChildren(count);
    const std::span<const TChild> theirs = structure ? structure->ChildEntries() : std::span<const TChild>();
    for (int32_t i = 0; i < count; ++i) {
      if (theirs.size() > PrefetchFrom) PrefetchAhead(theirs, static_cast<size_t>(i));
      ComPtr<IAttribute> item = AppendItem();
      TAttribute* mine = LastChildObject();
      TAttribute* their = static_cast<size_t>(i) < theirs.size() ? theirs[static_cast<size_t>(i)].Object() : nullptr;
      if (mine && their)
        mine->AssignObject(*their);
      else
        item->Assign(source->GetChild(i).get());
    }
  }
  FinishAssign(ASource);
}

bool TListAttribute::EqualTo(IAttribute* AOther) {
  return QueryAs<IListAttribute>(AOther) && TStructuredAttribute::EqualTo(AOther);
}

void TListAttribute::Merge(IAttribute* AOther) {
  ComPtr<IListAttribute> other = QueryAs<IListAttribute>(AOther);
  if (!other) {
    for (int32_t i = 0; i < GetChildCount(); ++i) ChildAt(i)->SetMixed(true);
    return;
  }
  if (AOther == Self()) return;
  GetChildCount();  // loads
  // The other list's items are read in place when it is one of ours; it holds them meanwhile.
  TAttribute* otherObject = FromInterface(AOther);
  TStructuredAttribute* otherStructure = otherObject ? otherObject->AsStructure() : nullptr;
  std::vector<ComPtr<IAttribute>> otherItems;
  if (otherStructure)
    otherStructure->GetChildCount();
  else
    otherItems = ChildrenOf(other.get());
  const size_t otherCount = otherStructure ? otherStructure->ChildEntries().size() : otherItems.size();
  const bool hash = ChildEntries().size() + otherCount > LinearLimit;
  // Own items before any is added: appending moves the entries.
  TScratchItems mineScratch, theirsScratch;
  THashedItems& mineHashed = *mineScratch;
  THashedItems& theirsHashed = *theirsScratch;
  HashItems(ChildEntries(), mineHashed);
  if (otherStructure) {
    HashItems(otherStructure->ChildEntries(), theirsHashed);
  } else {
    const std::vector<THashedItem> items = HashItems(otherItems, false);
    theirsHashed.assign(items.begin(), items.end());
  }

  // Lists merged are mostly copies of one another, item for item. Items at the same place that
  // are equal need no search, and two equal objects of one class hash alike, so such a pair is
  // hashed once. EqualTo between objects of one class is taken as symmetric.
  const size_t common = hash ? std::min(mineHashed.size(), theirsHashed.size()) : 0;
  std::vector<uint8_t> theirsFound(common), mineFound(common), pairHashed(common);
  for (size_t i = 0; i < common; ++i) {
    if (common > PrefetchFrom) {
      PrefetchAhead(mineHashed, i);
      PrefetchAhead(theirsHashed, i);
    }
    THashedItem& mine = mineHashed[i];
    THashedItem& theirs = theirsHashed[i];
    const bool oneClass = mine.Object() && theirs.Object() && mine.Object()->SameClassAs(*theirs.Object());
    theirsFound[i] = oneClass ? mine.Object()->EqualToObject(*theirs.Object()) : mine.Item()->EqualTo(theirs.Item());
    mineFound[i] = oneClass ? theirsFound[i] : theirs.Item()->EqualTo(mine.Item());
    // Hashed while the comparison has just read them: a second pass would read both lists again.
    // A pair that differs means a search follows, which needs every hash.
    if (oneClass && theirsFound[i]) {
      mine.MakeHash();
      theirs.SetHash(mine.Hashed(), mine.Hash());
      pairHashed[i] = 1;
    } else if (!theirsFound[i] || !mineFound[i]) {
      mine.MakeHash();
      theirs.MakeHash();
      pairHashed[i] = 1;
    }
  }
  const auto allFound = [&](const std::vector<uint8_t>& AFound, size_t ACount) {
    return ACount == common && std::find(AFound.begin(), AFound.end(), 0) == AFound.end();
  };
  const bool theirsAllFound = allFound(theirsFound, theirsHashed.size());
  const bool mineAllFound = allFound(mineFound, mineHashed.size());
  // The rest are hashed only when a search follows (an unhashed item is compared with every item).
  if (hash && (!theirsAllFound || !mineAllFound)) {
    for (THashedItems* items : {&mineHashed, &theirsHashed})
      for (size_t i = 0; i < items->size(); ++i) {
        if (i < common && pairHashed[i]) continue;
        (*items)[i].MakeHash();
      }
  }

  if (!theirsAllFound) {
    std::vector<const THashedItem*> wanted;
    for (size_t i = 0; i < theirsHashed.size(); ++i)
      if (!(i < common && theirsFound[i])) wanted.push_back(&theirsHashed[i]);
    const std::vector<uint8_t> inMine = FindAmong(mineHashed, wanted);
    // Two equal items of the other list are added once: the second finds the first's copy.
    TValueIndex added({});
    for (size_t i = 0; i < wanted.size(); ++i) {
      if (wanted.size() > PrefetchFrom) PrefetchAhead(wanted, i);
      if (inMine[i] || added.Contains(*wanted[i])) continue;
      ComPtr<IAttribute> item = AppendItem();
      THashedItem copy(item.get(), LastChildObject());
      const bool oneClass = copy.Object() && wanted[i]->Object() && copy.Object()->SameClassAs(*wanted[i]->Object());
      if (oneClass)
        copy.Object()->AssignObject(*wanted[i]->Object());
      else
        item->Assign(wanted[i]->Item());
      item->SetMixed(true);
      // A copy of one class is equal to its source, so it hashes alike.
      if (oneClass && wanted[i]->Hashed()) {
        copy.SetHash(true, wanted[i]->Hash());
      } else if (hash) {
        copy.MakeHash();
      }
      added.Add(copy);
    }
  }

  // The items just added came from the other list, so only the earlier ones can be missing there.
  if (!mineAllFound) {
    std::vector<const THashedItem*> wanted;
    for (size_t i = 0; i < mineHashed.size(); ++i)
      if (!(i < common && mineFound[i])) wanted.push_back(&mineHashed[i]);
    const std::vector<uint8_t> inTheirs = FindAmong(theirsHashed, wanted);
    for (size_t i = 0; i < wanted.size(); ++i)
      if (!inTheirs[i]) wanted[i]->Item()->SetMixed(true);
  }
}

uint32_t TListAttribute::LoadFromStream(IStream* AStream) {
  uint8_t head[4];
  ReadBuffer(AStream, head, 4);
  const uint32_t count = uint32_t(head[0]) | uint32_t(head[1]) << 8 | uint32_t(head[2]) << 16 | uint32_t(head[3]) << 24;
  Clear();
  uint32_t bytes = 4;
  // Item by item, so a corrupt count fails at the first item the stream cannot fill.
  for (uint32_t i = 0; i < count; ++i) {
    ComPtr<IAttribute> item = AppendItem();
    bytes += LoadChild(AStream, item.get());
  }
  SetFlagBits(afLoaded, true);
  return bytes;
}

uint32_t TListAttribute::SaveToStream(IStream* AStream) {
  const uint32_t count = static_cast<uint32_t>(GetChildCount());
  const uint8_t head[4] = {uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16), uint8_t(count >> 24)};
  WriteBuffer(AStream, head, 4);
  uint32_t bytes = 4;
  for (uint32_t i = 0; i < count; ++i) bytes += SaveChild(AStream, ChildAt(static_cast<int32_t>(i)));
  return bytes;
}

GUID TListAttribute::GetClassID() { return uuidof<IListAttribute>(); }
