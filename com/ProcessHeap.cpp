#include "com/ProcessHeap.h"

#include <malloc.h>

void KeepFreedMemory() noexcept {
  // Blocks up to 32 MiB come from the heap rather than mappings of their own (glibc's largest
  // threshold), and up to 128 MiB free at the heap's top stays with the process.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
}
