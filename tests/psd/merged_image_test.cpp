// The merged image reader against psd-tools: documents it writes at test time
// in every compression at 8, 16 and 32 bits, and every corpus file it reads.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

#include "psd/merged_image.h"
#include "psd/native_file.h"
#include "tests/support/memory_file.h"
#include "tests/support/psd_bytes.h"
#include "tests/support/test_files.h"

namespace {

using nlohmann::json;

TEST(MergedImage, MatchesPsdTools) {
  // Written by psd-tools for this run (the channel_oracle_files_written test).
  const std::string folder = std::string(KAVRI_CHANNEL_ORACLE_DIR) + "/merged";
  std::ifstream in(folder + "/index.json");
  if (!in) GTEST_SKIP() << "psd-tools wrote no oracle files";
  const json index = json::parse(in);
  int compressions[4] = {};
  for (const json& entry : index) {
    const std::string name = entry["name"];
    psd::MallocAllocator allocator;
    psd::NativeFile file(&allocator);
    ASSERT_TRUE(file.OpenForRead(kavri_test::Widen(entry["path"].get<std::string>()).c_str())) << name;
    psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
    ASSERT_NE(document, nullptr) << name;
    testing::internal::CaptureStdout();
    psd::MergedImage* image = psd::LoadMergedImage(document, &file, &allocator);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << name;
    ASSERT_NE(image, nullptr) << name;
    EXPECT_EQ(image->compression, entry["compression"].get<int>()) << name;
    ASSERT_EQ(image->channelCount, entry["channels"].get<uint32_t>()) << name;
    ++compressions[image->compression];
    for (uint32_t k = 0; k < image->channelCount; ++k) {
      const std::vector<uint8_t> expected = kavri_test::ReadWholeFile(folder + "/" + name + ".ch" + std::to_string(k));
      ASSERT_NE(image->planes[k], nullptr) << name << " channel " << k;
      const auto* plane = static_cast<const uint8_t*>(image->planes[k]);
      EXPECT_EQ(std::vector<uint8_t>(plane, plane + expected.size()), expected) << name << " channel " << k;
    }
    psd::ReleaseMergedImage(image, &allocator);
    EXPECT_EQ(image, nullptr);
    allocator.ReleaseBlock(document);
    file.Close();
  }
  for (int code = 0; code < 4; ++code) EXPECT_GE(compressions[code], 3) << "compression " << code;
}

TEST(MergedImage, NoImageDataAndUnknownCodes) {
  psd::MallocAllocator allocator;
  {
    kavri_test::MemoryFile file(&allocator, kavri_test::MinimalPsd());
    psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
    EXPECT_EQ(psd::LoadMergedImage(document, &file, &allocator), nullptr);
    allocator.ReleaseBlock(document);
  }
  {
    kavri_test::ByteWriter bytes;
    bytes.Raw(kavri_test::MinimalPsd()).U16(9).Zeros(24);
    kavri_test::MemoryFile file(&allocator, bytes.bytes);
    psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
    testing::internal::CaptureStdout();
    EXPECT_EQ(psd::LoadMergedImage(document, &file, &allocator), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n***ERROR*** [PsdExtract] Unsupported compression type 9 of the merged image.");
    allocator.ReleaseBlock(document);
  }
}

}  // namespace
