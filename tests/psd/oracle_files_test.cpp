// Files written at test time by psd-tools and ImageMagick (groups, masks,
// unicode names) parse to what those tools say they wrote.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "psd/document_info.h"
#include "psd/layer_mask_section.h"
#include "psd/native_file.h"
#include "tests/support/test_files.h"

namespace {

using nlohmann::json;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

std::string OracleFolder() {
#if defined(_WIN32)
  return "Z:" KAVRI_ORACLE_DIR "/";
#else
  return KAVRI_ORACLE_DIR "/";
#endif
}

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

struct Opened {
  explicit Opened(const std::string& path) : file(&allocator) {
    if (!file.OpenForRead(kavri_test::Widen(path).c_str())) return;
    opened = true;
    document = psd::ReadDocumentInfo(&file, &allocator);
    if (document == nullptr) return;
    CaptureStdout();
    section = psd::LoadLayerMaskSection(document, &file, &allocator);
    output = GetCapturedStdout();
  }
  ~Opened() {
    if (section != nullptr) psd::ReleaseLayerMaskSection(section, &allocator);
    allocator.ReleaseBlock(document);
    if (opened) file.Close();
  }
  psd::MallocAllocator allocator;
  psd::NativeFile file;
  bool opened = false;
  psd::DocumentInfo* document = nullptr;
  psd::LayerMaskSection* section = nullptr;
  std::string output;
};

// UTF-8 to UTF-16 code units (the texts here are all in the basic plane).
std::u16string Utf16(const std::string& utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<uint8_t>(utf8[i]);
    const size_t extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : 2;
    uint32_t point = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : (lead & 0x0F);
    for (size_t k = 1; k <= extra && i + k < utf8.size(); ++k) point = (point << 6) | (utf8[i + k] & 0x3F);
    out += static_cast<char16_t>(point);
    i += extra + 1;
  }
  return out;
}

void ExpectMask(const psd::MaskRecord* mask, const json& masks, const char* role, const std::string& where) {
  if (!masks.contains(role)) {
    EXPECT_EQ(mask, nullptr) << where << " " << role;
    return;
  }
  ASSERT_NE(mask, nullptr) << where << " " << role;
  const json& m = masks[role];
  EXPECT_EQ(std::vector<int32_t>({mask->top, mask->left, mask->bottom, mask->right}), m["rect"].get<std::vector<int32_t>>())
      << where << " " << role;
  EXPECT_EQ(mask->defaultColor, m["default_color"].get<int>()) << where << " " << role;
}

TEST(OracleFiles, PsdToolsGroupsMasksAndUnicodeNames) {
  const std::string psdPath = OracleFolder() + "psdtools_layered.psd";
  const std::string jsonPath = OracleFolder() + "psdtools_layered.json";
  if (!Exists(psdPath) || !Exists(jsonPath)) GTEST_SKIP() << "psd-tools did not write its file (is it installed?)";
  std::ifstream in(jsonPath);
  const json expected = json::parse(in, nullptr, false);
  ASSERT_TRUE(expected.is_object());

  Opened opened(psdPath);
  ASSERT_NE(opened.section, nullptr);
  EXPECT_EQ(opened.output, "");
  const psd::LayerMaskSection& section = *opened.section;
  EXPECT_EQ(section.firstAlphaIsTransparency, expected["stored_layer_count"].get<int>() < 0);
  const json& layers = expected["layers"];
  ASSERT_EQ(section.layerRecordCount, layers.size());
  uint64_t nextOffset = section.layerRecords[0].channelRecords[0].dataOffset;
  for (uint32_t i = 0; i < section.layerRecordCount; ++i) {
    const psd::LayerRecord& record = section.layerRecords[i];
    const json& layer = layers[i];
    const std::string where = "record " + std::to_string(i);
    EXPECT_EQ(record.name.c_str(), layer["name"].get<std::string>()) << where;
    EXPECT_EQ(std::vector<int32_t>({record.top, record.left, record.bottom, record.right}),
              layer["rect"].get<std::vector<int32_t>>())
        << where;
    EXPECT_EQ(record.sectionType, layer["section_type"].get<uint32_t>()) << where;
    if (layer["unicode_name"].is_null()) {
      EXPECT_EQ(record.unicodeName, nullptr) << where;
    } else {
      ASSERT_NE(record.unicodeName, nullptr) << where;
      EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(record.unicodeName)),
                Utf16(layer["unicode_name"].get<std::string>()))
          << where;
    }
    const json& channels = layer["channels"];
    ASSERT_EQ(record.channelRecordCount, channels.size()) << where;
    for (size_t c = 0; c < channels.size(); ++c) {
      EXPECT_EQ(record.channelRecords[c].id, channels[c][0].get<int>()) << where;
      EXPECT_EQ(record.channelRecords[c].dataLength, channels[c][1].get<uint32_t>()) << where;
      EXPECT_EQ(record.channelRecords[c].dataOffset, nextOffset) << where;
      nextOffset += record.channelRecords[c].dataLength;
    }
    // psd-tools shows the records it takes for layers in its tree; its end markers are not layers.
    if (!layer["group"].is_null()) {
      const int group = record.group == nullptr ? -1 : static_cast<int>(record.group - section.layerRecords);
      EXPECT_EQ(group, layer["group"].get<int>()) << where;
    }
    ExpectMask(record.layerMask, layer["masks"], "layer", where);
    ExpectMask(record.vectorMask, layer["masks"], "vector", where);
  }
}

TEST(OracleFiles, ImageMagickLayerNamesAndPlaces) {
  const std::string psdPath = OracleFolder() + "imagemagick_layered.psd";
  const std::string textPath = OracleFolder() + "imagemagick_layered.txt";
  if (!Exists(psdPath) || !Exists(textPath)) GTEST_SKIP() << "ImageMagick did not write its file (is it installed?)";
  // One line per image: label|width|height|x|y; the first is the merged image.
  std::ifstream in(textPath);
  std::vector<std::vector<std::string>> images;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, '|');) fields.push_back(field);
    if (fields.size() == 5) images.push_back(fields);
  }
  ASSERT_GE(images.size(), 2u);

  Opened opened(psdPath);
  ASSERT_NE(opened.section, nullptr);
  EXPECT_EQ(opened.output, "");
  ASSERT_EQ(opened.section->layerRecordCount, images.size() - 1);
  for (uint32_t i = 0; i < opened.section->layerRecordCount; ++i) {
    const psd::LayerRecord& record = opened.section->layerRecords[i];
    const std::vector<std::string>& image = images[i + 1];
    const int width = std::stoi(image[1]), height = std::stoi(image[2]);
    const int x = std::stoi(image[3]), y = std::stoi(image[4]);
    EXPECT_EQ(record.name.c_str(), image[0]) << i;
    EXPECT_EQ(record.left, x) << i;
    EXPECT_EQ(record.top, y) << i;
    EXPECT_EQ(record.right - record.left, width) << i;
    EXPECT_EQ(record.bottom - record.top, height) << i;
    EXPECT_EQ(record.sectionType, psd::Normal) << i;
    EXPECT_GE(record.channelRecordCount, 3u) << i;
    // Written with RLE: every channel's data starts with compression code 1.
    for (uint32_t c = 0; c < record.channelRecordCount; ++c) {
      uint8_t code[2] = {};
      psd::ReadAt(&opened.file, code, 2, record.channelRecords[c].dataOffset);
      EXPECT_EQ(code[0] * 256 + code[1], 1) << i << " channel " << c;
    }
  }
}

}  // namespace
