// Blocks of a requested size and alignment; the reader allocates only here.
#pragma once

#include <cstdint>

namespace psd {

class Allocator {
 public:
  virtual ~Allocator() = default;

  // Null when no memory is left; alignment is a power of two.
  void* AllocateBlock(uint64_t size, uint64_t alignment) { return AllocateBlockImpl(size, alignment); }
  // Accepts null.
  void ReleaseBlock(void* block) { ReleaseBlockImpl(block); }

 private:
  virtual void* AllocateBlockImpl(uint64_t size, uint64_t alignment) = 0;
  virtual void ReleaseBlockImpl(void* block) = 0;
};

// The C run time's aligned heap. Stateless; a size of 0 still yields a distinct block.
class MallocAllocator final : public Allocator {
 private:
  void* AllocateBlockImpl(uint64_t size, uint64_t alignment) override;
  void ReleaseBlockImpl(void* block) override;
};

}  // namespace psd
