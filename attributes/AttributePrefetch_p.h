#pragma once
// Prefetching ahead of walks over long lists of records.
#include <cstddef>
#include <span>

#include "attributes/MergeIndex_p.h"
#include "attributes/StructuredAttribute.h"

namespace attribute_tree {

// Long lists of records are walked faster than memory answers, since each record's children lie
// behind two pointers. Walking item AIndex, the item eight ahead is asked for, the child array of
// the one five ahead and the children of the one two ahead: one level per step, each fetched by
// the time the walk reaches it (one record's comparison is shorter than a memory round trip). Only hints: nothing is read that the walk would not read, and structures
// that have not made their children are left as they are.
constexpr size_t PrefetchFrom = 64;

inline void PrefetchChildArray(TAttribute* AItem) noexcept {
  TStructuredAttribute* structure = AItem ? AItem->AsStructure() : nullptr;
  if (!structure) return;
  // A record with slots is walked by its slots, whatever objects it has made.
  if (TRecordSlots* slots = structure->Slots()) {
    const char* first = reinterpret_cast<const char*>(slots);
    for (const char* line = first; line < first + slots->Bytes(); line += 64) __builtin_prefetch(line);
    return;
  }
  if (!structure->HasMadeChildren()) return;
  const std::span<const TStructuredAttribute::TChild> children = structure->ChildEntries();
  const char* first = reinterpret_cast<const char*>(children.data());
  const char* last = reinterpret_cast<const char*>(children.data() + children.size());
  for (const char* line = first; line < last; line += 64) __builtin_prefetch(line);
}

inline void PrefetchChildren(TAttribute* AItem) noexcept {
  TStructuredAttribute* structure = AItem ? AItem->AsStructure() : nullptr;
  if (!structure) return;
  // A record's slots hold their numbers inline; only a text too long to keep inline lies apart.
  if (TRecordSlots* slots = structure->Slots()) {
    for (const std::string& text : slots->AllTexts()) __builtin_prefetch(text.data());
    return;
  }
  if (!structure->HasMadeChildren()) return;
  for (const TStructuredAttribute::TChild& child : structure->ChildEntries()) __builtin_prefetch(child.Memory());
}

inline TAttribute* ObjectOf(const THashedItem& AItem) noexcept { return AItem.Object(); }
inline TAttribute* ObjectOf(const THashedItem* AItem) noexcept { return AItem->Object(); }
inline TAttribute* ObjectOf(const TStructuredAttribute::TChild& AChild) noexcept { return AChild.Object(); }

template <class TItems>
inline void PrefetchAhead(const TItems& AItems, size_t AIndex) noexcept {
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

}  // namespace attribute_tree
