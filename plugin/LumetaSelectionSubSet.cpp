#include "plugin/LumetaSelectionSubSet.h"

#include "commands/SelectionData.h"
#include "contract/LumetaIntf.h"

namespace {

bool HasTrait(INode* ANode, int32_t ATrait) {
  switch (ATrait) {
    case ntMainBranch:
      return ANode->GetLevel() == 1;
    case ntSummary:
      return ANode->IsSummaryTask();
    case ntNotSummary:
      return !ANode->IsSummaryTask();
    case ntRoot:
      return !ANode->IsSummaryTask() && ANode->GetLevel() == 0;
    case ntCollapsed:
      return !ANode->IsExpanded();
    case ntLeaf:
      return !ANode->GetFirstChild();
    case ntLastSibling:
      return !ANode->GetNextSibling();
    default:
      return false;
  }
}

}  // namespace

bool NodeHasTraits(INode* ANode, int32_t ATraits, int32_t AMode) {
  if (!ANode) return false;
  bool started = false;
  bool result = false;
  for (int32_t trait = ntMainBranch; trait <= ntLastSibling; trait <<= 1) {
    if (!(ATraits & trait)) continue;
    const bool has = HasTrait(ANode, trait);
    result = !started ? has : AMode == KTraitsAll ? result && has : result || has;
    started = true;
  }
  return result;
}

ComPtr<ISelection> TLumetaSelectionSubSet::GetSubSet(int32_t ATraits, int32_t AMode) {
  ComPtr<ISelection> subset;
  Walk(ATraits, AMode, &subset);
  return subset;
}

void TLumetaSelectionSubSet::SetSelection(ISelection* ASelection) { FSelection = ASelection; }

int32_t TLumetaSelectionSubSet::Count(int32_t ATraits, int32_t AMode) { return Walk(ATraits, AMode, nullptr); }

int32_t TLumetaSelectionSubSet::Walk(int32_t ATraits, int32_t AMode, ComPtr<ISelection>* ASubSet) {
  if (!FSelection) return 0;
  int32_t matches = 0;
  const int32_t count = FSelection->GetCount();
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<IUnknown> item = FSelection->GetItem(i);
    ComPtr<INode> node = QueryAs<INode>(item.get());
    if (!NodeHasTraits(node.get(), ATraits, AMode)) continue;
    ++matches;
    if (!ASubSet) continue;
    if (!*ASubSet) {
      // The new selection belongs where the selection it comes from does.
      ComPtr<IProperties> properties = QueryAs<IProperties>(FSelection.get());
      *ASubSet = make<TData>(properties ? properties->GetOwner().get() : nullptr);
    }
    (*ASubSet)->Add(item.get());
  }
  return matches;
}
