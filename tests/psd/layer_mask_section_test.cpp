#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "psd/document_info.h"
#include "psd/layer_mask_section.h"
#include "tests/psd/layer_fixtures.h"
#include "tests/psd/tracking_allocator.h"
#include "tests/support/memory_file.h"

namespace {

using kavri_test::BlockFixture;
using kavri_test::ByteWriter;
using kavri_test::DocumentFixture;
using kavri_test::LayerFixture;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const char kBlendSignatureError[] =
    "\n***ERROR*** [LayerMaskSection] Layer mask info section seems to be corrupt, signature does not match \"8BIM\".";
const char kLayerBlockError[] =
    "\n***ERROR*** [LayerMaskSection] Additional Layer Information section seems to be corrupt, signature does not "
    "match \"8BIM\".";
const char kGlobalBlockError[] =
    "\n***ERROR*** [AdditionalLayerInfo] Additional Layer Information section seems to be corrupt, signature does "
    "not match \"8BIM\".";

// A document loaded through LoadLayerMaskSection, with what it printed. The
// section is released (and every block checked returned) on destruction.
struct Loaded {
  explicit Loaded(const std::vector<uint8_t>& bytes, int64_t failAt = -1)
      : allocator(failAt), file(&fileAllocator, bytes) {
    psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &fileAllocator);
    EXPECT_NE(document, nullptr);
    if (document == nullptr) return;
    CaptureStdout();
    section = psd::LoadLayerMaskSection(document, &file, &allocator);
    output = GetCapturedStdout();
    fileAllocator.ReleaseBlock(document);
  }
  ~Loaded() {
    if (section != nullptr) psd::ReleaseLayerMaskSection(section, &allocator);
    EXPECT_EQ(allocator.live, 0) << "blocks not returned";
  }
  const psd::LayerRecord& operator[](uint32_t i) const { return section->layerRecords[i]; }
  int GroupIndex(uint32_t i) const {
    const psd::LayerRecord* group = section->layerRecords[i].group;
    return group == nullptr ? -1 : static_cast<int>(group - section->layerRecords);
  }

  kavri_test::TrackingAllocator allocator;
  psd::MallocAllocator fileAllocator;
  kavri_test::MemoryFile file;
  psd::LayerMaskSection* section = nullptr;
  std::string output;
};

DocumentFixture WithLayers(const std::vector<LayerFixture>& layers) {
  DocumentFixture fixture;
  fixture.layerInfo = kavri_test::LayerInfoBytes(layers);
  return fixture;
}

// Where the channel data begins: after the layer count and all records.
uint64_t ChannelDataStart(const DocumentFixture& fixture, const std::vector<LayerFixture>& layers) {
  uint64_t offset = kavri_test::LayerSectionOffset(fixture) + 4 + 2;
  for (const LayerFixture& layer : layers) offset += kavri_test::LayerRecordBytes(layer).size();
  return offset;
}

// ---- Mask data ----

std::vector<uint8_t> MaskEntryA(std::vector<int32_t> rect, uint8_t color, uint8_t flags) {
  ByteWriter w;
  for (int32_t v : rect) w.I32(v);
  w.U8(color).U8(flags);
  return w.bytes;
}

