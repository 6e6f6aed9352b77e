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
#include "tests/support/memory_file.h"
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

// ---- Truncated and corrupted copies ----

struct Parsed {
  psd::LayerMaskSection* section = nullptr;
  std::string output;
};

Parsed ParseBytes(const std::vector<uint8_t>& bytes, psd::Allocator& allocator) {
  kavri_test::MemoryFile file(&allocator, bytes);
  Parsed parsed;
  CaptureStdout();
  psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
  if (document != nullptr) {
    psd::ImageResourceRecord* resources = psd::ReadImageResources(document, &file, &allocator);
    psd::ReleaseImageResources(resources, &allocator);
    if (document->layerMaskExtent.length != 0) parsed.section = psd::LoadLayerMaskSection(document, &file, &allocator);
  }
  parsed.output = GetCapturedStdout();
  allocator.ReleaseBlock(document);
  return parsed;
}

// Touches every field and owned block of a section, so that the sanitizers
// see any undefined or freed memory, and checks the group links stay inside.
void WalkSection(const psd::LayerMaskSection& section) {
  uint64_t sum = 0;
  for (uint32_t i = 0; i < section.layerRecordCount; ++i) {
    const psd::LayerRecord& r = section.layerRecords[i];
    for (int32_t v : {r.top, r.left, r.bottom, r.right}) sum += static_cast<uint32_t>(v);
    sum += r.opacity + r.sectionType + r.name.length + r.visible;
    ASSERT_LT(r.name.length, 1024u);
    for (uint32_t c = 0; c < r.channelRecordCount; ++c) {
      sum += r.channelRecords[c].dataOffset + static_cast<uint16_t>(r.channelRecords[c].id);
    }
    for (const uint16_t* u = r.unicodeName; u != nullptr && *u != 0; ++u) sum += *u;
    for (const psd::MaskRecord* m : {r.layerMask, r.vectorMask}) {
      if (m != nullptr) sum += static_cast<uint32_t>(m->top) + m->density + m->defaultColor;
    }
    if (r.group != nullptr) {
      ASSERT_GE(r.group, section.layerRecords);
      ASSERT_LT(r.group, section.layerRecords + section.layerRecordCount);
    }
  }
  EXPECT_GE(sum, 0u);
}

const char* const kDamagedSources[] = {
    "psdtools__2layers.psd",       "psdtools__mask_parameters.psd", "psdtools__broken-groups.psd",
    "psdtools__16bit5x5.psd",      "psdtools__layer_mask_data.psd", "psdtools__cactus_top.psd",
    "psdtools__group-clipping.psd", "imagemagick__rgb8_zip.psd",
};

TEST(CorpusDamage, TruncatedCopiesKeepTheWholeRecordsBeforeTheCut) {
  for (const char* name : kDamagedSources) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = kavri_test::ReadWholeFile(kavri_test::CorpusFolder() + name);
    ASSERT_FALSE(bytes.empty());
    psd::MallocAllocator allocator;
    Parsed whole = ParseBytes(bytes, allocator);
    ASSERT_NE(whole.section, nullptr);
    const psd::LayerMaskSection& reference = *whole.section;
    // Cut every few bytes from the start of the layer section to just past the records.
    const uint64_t sectionStart = 38 + psd::LoadU32BE(&bytes[26]) + psd::LoadU32BE(&bytes[30 + psd::LoadU32BE(&bytes[26])]);
    const uint64_t recordsEnd = reference.layerRecords[0].channelRecords[0].dataOffset + 64;
    const uint64_t step = (recordsEnd - sectionStart) / 400 + 1;
    for (uint64_t cut = sectionStart; cut < recordsEnd && cut < bytes.size(); cut += step) {
      const std::vector<uint8_t> truncated(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
      Parsed parsed = ParseBytes(truncated, allocator);
      if (parsed.section == nullptr) continue;
      const psd::LayerMaskSection& section = *parsed.section;
      EXPECT_LE(section.layerRecordCount, reference.layerRecordCount) << cut;
      WalkSection(section);
      // A record followed by another record read lies wholly before the cut.
      for (uint32_t i = 0; i + 1 < section.layerRecordCount; ++i) {
        const psd::LayerRecord& got = section.layerRecords[i];
        const psd::LayerRecord& want = reference.layerRecords[i];
        EXPECT_STREQ(got.name.c_str(), want.name.c_str()) << cut;
        EXPECT_EQ(got.top, want.top) << cut;
        EXPECT_EQ(got.right, want.right) << cut;
        EXPECT_EQ(got.channelRecordCount, want.channelRecordCount) << cut;
      }
      // Once the layer count is in the file, fewer records than the whole file's come with a message.
      if (cut >= sectionStart + 6 && section.layerRecordCount < reference.layerRecordCount) {
        EXPECT_NE(parsed.output.find("***ERROR***"), std::string::npos) << cut;
      }
      psd::ReleaseLayerMaskSection(parsed.section, &allocator);
    }
    psd::ReleaseLayerMaskSection(whole.section, &allocator);
  }
}

