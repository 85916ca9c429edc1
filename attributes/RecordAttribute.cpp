#include "attributes/RecordAttribute.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <span>
#include <utility>

#include "attributes/AttributeHash_p.h"
#include "attributes/LumetaAttributeFactory.h"
#include "attributes/ScalarAttributes.h"

using namespace attribute_tree;

TRecordAttribute::TRecordAttribute(std::span<const char* const> AChildNames, IUnknown* AController) noexcept
    : TImplements(AController), FChildNames(AChildNames) {}

TRecordAttribute::TRecordAttribute(std::span<const char* const> AChildNames, std::span<const TSlotKind> ALayout,
                                   IUnknown* AController)
    : TImplements(AController), FChildNames(AChildNames) {
  FSlots = TRecordSlots::Make(ALayout, this);
  DeferChildren();
}

TRecordAttribute::~TRecordAttribute() {
  // The children leave their slots, taking their values, while the block still stands.
  DropChildren();
  TRecordSlots::Free(std::exchange(FSlots, nullptr));
}

void TRecordAttribute::MakeChildren() {
  if (!FSlots) return;
  ReserveChildren(FSlots->Count());
  for (const TSlot& slot : FSlots->All()) {
    switch (slot.Kind) {
      case TSlotKind::Integer: AddSlotChild(make<TIntegerAttribute>()); break;
      case TSlotKind::Double: AddSlotChild(make<TDoubleAttribute>()); break;
      case TSlotKind::DateTime: AddSlotChild(make<TDateTimeAttribute>()); break;
      case TSlotKind::String: AddSlotChild(make<TStringAttribute>()); break;
      case TSlotKind::WordBool: AddSlotChild(make<TWordBoolAttribute>()); break;
    }
  }
}

void TRecordAttribute::AddSlotChild(ComPtr<TAttribute>&& AChild) {
  const size_t index = ChildEntries().size();
  if (!FSlots || index >= FSlots->Count()) throw EInvalidOperation("The record has no slot for another child");
  TSlot& slot = FSlots->Slots()[index];
  if (!AChild || !AChild->FitsSlot(slot.Kind)) throw EInvalidOperation("The child cannot hold its record's slot");
  TAttribute* object = AChild.get();
  AddChild(std::move(AChild));
  object->BindSlot(&slot);
}

bool TRecordAttribute::SlotsIntact() {
  // Children added beside the slots, or taken away, leave a record to be walked by its objects.
  return FSlots && Count() == FSlots->Count();
}

TRecordAttribute* TRecordAttribute::SlotTwin(TAttribute* AOther) {
  if (!FSlots || !AOther || !SameClassAs(*AOther)) return nullptr;
  auto* other = static_cast<TRecordAttribute*>(AOther);
  return SlotsIntact() && other->SlotsIntact() ? other : nullptr;
}

TRecordSlots* TRecordAttribute::LoadedSlots() {
  if (!SlotsIntact()) return nullptr;
  for (size_t i = 0; i < FSlots->Count(); ++i) LoadSlot(i);
  return FSlots;
}

void TRecordAttribute::LoadSlotFromDocument(size_t AIndex) {
  TSlot& slot = FSlots->Slots()[AIndex];
  // Without a document there is nothing to read: the slot is marked as its child would mark
  // itself, and no child object is made for it.
  ComPtr<IDocSource> source = GetDocSource();
  if (!source) {
    slot.Flags |= afLoaded;
    return;
  }
  // A source that reads slots fills them all at once, without objects.
  if (!HasMadeChildren())
    if (ComPtr<IRecordSlotSource> slots = QueryAs<IRecordSlotSource>(source.get())) {
      try {
        if (!slots->LoadSlots(this)) slot.Flags |= afLoaded;
      } catch (...) {
        slot.Flags &= ~afLoaded;
        throw;
      }
      return;
    }
  ChildAt(static_cast<int32_t>(AIndex))->EnsureLoaded();
}

