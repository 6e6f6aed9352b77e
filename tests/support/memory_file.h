// A psd::File over bytes in memory, for reader tests and fuzzing. Reads that
// start at or beyond the end fail; reads that cross it succeed with fewer bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "psd/file.h"

namespace kavri_test {

class MemoryFile final : public psd::File {
 public:
  MemoryFile(psd::Allocator* allocator, std::vector<uint8_t> bytes) : File(allocator), bytes_(std::move(bytes)) {}

  int readCount = 0;  // Begin/End read pairs performed

 private:
  struct Pending {
    bool ok;
  };

  bool OpenForReadImpl(const wchar_t*) override { return true; }
  bool OpenForWriteImpl(const wchar_t*) override { return false; }
  bool CloseImpl() override { return true; }
  psd::PendingIo BeginReadImpl(void* destination, uint32_t count, uint64_t position) override {
    ++readCount;
    auto* pending = static_cast<Pending*>(allocator_->AllocateBlock(sizeof(Pending), 8));
    if (pending == nullptr) return nullptr;
    pending->ok = position < bytes_.size() || count == 0;
    if (position < bytes_.size()) {
      const uint64_t available = bytes_.size() - position;
      std::memcpy(destination, bytes_.data() + position, static_cast<size_t>(count < available ? count : available));
    }
    return reinterpret_cast<psd::PendingIo>(pending);
  }
  bool EndReadImpl(psd::PendingIo& token) override {
    if (token == nullptr) return false;
    auto* pending = reinterpret_cast<Pending*>(token);
    const bool ok = pending->ok;
    allocator_->ReleaseBlock(pending);
    return ok;
  }
  psd::PendingIo BeginWriteImpl(const void*, uint32_t, uint64_t) override { return nullptr; }
  bool EndWriteImpl(psd::PendingIo&) override { return false; }
  uint64_t QuerySizeImpl() override { return bytes_.size(); }

  std::vector<uint8_t> bytes_;
};

}  // namespace kavri_test
