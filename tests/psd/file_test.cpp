#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "psd/file_cursor.h"
#include "psd/native_file.h"
#include "tests/support/test_files.h"

namespace {

using kavri_test::Widen;
using kavri_test::WriteScratchFile;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

std::vector<uint8_t> Counting(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  return bytes;
}

TEST(MallocAllocator, GivesAlignedDistinctBlocksAndIgnoresNull) {
  psd::MallocAllocator allocator;
  void* a = allocator.AllocateBlock(0, 16);
  void* b = allocator.AllocateBlock(0, 16);
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a, b);
  for (uint64_t alignment : {1u, 2u, 4u, 8u, 16u, 64u}) {
    void* block = allocator.AllocateBlock(33, alignment);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignment, 0u);
    allocator.ReleaseBlock(block);
  }
  allocator.ReleaseBlock(a);
  allocator.ReleaseBlock(b);
  allocator.ReleaseBlock(nullptr);
  EXPECT_EQ(allocator.AllocateBlock(~uint64_t{0} - 64, 16), nullptr);
}

TEST(NativeFile, EndReadOnNullTokenFailsSilently) {
  psd::MallocAllocator allocator;
  psd::NativeFile file(&allocator);
  psd::PendingIo token = nullptr;
  CaptureStdout();
  EXPECT_FALSE(file.EndRead(token));
  EXPECT_FALSE(file.EndWrite(token));
  EXPECT_EQ(GetCapturedStdout(), "");
}

TEST(NativeFile, MissingPathFailsToOpenAndThenToClose) {
  psd::MallocAllocator allocator;
  psd::NativeFile file(&allocator);
  const std::string path = kavri_test::ScratchFolder() + "does-not-exist.psd";
  CaptureStdout();
  EXPECT_FALSE(file.OpenForRead(Widen(path).c_str()));
  EXPECT_FALSE(file.Close());
  EXPECT_EQ(GetCapturedStdout(), "\n***ERROR*** [NativeFile] Cannot obtain handle for file \"" + path +
                                     "\".\n***ERROR*** [NativeFile] Cannot close handle.");
}

TEST(NativeFile, NullAllocatorAndNullPathAreReported) {
  CaptureStdout();
  psd::NativeFile file(nullptr);
  EXPECT_EQ(GetCapturedStdout(), "\n***ASSERT FAILED*** Pointer is null.");
  psd::MallocAllocator allocator;
  psd::NativeFile other(&allocator);
  CaptureStdout();
  EXPECT_FALSE(other.OpenForRead(nullptr));
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(out.rfind("\n***ASSERT FAILED*** Pointer is null.\n***ERROR*** [NativeFile] Cannot obtain handle", 0), 0u)
      << out;
}

TEST(NativeFile, ReadsAtPositionsAroundTheEnd) {
  const std::string path = WriteScratchFile("ten-bytes.bin", Counting(10));
  psd::MallocAllocator allocator;
  psd::NativeFile file(&allocator);
  ASSERT_TRUE(file.OpenForRead(Widen(path).c_str()));
  EXPECT_EQ(file.QuerySize(), 10u);

  uint8_t buffer[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  CaptureStdout();
  EXPECT_TRUE(psd::ReadAt(&file, buffer, 4, 2));
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{3, 4, 5, 6}));

  // Crossing the end: success, the bytes past it keep what they held.
  std::memset(buffer, 0xAA, sizeof buffer);
  CaptureStdout();
  EXPECT_TRUE(psd::ReadAt(&file, buffer, 4, 8));
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{9, 10, 0xAA, 0xAA}));

  // At and past the end: failure with one of the two read messages.
  for (uint64_t position : {uint64_t{10}, uint64_t{1} << 40}) {
    std::memset(buffer, 0xAA, sizeof buffer);
    CaptureStdout();
    EXPECT_FALSE(psd::ReadAt(&file, buffer, 4, position));
    const std::string out = GetCapturedStdout();
    const std::string begin = "\n***ERROR*** [NativeFile] Cannot read 4 bytes from file position " +
                              std::to_string(position) + " asynchronously.";
    const std::string end = "\n***ERROR*** [NativeFile] Failed to wait for previous asynchronous read operation.";
    EXPECT_TRUE(out == begin || out == end) << out;
    EXPECT_EQ(buffer[0], 0xAA);
  }
  EXPECT_TRUE(file.Close());
}

