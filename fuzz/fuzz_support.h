// What the harnesses share: an allocator that keeps the peak of live bytes and
// stops the run when one input asks for far more than its bytes justify.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "psd/allocator.h"

namespace kavri_fuzz {

// What one input may hold live at once: the reader's own floor for planes
// (16 MiB each, a few at a time) plus what compressed data can expand to.
inline uint64_t InputBudget(size_t inputSize) { return (uint64_t{256} << 20) + uint64_t{2100} * inputSize; }

// Keeps a value the optimiser would otherwise drop, so reads of it happen.
inline volatile uint32_t gSink = 0;
inline void Keep(uint32_t value) { gSink = gSink + value; }

class BoundedAllocator final : public psd::Allocator {
 public:
  // budget: the most live bytes one input may hold; beyond it the input is a finding.
  explicit BoundedAllocator(uint64_t budget) : budget_(budget) {}
  ~BoundedAllocator() override {
    // A block the reader forgot is a leak the sanitizer would also report;
    // saying so here names the allocator that saw it.
    if (!sizes_.empty()) {
      std::fprintf(stderr, "BoundedAllocator: %zu blocks not released\n", sizes_.size());
      std::abort();
    }
  }

  uint64_t peak = 0;

 private:
  void* AllocateBlockImpl(uint64_t size, uint64_t alignment) override {
    if (live_ + size > budget_) {
      std::fprintf(stderr, "BoundedAllocator: %llu bytes asked with %llu live, budget %llu\n",
                   static_cast<unsigned long long>(size), static_cast<unsigned long long>(live_),
                   static_cast<unsigned long long>(budget_));
      std::abort();
    }
    void* block = inner_.AllocateBlock(size, alignment);
    if (block == nullptr) return nullptr;
    sizes_[block] = size;
    live_ += size;
    if (live_ > peak) peak = live_;
    return block;
  }
  void ReleaseBlockImpl(void* block) override {
    if (block == nullptr) return;
    auto it = sizes_.find(block);
    if (it != sizes_.end()) {
      live_ -= it->second;
      sizes_.erase(it);
    }
    inner_.ReleaseBlock(block);
  }

  psd::MallocAllocator inner_;
  std::unordered_map<void*, uint64_t> sizes_;
  uint64_t live_ = 0;
  uint64_t budget_;
};

}  // namespace kavri_fuzz
