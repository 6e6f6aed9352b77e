#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "psd/layer_channels.h"
#include "tests/support/memory_file.h"
#include "tests/support/psd_bytes.h"

namespace {

using Bytes = std::vector<uint8_t>;
using kavri_test::ByteWriter;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const std::string kNoMask =
    "\n***ASSERT FAILED*** The code failed to create a mask for this type internally. This should never happen.";

struct ChannelSpec {
  int16_t id;
  Bytes data;  // compression code included
};

// A layer whose channels' data lie one after another in a memory file.
struct Fixture {
  psd::MallocAllocator allocator;
  std::unique_ptr<kavri_test::MemoryFile> file;
  psd::DocumentInfo document{};
  psd::LayerRecord layer{};
  std::vector<psd::ChannelRecord> channels;
  psd::MaskRecord layerMask{};
  psd::MaskRecord vectorMask{};

  Fixture(uint32_t depth, int32_t width, int32_t height, const std::vector<ChannelSpec>& specs) {
    document.depth = depth;
    layer.top = 10;
    layer.left = 20;
    layer.bottom = 10 + height;
    layer.right = 20 + width;
    ByteWriter bytes;
    bytes.Zeros(8);  // channel data never starts at 0
    for (const ChannelSpec& s : specs) {
      channels.push_back({bytes.size(), static_cast<uint32_t>(s.data.size()), nullptr, s.id});
      bytes.Raw(s.data);
    }
    file = std::make_unique<kavri_test::MemoryFile>(&allocator, bytes.bytes);
    layer.channelRecords = channels.data();
    layer.channelRecordCount = static_cast<uint32_t>(channels.size());
  }
  ~Fixture() {
    for (psd::ChannelRecord& c : channels) allocator.ReleaseBlock(c.plane);
    allocator.ReleaseBlock(layerMask.plane);
    allocator.ReleaseBlock(vectorMask.plane);
  }
  void AddLayerMask(int32_t width, int32_t height, uint8_t defaultColor) {
    layerMask = {0, 0, height, width, 0, nullptr, 0.0, 0, defaultColor};
    layer.layerMask = &layerMask;
  }
  void AddVectorMask(int32_t width, int32_t height, uint8_t defaultColor) {
    vectorMask = {5, 5, 5 + height, 5 + width, 0, nullptr, 0.0, 0, defaultColor};
    layer.vectorMask = &vectorMask;
  }
  std::string Load() {
    CaptureStdout();
    psd::LoadLayerChannels(&document, file.get(), &allocator, &layer);
    return GetCapturedStdout();
  }
  Bytes Plane(const void* plane, size_t bytes) const {
    const auto* p = static_cast<const uint8_t*>(plane);
    return Bytes(p, p + bytes);
  }
};

Bytes Raw(const Bytes& samples) { return ByteWriter().U16(0).Raw(samples).bytes; }
// One RLE row per row of width bytes, each as one literal.
Bytes Rle(const Bytes& samples, size_t rowBytes) {
  ByteWriter w;
  w.U16(1);
  const size_t rows = samples.size() / rowBytes;
  for (size_t r = 0; r < rows; ++r) w.U16(static_cast<uint32_t>(rowBytes + 1));
  for (size_t r = 0; r < rows; ++r) {
    w.U8(static_cast<uint32_t>(rowBytes - 1));
    w.Raw(Bytes(samples.begin() + r * rowBytes, samples.begin() + (r + 1) * rowBytes));
  }
  return w.bytes;
}
Bytes Zip(const Bytes& samples, uint16_t code = 2) {
  uLongf size = compressBound(static_cast<uLong>(samples.size()));
  Bytes out(size);
  compress(out.data(), &size, samples.data(), static_cast<uLong>(samples.size()));
  out.resize(size);
  return ByteWriter().U16(code).Raw(out).bytes;
}
Bytes CodeOnly(uint16_t code) { return ByteWriter().U16(code).bytes; }

TEST(LoadLayerChannels, RleLayerInStoredOrder) {
  Fixture f(8, 3, 2, {{-1, Rle({9, 9, 9, 8, 8, 8}, 3)},
                      {0, Rle({1, 2, 3, 4, 5, 6}, 3)},
                      {1, Rle({7, 7, 7, 7, 7, 7}, 3)},
                      {2, Rle({0, 1, 0, 1, 0, 1}, 3)}});
  EXPECT_EQ(f.Load(), "");
  EXPECT_EQ(f.Plane(f.channels[0].plane, 6), (Bytes{9, 9, 9, 8, 8, 8}));
  EXPECT_EQ(f.Plane(f.channels[1].plane, 6), (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(f.Plane(f.channels[2].plane, 6), (Bytes{7, 7, 7, 7, 7, 7}));
  EXPECT_EQ(f.Plane(f.channels[3].plane, 6), (Bytes{0, 1, 0, 1, 0, 1}));
  for (const psd::ChannelRecord& c : f.channels) EXPECT_EQ(reinterpret_cast<uintptr_t>(c.plane) % 16, 0u);
}

TEST(LoadLayerChannels, MaskHandOver) {
  {  // Only a layer mask: the -2 plane is sized by it and ends in it.
    Fixture f(8, 4, 4, {{0, Raw(Bytes(16, 3))}, {-2, Raw({1, 2, 3, 4, 5, 6})}});
    f.AddLayerMask(3, 2, 0);
    const uint64_t offset = f.channels[1].dataOffset;
    EXPECT_EQ(f.Load(), "");
    EXPECT_EQ(f.Plane(f.layerMask.plane, 6), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(f.layerMask.dataOffset, offset);
    EXPECT_EQ(f.channels[1].id, psd::kChannelIdConsumed);
    EXPECT_EQ(f.channels[1].dataOffset, 0u);
    EXPECT_EQ(f.channels[1].plane, nullptr);
  }
  {  // Both masks: -2 by and to the vector mask, -3 by and to the layer mask.
    Fixture f(8, 4, 4, {{-2, Raw({1, 2})}, {-3, Raw({7, 8, 9})}});
    f.AddVectorMask(2, 1, 0);
    f.AddLayerMask(1, 3, 0);
    EXPECT_EQ(f.Load(), "");
    EXPECT_EQ(f.Plane(f.vectorMask.plane, 2), (Bytes{1, 2}));
    EXPECT_EQ(f.Plane(f.layerMask.plane, 3), (Bytes{7, 8, 9}));
    EXPECT_EQ(f.channels[0].id, psd::kChannelIdConsumed);
    EXPECT_EQ(f.channels[1].id, psd::kChannelIdConsumed);
  }
  {  // No stored data: the mask's default colour fills the plane.
    Fixture f(8, 4, 4, {{-2, CodeOnly(2)}});
    f.AddLayerMask(3, 2, 255);
    EXPECT_EQ(f.Load(), "");
    EXPECT_EQ(f.Plane(f.layerMask.plane, 6), Bytes(6, 255));
  }
  {  // -2 without any mask: reported in each pass, the channel keeps its empty plane.
    Fixture f(8, 4, 4, {{-2, Raw({1})}});
    EXPECT_EQ(f.Load(), kNoMask + kNoMask + kNoMask);
    EXPECT_EQ(f.channels[0].id, -2);
    EXPECT_NE(f.channels[0].plane, nullptr);
  }
  {  // -3 without a layer mask: an empty plane that stays with the channel.
    Fixture f(8, 4, 4, {{-3, Raw({1})}});
    EXPECT_EQ(f.Load(), "\n***ASSERT FAILED*** Layer mask must already exist.");
    EXPECT_EQ(f.channels[0].id, -3);
    EXPECT_NE(f.channels[0].plane, nullptr);
  }
}

TEST(LoadLayerChannels, FillsAndEmptyPlanes) {
  struct Case {
    const char* name;
    uint32_t depth;
    int32_t width, height;
    ChannelSpec channel;
    bool hasPlane;
    Bytes plane;
    std::string output;
    int64_t storedLength = -1;  // overrides the channel's dataLength
  };
  const float one = 1.0f;
  Bytes ones32(8);
  std::memcpy(ones32.data(), &one, 4);
  std::memcpy(ones32.data() + 4, &one, 4);
  const Case cases[] = {
      {"transparency, raw, empty rectangle", 8, 0, 5, {-1, Raw({1, 2})}, true, {}, ""},
      {"colour, ZIP without data", 8, 2, 2, {0, CodeOnly(2)}, false, {}, ""},
      {"transparency at 16 bits", 16, 2, 1, {-1, CodeOnly(3)}, true, Bytes(4, 0), ""},
      {"transparency at 32 bits", 32, 2, 1, {-1, CodeOnly(2)}, true, Bytes(8, 0), ""},
      {"ZIP length below 2", 8, 2, 1, {-1, CodeOnly(2)}, true, Bytes(2, 0),
       "\n***ASSERT FAILED*** Invalid channel data size 1.", 1},
      {"unsupported depth: colour gets none", 1, 8, 2, {0, Raw({1, 2})}, false, {}, ""},
      {"unsupported depth: transparency filled", 1, 8, 2, {-1, Raw({1, 2})}, true, Bytes(2, 0), ""},
  };
  for (const Case& c : cases) {
    Fixture f(c.depth, c.width, c.height, {c.channel});
    if (c.storedLength >= 0) f.channels[0].dataLength = static_cast<uint32_t>(c.storedLength);
    EXPECT_EQ(f.Load(), c.output) << c.name;
    EXPECT_EQ(f.channels[0].plane != nullptr, c.hasPlane) << c.name;
    if (c.hasPlane) {
      EXPECT_EQ(f.Plane(f.channels[0].plane, c.plane.size()), c.plane) << c.name;
    }
  }
  // Mask fills at 16 and 32 bits keep their meaning: 255 is full scale, not a NaN.
  Fixture f16(16, 2, 2, {{-2, CodeOnly(2)}});
  f16.AddLayerMask(2, 1, 255);
  f16.Load();
  EXPECT_EQ(f16.Plane(f16.layerMask.plane, 4), Bytes(4, 0xFF));
  Fixture f32(32, 2, 2, {{-2, CodeOnly(3)}});
  f32.AddLayerMask(2, 1, 255);
  f32.Load();
  EXPECT_EQ(f32.Plane(f32.layerMask.plane, 8), ones32);
}

TEST(LoadLayerChannels, UnsupportedCompressionStopsTheLayer) {
  Fixture f(8, 2, 1, {{-2, Raw({5, 6})}, {0, CodeOnly(4)}, {1, Raw({1, 2})}, {2, Raw({3, 4})}});
  f.AddLayerMask(2, 1, 0);
  EXPECT_EQ(f.Load(), "\n***ASSERT FAILED*** Unsupported compression type 4");
  EXPECT_EQ(f.channels[0].id, -2);
  EXPECT_EQ(f.Plane(f.channels[0].plane, 2), (Bytes{5, 6}));
  EXPECT_EQ(f.layerMask.plane, nullptr);
  EXPECT_EQ(f.channels[2].plane, nullptr);
  EXPECT_EQ(f.channels[3].plane, nullptr);
}

// A second run reloads the colour channels (releasing the old planes: the
// sanitizer build finds a leak otherwise) and leaves consumed channels alone.
TEST(LoadLayerChannels, SecondRun) {
  Fixture f(8, 2, 1, {{0, Zip({4, 5})}, {-2, Raw({8, 9})}});
  f.AddLayerMask(2, 1, 0);
  EXPECT_EQ(f.Load(), "");
  void* mask = f.layerMask.plane;
  EXPECT_EQ(f.Load(), "\n***ASSERT FAILED*** Channel data has already been loaded.");
  EXPECT_EQ(f.Plane(f.channels[0].plane, 2), (Bytes{4, 5}));
  EXPECT_EQ(f.layerMask.plane, mask);
  EXPECT_EQ(f.channels[1].id, psd::kChannelIdConsumed);
}

// A few bytes of file cannot ask for a filled plane of gigabytes.
TEST(LoadLayerChannels, FillsStayNearTheCanvas) {
  Fixture f(8, 1, 1, {{-1, CodeOnly(2)}});
  f.document.width = 100;
  f.document.height = 100;
  f.layer.right = f.layer.left + 60000;
  f.layer.bottom = f.layer.top + 60000;
  EXPECT_EQ(f.Load(),
            "\n***ASSERT FAILED*** A plane of 60000 x 60000 samples needs 3600000000 bytes, far larger than the canvas, "
            "with no data behind it; the channel gets no plane.");
  EXPECT_EQ(f.channels[0].plane, nullptr);
}

// The canvas is a header field too: a huge one does not let a small file fill
// gigabytes (found by the reader harness).
TEST(LoadLayerChannels, FillsStayNearWhatTheFileCouldHold) {
  Fixture f(8, 1, 1, {{-1, CodeOnly(2)}});
  f.document.width = 100000;
  f.document.height = 100000;
  f.layer.right = f.layer.left + 20000;
  f.layer.bottom = f.layer.top + 20000;
  EXPECT_EQ(f.Load(),
            "\n***ASSERT FAILED*** A plane of 20000 x 20000 samples needs 400000000 bytes, far larger than the file "
            "could hold, with no data behind it; the channel gets no plane.");
  EXPECT_EQ(f.channels[0].plane, nullptr);
  // Within the 16 MiB floor a fill is still made.
  f.layer.right = f.layer.left + 4000;
  f.layer.bottom = f.layer.top + 4000;
  EXPECT_EQ(f.Load(), "");
  ASSERT_NE(f.channels[0].plane, nullptr);
}

// Fills of one layer together stay within three planes' worth, however many
// empty channels its record lists.
TEST(LoadLayerChannels, ManyEmptyChannelsShareTheFillLimit) {
  Fixture f(8, 4000, 4000, std::vector<ChannelSpec>(10, {-1, CodeOnly(2)}));
  const std::string output = f.Load();
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(f.channels[i].plane != nullptr, i < 3) << i;
  const std::string refusal =
      "\n***ASSERT FAILED*** A plane of 4000 x 4000 samples needs 16000000 bytes, far larger than the canvas, "
      "with no data behind it; the channel gets no plane.";
  std::string expected;
  for (int i = 0; i < 7; ++i) expected += refusal;
  EXPECT_EQ(output, expected);
}

TEST(LoadLayerChannels, HugeRectangleGetsNoPlane) {
  Fixture f(8, 1, 1, {{0, Raw({1})}, {-1, CodeOnly(0)}});
  f.layer.left = -2147483647;
  f.layer.right = 2147483647;
  f.layer.bottom = f.layer.top + 3;
  const std::string output = f.Load();
  EXPECT_EQ(f.channels[0].plane, nullptr);
  EXPECT_EQ(f.channels[1].plane, nullptr);
  EXPECT_NE(output.find("A plane of 4294967294 x 3 samples needs 12884901882 bytes, more than 32 bits can count"),
            std::string::npos);
}

}  // namespace