std::vector<uint8_t> MaskEntryB(std::vector<int32_t> rect, uint8_t color, uint8_t flags) {
  ByteWriter w;
  w.U8(flags).U8(color);
  for (int32_t v : rect) w.I32(v);
  return w.bytes;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<uint8_t> ParameterBlock(uint8_t flags, uint8_t userDensity, double userFeather, uint8_t vectorDensity,
                                    double vectorFeather) {
  ByteWriter w;
  w.U8(flags);
  auto f64 = [&w](double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    w.U32(static_cast<uint32_t>(bits >> 32)).U32(static_cast<uint32_t>(bits));
  };
  if (flags & 1) w.U8(userDensity);
  if (flags & 2) f64(userFeather);
  if (flags & 4) w.U8(vectorDensity);
  if (flags & 8) f64(vectorFeather);
  return w.bytes;
}

struct ExpectedMask {
  bool present;
  std::vector<int32_t> rect;
  uint8_t color;
  uint8_t density;
  double feather;
};

struct MaskCase {
  const char* what;
  std::vector<uint8_t> data;
  ExpectedMask layerMask;
  ExpectedMask vectorMask;
  std::string output;
};

void ExpectMask(const psd::MaskRecord* mask, const ExpectedMask& expected, const std::string& what) {
  if (!expected.present) {
    EXPECT_EQ(mask, nullptr) << what;
    return;
  }
  ASSERT_NE(mask, nullptr) << what;
  if (!expected.rect.empty()) {
    EXPECT_EQ(std::vector<int32_t>({mask->top, mask->left, mask->bottom, mask->right}), expected.rect) << what;
    EXPECT_EQ(mask->defaultColor, expected.color) << what;
  }
  EXPECT_EQ(mask->density, expected.density) << what;
  EXPECT_DOUBLE_EQ(mask->feather, expected.feather) << what;
  EXPECT_EQ(mask->plane, nullptr) << what;
}

TEST(LayerMaskData, EntriesBecomeTheirMasksAndTheCursorEndsAtTheDeclaredLength) {
  const std::vector<int32_t> r1 = {1, 2, 3, 4}, r2 = {5, 6, 7, 8};
  const ExpectedMask none{false, {}, 0, 0, 0.0};
  const MaskCase cases[] = {
      {"20: rectangle, colour, flags, filler", Concat({MaskEntryA(r1, 255, 0), {0, 0}}), {true, r1, 255, 0, 0.0}, none, ""},
      {"36: first from other data, real one for the user",
       Concat({MaskEntryA(r1, 0, 0x08), MaskEntryB(r2, 255, 0)}), {true, r2, 255, 0, 0.0}, {true, r1, 0, 0, 0.0}, ""},
      {"36: both for the user", Concat({MaskEntryA(r1, 0, 0), MaskEntryB(r2, 255, 0)}), {true, r2, 255, 0, 0.0}, none,
       "\n***ASSERT FAILED*** A layer mask already exists."},
      // The 11 bytes after entry A would read as a parameter block if one were read.
      {"29 with bit 4: no parameter block", Concat({MaskEntryA(r1, 0, 0x10), ParameterBlock(0x01, 99, 0, 0, 0), std::vector<uint8_t>(9, 0)}),
       {true, r1, 0, 0, 0.0}, none, ""},
      {"28: user parameters", Concat({MaskEntryA(r1, 0, 0x10), ParameterBlock(0x03, 230, 6.0, 0, 0)}),
       {true, r1, 0, 230, 6.0}, none, ""},
      {"20: vector density", Concat({MaskEntryA(r1, 0, 0x18), ParameterBlock(0x04, 0, 0, 204, 0)}), none,
       {true, r1, 0, 204, 0.0}, ""},
      {"56: both entries, then all four parameters",
       Concat({MaskEntryA(r1, 0, 0x18), MaskEntryB(r2, 255, 0), ParameterBlock(0x0F, 191, 3.0, 250, 2.0), {0}}),
       {true, r2, 255, 191, 3.0}, {true, r1, 0, 250, 2.0}, ""},
      {"4: shorter than its fields", {1, 2, 3, 4}, {true, {}, 0, 0, 0.0}, none,
       "\n***ASSERT FAILED*** Parsing failed, -14bytes left."},
  };
  for (const MaskCase& c : cases) {
    std::vector<LayerFixture> layers(2);
    layers[0].maskData = c.data;
    layers[0].name = "after";
    layers[0].blocks = {kavri_test::SectionTypeBlock(0)};
    layers[1].name = "next";
    const DocumentFixture fixture = WithLayers(layers);
    Loaded loaded(kavri_test::DocumentBytes(fixture));
    ASSERT_NE(loaded.section, nullptr) << c.what;
    EXPECT_EQ(loaded.output, c.output) << c.what;
    ASSERT_EQ(loaded.section->layerRecordCount, 2u) << c.what;
    EXPECT_STREQ(loaded[0].name.c_str(), "after") << c.what;
    EXPECT_STREQ(loaded[1].name.c_str(), "next") << c.what;
    EXPECT_EQ(loaded[0].channelRecords[0].dataOffset, ChannelDataStart(fixture, layers)) << c.what;
    ExpectMask(loaded[0].layerMask, c.layerMask, std::string(c.what) + " layer mask");
    ExpectMask(loaded[0].vectorMask, c.vectorMask, std::string(c.what) + " vector mask");
  }
}

TEST(ReadMaskParameterBlock, ReadsOnlyTheFieldsItsFlagsName) {
  struct Case {
    uint8_t flags;
    uint64_t consumed;
  } cases[] = {{0x00, 1}, {0x01, 2}, {0x02, 9}, {0x04, 2}, {0x08, 9}, {0x05, 3}, {0x0F, 19}};
  for (const Case& c : cases) {
    psd::MallocAllocator allocator;
    kavri_test::MemoryFile file(&allocator, ParameterBlock(c.flags, 10, 1.5, 20, 2.5));
    psd::FileCursor cursor{&file, 0};
    uint8_t userDensity = 1, vectorDensity = 2;
    double userFeather = -1.0, vectorFeather = -2.0;
    EXPECT_EQ(psd::ReadMaskParameterBlock(cursor, userDensity, userFeather, vectorDensity, vectorFeather), c.consumed);
    EXPECT_EQ(cursor.offset, c.consumed);
    EXPECT_EQ(userDensity, (c.flags & 1) ? 10 : 1);
    EXPECT_EQ(userFeather, (c.flags & 2) ? 1.5 : -1.0);
    EXPECT_EQ(vectorDensity, (c.flags & 4) ? 20 : 2);
    EXPECT_EQ(vectorFeather, (c.flags & 8) ? 2.5 : -2.0);
  }
}

// ---- Names, blocks and offsets ----

TEST(LayerRecords, NameFieldsArePaddedToFourBytes) {
  // Name lengths 0, 3, 4 and 5 take 4, 4, 8 and 8 bytes of the record.
  const struct {
    std::string name;
    uint64_t fieldSize;
  } cases[] = {{"", 4}, {"abc", 4}, {"abcd", 8}, {"abcde", 8}};
  for (const auto& c : cases) {
    LayerFixture layer;
    layer.name = c.name;
    layer.blocks.clear();
    const DocumentFixture fixture = WithLayers({layer});
    Loaded loaded(kavri_test::DocumentBytes(fixture));
    ASSERT_NE(loaded.section, nullptr);
    EXPECT_EQ(loaded.output, "");
    EXPECT_EQ(loaded[0].name.c_str(), c.name);
    EXPECT_EQ(loaded[0].name.length, c.name.size());
    // rectangle, channel count, 3 channels, blend fields, extra length, mask and blending lengths, name
    const uint64_t recordSize = 16 + 2 + 18 + 12 + 4 + 8 + c.fieldSize;
    EXPECT_EQ(loaded[0].channelRecords[0].dataOffset, kavri_test::LayerSectionOffset(fixture) + 6 + recordSize) << c.name;
  }
}

TEST(LayerRecords, ReadsFieldsAndAssignsChannelOffsetsInOrder) {
  std::vector<LayerFixture> layers(2);
  layers[0].top = -5;
  layers[0].left = 7;
  layers[0].bottom = 100;
  layers[0].right = 200;
  layers[0].channels = {{-1, 10}, {0, 20}};
  layers[0].blendKey = "mul ";
  layers[0].opacity = 128;
  layers[0].clipping = 1;
  layers[0].flags = 0x02;
  layers[0].blendingRanges = std::vector<uint8_t>(40, 7);
  // A block of data length 5 takes 12 + 8 bytes; the block after it is still found.
  layers[0].blocks = {{"abcd", {1, 2, 3, 4, 5}}, kavri_test::SectionTypeBlock(psd::Normal)};
  layers[1].channels = {{2, 30}};
  const DocumentFixture fixture = WithLayers(layers);
  Loaded loaded(kavri_test::DocumentBytes(fixture));
  ASSERT_NE(loaded.section, nullptr);
  EXPECT_EQ(loaded.output, "");
  ASSERT_EQ(loaded.section->layerRecordCount, 2u);
  const psd::LayerRecord& a = loaded[0];
  EXPECT_EQ(std::vector<int32_t>({a.top, a.left, a.bottom, a.right}), std::vector<int32_t>({-5, 7, 100, 200}));
  EXPECT_EQ(a.blendModeKey, 0x6D756C20u);
  EXPECT_EQ(a.opacity, 128);
  EXPECT_EQ(a.clipping, 1);
  EXPECT_FALSE(a.visible);
  EXPECT_TRUE(loaded[1].visible);
  EXPECT_EQ(a.channelRecords[0].id, -1);
  EXPECT_EQ(a.channelRecords[1].dataLength, 20u);
  const uint64_t x = ChannelDataStart(fixture, layers);
  EXPECT_EQ(a.channelRecords[0].dataOffset, x);
  EXPECT_EQ(a.channelRecords[1].dataOffset, x + 10);
  EXPECT_EQ(loaded[1].channelRecords[0].dataOffset, x + 30);
  EXPECT_EQ(a.unicodeName, nullptr);
  EXPECT_EQ(a.group, nullptr);
}

TEST(LayerRecords, StoredLayerCountGivesCountAndTransparencyFlag) {
  const struct {
    int32_t stored;
    uint32_t count;
    bool firstAlpha;
  } cases[] = {{3, 3, false}, {-3, 3, true}};
  for (const auto& c : cases) {
    DocumentFixture fixture;
    fixture.layerInfo = kavri_test::LayerInfoBytes(std::vector<LayerFixture>(3), c.stored);
    Loaded loaded(kavri_test::DocumentBytes(fixture));
    ASSERT_NE(loaded.section, nullptr);
    EXPECT_EQ(loaded.section->layerRecordCount, c.count) << c.stored;
    EXPECT_EQ(loaded.section->firstAlphaIsTransparency, c.firstAlpha) << c.stored;
    EXPECT_EQ(loaded.output, "");
  }
}

TEST(LayerRecords, CountsLargerThanTheDataAreNotAllocated) {
  // −32768 means 32768 records, which two records' bytes cannot hold: only
  // what fits is read, after a message, and no channel offsets are assigned.
  DocumentFixture fixture;
  fixture.layerInfo = kavri_test::LayerInfoBytes(std::vector<LayerFixture>(2), -32768);
  Loaded loaded(kavri_test::DocumentBytes(fixture));
  ASSERT_NE(loaded.section, nullptr);
  EXPECT_TRUE(loaded.section->firstAlphaIsTransparency);
  EXPECT_NE(loaded.output.find("\n***ERROR*** [LayerMaskSection] Layer count 32768 does not fit"), std::string::npos)
      << loaded.output;
  EXPECT_LE(loaded.section->layerRecordCount, 2u);
  for (uint32_t i = 0; i < loaded.section->layerRecordCount; ++i) EXPECT_EQ(loaded[i].channelRecords[0].dataOffset, 0u);

  // A channel count the record cannot hold.
  LayerFixture layer;
  std::vector<uint8_t> info = kavri_test::LayerInfoBytes({layer});
  info[2 + 16] = 0xFF;
  info[2 + 17] = 0xFF;
  fixture.layerInfo = info;
  Loaded channels(kavri_test::DocumentBytes(fixture));
  ASSERT_NE(channels.section, nullptr);
  EXPECT_EQ(channels.section->layerRecordCount, 0u);
  EXPECT_EQ(channels.output,
            "\n***ERROR*** [LayerMaskSection] Channel count 65535 of a layer record does not fit into the layer "
            "information.");
}

TEST(LayerRecords, UnicodeNamesAreZeroTerminatedAndKeptInTheirBlock) {
  const struct {
    const char* what;
    BlockFixture block;
    std::u16string expected;
  } cases[] = {
      {"count 0", kavri_test::UnicodeNameBlock(u""), u""},
      {"text with a surrogate pair", kavri_test::UnicodeNameBlock(u"Ab\U0001F600"), u"Ab\U0001F600"},
      // A count larger than the block holds is cut to what the block holds.
      {"count larger than its block", kavri_test::UnicodeNameBlock(u"xyz", 0x7FFFFFFF), u"xyz"},
  };
  for (const auto& c : cases) {
    LayerFixture layer;
    layer.blocks = {c.block, kavri_test::SectionTypeBlock(psd::OpenGroup)};
    Loaded loaded(kavri_test::DocumentBytes(WithLayers({layer})));
    ASSERT_NE(loaded.section, nullptr) << c.what;
    EXPECT_EQ(loaded.output, "") << c.what;
    ASSERT_NE(loaded[0].unicodeName, nullptr) << c.what;
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(loaded[0].unicodeName)), c.expected) << c.what;
    EXPECT_EQ(loaded[0].sectionType, psd::OpenGroup) << c.what;
  }
}

