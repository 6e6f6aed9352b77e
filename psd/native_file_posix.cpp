// POSIX NativeFile: each Begin performs the positioned transfer at once and
// keeps its outcome in the operation's record; End reports it. So end of file
// shows up at End, as it does for overlapped reads.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "psd/diagnostics.h"
#include "psd/native_file.h"
#include "psd/native_file_messages.h"

namespace psd {

namespace msg = native_file_messages;

namespace {

struct PosixIoRecord {
  uint64_t position;
  uint32_t requested;
  uint32_t transferred;
  int32_t failed;  // errno, or -1 for end of file
  int32_t reserved[3];
};
static_assert(sizeof(PosixIoRecord) == msg::kIoRecordSize, "one record per operation, as on Windows");

// The path arrives as wide characters; open() wants the locale's multibyte form.
bool ToNarrowPath(const wchar_t* path, std::string& narrow) {
  std::mbstate_t state{};
  const wchar_t* source = path;
  const size_t length = std::wcsrtombs(nullptr, &source, 0, &state);
  if (length == static_cast<size_t>(-1)) return false;
  narrow.assign(length, '\0');
  source = path;
  state = std::mbstate_t{};
  std::wcsrtombs(narrow.data(), &source, length + 1, &state);
  return true;
}

bool OpenWith(const wchar_t* path, int flags, intptr_t& handle) {
  std::string narrow;
  int descriptor = -1;
  if (path != nullptr && ToNarrowPath(path, narrow)) {
    descriptor = ::open(narrow.c_str(), flags | O_CLOEXEC, 0666);
  }
  if (descriptor < 0) {
    handle = -1;
    ReportError(msg::kTag, msg::kOpen, path != nullptr ? path : L"");
    return false;
  }
  handle = descriptor;
  return true;
}

// Transfers count bytes (fewer only at end of file); returns the record's outcome.
template <typename Transfer>
void Perform(PosixIoRecord* record, Transfer transfer) {
  uint32_t done = 0;
  while (done < record->requested) {
    const ssize_t n = transfer(done, record->position + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      record->failed = errno;
      break;
    }
    if (n == 0) break;
    done += static_cast<uint32_t>(n);
  }
  record->transferred = done;
  // A transfer that starts at or beyond the end of the file moves nothing.
  if (record->failed == 0 && done == 0 && record->requested > 0) record->failed = -1;
}

}  // namespace

bool NativeFile::OpenForReadImpl(const wchar_t* path) { return OpenWith(path, O_RDONLY, handle_); }

bool NativeFile::OpenForWriteImpl(const wchar_t* path) {
  return OpenWith(path, O_WRONLY | O_CREAT | O_TRUNC, handle_);
}

bool NativeFile::CloseImpl() {
  // The handle is forgotten once closed: descriptors are reused at once, and a
  // second close must not close another file's.
  if (handle_ < 0 || ::close(static_cast<int>(handle_)) != 0) {
    ReportError(msg::kTag, msg::kClose);
    return false;
  }
  handle_ = -1;
  return true;
}

PendingIo NativeFile::BeginReadImpl(void* destination, uint32_t count, uint64_t position) {
  auto* record = static_cast<PosixIoRecord*>(allocator_->AllocateBlock(msg::kIoRecordSize, msg::kIoRecordAlignment));
  if (record == nullptr || handle_ < 0 || position > static_cast<uint64_t>(LLONG_MAX)) {
    ReportError(msg::kTag, msg::kBeginRead, count, static_cast<unsigned long long>(position));
    allocator_->ReleaseBlock(record);
    return nullptr;
  }
  std::memset(record, 0, sizeof *record);
  record->position = position;
  record->requested = count;
  const int descriptor = static_cast<int>(handle_);
  Perform(record, [&](uint32_t done, uint64_t at) {
    return ::pread(descriptor, static_cast<char*>(destination) + done, count - done, static_cast<off_t>(at));
  });
  return reinterpret_cast<PendingIo>(record);
}

bool NativeFile::EndReadImpl(PendingIo& token) {
  if (token == nullptr) return false;
  auto* record = reinterpret_cast<PosixIoRecord*>(token);
  const bool ok = record->failed == 0;
  allocator_->ReleaseBlock(record);
  if (!ok) ReportError(msg::kTag, msg::kEndRead);
  return ok;
}

PendingIo NativeFile::BeginWriteImpl(const void* source, uint32_t count, uint64_t position) {
  auto* record = static_cast<PosixIoRecord*>(allocator_->AllocateBlock(msg::kIoRecordSize, msg::kIoRecordAlignment));
  if (record == nullptr || handle_ < 0 || position > static_cast<uint64_t>(LLONG_MAX)) {
    ReportError(msg::kTag, msg::kBeginWrite, count, static_cast<unsigned long long>(position));
    allocator_->ReleaseBlock(record);
    return nullptr;
  }
  std::memset(record, 0, sizeof *record);
  record->position = position;
  record->requested = count;
  const int descriptor = static_cast<int>(handle_);
  Perform(record, [&](uint32_t done, uint64_t at) {
    return ::pwrite(descriptor, static_cast<const char*>(source) + done, count - done, static_cast<off_t>(at));
  });
  return reinterpret_cast<PendingIo>(record);
}

bool NativeFile::EndWriteImpl(PendingIo& token) {
  if (token == nullptr) return false;
  auto* record = reinterpret_cast<PosixIoRecord*>(token);
  const bool ok = record->failed == 0;
  allocator_->ReleaseBlock(record);
  if (!ok) ReportError(msg::kTag, msg::kEndWrite);
  return ok;
}

uint64_t NativeFile::QuerySizeImpl() {
  struct stat status;
  if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &status) != 0) {
    ReportError(msg::kTag, msg::kSize);
    return 0;
  }
  return static_cast<uint64_t>(status.st_size);
}

}  // namespace psd
