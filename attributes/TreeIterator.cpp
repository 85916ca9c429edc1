#include "attributes/TreeIterator.h"

TTreeIterator::TTreeIterator(INode* ARoot, int32_t AOptions) : FRoot(ARoot), FOptions(AOptions) { Reset(); }

void TTreeIterator::Reset() {
  FCurrent = FRoot;
  FPosition = 0;
  if (FOptions & tiSkipRoot) Next();
}

void TTreeIterator::Next() {
  if (!FCurrent) return;
  if (ComPtr<INode> child = FCurrent->GetFirstChild()) {
    FCurrent = std::move(child);
    ++FPosition;
    return;
  }
  // Climb until a node below the root has a next sibling; the root's own siblings are outside.
  for (ComPtr<INode> node = FCurrent; node && !SameObject(node.get(), FRoot.get()); node = node->GetParent()) {
    if (ComPtr<INode> sibling = node->GetNextSibling()) {
      FCurrent = std::move(sibling);
      ++FPosition;
      return;
    }
  }
  FCurrent.reset();
}

bool TTreeIterator::IsDone() { return !FCurrent; }

ComPtr<INode> TTreeIterator::GetCurrent() { return FCurrent; }

int32_t TTreeIterator::GetPosition() { return FPosition; }