// ---- Blocks from real writers ----

TEST(LayerRecords, BlocksPaddedToTwoBytesAreFollowed) {
  // "luni" of data length 10 and 14 padded to 2 bytes, then "lsct"; the last
  // layer's "luni" (length 10, padded to 2) ends 2 bytes before its rounding.
  std::vector<LayerFixture> layers(3);
  layers[0].blocks = {kavri_test::UnicodeNameBlock(u"kas", -1, 2), kavri_test::SectionTypeBlock(psd::GroupEnd)};
  layers[1].blocks = {kavri_test::UnicodeNameBlock(u"bebek", -1, 2), kavri_test::SectionTypeBlock(psd::OpenGroup)};
  layers[2].blocks = {kavri_test::UnicodeNameBlock(u"sol", -1, 2)};
  layers[2].name = "last";
  std::vector<LayerFixture> all = layers;
  all.push_back(LayerFixture());
  all[3].name = "after";
  const DocumentFixture fixture = WithLayers(all);
  Loaded loaded(kavri_test::DocumentBytes(fixture));
  ASSERT_NE(loaded.section, nullptr);
  EXPECT_EQ(loaded.output, "");
  ASSERT_EQ(loaded.section->layerRecordCount, 4u);
  EXPECT_EQ(loaded[0].sectionType, psd::GroupEnd);
  EXPECT_EQ(loaded[1].sectionType, psd::OpenGroup);
  EXPECT_EQ(loaded.GroupIndex(0), 1);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(loaded[1].unicodeName)), u"bebek");
  EXPECT_STREQ(loaded[3].name.c_str(), "after");
  EXPECT_EQ(loaded[0].channelRecords[0].dataOffset, ChannelDataStart(fixture, all));
}

