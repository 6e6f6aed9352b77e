// Windows NativeFile: overlapped I/O on a handle opened with the random-access
// hint; every operation is awaited on the handle itself.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>

#include "psd/diagnostics.h"
#include "psd/native_file.h"
#include "psd/native_file_messages.h"

namespace psd {

namespace msg = native_file_messages;

static_assert(sizeof(OVERLAPPED) == msg::kIoRecordSize, "the record is an OVERLAPPED");

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

OVERLAPPED* NewRecord(Allocator* allocator, uint64_t position) {
  auto* record = static_cast<OVERLAPPED*>(allocator->AllocateBlock(msg::kIoRecordSize, msg::kIoRecordAlignment));
  if (record == nullptr) return nullptr;
  // Cleared whole: stale Internal fields must not reach the kernel.
  std::memset(record, 0, sizeof *record);
  record->hEvent = nullptr;
  record->Offset = static_cast<DWORD>(position & 0xFFFFFFFFu);
  record->OffsetHigh = static_cast<DWORD>(position >> 32);
  return record;
}

bool Open(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, intptr_t& handle) {
  HANDLE h = INVALID_HANDLE_VALUE;
  if (path != nullptr) {
    h = CreateFileW(path, access, share, nullptr, disposition, FILE_FLAG_OVERLAPPED | FILE_FLAG_RANDOM_ACCESS,
                    nullptr);
  }
  handle = reinterpret_cast<intptr_t>(h);
  if (h == INVALID_HANDLE_VALUE) {
    ReportError(msg::kTag, msg::kOpen, path != nullptr ? path : L"");
    return false;
  }
  return true;
}

bool Await(HANDLE handle, PendingIo& token, Allocator* allocator, const char* failure) {
  if (token == nullptr) return false;
  auto* record = reinterpret_cast<OVERLAPPED*>(token);
  DWORD transferred = 0;
  const BOOL ok = GetOverlappedResult(handle, record, &transferred, TRUE);
  allocator->ReleaseBlock(record);
  if (!ok) {
    ReportError(msg::kTag, "%s", failure);
    return false;
  }
  return true;
}

}  // namespace

bool NativeFile::OpenForReadImpl(const wchar_t* path) {
  return Open(path, FILE_READ_DATA, FILE_SHARE_READ, OPEN_EXISTING, handle_);
}

bool NativeFile::OpenForWriteImpl(const wchar_t* path) {
  return Open(path, FILE_WRITE_DATA, FILE_SHARE_WRITE, CREATE_ALWAYS, handle_);
}

bool NativeFile::CloseImpl() {
  // The handle is forgotten once closed, so a second close cannot close a
  // handle the system has since given to another file.
  if (AsHandle(handle_) == INVALID_HANDLE_VALUE || !CloseHandle(AsHandle(handle_))) {
    ReportError(msg::kTag, msg::kClose);
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);
  return true;
}

PendingIo NativeFile::BeginReadImpl(void* destination, uint32_t count, uint64_t position) {
  OVERLAPPED* record = NewRecord(allocator_, position);
  DWORD transferred = 0;
  // ReadFile may report end of file at once (Windows) or through the wait (Wine).
  if (record != nullptr &&
      (ReadFile(AsHandle(handle_), destination, count, &transferred, record) || GetLastError() == ERROR_IO_PENDING)) {
    return reinterpret_cast<PendingIo>(record);
  }
  ReportError(msg::kTag, msg::kBeginRead, count, static_cast<unsigned long long>(position));
  allocator_->ReleaseBlock(record);
  return nullptr;
}

bool NativeFile::EndReadImpl(PendingIo& token) { return Await(AsHandle(handle_), token, allocator_, msg::kEndRead); }

PendingIo NativeFile::BeginWriteImpl(const void* source, uint32_t count, uint64_t position) {
  OVERLAPPED* record = NewRecord(allocator_, position);
  DWORD transferred = 0;
  if (record != nullptr &&
      (WriteFile(AsHandle(handle_), source, count, &transferred, record) || GetLastError() == ERROR_IO_PENDING)) {
    return reinterpret_cast<PendingIo>(record);
  }
  ReportError(msg::kTag, msg::kBeginWrite, count, static_cast<unsigned long long>(position));
  allocator_->ReleaseBlock(record);
  return nullptr;
}

bool NativeFile::EndWriteImpl(PendingIo& token) { return Await(AsHandle(handle_), token, allocator_, msg::kEndWrite); }

uint64_t NativeFile::QuerySizeImpl() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(AsHandle(handle_), &size)) {
    ReportError(msg::kTag, msg::kSize);
    return 0;
  }
  return static_cast<uint64_t>(size.QuadPart);
}

}  // namespace psd
