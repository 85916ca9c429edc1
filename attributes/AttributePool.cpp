#include "attributes/AttributePool.h"

#include <sys/mman.h>

#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define LUMETA_ATTRIBUTE_POOLS 0  // every object its own heap block, so that misuse is caught
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMETA_ATTRIBUTE_POOLS 0
#endif
#endif
#ifndef LUMETA_ATTRIBUTE_POOLS
#define LUMETA_ATTRIBUTE_POOLS 1
#endif

#if LUMETA_ATTRIBUTE_POOLS
// Blocks of up to PoolLimit bytes in steps of PoolGranule, cut from chunks that are never given
// back. Each thread keeps its own free lists, so that no lock is taken; a block freed on another
// thread than its own joins that thread's lists. A chunk is one huge page where the system
// offers them: a new chunk then costs one page fault instead of 512, which on a virtual machine
// is most of what making a large map's attributes costs.
constexpr size_t PoolGranule = 16;
constexpr size_t PoolLimit = 512;
constexpr size_t PoolChunk = 2 * 1024 * 1024;
// Doubles and dates are 56 bytes, a tenth of a record's memory wasted in 64-byte blocks: that
// size has a class of its own, cut in pairs so that every other block stays 16-byte aligned (the
// second of a pair is 8-byte aligned, which is all its objects need).
constexpr size_t PairedSize = 56;
constexpr size_t PairedIndex = PoolLimit / PoolGranule;

size_t PoolIndex(size_t ASize) noexcept {
  if (ASize - (PairedSize - 7) < 8) return PairedIndex;
  return (ASize + PoolGranule - 1) / PoolGranule - 1;
}

struct TFreeBlock {
  TFreeBlock* Next;
};

struct TPools {
  TFreeBlock* Free[PairedIndex + 1] = {};
  char* Next = nullptr;
  char* End = nullptr;
};

thread_local TPools Pools;

// Every chunk stays listed, so that leak checkers see the memory in use.
void KeepChunk(void* AChunk) {
  static std::mutex lock;
  static auto* chunks = new std::vector<void*>();
  const std::lock_guard<std::mutex> guard(lock);
  chunks->push_back(AChunk);
}

// Out of line, so that taking a freed block, the common case, saves no registers.
[[gnu::noinline]] void* CutBlock(TPools& APools, size_t AIndex) {
  const size_t size = AIndex == PairedIndex ? 2 * PairedSize : (AIndex + 1) * PoolGranule;
  if (static_cast<size_t>(APools.End - APools.Next) < size) {
    void* chunk = std::aligned_alloc(PoolChunk, PoolChunk);
    if (!chunk) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(chunk, PoolChunk, MADV_HUGEPAGE);  // advice only: without huge pages, small ones do
#endif
    APools.Next = static_cast<char*>(chunk);
    APools.End = APools.Next + PoolChunk;
    KeepChunk(APools.Next);
  }
  char* block = APools.Next;
  APools.Next += size;
  if (AIndex == PairedIndex) {
    auto* second = reinterpret_cast<TFreeBlock*>(block + PairedSize);
    second->Next = APools.Free[PairedIndex];
    APools.Free[PairedIndex] = second;
  }
  return block;
}
#endif

}  // namespace

void* TAttributePool::Allocate(size_t ASize) {
#if LUMETA_ATTRIBUTE_POOLS
  if (ASize <= PoolLimit) {
    const size_t index = PoolIndex(ASize);
    TPools& pools = Pools;
    if (TFreeBlock* block = pools.Free[index]) {
      pools.Free[index] = block->Next;
      return block;
    }
    return CutBlock(pools, index);
  }
#endif
  return ::operator new(ASize);
}

void TAttributePool::Free(void* AObject, [[maybe_unused]] size_t ASize) noexcept {
  if (!AObject) return;
#if LUMETA_ATTRIBUTE_POOLS
  if (ASize <= PoolLimit) {
    const size_t index = PoolIndex(ASize);
    TPools& pools = Pools;
    auto* block = static_cast<TFreeBlock*>(AObject);
    block->Next = pools.Free[index];
    pools.Free[index] = block;
    return;
  }
#endif
  ::operator delete(AObject);  // unsized: clang declares the sized form only with -fsized-deallocation
}
