#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "psd/document_info.h"
#include "psd/image_resources.h"
#include "tests/psd/layer_fixtures.h"
#include "tests/psd/tracking_allocator.h"
#include "tests/support/memory_file.h"

namespace {

using kavri_test::ByteWriter;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const char kCorrupt[] =
    "\n***ERROR*** [ImageResources] Image resources section seems to be corrupt, signature does not match \"8BIM\".";

std::vector<uint8_t> Resource(uint16_t id, const std::vector<uint8_t>& data, const std::string& name = "",
                              const std::string& signature = "8BIM", int64_t declaredSize = -1) {
  ByteWriter w;
  w.Text(signature).U16(id).U8(static_cast<uint32_t>(name.size())).Text(name);
  if (name.size() % 2 == 0) w.U8(0);  // length byte and name take an even count
  w.U32(declaredSize < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(declaredSize)).Raw(data);
  if (data.size() % 2 != 0) w.U8(0);
  return w.bytes;
}

std::vector<uint8_t> VersionInfo(uint8_t hasMergedImage) {
  ByteWriter w;
  w.U32(1).U8(hasMergedImage).Zeros(8);
  return Resource(1057, w.bytes);
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct Read {
  explicit Read(const std::vector<uint8_t>& resources, uint32_t channelCount = 3, int64_t failAt = -1)
      : allocator(failAt), file(&fileAllocator, Document(resources, channelCount)) {
    psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &fileAllocator);
    EXPECT_NE(document, nullptr);
    CaptureStdout();
    record = psd::ReadImageResources(document, &file, &allocator, Visit, &ids);
    output = GetCapturedStdout();
    fileAllocator.ReleaseBlock(document);
  }
  ~Read() {
    psd::ReleaseImageResources(record, &allocator);
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(allocator.live, 0) << "blocks not returned";
  }
  static std::vector<uint8_t> Document(const std::vector<uint8_t>& resources, uint32_t channelCount) {
    kavri_test::DocumentFixture fixture;
    fixture.channelCount = channelCount;
    fixture.imageResources = resources;
    fixture.layerMaskSection = false;
    return kavri_test::DocumentBytes(fixture);
  }
  static void Visit(const psd::ImageResourceBlock& block, void* context) {
    static_cast<std::vector<int>*>(context)->push_back(block.id);
  }

  kavri_test::TrackingAllocator allocator;
  psd::MallocAllocator fileAllocator;
  kavri_test::MemoryFile file;
  psd::ImageResourceRecord* record = nullptr;
  std::vector<int> ids;
  std::string output;
};

TEST(ImageResources, EmptySectionGivesTheInitialRecord) {
  Read read({});
  ASSERT_NE(read.record, nullptr);
  EXPECT_EQ(read.record->alphaInfos, nullptr);
  EXPECT_EQ(read.record->alphaInfoCount, 0u);
  EXPECT_EQ(read.record->iccBlock, nullptr);
  EXPECT_EQ(read.record->iccBlockSize, 0u);
  EXPECT_EQ(read.record->exifBlock, nullptr);
  EXPECT_EQ(read.record->xmpBlock, nullptr);
  EXPECT_EQ(read.record->preview, nullptr);
  EXPECT_TRUE(read.record->mergedImagePresent);
  EXPECT_EQ(read.output, "");
}

TEST(ImageResources, BlocksAreWalkedByTheirPaddedNamesAndSizes) {
  // Names of 0 to 3 characters, data of odd and even sizes, and the "psdM"
  // signature: the version information after each is still found.
  const struct {
    std::string name;
    size_t dataSize;
    const char* signature;
  } cases[] = {{"", 4, "8BIM"}, {"a", 5, "8BIM"}, {"ab", 1, "psdM"}, {"abc", 0, "8BIM"}, {"abcd", 6, "psdM"}};
  for (const auto& c : cases) {
    Read read(Concat({Resource(2000, std::vector<uint8_t>(c.dataSize, 0xEE), c.name, c.signature), VersionInfo(0)}));
    ASSERT_NE(read.record, nullptr);
    EXPECT_EQ(read.output, "") << c.name;
    EXPECT_EQ(read.ids, std::vector<int>({2000, 1057})) << c.name;
    EXPECT_FALSE(read.record->mergedImagePresent) << c.name;
  }
}

TEST(ImageResources, KeepsTheKnownResources) {
  ByteWriter thumbnail;
  thumbnail.U32(1).U32(160).U32(90).U32(480).U32(43200).U32(5).U16(24).U16(1).Text("JPEG!");
  ByteWriter display;
  display.U32(1).U16(0).U16(65535).U16(0).U16(0).U16(0).U16(50).U8(1).U16(2).U16(1).U16(2).U16(3).U16(4).U16(100).U8(0);
  ByteWriter names;
  names.U8(3).Text("one").U8(3).Text("two").U8(5).Text("three");
  Read read(Concat({Resource(1006, names.bytes), Resource(1036, thumbnail.bytes), Resource(1039, {1, 2, 3}),
                    Resource(1058, {4, 5, 6, 7}), Resource(1060, {'<', 'x', '/', '>'}), Resource(1077, display.bytes),
                    VersionInfo(1)}),
            5);
  ASSERT_NE(read.record, nullptr);
  EXPECT_EQ(read.output, "");
  const psd::ImageResourceRecord& r = *read.record;
  // Five channels: two alpha entries; the third name is read and dropped.
  ASSERT_EQ(r.alphaInfoCount, 2u);
  EXPECT_STREQ(r.alphaInfos[0].name.c_str(), "one");
  EXPECT_STREQ(r.alphaInfos[1].name.c_str(), "two");
  EXPECT_EQ(r.alphaInfos[0].displayColor[0], 65535);
  EXPECT_EQ(r.alphaInfos[0].displayOpacity, 50);
  EXPECT_EQ(r.alphaInfos[0].displayKind, 1);
  EXPECT_EQ(r.alphaInfos[1].displayColorSpace, 2);
  EXPECT_EQ(r.alphaInfos[1].displayColor[3], 4);
  EXPECT_EQ(r.alphaInfos[1].displayOpacity, 100);
  ASSERT_NE(r.preview, nullptr);
  EXPECT_EQ(r.preview->width, 160u);
  EXPECT_EQ(r.preview->height, 90u);
  ASSERT_EQ(r.preview->jpegSize, 5u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.preview->jpegBytes), 5), "JPEG!");
  // Sizes are the padded sizes.
  ASSERT_EQ(r.iccBlockSize, 4u);
  EXPECT_EQ(r.iccBlock[2], 3);
  EXPECT_EQ(r.iccBlock[3], 0);
  ASSERT_EQ(r.exifBlockSize, 4u);
  EXPECT_EQ(r.exifBlock[3], 7);
  ASSERT_NE(r.xmpBlock, nullptr);
  EXPECT_EQ(r.xmpBlock[1], 'x');
  EXPECT_TRUE(r.mergedImagePresent);
}

