#include "psd/file.h"

#include "psd/diagnostics.h"

namespace psd {

File::File(Allocator* allocator) : allocator_(allocator) { AssertNotNull(allocator); }

bool File::OpenForRead(const wchar_t* path) {
  AssertNotNull(path);
  return OpenForReadImpl(path);
}

bool ReadAt(File* file, void* destination, uint32_t count, uint64_t position) {
  PendingIo token = file->BeginRead(destination, count, position);
  return file->EndRead(token);
}

}  // namespace psd
