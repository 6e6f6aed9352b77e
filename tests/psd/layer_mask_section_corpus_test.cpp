// Every file of the corpus, made by other tools, parses to the structure its
// manifest records.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "psd/document_info.h"
#include "psd/file_cursor.h"
#include "psd/image_resources.h"
#include "psd/layer_mask_section.h"
#include "psd/native_file.h"
#include "tests/support/test_files.h"

namespace {

using nlohmann::json;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

json LoadManifest() {
  std::ifstream in(kavri_test::CorpusFolder() + "manifest.json");
  return json::parse(in, nullptr, false);
}

uint32_t SectionTypeOf(const json& layer) { return layer["lsct"].is_null() ? 0u : layer["lsct"].get<uint32_t>(); }

std::string ExpectedNameBytes(const json& layer) {
  if (layer.contains("name_bytes_hex")) {
    const std::string hex = layer["name_bytes_hex"];
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
  }
  return layer["name"];
}

std::u16string Utf16Of(const uint16_t* units) {
  std::u16string text;
  for (size_t i = 0; units[i] != 0; ++i) text += static_cast<char16_t>(units[i]);
  return text;
}

// The manifest stores UTF-8; compare as UTF-16 code units.
std::u16string Utf16FromUtf8(const std::string& utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<uint8_t>(utf8[i]);
    uint32_t point;
    size_t extra;
    if (lead < 0x80) {
      point = lead;
      extra = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      point = lead & 0x1F;
      extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      point = lead & 0x0F;
      extra = 2;
    } else {
      point = lead & 0x07;
      extra = 3;
    }
    for (size_t k = 1; k <= extra && i + k < utf8.size(); ++k) point = (point << 6) | (utf8[i + k] & 0x3F);
    i += extra + 1;
    if (point >= 0x10000) {
      point -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (point >> 10));
      out += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
    } else {
      out += static_cast<char16_t>(point);
    }
  }
  return out;
}

void ExpectMask(const psd::MaskRecord* mask, const json& expected, uint8_t density, double feather,
                const std::string& where) {
  if (expected.is_null()) {
    EXPECT_EQ(mask, nullptr) << where;
    return;
  }
  ASSERT_NE(mask, nullptr) << where;
  EXPECT_EQ(mask->top, expected["rect"][0].get<int32_t>()) << where;
  EXPECT_EQ(mask->left, expected["rect"][1].get<int32_t>()) << where;
  EXPECT_EQ(mask->bottom, expected["rect"][2].get<int32_t>()) << where;
  EXPECT_EQ(mask->right, expected["rect"][3].get<int32_t>()) << where;
  EXPECT_EQ(mask->defaultColor, expected["default_color"].get<int>()) << where;
  EXPECT_EQ(mask->density, density) << where;
  EXPECT_DOUBLE_EQ(mask->feather, feather) << where;
  EXPECT_EQ(mask->dataOffset, 0u) << where;
  EXPECT_EQ(mask->plane, nullptr) << where;
}

void ExpectLayer(psd::File& file, uint64_t fileSize, const psd::LayerRecord& record, const json& layer,
                 const std::string& where) {
  EXPECT_EQ(std::string(record.name.text, record.name.length), ExpectedNameBytes(layer)) << where;
  EXPECT_EQ(record.top, layer["rect"][0].get<int32_t>()) << where;
  EXPECT_EQ(record.left, layer["rect"][1].get<int32_t>()) << where;
  EXPECT_EQ(record.bottom, layer["rect"][2].get<int32_t>()) << where;
  EXPECT_EQ(record.right, layer["rect"][3].get<int32_t>()) << where;
  const std::string key = layer["blend_key"];
  EXPECT_EQ(record.blendModeKey, psd::LoadU32BE(reinterpret_cast<const uint8_t*>(key.data()))) << where;
  EXPECT_EQ(record.opacity, layer["opacity"].get<int>()) << where;
  EXPECT_EQ(record.clipping, layer["clipping"].get<int>()) << where;
  EXPECT_EQ(record.visible, layer["visible"].get<bool>()) << where;
  EXPECT_EQ(record.sectionType, SectionTypeOf(layer)) << where;
  if (layer["unicode_name"].is_null()) {
    EXPECT_EQ(record.unicodeName, nullptr) << where;
  } else if (record.unicodeName == nullptr) {
    ADD_FAILURE() << where << ": no unicode name";
  } else {
    EXPECT_EQ(Utf16Of(record.unicodeName), Utf16FromUtf8(layer["unicode_name"])) << where;
  }

  const json& channels = layer["channels"];
  ASSERT_EQ(record.channelRecordCount, channels.size()) << where;
  for (size_t c = 0; c < channels.size(); ++c) {
    const psd::ChannelRecord& channel = record.channelRecords[c];
    const std::string at = where + " channel " + std::to_string(c);
    EXPECT_EQ(channel.id, channels[c]["id"].get<int>()) << at;
    EXPECT_EQ(channel.dataLength, channels[c]["stored_length"].get<uint32_t>()) << at;
    EXPECT_EQ(channel.dataOffset, channels[c]["data_offset"].get<uint64_t>()) << at;
    EXPECT_EQ(channel.plane, nullptr) << at;
    if (channel.dataOffset + 2 <= fileSize && !channels[c]["compression"].is_null()) {
      uint8_t code[2] = {};
      psd::ReadAt(&file, code, 2, channel.dataOffset);
      EXPECT_EQ(psd::LoadU16BE(code), channels[c]["compression"].get<int>()) << at;
    }
  }

  const json parameters = layer.contains("mask_parameters") && !layer["mask_parameters"].is_null()
                              ? layer["mask_parameters"]
                              : json::object();
  ExpectMask(record.layerMask, layer["layer_mask"], parameters.value("user_density", 0),
             parameters.value("user_feather", 0.0), where + " layer mask");
  ExpectMask(record.vectorMask, layer["vector_mask"], parameters.value("vector_density", 0),
             parameters.value("vector_feather", 0.0), where + " vector mask");
}