TEST(LayerRecords, NestedGroupKeyGivesTheSectionType) {
  std::vector<LayerFixture> layers(3);
  layers[0].blocks = {kavri_test::SectionTypeBlock(psd::GroupEnd, "lsdk")};
  layers[2].blocks = {kavri_test::SectionTypeBlock(psd::ClosedGroup, "lsdk")};
  Loaded loaded(kavri_test::DocumentBytes(WithLayers(layers)));
  ASSERT_NE(loaded.section, nullptr);
  EXPECT_EQ(loaded[0].sectionType, psd::GroupEnd);
  EXPECT_EQ(loaded[2].sectionType, psd::ClosedGroup);
  EXPECT_EQ(loaded.GroupIndex(1), 2);
  EXPECT_EQ(loaded.output, "");
}

// ---- Corrupt records ----

TEST(LayerRecords, CorruptRecordsStopTheParseAndKeepTheWholeRecordsBefore) {
  auto badBlend = [] {
    std::vector<LayerFixture> layers(3);
    layers[1].blendSignature = "8BIX";
    return layers;
  };
  auto badBlock = [] {
    std::vector<LayerFixture> layers(3);
    layers[1].blocks = {kavri_test::UnicodeNameBlock(u"x")};
    layers[1].blocks[0].signature = "8B64";
    return layers;
  };
  auto blockTooLong = [] {
    std::vector<LayerFixture> layers(3);
    layers[1].blocks = {kavri_test::SectionTypeBlock(1)};
    layers[1].blocks[0].declaredLength = 400;
    return layers;
  };
  auto extraTooShort = [] {
    std::vector<LayerFixture> layers(3);
    layers[1].extraLengthAdjust = -12;  // less than its mask, blending ranges and name
    layers[1].blocks.clear();
    return layers;
  };
  const struct {
    const char* what;
    std::vector<LayerFixture> layers;
    const char* output;
  } cases[] = {
      {"blend signature", badBlend(), kBlendSignatureError},
      {"block signature", badBlock(), kLayerBlockError},
      {"block longer than the record", blockTooLong(), kLayerBlockError},
      {"extra data shorter than its fields", extraTooShort(), kLayerBlockError},
  };
  for (const auto& c : cases) {
    std::vector<LayerFixture> layers = c.layers;
    layers[0].name = "first";
    layers[0].opacity = 77;
    Loaded loaded(kavri_test::DocumentBytes(WithLayers(layers)));
    ASSERT_NE(loaded.section, nullptr) << c.what;
    EXPECT_EQ(loaded.output, c.output) << c.what;
    ASSERT_EQ(loaded.section->layerRecordCount, 1u) << c.what;
    EXPECT_STREQ(loaded[0].name.c_str(), "first") << c.what;
    EXPECT_EQ(loaded[0].opacity, 77) << c.what;
    EXPECT_EQ(loaded[0].channelRecords[0].dataOffset, 0u) << c.what;
  }
}

