#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "psd/channel_decoding.h"
#include "tests/support/memory_file.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const std::string kRleError = "\n***ERROR*** [DecompressRle] Malformed RLE data encountered";
const std::string kUnzipError = "\n***ERROR*** [PsdExtract] Error while unzipping channel data.";

Bytes Zlib(const Bytes& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes out(size);
  EXPECT_EQ(compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9), Z_OK);
  out.resize(size);
  return out;
}

Bytes Repeat(uint8_t value, size_t count) { return Bytes(count, value); }
Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct RleCase {
  const char* name;
  Bytes source;
  size_t destinationSize;
  Bytes expected;  // the whole destination afterwards
  bool malformed;
};

TEST(DecompressRle, HeadersRunsAndBounds) {
  Bytes literal128(128);
  for (size_t i = 0; i < 128; ++i) literal128[i] = static_cast<uint8_t>(i * 3);
  const RleCase cases[] = {
      {"128 is a no-op", {128, 0, 7}, 1, {7}, false},
      {"127 copies 128 literals", Join({{127}, literal128}), 128, literal128, false},
      {"129 repeats 128 times", {129, 9}, 128, Repeat(9, 128), false},
      {"255 repeats twice", {255, 4}, 2, {4, 4}, false},
      // Rows of 3 decoded as one stream: the literal and the last run cross row borders.
      {"runs cross rows", {255, 1, 1, 2, 3, 255, 5}, 6, {1, 1, 2, 3, 5, 5}, false},
      {"ends exactly when full", {1, 10, 11}, 2, {10, 11}, false},
      {"ends at a run border early", {1, 10, 11}, 5, {10, 11, 0, 0, 0}, true},
      {"literal past the source end", {4, 10, 11}, 5, {10, 11, 0, 0, 0}, true},
      {"repeat without its value", {0, 8, 253}, 4, {8, 0, 0, 0}, true},
      {"literal past the destination", {3, 1, 2, 3, 4}, 2, {1, 2}, true},
      {"run past the destination", {250, 6}, 3, {6, 6, 6}, true},
      {"empty source", {}, 2, {0, 0}, true},
      {"empty destination", {3}, 0, {}, false},
  };
  for (const RleCase& c : cases) {
    Bytes destination(c.destinationSize + 16, 0xEE);  // guard bytes after the destination
    CaptureStdout();
    psd::DecompressRle(c.source.data(), static_cast<uint32_t>(c.source.size()), destination.data(),
                       static_cast<uint32_t>(c.destinationSize));
    const std::string output = GetCapturedStdout();
    EXPECT_EQ(Bytes(destination.begin(), destination.begin() + c.destinationSize), c.expected) << c.name;
    EXPECT_EQ(Bytes(destination.begin() + c.destinationSize, destination.end()), Repeat(0xEE, 16)) << c.name;
    EXPECT_EQ(output, c.malformed ? kRleError : "") << c.name;
  }
}

// The fast path (long runs and literals far from both ends) against a plain
// decoder, including streams cut at every kind of place.
TEST(DecompressRle, LongStreamsMatchAPlainDecoder) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    Bytes source;
    const int runs = 1 + static_cast<int>(random() % 60);
    for (int r = 0; r < runs; ++r) {
      const uint8_t header = static_cast<uint8_t>(random());
      source.push_back(header);
      const int payload = header < 128 ? header + 1 : header > 128 ? 1 : 0;
      for (int i = 0; i < payload; ++i) source.push_back(static_cast<uint8_t>(random()));
    }
    if (round % 3 == 0) source.resize(random() % (source.size() + 1));
    const uint32_t size = static_cast<uint32_t>(random() % 4000);
    Bytes expected(size, 0);
    size_t read = 0, written = 0;
    bool malformed = false;
    while (written < size) {
      if (read >= source.size()) {
        malformed = true;
        break;
      }
      const uint8_t h = source[read++];
      if (h < 128) {
        for (int i = 0; i <= h; ++i) {
          if (read >= source.size() || written >= size) {
            malformed = true;
            break;
          }
          expected[written++] = source[read++];
        }
      } else if (h > 128) {
        if (read >= source.size()) {
          malformed = true;
          break;
        }
        const uint8_t v = source[read++];
        for (int i = 0; i < 257 - h; ++i) {
          if (written >= size) {
            malformed = true;
            break;
          }
          expected[written++] = v;
        }
      }
      if (malformed) break;
    }
    Bytes destination(size, 0xAB);
    CaptureStdout();
    psd::DecompressRle(source.data(), static_cast<uint32_t>(source.size()), destination.data(), size);
    const std::string output = GetCapturedStdout();
    ASSERT_EQ(destination, expected) << "round " << round;
    ASSERT_EQ(output, malformed ? kRleError : "") << "round " << round;
  }
}

