// Channel data encoded by psd-tools at test time, in all four compressions at
// 8, 16 and 32 bits, decodes to exactly what psd-tools decodes from it.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

#include "psd/layer_channels.h"
#include "psd/layer_mask_section.h"
#include "psd/native_file.h"
#include "tests/support/test_files.h"

namespace {

using nlohmann::json;

// The folder psd-tools wrote for this run (the channel_oracle_files_written
// test); empty when psd-tools is missing.
bool OracleFolder(const std::string& name, std::string* folder) {
  *folder = std::string(KAVRI_CHANNEL_ORACLE_DIR) + "/" + name;
  return std::ifstream(*folder + "/index.json").good();
}

TEST(PsdToolsOracle, EveryCompressionAndDepthDecodesAlike) {
  std::string folder;
  if (!OracleFolder("channels", &folder)) GTEST_SKIP() << "psd-tools wrote no oracle files";
  std::ifstream in(folder + "/index.json");
  const json index = json::parse(in);
  ASSERT_EQ(index.size(), 12u);
  for (const json& c : index) {
    const std::string name = c["name"];
    const std::vector<uint8_t> data = kavri_test::ReadWholeFile(folder + "/" + name + ".bin");
    const std::vector<uint8_t> expected = kavri_test::ReadWholeFile(folder + "/" + name + ".plane");
    psd::MallocAllocator allocator;
    psd::NativeFile file(&allocator);
    ASSERT_TRUE(file.OpenForRead(kavri_test::Widen(folder + "/" + name + ".bin").c_str()));
    psd::DocumentInfo document{};
    document.depth = c["depth"];
    psd::ChannelRecord channel{0, static_cast<uint32_t>(data.size()), nullptr, 0};
    psd::LayerRecord layer{};
    layer.right = c["width"];
    layer.bottom = c["height"];
    layer.channelRecords = &channel;
    layer.channelRecordCount = 1;
    testing::internal::CaptureStdout();
    psd::LoadLayerChannels(&document, &file, &allocator, &layer);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << name;
    ASSERT_NE(channel.plane, nullptr) << name;
    const auto* plane = static_cast<const uint8_t*>(channel.plane);
    EXPECT_EQ(std::vector<uint8_t>(plane, plane + expected.size()), expected) << name;
    allocator.ReleaseBlock(channel.plane);
    file.Close();
  }
}

// Whole documents written by psd-tools at 8, 16 and 32 bits, one layer per
// compression, read through the header, the layer records and LoadLayerChannels.
TEST(PsdToolsOracle, LayeredDocumentsDecodeAlike) {
  std::string folder;
  if (!OracleFolder("channels", &folder)) GTEST_SKIP() << "psd-tools wrote no oracle files";
  std::ifstream in(folder + "/layers.json");
  const json planes = json::parse(in);
  ASSERT_EQ(planes.size(), 3u * 17u);
  for (const char* document : {"layers_d8.psd", "layers_d16.psd", "layers_d32.psd"}) {
    psd::MallocAllocator allocator;
    psd::NativeFile file(&allocator);
    ASSERT_TRUE(file.OpenForRead(kavri_test::Widen(folder + "/" + document).c_str()));
    psd::DocumentInfo* info = psd::ReadDocumentInfo(&file, &allocator);
    ASSERT_NE(info, nullptr) << document;
    testing::internal::CaptureStdout();
    psd::LayerMaskSection* section = psd::LoadLayerMaskSection(info, &file, &allocator);
    ASSERT_NE(section, nullptr) << document;
    ASSERT_EQ(section->layerRecordCount, 4u) << document;
    for (uint32_t i = 0; i < 4; ++i) psd::LoadLayerChannels(info, &file, &allocator, &section->layerRecords[i]);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << document;
    for (const json& p : planes) {
      if (p["document"] != document) continue;
      const psd::LayerRecord& layer = section->layerRecords[p["layer"].get<uint32_t>()];
      const uint32_t channel = p["channel"];
      const bool mask = p["id"].get<int>() == -2;
      const void* plane = mask ? (layer.layerMask != nullptr ? layer.layerMask->plane : nullptr)
                               : layer.channelRecords[channel].plane;
      const std::string where = std::string(document) + " " + p["plane"].get<std::string>();
      ASSERT_NE(plane, nullptr) << where;
      if (mask) EXPECT_EQ(layer.channelRecords[channel].id, psd::kChannelIdConsumed) << where;
      const std::vector<uint8_t> expected = kavri_test::ReadWholeFile(folder + "/" + p["plane"].get<std::string>());
      const auto* bytes = static_cast<const uint8_t*>(plane);
      EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + expected.size()), expected) << where;
    }
    psd::ReleaseLayerMaskSection(section, &allocator);
    allocator.ReleaseBlock(info);
    file.Close();
  }
}

}  // namespace
