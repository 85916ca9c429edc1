#pragma once
// Counting the selected nodes that have a combination of node traits, and handing them out as a
// selection of their own.
#include <cstdint>

#include "com/ComObject.h"
#include "contract/LumetaSelectionIntf.h"

// Node traits, bits of one integer, as the host's node queries answer them.
enum TNodeTrait : int32_t {
  ntMainBranch = 1,    // level 1: right below the map's root
  ntSummary = 2,       // a summary task
  ntNotSummary = 4,    // not a summary task
  ntRoot = 8,          // not a summary task, at level 0: the map's root
  ntCollapsed = 16,    // its children are hidden
  ntLeaf = 32,         // it has no child
  ntLastSibling = 64,  // it has no next sibling
};
// All requested traits must hold; any other mode lets one suffice.
inline constexpr int32_t KTraitsAll = 1;
inline constexpr int32_t KTraitsAny = 0;

// Whether the node has the traits, combined by the mode; an empty node has none. No trait
// requested is no match.
bool NodeHasTraits(INode* ANode, int32_t ATraits, int32_t AMode);

struct ILumetaSelectionSubSet : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("401F2E83-237E-4D88-B2C9-7CD35EDED721");
  // A new selection of the matching nodes in selection order; empty (not an empty selection) when
  // none matches.
  virtual ComPtr<ISelection> GetSubSet(int32_t ATraits, int32_t AMode) = 0;
  virtual void SetSelection(ISelection* ASelection) = 0;
};

class TLumetaSelectionSubSet : public TImplements<TComObject, ILumetaSelectionSubSet> {
 public:
  ComPtr<ISelection> GetSubSet(int32_t ATraits, int32_t AMode) override;
  // Counted; may be empty.
  void SetSelection(ISelection* ASelection) override;

  // The matching nodes; an entry that is not a node never matches. 0 without a selection.
  int32_t Count(int32_t ATraits, int32_t AMode);
  ISelection* Selection() const noexcept { return FSelection.get(); }

 private:
  // Counts, and with ASubSet collects the matches into a selection made on the first one.
  int32_t Walk(int32_t ATraits, int32_t AMode, ComPtr<ISelection>* ASubSet);

  ComPtr<ISelection> FSelection;
};