void CollectId(const psd::ImageResourceBlock& block, void* context) {
  static_cast<std::vector<int>*>(context)->push_back(block.id);
}

TEST(CorpusLayerRecords, EveryFileParsesToItsManifest) {
  const json manifest = LoadManifest();
  ASSERT_TRUE(manifest.is_object()) << "manifest.json is missing or unreadable";
  int checked = 0;
  for (const json& entry : manifest["files"]) {
    const std::string name = entry["file"];
    if (entry["header"]["version"] != 1) continue;  // the large-document variant is rejected by the header
    // Cut inside its records, where the other tools read nothing: the truncation tests cover it.
    if (name == "derived__2layers_cut200.psd") continue;
    SCOPED_TRACE(name);
    psd::MallocAllocator allocator;
    psd::NativeFile file(&allocator);
    ASSERT_TRUE(file.OpenForRead(kavri_test::Widen(kavri_test::CorpusFolder() + name).c_str()));
    CaptureStdout();
    psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
    ASSERT_NE(document, nullptr);
    std::vector<int> resourceIds;
    psd::ImageResourceRecord* resources = psd::ReadImageResources(document, &file, &allocator, CollectId, &resourceIds);
    psd::LayerMaskSection* section = nullptr;
    if (document->layerMaskExtent.length != 0) section = psd::LoadLayerMaskSection(document, &file, &allocator);
    const std::string output = GetCapturedStdout();

    EXPECT_EQ(resourceIds, entry["image_resource_ids"].get<std::vector<int>>());
    EXPECT_EQ(output.find("[ImageResources]"), std::string::npos) << output;
    EXPECT_EQ(output.find("[AdditionalLayerInfo]"), std::string::npos) << output;
    const json& layers = entry["layers"];
    if (section == nullptr) {
      EXPECT_EQ(document->layerMaskExtent.length, 0u);
      EXPECT_EQ(layers.size(), 0u);
    } else {
      EXPECT_EQ(output.find("[LayerMaskSection]"), std::string::npos) << output;
      ASSERT_EQ(section->layerRecordCount, layers.size());
      EXPECT_EQ(section->firstAlphaIsTransparency, entry["stored_layer_count"].get<int>() < 0);
      const uint64_t fileSize = file.QuerySize();
      for (uint32_t i = 0; i < section->layerRecordCount; ++i) {
        ExpectLayer(file, fileSize, section->layerRecords[i], layers[i], name + " layer " + std::to_string(i));
      }
      psd::ReleaseLayerMaskSection(section, &allocator);
      EXPECT_EQ(section, nullptr);
    }
    psd::ReleaseImageResources(resources, &allocator);
    allocator.ReleaseBlock(document);
    file.Close();
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

struct GroupCase {
  const char* file;
  std::vector<int> groups;  // group record index of each record, -1 at top level
};

// Groups as the files' writers nested them, including the files whose blocks
// are padded to 2 bytes.
TEST(CorpusLayerRecords, GroupsLinkAsWritten) {
  const GroupCase cases[] = {
      {"psdtools__broken-groups.psd", {2, 2, -1, 5, 5, -1}},
      {"psdtools__empty-group.psd", {-1, 2, -1}},
      {"psdtools__group-clipping.psd", {-1, -1, 5, 5, 5, -1}},
  };
  for (const GroupCase& c : cases) {
    SCOPED_TRACE(c.file);
    psd::MallocAllocator allocator;
    psd::NativeFile file(&allocator);
    ASSERT_TRUE(file.OpenForRead(kavri_test::Widen(kavri_test::CorpusFolder() + c.file).c_str()));
    psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
    ASSERT_NE(document, nullptr);
    CaptureStdout();
    psd::LayerMaskSection* section = psd::LoadLayerMaskSection(document, &file, &allocator);
    EXPECT_EQ(GetCapturedStdout(), "");
    ASSERT_NE(section, nullptr);
    std::vector<int> groups;
    for (uint32_t i = 0; i < section->layerRecordCount; ++i) {
      const psd::LayerRecord* group = section->layerRecords[i].group;
      groups.push_back(group == nullptr ? -1 : static_cast<int>(group - section->layerRecords));
    }
    EXPECT_EQ(groups, c.groups);
    psd::ReleaseLayerMaskSection(section, &allocator);
    allocator.ReleaseBlock(document);
    file.Close();
  }
}

}  // namespace
