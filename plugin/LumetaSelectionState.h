#pragma once
// Yes/no questions about the selected nodes, which the UI controller asks when it reacts to the
// host's map events. "Any" questions are false and "every" questions true for an empty selection.
#include <cstdint>

#include "plugin/LumetaSelectionSubSet.h"

struct ILumetaSelectionState : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("B68D73D2-F91D-4251-95B4-AFA9D58FB848");
  virtual bool AnyNotSummary() = 0;
  virtual bool AnyCollapsedNotSummary() = 0;
  virtual bool AnyRoot() = 0;
  virtual bool AnyCollapsedRoot() = 0;
  virtual bool AnySummary() = 0;
  virtual bool AnyCollapsed() = 0;
  virtual bool AllCollapsed() = 0;
  virtual bool AllLeaves() = 0;
  // Whether every selected node has that many children; false for an empty selection.
  virtual bool AllHaveChildCount(int32_t ACount) = 0;
  // Any node whose parent is the map's root.
  virtual bool AnyMainBranch() = 0;
  // The first selected node lies below the root (level above 0).
  virtual bool FirstBelowRoot() = 0;
  virtual bool FirstIsSummary() = 0;
  virtual bool IsNotEmpty() = 0;
  virtual bool IsOneMainBranch() = 0;
  // Exactly one node is selected and it is ANode (the same object).
  virtual bool IsOnlySelected(INode* ANode) = 0;
  // Any node at level 1.
  virtual bool AnyAtMainLevel() = 0;
  virtual void SetSelection(ISelection* ASelection) = 0;
};

class TLumetaSelectionState : public TImplements<TComObject, ILumetaSelectionState> {
 public:
  TLumetaSelectionState();
  ~TLumetaSelectionState() override;

  bool AnyNotSummary() override;
  bool AnyCollapsedNotSummary() override;
  bool AnyRoot() override;
  bool AnyCollapsedRoot() override;
  bool AnySummary() override;
  bool AnyCollapsed() override;
  bool AllCollapsed() override;
  bool AllLeaves() override;
  bool AllHaveChildCount(int32_t ACount) override;
  bool AnyMainBranch() override;
  bool FirstBelowRoot() override;
  bool FirstIsSummary() override;
  bool IsNotEmpty() override;
  bool IsOneMainBranch() override;
  bool IsOnlySelected(INode* ANode) override;
  bool AnyAtMainLevel() override;
  // Counted, through the subset object; may be empty.
  void SetSelection(ISelection* ASelection) override;

 private:
  bool Any(int32_t ATraits, int32_t AMode);
  bool Every(int32_t ATraits);
  int32_t SelectedCount();
  // The node at the index, or empty.
  ComPtr<INode> NodeAt(int32_t AIndex);
  static bool IsMainBranch(INode* ANode);

  ComPtr<TLumetaSelectionSubSet> FSelectionSubSet;
};