// ---- Group linking ----

TEST(LayerGroups, MembersLinkToTheirGroupRecord) {
  // File order: end marker, A, B, group G.
  std::vector<LayerFixture> layers(4);
  layers[0].blocks = {kavri_test::SectionTypeBlock(psd::GroupEnd)};
  layers[3].blocks = {kavri_test::SectionTypeBlock(psd::OpenGroup)};
  Loaded loaded(kavri_test::DocumentBytes(WithLayers(layers)));
  ASSERT_NE(loaded.section, nullptr);
  EXPECT_EQ(loaded.output, "");
  EXPECT_EQ(loaded.GroupIndex(3), -1);
  EXPECT_EQ(loaded.GroupIndex(2), 3);
  EXPECT_EQ(loaded.GroupIndex(1), 3);
  EXPECT_EQ(loaded.GroupIndex(0), 3);
}

TEST(LayerGroups, UnbalancedAndTooDeepNestingStaysInTheStack) {
  const std::string outOfBounds = "\n***ASSERT FAILED*** Stack index is out of bounds.";
  {
    // File order: end marker, member, group, and a stray end marker with no open group.
    std::vector<LayerFixture> layers(4);
    layers[0].blocks = {kavri_test::SectionTypeBlock(psd::GroupEnd)};
    layers[2].blocks = {kavri_test::SectionTypeBlock(psd::ClosedGroup)};
    layers[3].blocks = {kavri_test::SectionTypeBlock(psd::GroupEnd)};
    Loaded loaded(kavri_test::DocumentBytes(WithLayers(layers)));
    ASSERT_NE(loaded.section, nullptr);
    EXPECT_EQ(loaded.output, outOfBounds);
    EXPECT_EQ(loaded.GroupIndex(3), -1);
    EXPECT_EQ(loaded.GroupIndex(2), -1);
    EXPECT_EQ(loaded.GroupIndex(1), 2);
    EXPECT_EQ(loaded.GroupIndex(0), 2);
  }
  {
    // 300 nested groups around one layer: the innermost groups share the last slot.
    const int depth = 300;
    std::vector<LayerFixture> layers(2 * depth + 1);
    for (int i = 0; i < depth; ++i) {
      layers[i].blocks = {kavri_test::SectionTypeBlock(psd::GroupEnd)};
      layers[depth + 1 + i].blocks = {kavri_test::SectionTypeBlock(psd::OpenGroup)};
      layers[i].name = layers[depth + 1 + i].name = "g";
    }
    Loaded loaded(kavri_test::DocumentBytes(WithLayers(layers)));
    ASSERT_NE(loaded.section, nullptr);
    EXPECT_NE(loaded.output.find(outOfBounds), std::string::npos);
    EXPECT_EQ(loaded.GroupIndex(2 * depth), -1);
    EXPECT_EQ(loaded.GroupIndex(2 * depth - 1), 2 * depth);
    // The member's group is the 255th group from the outside.
    EXPECT_EQ(loaded.GroupIndex(depth), 2 * depth - 254);
  }
}

