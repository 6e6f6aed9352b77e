// Every layer channel of the corpus, decoded by LoadLayerChannels, has the
// SHA-256 that the manifest records from an independent decoder. The layer
// records are built from the manifest here, so this holds the channel readers
// to the references whatever the layer parser does.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

#include "psd/layer_channels.h"
#include "psd/layer_mask_section.h"
#include "psd/native_file.h"
#include "tests/support/sha256.h"
#include "tests/support/test_files.h"

namespace {

using nlohmann::json;

psd::MaskRecord MaskFrom(const json& mask) {
  psd::MaskRecord record{};
  record.top = mask["rect"][0];
  record.left = mask["rect"][1];
  record.bottom = mask["rect"][2];
  record.right = mask["rect"][3];
  record.defaultColor = mask["default_color"];
  return record;
}

TEST(CorpusPlanes, EveryChannelMatchesTheManifest) {
  std::ifstream in(kavri_test::CorpusFolder() + "manifest.json");
  if (!in) GTEST_SKIP() << "no corpus at " << kavri_test::CorpusFolder();
  const json manifest = json::parse(in);
  int compared = 0;
  for (const json& entry : manifest["files"]) {
    if (!entry.contains("layers") || entry["layers"].is_null()) continue;
    const uint32_t depth = entry["header"]["depth"];
    if (depth != 8 && depth != 16 && depth != 32) continue;
    const std::string name = entry["file"];
    psd::MallocAllocator allocator;
    psd::NativeFile file(&allocator);
    ASSERT_TRUE(file.OpenForRead(kavri_test::Widen(kavri_test::CorpusFolder() + name).c_str())) << name;
    psd::DocumentInfo document{};
    document.depth = depth;
    for (const json& layerEntry : entry["layers"]) {
      psd::LayerRecord layer{};
      layer.top = layerEntry["rect"][0];
      layer.left = layerEntry["rect"][1];
      layer.bottom = layerEntry["rect"][2];
      layer.right = layerEntry["rect"][3];
      psd::MaskRecord layerMask{}, vectorMask{};
      if (!layerEntry["layer_mask"].is_null()) {
        layerMask = MaskFrom(layerEntry["layer_mask"]);
        layer.layerMask = &layerMask;
      }
      if (!layerEntry["vector_mask"].is_null()) {
        vectorMask = MaskFrom(layerEntry["vector_mask"]);
        layer.vectorMask = &vectorMask;
      }
      std::vector<psd::ChannelRecord> channels;
      for (const json& c : layerEntry["channels"]) {
        channels.push_back({c["data_offset"].get<uint64_t>(), c["stored_length"].get<uint32_t>(), nullptr,
                            c["id"].get<int16_t>()});
      }
      layer.channelRecords = channels.data();
      layer.channelRecordCount = static_cast<uint32_t>(channels.size());
      testing::internal::CaptureStdout();
      psd::LoadLayerChannels(&document, &file, &allocator, &layer);
      testing::internal::GetCapturedStdout();

      const json& channelEntries = layerEntry["channels"];
      for (size_t j = 0; j < channelEntries.size(); ++j) {
        const json& c = channelEntries[j];
        if (c["sha256"].is_null()) continue;
        const std::string where = name + " layer " + std::to_string(layerEntry["index"].get<int>()) + " channel " +
                                  std::to_string(c["id"].get<int>());
        const std::string rect = c["plane_rect"];
        const void* plane = rect == "vector_mask" ? vectorMask.plane
                            : rect == "layer_mask" ? layerMask.plane
                                                   : channels[j].plane;
        ASSERT_NE(plane, nullptr) << where;
        EXPECT_EQ(kavri_test::Sha256Hex(plane, c["byte_length"].get<size_t>()), c["sha256"].get<std::string>())
            << where;
        ++compared;
      }
      for (psd::ChannelRecord& c : channels) allocator.ReleaseBlock(c.plane);
      allocator.ReleaseBlock(layerMask.plane);
      allocator.ReleaseBlock(vectorMask.plane);
    }
    file.Close();
  }
  EXPECT_GT(compared, 0);
  std::printf("%d corpus planes match their references\n", compared);
}

// The same references through the whole reader: header, layer records, then
// LoadLayerChannels layer by layer.
TEST(CorpusPlanes, ThroughTheLayerParser) {
  std::ifstream in(kavri_test::CorpusFolder() + "manifest.json");
  if (!in) GTEST_SKIP() << "no corpus at " << kavri_test::CorpusFolder();
  const json manifest = json::parse(in);
  int compared = 0;
  for (const json& entry : manifest["files"]) {
    if (!entry.contains("layers") || entry["layers"].is_null() || entry["layers"].empty()) continue;
    const std::string name = entry["file"];
    psd::MallocAllocator allocator;
    psd::NativeFile file(&allocator);
    ASSERT_TRUE(file.OpenForRead(kavri_test::Widen(kavri_test::CorpusFolder() + name).c_str())) << name;
    testing::internal::CaptureStdout();
    psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
    psd::LayerMaskSection* section =
        document != nullptr ? psd::LoadLayerMaskSection(document, &file, &allocator) : nullptr;
    if (section != nullptr) {
      for (const json& layerEntry : entry["layers"]) {
        const uint32_t index = layerEntry["index"];
        if (index >= section->layerRecordCount) continue;
        psd::LayerRecord& layer = section->layerRecords[index];
        psd::LoadLayerChannels(document, &file, &allocator, &layer);
        const json& channels = layerEntry["channels"];
        if (channels.size() != layer.channelRecordCount) continue;
        for (size_t j = 0; j < channels.size(); ++j) {
          const json& c = channels[j];
          if (c["sha256"].is_null()) continue;
          const std::string rect = c["plane_rect"];
          const psd::MaskRecord* mask = rect == "vector_mask" ? layer.vectorMask
                                        : rect == "layer_mask" ? layer.layerMask
                                                               : nullptr;
          const void* plane = rect == "layer" ? layer.channelRecords[j].plane : mask != nullptr ? mask->plane : nullptr;
          if (plane == nullptr) {
            ADD_FAILURE() << name << " layer " << index << " channel " << j << ": no plane";
            continue;
          }
          EXPECT_EQ(kavri_test::Sha256Hex(plane, c["byte_length"].get<size_t>()), c["sha256"].get<std::string>())
              << name << " layer " << index << " channel " << j;
          ++compared;
        }
      }
      psd::ReleaseLayerMaskSection(section, &allocator);
    }
    testing::internal::GetCapturedStdout();
    allocator.ReleaseBlock(document);
    file.Close();
  }
  EXPECT_GT(compared, 600);
}

}  // namespace