TEST(CorpusDamage, CorruptedBytesGiveADefinedSection) {
  for (const char* name : kDamagedSources) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = kavri_test::ReadWholeFile(kavri_test::CorpusFolder() + name);
    psd::MallocAllocator allocator;
    Parsed whole = ParseBytes(bytes, allocator);
    ASSERT_NE(whole.section, nullptr);
    const uint64_t sectionStart = 38 + psd::LoadU32BE(&bytes[26]) + psd::LoadU32BE(&bytes[30 + psd::LoadU32BE(&bytes[26])]);
    const uint64_t recordsEnd = whole.section->layerRecords[0].channelRecords[0].dataOffset;
    psd::ReleaseLayerMaskSection(whole.section, &allocator);
    const uint64_t step = (recordsEnd - sectionStart) / 300 + 1;
    for (uint64_t at = sectionStart - 4; at < recordsEnd; at += step) {
      for (uint8_t value : {uint8_t{0xFF}, uint8_t{0x00}, static_cast<uint8_t>(bytes[at] ^ 0x80)}) {
        std::vector<uint8_t> damaged = bytes;
        damaged[at] = value;
        Parsed parsed = ParseBytes(damaged, allocator);
        if (parsed.section == nullptr) continue;
        WalkSection(*parsed.section);
        psd::ReleaseLayerMaskSection(parsed.section, &allocator);
      }
    }
  }
}

TEST(CorpusDamage, TruncatedAndCorruptedImageResourcesEndWithTheirMessage) {
  for (const char* name : {"psdtools__mask_parameters.psd", "psdtools__broken-groups.psd"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = kavri_test::ReadWholeFile(kavri_test::CorpusFolder() + name);
    ASSERT_GT(bytes.size(), 34u);
    const uint64_t start = 34 + psd::LoadU32BE(&bytes[26]);
    const uint64_t end = start + psd::LoadU32BE(&bytes[start - 4]);
    psd::MallocAllocator allocator;
    const uint64_t step = (end - start) / 200 + 1;
    for (uint64_t cut = start; cut < end; cut += step) {
      kavri_test::MemoryFile file(&allocator, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)));
      psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
      ASSERT_NE(document, nullptr);
      CaptureStdout();
      psd::ImageResourceRecord* record = psd::ReadImageResources(document, &file, &allocator);
      const std::string output = GetCapturedStdout();
      ASSERT_NE(record, nullptr) << cut;
      // Every cut inside the section falls in some block, which is then found corrupt.
      EXPECT_NE(output.find("[ImageResources]"), std::string::npos) << cut;
      if (record->iccBlock != nullptr) {
        EXPECT_LE(record->iccBlockSize, cut);
      }
      psd::ReleaseImageResources(record, &allocator);
      allocator.ReleaseBlock(document);
    }
    for (uint64_t at = start; at < end; at += step) {
      std::vector<uint8_t> damaged = bytes;
      damaged[at] ^= 0xA5;
      kavri_test::MemoryFile file(&allocator, damaged);
      psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
      ASSERT_NE(document, nullptr);
      CaptureStdout();
      psd::ImageResourceRecord* record = psd::ReadImageResources(document, &file, &allocator);
      GetCapturedStdout();
      ASSERT_NE(record, nullptr) << at;
      for (uint32_t i = 0; i < record->alphaInfoCount; ++i) EXPECT_LT(record->alphaInfos[i].name.length, 1024u);
      if (record->preview != nullptr) {
        EXPECT_LE(record->preview->jpegSize, bytes.size());
      }
      psd::ReleaseImageResources(record, &allocator);
      allocator.ReleaseBlock(document);
    }
  }
}

}  // namespace
