// The platform's file: Windows overlapped I/O, or POSIX positioned reads and
// writes elsewhere, with the same results and messages.
#pragma once

#include <cstdint>

#include "psd/file.h"

namespace psd {

class NativeFile final : public File {
 public:
  explicit NativeFile(Allocator* allocator) : File(allocator) {}
  // Member-wise copies share the handle; it is closed once, through any copy.
  NativeFile(const NativeFile&) = default;
  NativeFile& operator=(const NativeFile&) = default;
  // Does not close the handle.
  ~NativeFile() override = default;

 private:
  bool OpenForReadImpl(const wchar_t* path) override;
  bool OpenForWriteImpl(const wchar_t* path) override;
  bool CloseImpl() override;
  PendingIo BeginReadImpl(void* destination, uint32_t count, uint64_t position) override;
  bool EndReadImpl(PendingIo& token) override;
  PendingIo BeginWriteImpl(const void* source, uint32_t count, uint64_t position) override;
  bool EndWriteImpl(PendingIo& token) override;
  uint64_t QuerySizeImpl() override;

  // A Windows HANDLE or a POSIX descriptor; -1 (INVALID_HANDLE_VALUE) when closed.
  intptr_t handle_ = -1;
};

}  // namespace psd