TEST(NativeFile, CopiesShareTheHandleWhichIsClosedOnce) {
  const std::string path = WriteScratchFile("shared-handle.bin", Counting(8));
  psd::MallocAllocator allocator;
  psd::NativeFile original(&allocator);
  ASSERT_TRUE(original.OpenForRead(Widen(path).c_str()));
  {
    psd::NativeFile destroyed = original;  // destroying a copy leaves the handle open
  }
  psd::NativeFile copy = original;
  uint8_t byte = 0;
  EXPECT_TRUE(psd::ReadAt(&original, &byte, 1, 3));
  EXPECT_EQ(byte, 4);
  EXPECT_TRUE(copy.Close());
  CaptureStdout();
  EXPECT_FALSE(psd::ReadAt(&original, &byte, 1, 0));  // the shared handle is gone
  EXPECT_FALSE(copy.Close());                          // and closing it again fails
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("***ERROR*** [NativeFile] Cannot close handle."), std::string::npos) << out;
}

TEST(NativeFile, QuerySizeOfAFileNeverOpenedIsZero) {
  psd::MallocAllocator allocator;
  psd::NativeFile file(&allocator);
  CaptureStdout();
  EXPECT_EQ(file.QuerySize(), 0u);
  EXPECT_EQ(GetCapturedStdout(), "\n***ERROR*** [NativeFile] Failed to retrieve file size.");
}

TEST(NativeFile, WritesAtPositionsAndReadsThemBack) {
  const std::string path = kavri_test::ScratchFolder() + "written.bin";
  psd::MallocAllocator allocator;
  psd::NativeFile writer(&allocator);
  ASSERT_TRUE(writer.OpenForWrite(Widen(path).c_str()));
  const uint8_t tail[3] = {7, 8, 9};
  const uint8_t head[2] = {1, 2};
  psd::PendingIo token = writer.BeginWrite(tail, 3, 4);
  EXPECT_TRUE(writer.EndWrite(token));
  token = writer.BeginWrite(head, 2, 0);
  EXPECT_TRUE(writer.EndWrite(token));
  EXPECT_TRUE(writer.Close());
  EXPECT_EQ(kavri_test::ReadWholeFile(path), (std::vector<uint8_t>{1, 2, 0, 0, 7, 8, 9}));
}

TEST(FileCursor, ReadsBigEndianFieldsAndAdvancesEvenWhenReadsFail) {
  const std::vector<uint8_t> bytes = {0x81, 0x12, 0x34, 0xFF, 0xFE, 0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xFF, 0xFE,
                                      0x3F, 0xF8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  const std::string path = WriteScratchFile("fields.bin", bytes);
  psd::MallocAllocator allocator;
  psd::NativeFile file(&allocator);
  ASSERT_TRUE(file.OpenForRead(Widen(path).c_str()));
  psd::FileCursor cursor{&file, 0};
  EXPECT_EQ(cursor.ReadU8(), 0x81);
  EXPECT_EQ(cursor.ReadU16BE(), 0x1234);
  EXPECT_EQ(cursor.ReadI16BE(), -2);
  EXPECT_EQ(cursor.ReadU32BE(), 0x01020304u);
  EXPECT_EQ(cursor.ReadI32BE(), -2);
  EXPECT_EQ(cursor.ReadF64BE(), 1.5);
  EXPECT_EQ(cursor.offset, bytes.size());
  cursor.Skip(-4);
  EXPECT_EQ(cursor.offset, bytes.size() - 4);
  cursor.Skip(4);

  CaptureStdout();
  EXPECT_EQ(cursor.ReadU32BE(), 0u);  // past the end: cleared value, offset still moves
  EXPECT_EQ(cursor.offset, bytes.size() + 4);
  uint8_t buffer[8];
  EXPECT_FALSE(cursor.ReadBytes(buffer, (uint64_t{1} << 32) + 8));  // only the low 32 bits count
  EXPECT_EQ(cursor.offset, bytes.size() + 12);
  EXPECT_FALSE(cursor.ReadBytes(nullptr, 4));
  EXPECT_EQ(cursor.offset, bytes.size() + 16);
  EXPECT_NE(GetCapturedStdout().find("\n***ASSERT FAILED*** Pointer is null."), std::string::npos);
  file.Close();
}

}  // namespace