TEST(ImageResources, RepeatedResourcesReplaceTheEarlierOnes) {
  ByteWriter thumbnail;
  thumbnail.U32(1).U32(1).U32(1).U32(3).U32(3).U32(1).U16(24).U16(1).U8(9);
  Read read(Concat({Resource(1039, {1, 1}), Resource(1039, {2, 2, 2, 2}), Resource(1058, {1}), Resource(1058, {2, 2}),
                    Resource(1060, {1}), Resource(1060, {2}), Resource(1036, thumbnail.bytes),
                    Resource(1036, thumbnail.bytes)}));
  ASSERT_NE(read.record, nullptr);
  EXPECT_EQ(read.output,
            "\n***ASSERT FAILED*** File contains more than one ICC profile."
            "\n***ASSERT FAILED*** File contains more than one EXIF data block."
            "\n***ASSERT FAILED*** File contains more than one XMP metadata resource.");
  EXPECT_EQ(read.record->iccBlockSize, 4u);
  EXPECT_EQ(read.record->iccBlock[0], 2);
  EXPECT_EQ(read.record->exifBlock[0], 2);
  EXPECT_EQ(read.record->xmpBlock[0], 2);
  // The destructor checks that the replaced blocks went back to the allocator.
}

TEST(ImageResources, CorruptBlocksEndTheWalk) {
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"signature", Concat({Resource(2000, {1, 2}), Resource(1057, {0, 0, 0, 1, 0}, "", "8BIX"), VersionInfo(0)})},
      // A size larger than the section never sizes a copy.
      {"size past the section", Concat({Resource(2000, {1, 2}), Resource(1039, {1, 2, 3, 4}, "", "8BIM", 0x7FFFFFF0),
                                        VersionInfo(0)})},
  };
  for (const auto& c : cases) {
    Read read(c.bytes);
    ASSERT_NE(read.record, nullptr) << c.what;
    EXPECT_EQ(read.output, kCorrupt) << c.what;
    EXPECT_TRUE(read.record->mergedImagePresent) << c.what;
    EXPECT_EQ(read.record->iccBlock, nullptr) << c.what;
  }
}

TEST(ImageResources, SizesFromTheFileStayWithinTheirBlocks) {
  // A thumbnail claiming more JPEG bytes than its block holds, and alpha data
  // in documents with too few channels for any alpha entry.
  ByteWriter thumbnail;
  thumbnail.U32(1).U32(4).U32(4).U32(12).U32(48).U32(0x7FFFFFFF).U16(24).U16(1).Text("abc");
  ByteWriter names;
  names.U8(1).Text("a").U8(1).Text("b");
  ByteWriter display;
  display.U32(1).Zeros(26);
  for (uint32_t channels : {1u, 2u, 3u}) {
    Read read(Concat({Resource(1036, thumbnail.bytes), Resource(1006, names.bytes), Resource(1077, display.bytes)}),
              channels);
    ASSERT_NE(read.record, nullptr);
    EXPECT_EQ(read.output, "");
    ASSERT_NE(read.record->preview, nullptr);
    EXPECT_EQ(read.record->preview->jpegSize, 3u);
    EXPECT_EQ(read.record->alphaInfoCount, 0u);
  }
}

TEST(ImageResources, EveryFailedAllocationEndsCleanly) {
  ByteWriter thumbnail;
  thumbnail.U32(1).U32(1).U32(1).U32(3).U32(3).U32(1).U16(24).U16(1).U8(9);
  const std::vector<uint8_t> bytes = Concat({Resource(1006, {1, 'a'}), Resource(1036, thumbnail.bytes),
                                             Resource(1039, {1}), Resource(1058, {1}), Resource(1060, {1})});
  for (int64_t failAt = 0; failAt < 8; ++failAt) {
    Read read(bytes, 4, failAt);  // checks that every block came back
  }
}

}  // namespace
