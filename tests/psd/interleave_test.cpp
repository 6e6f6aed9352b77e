#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "psd/allocator.h"
#include "psd/interleave.h"

namespace {

// Aligned blocks as the reader hands them out, with room past the pixels to
// show that nothing beyond them is written.
struct Planes {
  psd::MallocAllocator allocator;
  uint8_t* plane[4];
  uint8_t* out;
  explicit Planes(uint32_t count) {
    for (int p = 0; p < 4; ++p) {
      plane[p] = static_cast<uint8_t*>(allocator.AllocateBlock(count + 16, 16));
      for (uint32_t k = 0; k < count + 16; ++k) plane[p][k] = static_cast<uint8_t>(k * 4 + p + 1);
    }
    out = static_cast<uint8_t*>(allocator.AllocateBlock(4 * count + 64, 16));
    for (uint32_t k = 0; k < 4 * count + 64; ++k) out[k] = 0xEE;
  }
  ~Planes() {
    for (uint8_t* p : plane) allocator.ReleaseBlock(p);
    allocator.ReleaseBlock(out);
  }
};

TEST(Interleave, SizesAroundTheBlock) {
  for (uint32_t count : {0u, 1u, 15u, 16u, 17u, 33u, 64u, 1000u}) {
    for (int planes = 3; planes <= 4; ++planes) {
      Planes p(count);
      if (planes == 4) {
        psd::InterleavePlanes4(p.plane[0], p.plane[1], p.plane[2], p.plane[3], p.out, count, 1);
      } else {
        psd::InterleavePlanes3(p.plane[0], p.plane[1], p.plane[2], 0x5A, p.out, 1, count);
      }
      for (uint32_t k = 0; k < count; ++k) {
        for (int c = 0; c < 4; ++c) {
          const uint8_t expected = c < 3 || planes == 4 ? p.plane[c][k] : 0x5A;
          ASSERT_EQ(p.out[4 * k + c], expected) << count << " pixel " << k << " byte " << c;
        }
      }
      for (uint32_t k = 4 * count; k < 4 * count + 64; ++k) ASSERT_EQ(p.out[k], 0xEE) << count;
    }
  }
}

TEST(Interleave, PixelOrderAndShape) {
  Planes p(32);
  for (int c = 0; c < 4; ++c) p.plane[c][5] = static_cast<uint8_t>(c + 1);
  psd::InterleavePlanes4(p.plane[0], p.plane[1], p.plane[2], p.plane[3], p.out, 4, 8);
  EXPECT_EQ(std::vector<uint8_t>(p.out + 20, p.out + 24), (std::vector<uint8_t>{1, 2, 3, 4}));
  psd::InterleavePlanes3(p.plane[0], p.plane[1], p.plane[2], 0, p.out, 4, 8);
  EXPECT_EQ(std::vector<uint8_t>(p.out + 20, p.out + 24), (std::vector<uint8_t>{1, 2, 3, 0}));
  std::vector<uint8_t> wide(p.out, p.out + 128);
  psd::InterleavePlanes3(p.plane[0], p.plane[1], p.plane[2], 0, p.out, 8, 4);
  EXPECT_EQ(std::vector<uint8_t>(p.out, p.out + 128), wide);
}

// Addresses off the 16-byte grid give the same pixels instead of a fault.
TEST(Interleave, UnalignedAddresses) {
  Planes p(80);
  psd::InterleavePlanes4(p.plane[0] + 1, p.plane[1] + 3, p.plane[2], p.plane[3] + 5, p.out + 4, 40, 1);
  for (uint32_t k = 0; k < 40; ++k) {
    ASSERT_EQ(p.out[4 + 4 * k], p.plane[0][k + 1]) << k;
    ASSERT_EQ(p.out[4 + 4 * k + 1], p.plane[1][k + 3]) << k;
    ASSERT_EQ(p.out[4 + 4 * k + 2], p.plane[2][k]) << k;
    ASSERT_EQ(p.out[4 + 4 * k + 3], p.plane[3][k + 5]) << k;
  }
}

}  // namespace
