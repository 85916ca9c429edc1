#pragma once
// The nodes of a map by ID. IDs are handed out one after another, so most of them index a plain
// table: a look-up is one read, where a hash table took two scattered ones, and a large map's
// commands look their nodes up for every task they move and undo. IDs far beyond the map's size
// (a file may number its nodes so) go to a hash table instead, so that one such ID costs no room.
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

class TLumetaNode;

class TNodeIndex {
 public:
  TLumetaNode* Find(int64_t AID) const {
    if (AID >= 0 && static_cast<uint64_t>(AID) < FTable.size())
      if (TLumetaNode* node = FTable[static_cast<size_t>(AID)]) return node;
    if (FOutliers.empty()) return nullptr;
    const auto found = FOutliers.find(AID);
    return found == FOutliers.end() ? nullptr : found->second;
  }
  // Adds or replaces the node under AID.
  void Set(int64_t AID, TLumetaNode* ANode);
  void Erase(int64_t AID);
  size_t Size() const noexcept { return FCount; }
  void Reserve(size_t ACount);
  void Swap(TNodeIndex& AOther) noexcept;

 private:
  // Whether AID belongs in the table: below a bound that grows with the nodes held, so that the
  // table stays within a few times the room of the nodes it indexes.
  bool Tabled(int64_t AID) const noexcept;

  std::vector<TLumetaNode*> FTable;  // null where no node has the ID (or it is an outlier)
  std::unordered_map<int64_t, TLumetaNode*> FOutliers;
  size_t FCount = 0;
};