// ---- The section and its global tail ----

TEST(LayerMaskSection, MissingOrEmptySections) {
  DocumentFixture none;
  none.layerMaskSection = false;
  Loaded missing(kavri_test::DocumentBytes(none));
  EXPECT_EQ(missing.section, nullptr);
  EXPECT_EQ(missing.output, "\n***ERROR*** [PSD] Document does not contain a layer mask section.");

  DocumentFixture empty;
  empty.tail = kavri_test::GlobalMaskInfo(0, 0, 128, 0);
  Loaded loaded(kavri_test::DocumentBytes(empty));
  ASSERT_NE(loaded.section, nullptr);
  EXPECT_EQ(loaded.section->layerRecords, nullptr);
  EXPECT_EQ(loaded.section->layerRecordCount, 0u);
  EXPECT_EQ(loaded.section->maskKind, 128);
  EXPECT_EQ(loaded.output, "");
}

std::vector<uint8_t> GlobalBlock(const std::string& key, const std::vector<uint8_t>& data, int64_t declared = -1) {
  BlockFixture block{key, data};
  block.declaredLength = declared;
  return kavri_test::BlockBytes(block);
}

TEST(LayerMaskSection, DocumentLevelListsReplaceTheMainList) {
  std::vector<LayerFixture> inner(2);
  inner[0].name = "deep0";
  inner[1].name = "deep1";
  inner[0].blocks = {kavri_test::SectionTypeBlock(psd::GroupEnd)};
  inner[1].blocks = {kavri_test::SectionTypeBlock(psd::OpenGroup)};
  std::vector<uint8_t> innerInfo = kavri_test::LayerInfoBytes(inner, -2);
  innerInfo.push_back(0);  // an odd length, padded to 4 in the file
  for (const char* key : {"Lr16", "Lr32"}) {
    DocumentFixture fixture;
    fixture.layerInfo = kavri_test::LayerInfoBytes(std::vector<LayerFixture>(1));
    fixture.tail = Concat({kavri_test::GlobalMaskInfo(3, 50, 1), GlobalBlock("Patt", {1, 2, 3}), GlobalBlock(key, innerInfo),
                        GlobalBlock("FMsk", std::vector<uint8_t>(12, 0))});
    Loaded loaded(kavri_test::DocumentBytes(fixture));
    ASSERT_NE(loaded.section, nullptr) << key;
    EXPECT_EQ(loaded.output, "") << key;
    ASSERT_EQ(loaded.section->layerRecordCount, 2u) << key;
    EXPECT_TRUE(loaded.section->firstAlphaIsTransparency) << key;
    EXPECT_STREQ(loaded[0].name.c_str(), "deep0") << key;
    EXPECT_EQ(loaded.GroupIndex(0), 1) << key;
    EXPECT_NE(loaded[0].channelRecords[0].dataOffset, 0u) << key;
    // The global values describe the document; they stay with the list that replaces the first.
    EXPECT_EQ(loaded.section->overlayColorSpace, 3) << key;
    EXPECT_EQ(loaded.section->maskOpacity, 50) << key;
    EXPECT_EQ(loaded.section->maskKind, 1) << key;
  }
  // An empty "Lr16" block leaves an empty section.
  DocumentFixture fixture;
  fixture.layerInfo = kavri_test::LayerInfoBytes(std::vector<LayerFixture>(1));
  fixture.tail = Concat({kavri_test::GlobalMaskInfo(0, 0, 128, 0), GlobalBlock("Lr16", {})});
  Loaded emptied(kavri_test::DocumentBytes(fixture));
  ASSERT_NE(emptied.section, nullptr);
  EXPECT_EQ(emptied.section->layerRecords, nullptr);
  EXPECT_EQ(emptied.section->layerRecordCount, 0u);
}

