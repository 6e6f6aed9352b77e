#include <gtest/gtest.h>

#include "psd/document_info.h"
#include "psd/native_file.h"
#include "tests/support/psd_bytes.h"
#include "tests/support/test_files.h"

namespace {

using kavri_test::ByteWriter;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

struct ReadResult {
  psd::DocumentInfo info;
  bool valid;
  std::string output;
};

// Through a real file, as the loader reads it.
ReadResult ReadHeader(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = kavri_test::WriteScratchFile(name, bytes);
  psd::MallocAllocator allocator;
  psd::NativeFile file(&allocator);
  EXPECT_TRUE(file.OpenForRead(kavri_test::Widen(path).c_str()));
  CaptureStdout();
  psd::DocumentInfo* info = psd::ReadDocumentInfo(&file, &allocator);
  ReadResult result{{}, info != nullptr, GetCapturedStdout()};
  if (info != nullptr) result.info = *info;
  allocator.ReleaseBlock(info);
  file.Close();
  return result;
}

struct RejectCase {
  const char* name;
  std::vector<uint8_t> bytes;
  const char* message;
};

TEST(ReadDocumentInfo, RejectsBadHeadersWithTheirMessage) {
  const std::string signature = "\n***ERROR*** [PsdExtract] File seems to be corrupt, signature does not match \"8BPS\".";
  std::vector<uint8_t> version2 = kavri_test::MinimalPsd();
  version2[5] = 2;
  std::vector<uint8_t> reserved = kavri_test::MinimalPsd();
  reserved[11] = 1;
  std::vector<uint8_t> wrongSignature = kavri_test::MinimalPsd();
  wrongSignature[3] = 'B';
  const RejectCase cases[] = {
      {"version2.psd", version2, "\n***ERROR*** [PsdExtract] File seems to be corrupt, version does not match 1."},
      {"reserved.psd", reserved, "\n***ERROR*** [PsdExtract] File seems to be corrupt, reserved bytes are not zero."},
      {"signature.psd", wrongSignature, signature.c_str()},
      {"two-bytes.psd", {'8', 'B'}, signature.c_str()},
  };
  for (const RejectCase& c : cases) {
    const ReadResult result = ReadHeader(c.name, c.bytes);
    EXPECT_FALSE(result.valid) << c.name;
    EXPECT_EQ(result.output, c.message) << c.name;
  }
  // An empty file: a read message first, then the signature's.
  const ReadResult empty = ReadHeader("empty.psd", {});
  EXPECT_FALSE(empty.valid);
  EXPECT_EQ(empty.output.rfind("\n***ERROR*** [NativeFile] ", 0), 0u) << empty.output;
  EXPECT_NE(empty.output.find(signature), std::string::npos) << empty.output;
}

TEST(ReadDocumentInfo, MinimalFileHasEmptySectionsInARow) {
  const ReadResult result = ReadHeader("minimal.psd", kavri_test::MinimalPsd(7, 5));
  ASSERT_TRUE(result.valid);
  EXPECT_EQ(result.output, "");
  const psd::DocumentInfo& d = result.info;
  EXPECT_EQ(d.width, 7u);  // stored after the height
  EXPECT_EQ(d.height, 5u);
  EXPECT_EQ(d.channelCount, 3u);
  EXPECT_EQ(d.depth, 8u);
  EXPECT_EQ(d.colorMode, 3u);
  EXPECT_EQ(d.colorModeDataExtent.offset, 30u);
  EXPECT_EQ(d.colorModeDataExtent.length, 0u);
  EXPECT_EQ(d.imageResourcesExtent.offset, 34u);
  EXPECT_EQ(d.layerMaskExtent.offset, 38u);
  EXPECT_EQ(d.imageDataExtent.offset, 38u);
  EXPECT_EQ(d.imageDataExtent.length, 0u);
}

TEST(ReadDocumentInfo, SectionsFollowTheirLengths) {
  ByteWriter w = kavri_test::PsdHeader(1000, 200, 4, 16, 1);
  w.U32(768).Zeros(768).U32(10).Zeros(10).U32(6).Zeros(6).Zeros(25);
  const ReadResult result = ReadHeader("sections.psd", w.bytes);
  ASSERT_TRUE(result.valid);
  const psd::DocumentInfo& d = result.info;
  EXPECT_EQ(d.width, 1000u);
  EXPECT_EQ(d.height, 200u);
  EXPECT_EQ(d.channelCount, 4u);
  EXPECT_EQ(d.depth, 16u);
  EXPECT_EQ(d.colorMode, 1u);
  EXPECT_EQ(d.colorModeDataExtent.length, 768u);
  EXPECT_EQ(d.imageResourcesExtent.offset, 802u);
  EXPECT_EQ(d.imageResourcesExtent.length, 10u);
  EXPECT_EQ(d.layerMaskExtent.offset, 816u);
  EXPECT_EQ(d.layerMaskExtent.length, 6u);
  EXPECT_EQ(d.imageDataExtent.offset, 822u);
  EXPECT_EQ(d.imageDataExtent.length, 25u);
}

TEST(ReadDocumentInfo, ReadsEveryCorpusHeaderOfVersionOne) {
  for (const char* name : {"psdtools__2layers.psd", "imagemagick__rgb16_zip.psd", "psdtools__32bit5x5.psd"}) {
    const std::string path = kavri_test::CorpusFolder() + name;
    psd::MallocAllocator allocator;
    psd::NativeFile file(&allocator);
    ASSERT_TRUE(file.OpenForRead(kavri_test::Widen(path).c_str())) << path;
    psd::DocumentInfo* info = psd::ReadDocumentInfo(&file, &allocator);
    EXPECT_NE(info, nullptr) << name;
    allocator.ReleaseBlock(info);
    file.Close();
  }
  psd::MallocAllocator allocator;
  psd::NativeFile file(&allocator);
  ASSERT_TRUE(file.OpenForRead(kavri_test::Widen(kavri_test::CorpusFolder() + "psdtools__16bit5x5.psb").c_str()));
  CaptureStdout();
  EXPECT_EQ(psd::ReadDocumentInfo(&file, &allocator), nullptr);
  EXPECT_EQ(GetCapturedStdout(), "\n***ERROR*** [PsdExtract] File seems to be corrupt, version does not match 1.");
  file.Close();
}

}  // namespace
