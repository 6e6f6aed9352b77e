// An allocator that counts its live blocks and can fail a chosen allocation.
#pragma once

#include <cstdint>

#include "psd/allocator.h"

namespace kavri_test {

class TrackingAllocator final : public psd::Allocator {
 public:
  // failAt: the index (from 0) of the first allocation to fail; -1 for none.
  explicit TrackingAllocator(int64_t failAt = -1) : failAt_(failAt) {}

  int64_t live = 0;
  int64_t allocations = 0;

 private:
  void* AllocateBlockImpl(uint64_t size, uint64_t alignment) override {
    const int64_t index = allocations++;
    if (failAt_ >= 0 && index >= failAt_) return nullptr;
    void* block = inner_.AllocateBlock(size, alignment);
    if (block != nullptr) ++live;
    return block;
  }
  void ReleaseBlockImpl(void* block) override {
    if (block != nullptr) --live;
    inner_.ReleaseBlock(block);
  }

  psd::MallocAllocator inner_;
  int64_t failAt_;
};

}  // namespace kavri_test
