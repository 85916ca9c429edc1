#include "host/NodeIndex.h"

#include <algorithm>
#include <utility>

namespace {
constexpr size_t KMinTable = 1024;
}  // namespace

bool TNodeIndex::Tabled(int64_t AID) const noexcept {
  if (AID < 0) return false;
  const size_t bound = std::max(KMinTable, 4 * (FCount + 1));
  return static_cast<uint64_t>(AID) < std::max(bound, FTable.size());
}

void TNodeIndex::Set(int64_t AID, TLumetaNode* ANode) {
  if (!Tabled(AID)) {
    if (FOutliers.insert_or_assign(AID, ANode).second) ++FCount;
    return;
  }
  const auto slot = static_cast<size_t>(AID);
  if (slot >= FTable.size()) FTable.resize(std::max(slot + 1, FTable.size() * 2), nullptr);
  // An ID once taken as an outlier stays one while it is indexed: a look-up asks the table first.
  if (const auto outlier = FOutliers.find(AID); outlier != FOutliers.end()) {
    outlier->second = ANode;
    return;
  }
  if (!FTable[slot]) ++FCount;
  FTable[slot] = ANode;
}

void TNodeIndex::Erase(int64_t AID) {
  if (AID >= 0 && static_cast<uint64_t>(AID) < FTable.size() && FTable[static_cast<size_t>(AID)]) {
    FTable[static_cast<size_t>(AID)] = nullptr;
    --FCount;
    return;
  }
  FCount -= FOutliers.erase(AID);
}

void TNodeIndex::Reserve(size_t ACount) {
  FTable.reserve(std::max(KMinTable, ACount + 1));
}

void TNodeIndex::Swap(TNodeIndex& AOther) noexcept {
  std::swap(FTable, AOther.FTable);
  std::swap(FOutliers, AOther.FOutliers);
  std::swap(FCount, AOther.FCount);
}