namespace {

// Whether every slot has been read or set: a walk then never asks the document, and runs as one
// tight loop over the block.
bool AllLoaded(std::span<const TSlot> ASlots) noexcept {
  uint32_t all = afLoaded;
  for (const TSlot& slot : ASlots) all &= slot.Flags;
  return all != 0;
}

// Equal as the standard scalar of the slot's kind compares: a boolean by truth, not bits.
inline bool SameValue(TRecordSlots& AMine, const TSlot& AMineSlot, TRecordSlots& ATheirs, const TSlot& ATheirSlot) {
  switch (AMineSlot.Kind) {
    case TSlotKind::Integer: return AMineSlot.Integer == ATheirSlot.Integer;
    case TSlotKind::Double:
    case TSlotKind::DateTime: return AMineSlot.Real == ATheirSlot.Real;
    case TSlotKind::String: return AMine.Text(AMineSlot) == ATheirs.Text(ATheirSlot);
    case TSlotKind::WordBool: return (AMineSlot.WordBool != 0) == (ATheirSlot.WordBool != 0);
  }
  return false;
}

// The hash the standard scalar of the slot's kind gives, so that a record hashes as one whose
// children are objects.
inline size_t SlotHash(TRecordSlots& ABlock, const TSlot& ASlot) {
  switch (ASlot.Kind) {
    case TSlotKind::Integer: return std::hash<int32_t>{}(ASlot.Integer);
    case TSlotKind::Double:
    case TSlotKind::DateTime: return DoubleHash(ASlot.Real);
    case TSlotKind::String: return TextHash(ABlock.Text(ASlot));
    case TSlotKind::WordBool: return ASlot.WordBool != 0 ? 1 : 0;
  }
  return 0;
}

}  // namespace

void TRecordAttribute::AssignSlots(TRecordAttribute& ASource) {
  const std::span<TSlot> mine = FSlots->All(), theirs = ASource.FSlots->All();
  const bool loaded = AllLoaded(theirs);
  for (size_t i = 0; i < mine.size(); ++i) {
    if (!loaded) ASource.LoadSlot(i);
    // One class, one layout: a text has the same place among the texts of both blocks.
    if (mine[i].Kind == TSlotKind::String)
      FSlots->Text(mine[i]) = ASource.FSlots->Text(theirs[i]);
    else
      std::memcpy(&mine[i].Real, &theirs[i].Real, sizeof mine[i].Real);
    mine[i].Flags = theirs[i].Flags;
  }
}

bool TRecordAttribute::EqualSlots(TRecordAttribute& AOther) {
  TRecordSlots &mineBlock = *FSlots, &theirBlock = *AOther.FSlots;
  const std::span<TSlot> mine = mineBlock.All(), theirs = theirBlock.All();
  if (AllLoaded(mine) && AllLoaded(theirs)) {
    for (size_t i = 0; i < mine.size(); ++i)
      if (!SameValue(mineBlock, mine[i], theirBlock, theirs[i])) return false;
    return true;
  }
  // Loaded one at a time, as the children would be: a walk that stops early reads no further.
  for (size_t i = 0; i < mine.size(); ++i) {
    AOther.LoadSlot(i);
    LoadSlot(i);
    if (!SameValue(*FSlots, mine[i], *AOther.FSlots, theirs[i])) return false;
  }
  return true;
}

void TRecordAttribute::MergeSlots(TRecordAttribute& AOther) {
  const std::span<TSlot> mine = FSlots->All(), theirs = AOther.FSlots->All();
  const bool loaded = AllLoaded(mine) && AllLoaded(theirs);
  for (size_t i = 0; i < mine.size(); ++i) {
    if (mine[i].Flags & afMixed) continue;
    if (!loaded) {
      AOther.LoadSlot(i);
      LoadSlot(i);
    }
    if (!SameValue(*FSlots, mine[i], *AOther.FSlots, theirs[i])) mine[i].Flags |= afMixed;
  }
}