TEST(LayerMaskSection, GlobalTailReadsNothingPastTheSection) {
  // A section whose tail is shorter than the global mask length field; the
  // image data after it would read as mask information if it were read.
  for (size_t tailBytes : {0u, 2u, 3u}) {
    DocumentFixture fixture;
    fixture.layerInfo = kavri_test::LayerInfoBytes(std::vector<LayerFixture>(2));
    fixture.tail = std::vector<uint8_t>(tailBytes, 0);
    fixture.imageData = kavri_test::GlobalMaskInfo(7, 9, 1);
    Loaded loaded(kavri_test::DocumentBytes(fixture));
    ASSERT_NE(loaded.section, nullptr);
    EXPECT_EQ(loaded.output, "") << tailBytes;
    EXPECT_EQ(loaded.section->layerRecordCount, 2u);
    EXPECT_EQ(loaded.section->overlayColorSpace, 0) << tailBytes;
    EXPECT_EQ(loaded.section->maskKind, 128) << tailBytes;
    EXPECT_NE(loaded[1].channelRecords[2].dataOffset, 0u);
  }
  // Mask information longer than the section: its fields, if the section holds them, and nothing after.
  DocumentFixture fixture;
  fixture.tail = Concat({kavri_test::GlobalMaskInfo(4, 5, 6, 13), {0, 0, 0}});
  fixture.tail[3] = 200;
  fixture.imageData = GlobalBlock("Lr16", kavri_test::LayerInfoBytes(std::vector<LayerFixture>(1)));
  Loaded loaded(kavri_test::DocumentBytes(fixture));
  ASSERT_NE(loaded.section, nullptr);
  EXPECT_EQ(loaded.output, "");
  EXPECT_EQ(loaded.section->overlayColorSpace, 4);
  EXPECT_EQ(loaded.section->layerRecordCount, 0u);
}

