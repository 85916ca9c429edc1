#pragma once
// Attributes are many and small: they come from pools of blocks per size instead of one heap block
// each. The pools keep freed memory for the next attributes and never give it back.
#include <cstddef>

class TAttributePool {
 public:
  // A block of ASize bytes; blocks above the pools' limit come from the heap.
  static void* Allocate(size_t ASize);
  // ASize must be the size the block was allocated with.
  static void Free(void* ABlock, size_t ASize) noexcept;
};

// Room from the attribute pools for containers that attributes keep, such as a structure's list
// of children: a record then costs no heap block besides its objects.
template <class T>
struct TAttributePoolAllocator {
  using value_type = T;
  TAttributePoolAllocator() noexcept = default;
  template <class U>
  TAttributePoolAllocator(const TAttributePoolAllocator<U>&) noexcept {}
  T* allocate(size_t ACount) { return static_cast<T*>(TAttributePool::Allocate(ACount * sizeof(T))); }
  void deallocate(T* AItems, size_t ACount) noexcept { TAttributePool::Free(AItems, ACount * sizeof(T)); }
  friend bool operator==(const TAttributePoolAllocator&, const TAttributePoolAllocator&) noexcept { return true; }
};
