// An allocator that counts its live blocks and bytes, keeps the peak of live
// bytes, and can fail a chosen allocation.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "psd/allocator.h"

namespace kavri_test {

class TrackingAllocator final : public psd::Allocator {
 public:
  // failAt: the index (from 0) of the first allocation to fail; -1 for none.
  explicit TrackingAllocator(int64_t failAt = -1) : failAt_(failAt) {}

  int64_t live = 0;
  int64_t allocations = 0;
  uint64_t liveBytes = 0;
  uint64_t peakBytes = 0;
  uint64_t largestBlock = 0;

 private:
  void* AllocateBlockImpl(uint64_t size, uint64_t alignment) override {
    const int64_t index = allocations++;
    if (failAt_ >= 0 && index >= failAt_) return nullptr;
    void* block = inner_.AllocateBlock(size, alignment);
    if (block != nullptr) {
      ++live;
      sizes_[block] = size;
      liveBytes += size;
      if (liveBytes > peakBytes) peakBytes = liveBytes;
      if (size > largestBlock) largestBlock = size;
    }
    return block;
  }
  void ReleaseBlockImpl(void* block) override {
    if (block != nullptr) {
      --live;
      auto it = sizes_.find(block);
      if (it != sizes_.end()) {
        liveBytes -= it->second;
        sizes_.erase(it);
      }
    }
    inner_.ReleaseBlock(block);
  }

  psd::MallocAllocator inner_;
  std::unordered_map<void*, uint64_t> sizes_;
  int64_t failAt_;
};

}  // namespace kavri_test