struct InflateCase {
  const char* name;
  Bytes stream;
  size_t room;
  bool fails;
  Bytes expected;  // the destination afterwards
};

TEST(InflateBuffer, OutcomesOfBothBackends) {
  const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8};
  const Bytes good = Zlib(data);
  Bytes badAdler = good;
  badAdler.back() ^= 1;
  Bytes badHeader = good;
  badHeader[1] ^= 1;  // (CMF·256 + FLG) no longer divisible by 31
  Bytes dictionary = good;
  dictionary[1] = static_cast<uint8_t>((dictionary[1] | 0x20) & 0xE0);
  dictionary[1] = static_cast<uint8_t>(dictionary[1] + (31 - (dictionary[0] * 256 + dictionary[1]) % 31));
  const Bytes truncated(good.begin(), good.end() - 3);
  const InflateCase cases[] = {
      {"exact room", good, 8, false, data},
      {"more room: the rest is cleared", good, 11, false, Join({data, {0, 0, 0}})},
      {"too long: the first bytes", good, 5, true, {1, 2, 3, 4, 5}},
      {"wrong Adler-32", badAdler, 8, true, data},
      {"bad header check", badHeader, 8, true, Repeat(0, 8)},
      {"preset dictionary", dictionary, 8, true, Repeat(0, 8)},
      {"input ends early", truncated, 8, true, data},
      {"empty input", {}, 4, true, Repeat(0, 4)},
  };
  for (const InflateCase& c : cases) {
    for (int backend = 0; backend < 2; ++backend) {
      Bytes destination(c.room, 0xCC);
      const uint64_t result = backend == 0 ? psd::InflateBuffer(destination.data(), c.room, c.stream.data(), c.stream.size())
                                           : psd::InflateBufferZlib(destination.data(), c.room, c.stream.data(),
                                                                    c.stream.size());
      EXPECT_EQ(result == psd::kInflateFailed, c.fails) << c.name << " backend " << backend;
      if (!c.fails) {
        EXPECT_EQ(result, data.size()) << c.name;
      }
      if (std::string(c.name) != "input ends early") {
        EXPECT_EQ(destination, c.expected) << c.name << " backend " << backend;
      }
    }
  }
}

// Corrupted streams decode to the same result and bytes through the chosen
// backend as through zlib alone.
TEST(InflateBuffer, BackendsAgreeOnDamagedStreams) {
  std::mt19937 random(11);
  Bytes data(5000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i / 7) ^ (random() % 4));
  const Bytes good = Zlib(data);
  for (int round = 0; round < 400; ++round) {
    Bytes stream = good;
    const int flips = 1 + static_cast<int>(random() % 3);
    for (int f = 0; f < flips; ++f) stream[random() % stream.size()] ^= static_cast<uint8_t>(1 << (random() % 8));
    if (round % 4 == 0) stream.resize(random() % stream.size());
    const size_t room = round % 5 == 0 ? data.size() - 100 : data.size() + (round % 2);
    Bytes a(room, 0x11), b(room, 0x22);
    const uint64_t ra = psd::InflateBuffer(a.data(), room, stream.data(), stream.size());
    const uint64_t rb = psd::InflateBufferZlib(b.data(), room, stream.data(), stream.size());
    ASSERT_EQ(ra, rb) << "round " << round;
    ASSERT_EQ(a, b) << "round " << round;
  }
}

// A channel's data in a memory file, read by one reader.
struct ReadResult {
  Bytes plane;
  bool isNull;
  uint64_t cursorEnd;
  int reads;
  std::string output;
};

