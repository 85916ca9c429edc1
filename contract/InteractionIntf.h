#pragma once
// A change of the map's tree that the host is about to make (a drop, an indent, a paste), shown
// to the plug-in first so that it can keep its task rules or refuse. Operations in slot order.
#include <cstdint>

#include "contract/LumetaSelectionIntf.h"

// The kinds after which task rules ask where the moved nodes end up; with the interaction comes
// a selection whose first node is its target. Under the target:
inline constexpr int32_t KInteractionsUnderTarget[] = {2, 15, 130};
// Under the target's nearest ancestor that the selection does not hold:
inline constexpr int32_t KInteractionUnderUnselectedAncestor = 129;
// Under the first node the interaction carries:
inline constexpr int32_t KInteractionUnderCarriedNode = 27;

struct IInteraction : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("8C6DDA21-1FAD-464B-BE40-D31DA7D3BA80");
  // The host's code for what is about to happen.
  virtual int32_t GetKind() = 0;
  // The nodes the interaction carries along; empty or null when it carries none.
  virtual ComPtr<INodeList> GetNodes() = 0;
};
