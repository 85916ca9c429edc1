#include "attributes/ListAttribute.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "attributes/AttributePrefetch_p.h"
#include "attributes/LumetaAttributeFactory.h"
#include "attributes/MergeIndex_p.h"
#include "com/MemoryStream.h"

using namespace attribute_tree;

namespace {

std::vector<ComPtr<IAttribute>> ChildrenOf(IStructuredAttribute* AStructure) {
  std::vector<ComPtr<IAttribute>> children;
  const int32_t count = AStructure->GetChildCount();
  children.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) children.push_back(AStructure->GetChild(i));
  return children;
}

}  // namespace

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
    // Hashed while the comparison reads them: a second pass would read both lists again. A pair
    // that differs means a search follows, which needs every hash.
    bool hashed = false;
    size_t pairHash = 0;
    theirsFound[i] = oneClass ? mine.Object()->EqualToObjectHashing(*theirs.Object(), hashed, pairHash)
                              : mine.Item()->EqualTo(theirs.Item());
    mineFound[i] = oneClass ? theirsFound[i] : theirs.Item()->EqualTo(mine.Item());
    if (oneClass && theirsFound[i]) {
      mine.SetHash(hashed, pairHash);
      theirs.SetHash(hashed, pairHash);
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