template <typename Reader>
ReadResult Read(const Bytes& data, uint32_t planeBytes, Reader reader) {
  psd::MallocAllocator allocator;
  kavri_test::MemoryFile file(&allocator, data);
  psd::FileCursor cursor{&file, 0};
  CaptureStdout();
  void* plane = reader(cursor, &allocator);
  ReadResult result{{}, plane == nullptr, cursor.offset, file.readCount, GetCapturedStdout()};
  if (plane != nullptr) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(plane) % 16, 0u);
    const auto* p = static_cast<const uint8_t*>(plane);
    result.plane.assign(p, p + planeBytes);
  }
  allocator.ReleaseBlock(plane);
  return result;
}

TEST(RleReaders, NullCasesAndCursor) {
  // Height 0: nothing read at all.
  ReadResult r = Read({0, 5, 1, 2}, 0, [](psd::FileCursor& c, psd::Allocator* a) { return psd::ReadRlePlane8(c, a, 4, 0); });
  EXPECT_TRUE(r.isNull);
  EXPECT_EQ(r.cursorEnd, 0u);
  EXPECT_EQ(r.reads, 0);
  // All counts 0: null, the cursor past the 2·H count bytes.
  r = Read({0, 0, 0, 0, 0, 0, 9, 9}, 0, [](psd::FileCursor& c, psd::Allocator* a) { return psd::ReadRlePlane8(c, a, 4, 3); });
  EXPECT_TRUE(r.isNull);
  EXPECT_EQ(r.cursorEnd, 6u);
  EXPECT_EQ(r.output, "");
}

TEST(RleReaders, DepthsAndByteOrder) {
  // Two rows, each a run and a literal; row counts 4 and 3.
  const Bytes rows8 = {0, 4, 0, 3, 255, 7, 0, 9, 1, 1, 2};
  ReadResult r = Read(rows8, 6, [](psd::FileCursor& c, psd::Allocator* a) { return psd::ReadRlePlane8(c, a, 3, 2); });
  EXPECT_EQ(r.plane, (Bytes{7, 7, 9, 1, 2, 0}));  // the second row is one byte short: malformed, cleared
  EXPECT_EQ(r.output, kRleError);
  EXPECT_EQ(r.cursorEnd, 11u);

  // 16 bits: big-endian 0x1234, 0xABCD in one literal.
  r = Read({0, 5, 3, 0x12, 0x34, 0xAB, 0xCD}, 4,
           [](psd::FileCursor& c, psd::Allocator* a) { return psd::ReadRlePlane16(c, a, 2, 1); });
  EXPECT_EQ(r.plane, (Bytes{0x34, 0x12, 0xCD, 0xAB}));
  // 32 bits: 1.0f as a literal run 3F 80 then a repeat of two 00.
  r = Read({0, 5, 1, 0x3F, 0x80, 255, 0}, 4,
           [](psd::FileCursor& c, psd::Allocator* a) { return psd::ReadRlePlane32(c, a, 1, 1); });
  float value;
  std::memcpy(&value, r.plane.data(), 4);
  EXPECT_EQ(value, 1.0f);
}

TEST(RawReaders, ByteOrderAndShortFiles) {
  ReadResult r = Read({0x12, 0x34}, 2, [](psd::FileCursor& c, psd::Allocator* a) { return psd::ReadRawPlane16(c, a, 1, 1); });
  uint16_t sample;
  std::memcpy(&sample, r.plane.data(), 2);
  EXPECT_EQ(sample, 0x1234);
  r = Read({0x40, 0, 0, 0, 0xBF, 0x80, 0, 0}, 8,
           [](psd::FileCursor& c, psd::Allocator* a) { return psd::ReadRawPlane32(c, a, 2, 1); });
  float values[2];
  std::memcpy(values, r.plane.data(), 8);
  EXPECT_EQ(values[0], 2.0f);
  EXPECT_EQ(values[1], -1.0f);
  // The file ends inside the plane: what is missing reads as zero.
  r = Read({1, 2, 3}, 6, [](psd::FileCursor& c, psd::Allocator* a) { return psd::ReadRawPlane8(c, a, 3, 2); });
  EXPECT_EQ(r.plane, (Bytes{1, 2, 3, 0, 0, 0}));
  EXPECT_EQ(r.cursorEnd, 6u);
}

