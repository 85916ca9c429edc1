#pragma once
// Pre-order walk of the nodes under a root through INode's first-child, next-sibling and parent
// links; the walk never leaves the root's subtree.
#include <cstdint>

#include "contract/LumetaAttributesIntf.h"
#include "com/AggregableObject.h"
#include "contract/LumetaIntf.h"

// Option bits of TTreeIterator.
enum : int32_t {
  tiSkipRoot = 2,  // Reset moves past the root at once, so the walk covers the descendants only
};

class TTreeIterator : public TImplements<TAggregableObject, ITreeIterator> {
 public:
  // Holds the root; starts reset. An empty root gives a walk that is done at once.
  explicit TTreeIterator(INode* ARoot, int32_t AOptions = 0);

  void Reset() override;
  // First child, else next sibling, else the next sibling of the nearest ancestor below the root
  // that has one; done on coming back to the root. Does nothing once done.
  void Next() override;
  bool IsDone() override;
  ComPtr<INode> GetCurrent() override;  // empty once done
  // The pre-order index of the current node, the root being 0 (so 1 right after a skipping Reset).
  int32_t GetPosition() override;

 private:
  ComPtr<INode> FRoot;
  ComPtr<INode> FCurrent;
  int32_t FOptions;
  int32_t FPosition = 0;
};
