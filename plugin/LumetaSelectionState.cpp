#include "plugin/LumetaSelectionState.h"

#include "contract/LumetaIntf.h"

TLumetaSelectionState::TLumetaSelectionState() : FSelectionSubSet(make<TLumetaSelectionSubSet>()) {}

TLumetaSelectionState::~TLumetaSelectionState() = default;

bool TLumetaSelectionState::AnyNotSummary() { return Any(ntNotSummary, KTraitsAny); }
bool TLumetaSelectionState::AnyCollapsedNotSummary() { return Any(ntNotSummary | ntCollapsed, KTraitsAll); }
bool TLumetaSelectionState::AnyRoot() { return Any(ntRoot, KTraitsAny); }
bool TLumetaSelectionState::AnyCollapsedRoot() { return Any(ntRoot | ntCollapsed, KTraitsAll); }
bool TLumetaSelectionState::AnySummary() { return Any(ntSummary, KTraitsAny); }
bool TLumetaSelectionState::AnyCollapsed() { return Any(ntCollapsed, KTraitsAny); }
bool TLumetaSelectionState::AllCollapsed() { return Every(ntCollapsed); }
bool TLumetaSelectionState::AllLeaves() { return Every(ntLeaf); }
bool TLumetaSelectionState::AnyAtMainLevel() { return Any(ntMainBranch, KTraitsAny); }

bool TLumetaSelectionState::AllHaveChildCount(int32_t ACount) {
  const int32_t count = SelectedCount();
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<INode> node = NodeAt(i);
    if (!node || node->GetChildCount() != ACount) return false;
  }
  return count > 0;
}

bool TLumetaSelectionState::AnyMainBranch() {
  const int32_t count = SelectedCount();
  for (int32_t i = 0; i < count; ++i)
    if (IsMainBranch(NodeAt(i).get())) return true;
  return false;
}

bool TLumetaSelectionState::FirstBelowRoot() {
  ComPtr<INode> first = NodeAt(0);
  return first && first->GetLevel() > 0;
}

bool TLumetaSelectionState::FirstIsSummary() {
  ComPtr<INode> first = NodeAt(0);
  return first && first->IsSummaryTask();
}

bool TLumetaSelectionState::IsNotEmpty() { return SelectedCount() > 0; }

bool TLumetaSelectionState::IsOneMainBranch() { return SelectedCount() == 1 && IsMainBranch(NodeAt(0).get()); }

bool TLumetaSelectionState::IsOnlySelected(INode* ANode) {
  return ANode && SelectedCount() == 1 && SameObject(FSelectionSubSet->Selection()->GetItem(0).get(), ANode);
}

void TLumetaSelectionState::SetSelection(ISelection* ASelection) { FSelectionSubSet->SetSelection(ASelection); }

bool TLumetaSelectionState::Any(int32_t ATraits, int32_t AMode) { return FSelectionSubSet->Count(ATraits, AMode) > 0; }

bool TLumetaSelectionState::Every(int32_t ATraits) {
  return FSelectionSubSet->Count(ATraits, KTraitsAll) == SelectedCount();
}

int32_t TLumetaSelectionState::SelectedCount() {
  ISelection* selection = FSelectionSubSet->Selection();
  return selection ? selection->GetCount() : 0;
}

ComPtr<INode> TLumetaSelectionState::NodeAt(int32_t AIndex) {
  ISelection* selection = FSelectionSubSet->Selection();
  return selection ? QueryAs<INode>(selection->GetItem(AIndex).get()) : nullptr;
}

bool TLumetaSelectionState::IsMainBranch(INode* ANode) {
  if (!ANode) return false;
  ComPtr<INode> parent = ANode->GetParent();
  return parent && SameObject(parent.get(), ANode->GetRoot().get());
}