TEST(LayerMaskSection, CorruptGlobalBlocksEndTheWalk) {
  const struct {
    const char* what;
    std::vector<uint8_t> block;
  } cases[] = {
      {"signature", [] {
         std::vector<uint8_t> b = GlobalBlock("Lr16", kavri_test::LayerInfoBytes(std::vector<LayerFixture>(1)));
         b[3] = 'X';
         return b;
       }()},
      {"length past the section", GlobalBlock("Lr16", kavri_test::LayerInfoBytes(std::vector<LayerFixture>(1)), 100000)},
  };
  for (const auto& c : cases) {
    DocumentFixture fixture;
    fixture.layerInfo = kavri_test::LayerInfoBytes(std::vector<LayerFixture>(2));
    fixture.tail = Concat({kavri_test::GlobalMaskInfo(0, 0, 128, 0), c.block});
    Loaded loaded(kavri_test::DocumentBytes(fixture));
    ASSERT_NE(loaded.section, nullptr) << c.what;
    EXPECT_EQ(loaded.output, kGlobalBlockError) << c.what;
    EXPECT_EQ(loaded.section->layerRecordCount, 2u) << c.what;
  }
}

// ---- Allocation failures ----

TEST(LayerMaskSection, EveryFailedAllocationEndsCleanly) {
  std::vector<LayerFixture> layers(3);
  layers[0].maskData = Concat({MaskEntryA({1, 2, 3, 4}, 0, 0x08), MaskEntryB({5, 6, 7, 8}, 255, 0)});
  layers[0].blocks = {kavri_test::UnicodeNameBlock(u"one"), kavri_test::SectionTypeBlock(psd::GroupEnd)};
  layers[2].blocks = {kavri_test::SectionTypeBlock(psd::OpenGroup)};
  DocumentFixture fixture;
  fixture.tail = Concat({kavri_test::GlobalMaskInfo(0, 0, 128, 0), GlobalBlock("Lr16", kavri_test::LayerInfoBytes(layers))});
  fixture.layerInfo = kavri_test::LayerInfoBytes(std::vector<LayerFixture>(1));
  const std::vector<uint8_t> bytes = kavri_test::DocumentBytes(fixture);
  int64_t needed;
  {
    Loaded full(bytes);
    ASSERT_NE(full.section, nullptr);
    ASSERT_EQ(full.section->layerRecordCount, 3u);
    needed = full.allocator.allocations;
  }
  for (int64_t failAt = 0; failAt < needed; ++failAt) {
    Loaded loaded(bytes, failAt);  // checks that every block came back
    if (loaded.section != nullptr) {
      EXPECT_LE(loaded.section->layerRecordCount, 3u);
    }
  }
}

TEST(LayerMaskSection, ReleaseClearsThePointerAndAssertsOnNull) {
  psd::MallocAllocator allocator;
  psd::LayerMaskSection* section = nullptr;
  CaptureStdout();
  psd::ReleaseLayerMaskSection(section, &allocator);
  EXPECT_EQ(GetCapturedStdout(), "\n***ASSERT FAILED*** Pointer is null.");
}

}  // namespace
