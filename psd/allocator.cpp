#include "psd/allocator.h"

#include <cstdlib>
#include <limits>
#if defined(_WIN32)
#include <malloc.h>
#endif

namespace psd {

void* MallocAllocator::AllocateBlockImpl(uint64_t size, uint64_t alignment) {
  if (size > std::numeric_limits<size_t>::max() || alignment == 0 || (alignment & (alignment - 1)) != 0) {
    return nullptr;
  }
  // Distinct blocks for size 0, as callers may compare them.
  const size_t bytes = size == 0 ? 1 : static_cast<size_t>(size);
  const size_t align = alignment < sizeof(void*) ? sizeof(void*) : static_cast<size_t>(alignment);
#if defined(_WIN32)
  return _aligned_malloc(bytes, align);
#else
  void* block = nullptr;
  if (posix_memalign(&block, align, bytes) != 0) return nullptr;
  return block;
#endif
}

void MallocAllocator::ReleaseBlockImpl(void* block) {
#if defined(_WIN32)
  _aligned_free(block);
#else
  std::free(block);
#endif
}

}  // namespace psd