TEST(ZipReaders, PredictionExamplesAndFailures) {
  ReadResult r = Read(Zlib({10, 5, 250, 1, 1, 1}), 6, [](psd::FileCursor& c, psd::Allocator* a) {
    return psd::ReadZipDeltaPlane8(c, a, 3, 2, static_cast<uint32_t>(Zlib({10, 5, 250, 1, 1, 1}).size()));
  });
  EXPECT_EQ(r.plane, (Bytes{10, 15, 9, 1, 2, 3}));

  const Bytes delta16 = Zlib({0x00, 0x01, 0xFF, 0xFF});
  r = Read(delta16, 4, [&](psd::FileCursor& c, psd::Allocator* a) {
    return psd::ReadZipDeltaPlane16(c, a, 2, 1, static_cast<uint32_t>(delta16.size()));
  });
  uint16_t samples16[2];
  std::memcpy(samples16, r.plane.data(), 4);
  EXPECT_EQ(samples16[0], 1);
  EXPECT_EQ(samples16[1], 0);

  const Bytes delta32 = Zlib({0x3F, 0x01, 0x40, 0x80, 0x00, 0x00, 0x00, 0x00});
  r = Read(delta32, 8, [&](psd::FileCursor& c, psd::Allocator* a) {
    return psd::ReadZipDeltaPlane32(c, a, 2, 1, static_cast<uint32_t>(delta32.size()));
  });
  float floats[2];
  std::memcpy(floats, r.plane.data(), 8);
  EXPECT_EQ(floats[0], 1.0f);
  EXPECT_EQ(floats[1], 2.0f);

  // A wrong Adler-32: the message, and the plane all the same.
  Bytes bad = Zlib({1, 2, 3, 4});
  bad.back() ^= 0x40;
  r = Read(bad, 4, [&](psd::FileCursor& c, psd::Allocator* a) {
    return psd::ReadZipPlane8(c, a, 2, 2, static_cast<uint32_t>(bad.size()));
  });
  EXPECT_FALSE(r.isNull);
  EXPECT_EQ(r.output, kUnzipError);
  EXPECT_EQ(r.plane, (Bytes{1, 2, 3, 4}));

  // Too long: the first W·H·B bytes, byte-swapped at 16 bits.
  const Bytes tooLong = Zlib({0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
  r = Read(tooLong, 4, [&](psd::FileCursor& c, psd::Allocator* a) {
    return psd::ReadZipPlane16(c, a, 2, 1, static_cast<uint32_t>(tooLong.size()));
  });
  EXPECT_EQ(r.output, kUnzipError);
  EXPECT_EQ(r.plane, (Bytes{0x34, 0x12, 0x78, 0x56}));

  // Short but valid: no message, the rest is zero.
  const Bytes shortStream = Zlib({7, 7});
  r = Read(shortStream, 4, [&](psd::FileCursor& c, psd::Allocator* a) {
    return psd::ReadZipPlane8(c, a, 4, 1, static_cast<uint32_t>(shortStream.size()));
  });
  EXPECT_EQ(r.output, "");
  EXPECT_EQ(r.plane, (Bytes{7, 7, 0, 0}));

  // Compressed bytes for an empty rectangle: no plane, the cursor past them.
  r = Read(shortStream, 0, [&](psd::FileCursor& c, psd::Allocator* a) {
    return psd::ReadZipPlane8(c, a, 0, 5, static_cast<uint32_t>(shortStream.size()));
  });
  EXPECT_TRUE(r.isNull);
  EXPECT_EQ(r.cursorEnd, shortStream.size());
}

// Sizes from untrusted rectangles never wrap, and never ask for far more than
// the file's data could decode to.
TEST(Readers, RefuseUnjustifiedPlanes) {
  const std::string wraps =
      "\n***ASSERT FAILED*** A plane of 65536 x 65536 samples needs 4294967296 bytes, more than 32 bits can count; the "
      "channel gets no plane.";
  ReadResult r = Read(Bytes(64, 1), 0, [](psd::FileCursor& c, psd::Allocator* a) { return psd::ReadRawPlane8(c, a, 65536, 65536); });
  EXPECT_TRUE(r.isNull);
  EXPECT_EQ(r.output, wraps);
  EXPECT_EQ(r.cursorEnd, uint64_t{1} << 32);
  // 40000 × 40000 at 32 bits wraps a 32-bit product to a small number.
  r = Read(Bytes(64, 1), 0, [](psd::FileCursor& c, psd::Allocator* a) { return psd::ReadRawPlane32(c, a, 40000, 40000); });
  EXPECT_TRUE(r.isNull);
  EXPECT_NE(r.output.find("more than 32 bits can count"), std::string::npos);

  const Bytes stream = Zlib({1, 2, 3});
  r = Read(stream, 0, [&](psd::FileCursor& c, psd::Allocator* a) {
    return psd::ReadZipPlane8(c, a, 30000, 30000, static_cast<uint32_t>(stream.size()));
  });
  EXPECT_TRUE(r.isNull);
  EXPECT_NE(r.output.find("far more than its data in the file can decode to"), std::string::npos);
  // Row counts claiming 65535 bytes per row in a 10-byte file.
  r = Read({0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6}, 0,
           [](psd::FileCursor& c, psd::Allocator* a) { return psd::ReadRlePlane8(c, a, 30000, 2); });
  EXPECT_TRUE(r.isNull);
  EXPECT_EQ(r.cursorEnd, 4u + 2 * 65535);
}

// The vector kernels against plain loops, at lengths around their block sizes.
TEST(ByteOrderAndDeltas, MatchPlainLoops) {
  std::mt19937 random(3);
  psd::MallocAllocator allocator;
  for (uint32_t width = 1; width < 70; width += (width < 20 ? 1 : 7)) {
    const uint32_t height = 3;
    Bytes input(width * height * 4);
    for (uint8_t& b : input) b = static_cast<uint8_t>(random());

    Bytes swapped16 = input, swapped32 = input, delta8 = input, delta16 = input, delta32 = input;
    psd::SwapBytes16InPlace(swapped16.data(), width, height * 2);
    psd::SwapBytes32InPlace(swapped32.data(), width, height);
    psd::DecodeDeltaPlane8(delta8.data(), width * 4, height);
    psd::DecodeDeltaPlane16(delta16.data(), width * 2, height);
    psd::DecodeDeltaPlanes32(&allocator, delta32.data(), width, height);

    Bytes e16 = input, e32 = input, e8 = input, ed16 = input, ed32 = input;
    for (size_t i = 0; i < input.size(); i += 2) std::swap(e16[i], e16[i + 1]);
    for (size_t i = 0; i < input.size(); i += 4) {
      std::swap(e32[i], e32[i + 3]);
      std::swap(e32[i + 1], e32[i + 2]);
    }
    const uint32_t rowBytes = width * 4;
    for (uint32_t y = 0; y < height; ++y) {
      uint8_t* row8 = e8.data() + y * rowBytes;
      for (uint32_t x = 1; x < rowBytes; ++x) row8[x] = static_cast<uint8_t>(row8[x] + row8[x - 1]);
      uint8_t* row16 = ed16.data() + y * rowBytes;
      uint16_t previous = 0;
      for (uint32_t x = 0; x < width * 2; ++x) {
        const uint16_t v = static_cast<uint16_t>((row16[2 * x] << 8 | row16[2 * x + 1]) + (x > 0 ? previous : 0));
        std::memcpy(row16 + 2 * x, &v, 2);
        previous = v;
      }
      uint8_t* row32 = ed32.data() + y * rowBytes;
      Bytes summed(row32, row32 + rowBytes);
      for (uint32_t i = 1; i < rowBytes; ++i) summed[i] = static_cast<uint8_t>(summed[i] + summed[i - 1]);
      for (uint32_t x = 0; x < width; ++x) {
        row32[4 * x] = summed[3 * width + x];
        row32[4 * x + 1] = summed[2 * width + x];
        row32[4 * x + 2] = summed[width + x];
        row32[4 * x + 3] = summed[x];
      }
    }
    ASSERT_EQ(swapped16, e16) << width;
    ASSERT_EQ(swapped32, e32) << width;
    ASSERT_EQ(delta8, e8) << width;
    ASSERT_EQ(delta16, ed16) << width;
    ASSERT_EQ(delta32, ed32) << width;
  }
}

}  // namespace
