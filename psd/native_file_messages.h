// Texts shared by both NativeFile implementations.
#pragma once

namespace psd::native_file_messages {
inline constexpr const char* kTag = "[NativeFile]";
inline constexpr const char* kOpen = "Cannot obtain handle for file \"%ls\".";
inline constexpr const char* kClose = "Cannot close handle.";
inline constexpr const char* kBeginRead = "Cannot read %u bytes from file position %llu asynchronously.";
inline constexpr const char* kEndRead = "Failed to wait for previous asynchronous read operation.";
inline constexpr const char* kBeginWrite = "Cannot write %u bytes at file position %llu asynchronously.";
inline constexpr const char* kEndWrite = "Failed to wait for previous asynchronous write operation.";
inline constexpr const char* kSize = "Failed to retrieve file size.";
// Every operation's record: the size and alignment of an OVERLAPPED record.
inline constexpr unsigned kIoRecordSize = 32;
inline constexpr unsigned kIoRecordAlignment = 8;
}  // namespace psd::native_file_messages
