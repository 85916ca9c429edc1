#pragma once
// A table of values keyed by node for the length of one schedule run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "contract/LumetaIntf.h"

// Open addressing over one array: a run notes a value for every task it reaches, and a hash map
// of nodes took a heap block per task and a cache miss per look-up. Entries are never removed,
// only their values reset, so a table holds as many slots as the distinct nodes it met. Not
// counted: the map holds its nodes while the run lasts.
template <class TValue>
class TNodeTable {
 public:
  // The node's value; null when it was never added.
  TValue* Find(const INode* ANode) noexcept {
    if (FSlots.empty()) return nullptr;
    for (size_t i = Home(ANode);; i = (i + 1) & Mask()) {
      TSlot& slot = FSlots[i];
      if (slot.Key == ANode) return &slot.Value;
      if (!slot.Key) return nullptr;
    }
  }
  // The node's value, made with TValue{} when the node is new.
  TValue& operator[](const INode* ANode) {
    if (TValue* found = Find(ANode)) return *found;
    // At most half full, so that a search meets an empty slot soon.
    if ((FCount + 1) * 2 > FSlots.size()) Grow();
    for (size_t i = Home(ANode);; i = (i + 1) & Mask())
      if (TSlot& slot = FSlots[i]; !slot.Key) {
        slot.Key = ANode;
        ++FCount;
        return slot.Value;
      }
  }
  size_t Count() const noexcept { return FCount; }
  // Forgets every node, keeping the room.
  void Clear() noexcept {
    if (FCount == 0) return;
    std::fill(FSlots.begin(), FSlots.end(), TSlot{});
    FCount = 0;
  }

 private:
  struct TSlot {
    const INode* Key = nullptr;
    TValue Value{};
  };

  size_t Mask() const noexcept { return FSlots.size() - 1; }
  // Nodes are heap objects: the low bits say little, so the address is mixed first.
  size_t Home(const INode* ANode) const noexcept {
    uint64_t x = reinterpret_cast<uintptr_t>(ANode);
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return static_cast<size_t>(x) & Mask();
  }
  void Grow() {
    std::vector<TSlot> old = std::exchange(FSlots, std::vector<TSlot>(FSlots.empty() ? 64 : FSlots.size() * 2));
    FCount = 0;
    for (TSlot& slot : old)
      if (slot.Key) (*this)[slot.Key] = std::move(slot.Value);
  }

  std::vector<TSlot> FSlots;  // a power of two in size
  size_t FCount = 0;
};
