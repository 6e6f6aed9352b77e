// Positioned, asynchronous file access, each operation awaited by its End call.
#pragma once

#include <cstdint>

#include "psd/allocator.h"

namespace psd {

// Token for one outstanding read or write; null means the operation did not start.
struct PendingIoRecord;
using PendingIo = PendingIoRecord*;

class File {
 public:
  // allocator: for the file's per-operation records; not owned, must not be null.
  explicit File(Allocator* allocator);
  virtual ~File() = default;

  bool OpenForRead(const wchar_t* path);
  bool OpenForWrite(const wchar_t* path) { return OpenForWriteImpl(path); }
  bool Close() { return CloseImpl(); }
  PendingIo BeginRead(void* destination, uint32_t count, uint64_t position) {
    return BeginReadImpl(destination, count, position);
  }
  bool EndRead(PendingIo& token) { return EndReadImpl(token); }
  PendingIo BeginWrite(const void* source, uint32_t count, uint64_t position) {
    return BeginWriteImpl(source, count, position);
  }
  bool EndWrite(PendingIo& token) { return EndWriteImpl(token); }
  uint64_t QuerySize() { return QuerySizeImpl(); }

 protected:
  File(const File&) = default;
  File& operator=(const File&) = default;

  Allocator* allocator_;

 private:
  virtual bool OpenForReadImpl(const wchar_t* path) = 0;
  virtual bool OpenForWriteImpl(const wchar_t* path) = 0;
  virtual bool CloseImpl() = 0;
  virtual PendingIo BeginReadImpl(void* destination, uint32_t count, uint64_t position) = 0;
  virtual bool EndReadImpl(PendingIo& token) = 0;
  virtual PendingIo BeginWriteImpl(const void* source, uint32_t count, uint64_t position) = 0;
  virtual bool EndWriteImpl(PendingIo& token) = 0;
  virtual uint64_t QuerySizeImpl() = 0;
};

// One positioned read, awaited at once; the result is that of EndRead.
bool ReadAt(File* file, void* destination, uint32_t count, uint64_t position);

}  // namespace psd