bool TRecordAttribute::EqualTo(IAttribute* AOther) {
  if (TRecordAttribute* twin = SlotTwin(FromInterface(AOther))) return EqualSlots(*twin);
  return TStructuredAttribute::EqualTo(AOther);
}

bool TRecordAttribute::IsModified() {
  if (!SlotsIntact()) return TStructuredAttribute::IsModified();
  if (FlagBits() & afModified) return true;
  const std::span<TSlot> slots = FSlots->All();
  return std::any_of(slots.begin(), slots.end(), [](const TSlot& ASlot) { return ASlot.Flags & afModified; });
}

void TRecordAttribute::SetFlagEx(uint32_t AMask, bool AOn, bool ARecursive) {
  if (!SlotsIntact()) return TStructuredAttribute::SetFlagEx(AMask, AOn, ARecursive);
  SetFlag(AMask, AOn);
  if (!ARecursive) return;
  for (TSlot& slot : FSlots->All()) slot.Flags = AOn ? slot.Flags | AMask : slot.Flags & ~AMask;
}

bool TRecordAttribute::GetValueHash(size_t& AHash) {
  if (!SlotsIntact()) return TStructuredAttribute::GetValueHash(AHash);
  const std::span<TSlot> slots = FSlots->All();
  if (!AllLoaded(slots))
    for (size_t i = 0; i < slots.size(); ++i) LoadSlot(i);
  TRecordSlots& block = *FSlots;
  size_t hash = block.Count();
  for (const TSlot& slot : slots) hash = CombineHash(hash, SlotHash(block, slot));
  AHash = hash;
  return true;
}

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
  if (TRecordAttribute* twin = SlotTwin(object)) {
    AssignSlots(*twin);
    return FinishAssign(ASource);
  }
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
  if (SlotTwin(&source))
    AssignSlots(source);
  else
    AssignChildren(source);
  FinishAssign(source.Self());
}

bool TRecordAttribute::EqualToObject(TAttribute& AOther) {
  if (!SameClassAs(AOther)) return TAttribute::EqualToObject(AOther);
  if (TRecordAttribute* twin = SlotTwin(&AOther)) return EqualSlots(*twin);
  return EqualChildren(static_cast<TRecordAttribute&>(AOther));
}

bool TRecordAttribute::EqualToObjectHashing(TAttribute& AOther, bool& AHashed, size_t& AHash) {
  TRecordAttribute* twin = SlotTwin(&AOther);
  if (!twin || !AllLoaded(FSlots->All()) || !AllLoaded(twin->FSlots->All()))
    return TStructuredAttribute::EqualToObjectHashing(AOther, AHashed, AHash);
  TRecordSlots &mineBlock = *FSlots, &theirBlock = *twin->FSlots;
  const std::span<TSlot> mine = mineBlock.All(), theirs = theirBlock.All();
  size_t hash = mineBlock.Count();
  for (size_t i = 0; i < mine.size(); ++i) {
    if (!SameValue(mineBlock, mine[i], theirBlock, theirs[i])) return false;
    hash = CombineHash(hash, SlotHash(mineBlock, mine[i]));
  }
  AHashed = true;
  AHash = hash;
  return true;
}

void TRecordAttribute::MergeObject(TAttribute& AOther) {
  if (!SameClassAs(AOther)) return TAttribute::MergeObject(AOther);
  if (TRecordAttribute* twin = SlotTwin(&AOther)) return MergeSlots(*twin);
  MergeChildren(static_cast<TRecordAttribute&>(AOther));
}

void TRecordAttribute::Merge(IAttribute* AOther) {
  TAttribute* object = FromInterface(AOther);
  if (TRecordAttribute* twin = SlotTwin(object)) return MergeSlots(*twin);
  if (object && object->AsStructure()) return MergeChildren(*object->AsStructure());
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
