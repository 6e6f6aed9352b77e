#include "psd/channel_decoding.h"

#include <climits>
#include <cstring>

#include <zlib.h>

#if defined(KAVRI_USE_LIBDEFLATE)
#include <libdeflate.h>
#endif

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define KAVRI_SSE2 1
#include <emmintrin.h>
#endif

#include "psd/channel_decoding_internal.h"
#include "psd/diagnostics.h"

namespace psd {

namespace {

// The most output one input byte can stand for: a 2-byte PackBits run writes
// 128 bytes; Deflate's densest code writes 258 bytes per 2 bits, and a zlib
// stream adds 6 bytes of wrapping. The slack covers tiny planes.
constexpr uint64_t kRawExpansion = 2;  // zeros past the end, never more than the file holds again
constexpr uint64_t kRleExpansion = 64;
constexpr uint64_t kZipExpansion = 1032;
constexpr uint64_t kJustificationSlack = 256;

uint64_t Justified(uint64_t inputBytes, uint64_t ratio) { return inputBytes * ratio + kJustificationSlack; }

// Reads in chunks whose count fits the file interface's 32 bits.
constexpr uint64_t kReadChunk = uint64_t{1} << 30;

#if KAVRI_SSE2
inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

inline __m128i Swap16(__m128i v) { return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)); }
#endif

// destination[i] = source[0] + … + source[i] (mod 256); the two may be the same.
void PrefixSumBytes(const uint8_t* source, uint8_t* destination, size_t count) {
  size_t i = 0;
  uint8_t carry = 0;
#if KAVRI_SSE2
  __m128i carryVector = _mm_setzero_si128();
  // Sums within each 8-byte half use in-lane shifts, which avoid the shuffle
  // unit; the halves are then joined, and the running carry depends only on
  // the previous carry, not on the sums of this block.
  for (; i + 16 <= count; i += 16) {
    __m128i v = Load(source + i);
    v = _mm_add_epi8(v, _mm_slli_epi64(v, 8));
    v = _mm_add_epi8(v, _mm_slli_epi64(v, 16));
    v = _mm_add_epi8(v, _mm_slli_epi64(v, 32));
    // Each half's total (its byte 7) spread over the half's bytes: a multiply
    // by 0x01010101 fills a doubleword, which is then copied to its neighbour.
    const __m128i totals = _mm_mul_epu32(_mm_srli_epi64(v, 56), _mm_set1_epi32(0x01010101));
    const __m128i halves = _mm_shuffle_epi32(totals, 0xA0);
    v = _mm_add_epi8(v, _mm_slli_si128(halves, 8));
    Store(destination + i, _mm_add_epi8(v, carryVector));
    carryVector = _mm_add_epi8(carryVector, _mm_add_epi8(halves, _mm_shuffle_epi32(halves, 0x4E)));
  }
  if (i > 0) carry = destination[i - 1];
#endif
  for (; i < count; ++i) {
    carry = static_cast<uint8_t>(carry + source[i]);
    destination[i] = carry;
  }
}

// Big-endian deltas in, native running sums out.
void PrefixSumSwapped16(uint8_t* row, size_t samples) {
  size_t i = 0;
  uint16_t carry = 0;
#if KAVRI_SSE2
  __m128i carryVector = _mm_setzero_si128();
  for (; i + 8 <= samples; i += 8) {
    __m128i v = Swap16(Load(row + 2 * i));
    v = _mm_add_epi16(v, _mm_slli_epi64(v, 16));
    v = _mm_add_epi16(v, _mm_slli_epi64(v, 32));
    const __m128i halves = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xFF), 0xFF);
    v = _mm_add_epi16(v, _mm_slli_si128(halves, 8));
    Store(row + 2 * i, _mm_add_epi16(v, carryVector));
    carryVector = _mm_add_epi16(carryVector, _mm_add_epi16(halves, _mm_shuffle_epi32(halves, 0x4E)));
  }
  if (i > 0) std::memcpy(&carry, row + 2 * (i - 1), 2);
#endif
  for (; i < samples; ++i) {
    carry = static_cast<uint16_t>(carry + LoadU16BE(row + 2 * i));
    std::memcpy(row + 2 * i, &carry, 2);
  }
}

// Sample x of the row is the little-endian bytes planes[3W + x], [2W + x], [W + x], [x].
void RegroupBytePlanes(const uint8_t* planes, uint8_t* row, size_t width) {
  const uint8_t* b3 = planes;
  const uint8_t* b2 = planes + width;
  const uint8_t* b1 = planes + 2 * width;
  const uint8_t* b0 = planes + 3 * width;
  size_t x = 0;
#if KAVRI_SSE2
  for (; x + 16 <= width; x += 16) {
    const __m128i v0 = Load(b0 + x), v1 = Load(b1 + x), v2 = Load(b2 + x), v3 = Load(b3 + x);
    const __m128i low01 = _mm_unpacklo_epi8(v0, v1), high01 = _mm_unpackhi_epi8(v0, v1);
    const __m128i low23 = _mm_unpacklo_epi8(v2, v3), high23 = _mm_unpackhi_epi8(v2, v3);
    Store(row + 4 * x, _mm_unpacklo_epi16(low01, low23));
    Store(row + 4 * x + 16, _mm_unpackhi_epi16(low01, low23));
    Store(row + 4 * x + 32, _mm_unpacklo_epi16(high01, high23));
    Store(row + 4 * x + 48, _mm_unpackhi_epi16(high01, high23));
  }
#endif
  for (; x < width; ++x) {
    row[4 * x] = b0[x];
    row[4 * x + 1] = b1[x];
    row[4 * x + 2] = b2[x];
    row[4 * x + 3] = b3[x];
  }
}

void ConvertByteOrder(void* plane, uint32_t width, uint32_t height, uint32_t bytesPerSample) {
  if (bytesPerSample == 2) SwapBytes16InPlace(plane, width, height);
  if (bytesPerSample == 4) SwapBytes32InPlace(plane, width, height);
}

// The zlib backend. Bytes produced are counted from the output pointer, so the
// result is right whatever the width of zlib's own counters.
uint64_t InflateWithZlib(uint8_t* destination, uint64_t destinationSize, const uint8_t* source, uint64_t sourceSize,
                         uint64_t* produced) {
  *produced = 0;
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  if (inflateInit(&stream) != Z_OK) return kInflateFailed;
  uint64_t sourceLeft = sourceSize;
  uint64_t roomLeft = destinationSize;
  stream.next_in = const_cast<Bytef*>(source);
  stream.next_out = destination;
  int status = Z_OK;
  for (;;) {
    if (stream.avail_in == 0 && sourceLeft > 0) {
      stream.avail_in = static_cast<uInt>(sourceLeft < kReadChunk ? sourceLeft : kReadChunk);
      sourceLeft -= stream.avail_in;
    }
    if (stream.avail_out == 0 && roomLeft > 0) {
      stream.avail_out = static_cast<uInt>(roomLeft < kReadChunk ? roomLeft : kReadChunk);
      roomLeft -= stream.avail_out;
    }
    status = inflate(&stream, Z_NO_FLUSH);
    if (status == Z_OK) continue;
    // No progress: go on only where there is more input or room to hand over.
    if (status == Z_BUF_ERROR && ((stream.avail_in == 0 && sourceLeft > 0) || (stream.avail_out == 0 && roomLeft > 0))) {
      continue;
    }
    break;  // the end, an error, input ending early or more output than room
  }
  *produced = static_cast<uint64_t>(stream.next_out - destination);
  inflateEnd(&stream);
  return status == Z_STREAM_END ? *produced : kInflateFailed;
}

void* ReadRawPlane(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                   uint32_t bytesPerSample) {
  const uint64_t bytes = uint64_t{width} * height * bytesPerSample;
  if (bytes == 0) return nullptr;
  void* plane = detail::AllocatePlane(allocator, bytes, width, height,
                                      Justified(detail::BytesLeftInFile(cursor), kRawExpansion));
  if (plane == nullptr) {
    cursor.Skip(static_cast<int64_t>(bytes));
    return nullptr;
  }
  detail::ReadOrClear(cursor, static_cast<uint8_t*>(plane), bytes);
  ConvertByteOrder(plane, width, height, bytesPerSample);
  return plane;
}

void* ReadRlePlane(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                   uint32_t bytesPerSample) {
  if (height == 0) return nullptr;
  uint64_t sum = 0;
  detail::SumRowCounts(cursor, allocator, height, 1, &sum);
  if (sum == 0) return nullptr;
  return detail::DecodeRleStream(cursor, allocator, width, height, bytesPerSample, sum);
}

enum class Prediction { None, Delta8, Delta16, Delta32 };

void* ReadZipPlane(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                   uint32_t bytesPerSample, uint32_t compressedSize, Prediction prediction) {
  if (compressedSize == 0) return nullptr;
  const uint64_t bytes = uint64_t{width} * height * bytesPerSample;
  // Compressed bytes for an empty rectangle have nowhere to go: like a raw
  // channel on an empty rectangle, the channel gets no plane.
  if (bytes == 0) {
    cursor.Skip(compressedSize);
    return nullptr;
  }
  const uint64_t left = detail::BytesLeftInFile(cursor);
  const uint64_t inputBytes = compressedSize < left ? compressedSize : left;
  void* plane = detail::AllocatePlane(allocator, bytes, width, height, Justified(inputBytes, kZipExpansion));
  if (plane == nullptr) {
    cursor.Skip(compressedSize);
    return nullptr;
  }
  // Never more input buffer than the file holds.
  auto* input = static_cast<uint8_t*>(allocator->AllocateBlock(inputBytes, 4));
  if (!AssertNotNull(input)) {
    allocator->ReleaseBlock(plane);
    cursor.Skip(compressedSize);
    return nullptr;
  }
  detail::ReadOrClear(cursor, input, inputBytes);
  cursor.Skip(static_cast<int64_t>(compressedSize - inputBytes));
  if (InflateBuffer(plane, bytes, input, inputBytes) == kInflateFailed) {
    ReportError("[PsdExtract]", "Error while unzipping channel data.");
  }
  allocator->ReleaseBlock(input);
  switch (prediction) {
    case Prediction::None:
      ConvertByteOrder(plane, width, height, bytesPerSample);
      break;
    case Prediction::Delta8:
      DecodeDeltaPlane8(plane, width, height);
      break;
    case Prediction::Delta16:
      DecodeDeltaPlane16(plane, width, height);
      break;
    case Prediction::Delta32:
      DecodeDeltaPlanes32(allocator, plane, width, height);
      break;
  }
  return plane;
}

}  // namespace

namespace detail {

uint64_t BytesLeftInFile(FileCursor& cursor) {
  const uint64_t size = cursor.file->QuerySize();
  return size > cursor.offset ? size - cursor.offset : 0;
}

void ReadOrClear(FileCursor& cursor, uint8_t* destination, uint64_t count) {
  const uint64_t left = BytesLeftInFile(cursor);
  const uint64_t available = count < left ? count : left;
  uint64_t done = 0;
  while (done < available) {
    const uint64_t chunk = available - done < kReadChunk ? available - done : kReadChunk;
    if (!cursor.ReadBytes(destination + done, chunk)) std::memset(destination + done, 0, chunk);
    done += chunk;
  }
  if (available < count) {
    std::memset(destination + available, 0, count - available);
    cursor.Skip(static_cast<int64_t>(count - available));
  }
}

void* AllocatePlane(Allocator* allocator, uint64_t byteCount, uint32_t width, uint32_t height,
                    uint64_t maxJustified, const char* unjustified) {
  if (byteCount > UINT32_MAX) {
    ReportAssert("A plane of %u x %u samples needs %llu bytes, more than 32 bits can count; the channel gets no plane.",
                 width, height, static_cast<unsigned long long>(byteCount));
    return nullptr;
  }
  if (byteCount > maxJustified) {
    ReportAssert("A plane of %u x %u samples needs %llu bytes, %s; the channel gets no plane.", width, height,
                 static_cast<unsigned long long>(byteCount), unjustified);
    return nullptr;
  }
  void* plane = allocator->AllocateBlock(byteCount, 16);
  AssertNotNull(plane);
  return plane;
}

void SumRowCounts(FileCursor& cursor, Allocator*, uint32_t rows, uint32_t groups, uint64_t* sums) {
  // Read in pieces into a local buffer: no allocation, and never more than the file holds.
  uint8_t buffer[16384];
  const uint64_t total = uint64_t{rows} * groups;
  uint64_t index = 0;
  for (uint32_t g = 0; g < groups; ++g) sums[g] = 0;
  while (index < total) {
    const uint64_t countsNow = total - index < sizeof buffer / 2 ? total - index : sizeof buffer / 2;
    detail::ReadOrClear(cursor, buffer, 2 * countsNow);
    for (uint64_t i = 0; i < countsNow; ++i) sums[(index + i) / rows] += LoadU16BE(buffer + 2 * i);
    index += countsNow;
    if (BytesLeftInFile(cursor) == 0 && index < total) {
      cursor.Skip(static_cast<int64_t>(2 * (total - index)));
      break;
    }
  }
}

void* DecodeRleStream(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                      uint32_t bytesPerSample, uint64_t rleBytes) {
  const uint64_t bytes = uint64_t{width} * height * bytesPerSample;
  const uint64_t left = BytesLeftInFile(cursor);
  uint64_t inputBytes = rleBytes < left ? rleBytes : left;
  if (inputBytes > UINT32_MAX) inputBytes = UINT32_MAX;  // more than any plane of 32-bit size can use
  void* plane = AllocatePlane(allocator, bytes, width, height, Justified(inputBytes, kRleExpansion));
  if (plane == nullptr) {
    cursor.Skip(static_cast<int64_t>(rleBytes));
    return nullptr;
  }
  auto* input = static_cast<uint8_t*>(allocator->AllocateBlock(inputBytes, 4));
  if (!AssertNotNull(input)) {
    allocator->ReleaseBlock(plane);
    cursor.Skip(static_cast<int64_t>(rleBytes));
    return nullptr;
  }
  ReadOrClear(cursor, input, inputBytes);
  cursor.Skip(static_cast<int64_t>(rleBytes - inputBytes));
  DecompressRle(input, static_cast<uint32_t>(inputBytes), static_cast<uint8_t*>(plane), static_cast<uint32_t>(bytes));
  allocator->ReleaseBlock(input);
  ConvertByteOrder(plane, width, height, bytesPerSample);
  return plane;
}

}  // namespace detail

void DecompressRle(const uint8_t* source, uint32_t sourceSize, uint8_t* destination, uint32_t destinationSize) {
  uint32_t read = 0;
  uint32_t written = 0;
  bool malformed = false;
  while (written < destinationSize) {
    if (read >= sourceSize) {
      malformed = true;
      break;
    }
    // Wide enough margins for whole 16-byte moves, rounded up past the run.
    if (sourceSize - read >= 130 && destinationSize - written >= 144) {
      const uint32_t header = source[read++];
      if (header < 128) {
        const uint32_t count = header + 1;
        for (uint32_t i = 0; i < count; i += 16) std::memcpy(destination + written + i, source + read + i, 16);
        read += count;
        written += count;
      } else if (header > 128) {
        const uint32_t count = 257 - header;
        uint8_t value[16];
        std::memset(value, source[read++], 16);
        for (uint32_t i = 0; i < count; i += 16) std::memcpy(destination + written + i, value, 16);
        written += count;
      }
      continue;
    }
    const uint32_t header = source[read++];
    const uint32_t room = destinationSize - written;
    if (header < 128) {
      uint32_t count = header + 1;
      const uint32_t available = sourceSize - read;
      // A run cut short by either end is malformed; only what fits is copied.
      if (count > available || count > room) {
        malformed = true;
        count = count < available ? count : available;
        count = count < room ? count : room;
      }
      std::memcpy(destination + written, source + read, count);
      read += count;
      written += count;
      if (malformed) break;
    } else if (header > 128) {
      uint32_t count = 257 - header;
      if (read >= sourceSize) {
        malformed = true;
        break;
      }
      if (count > room) {
        malformed = true;
        count = room;
      }
      std::memset(destination + written, source[read++], count);
      written += count;
      if (malformed) break;
    }
  }
  if (malformed) {
    ReportError("[DecompressRle]", "Malformed RLE data encountered");
    std::memset(destination + written, 0, destinationSize - written);
  }
}

uint64_t InflateBufferZlib(void* destination, uint64_t destinationSize, const void* source, uint64_t sourceSize) {
  uint64_t produced = 0;
  auto* out = static_cast<uint8_t*>(destination);
  const uint64_t result = InflateWithZlib(out, destinationSize, static_cast<const uint8_t*>(source), sourceSize, &produced);
  std::memset(out + produced, 0, destinationSize - produced);
  return result;
}

uint64_t InflateBuffer(void* destination, uint64_t destinationSize, const void* source, uint64_t sourceSize) {
#if defined(KAVRI_USE_LIBDEFLATE)
  // The fast one-shot call for streams that succeed; every failure is redone by
  // zlib, so what a failed stream leaves in the destination is zlib's. A stream
  // accepted here and refused by zlib would need a matching Adler-32 over
  // output decoded from an invalid code, which only a crafted stream has.
  if (libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor()) {
    size_t produced = 0;
    const libdeflate_result result = libdeflate_zlib_decompress(decompressor, source, static_cast<size_t>(sourceSize),
                                                                destination, static_cast<size_t>(destinationSize),
                                                                &produced);
    libdeflate_free_decompressor(decompressor);
    if (result == LIBDEFLATE_SUCCESS) {
      std::memset(static_cast<uint8_t*>(destination) + produced, 0, destinationSize - produced);
      return produced;
    }
  }
#endif
  return InflateBufferZlib(destination, destinationSize, source, sourceSize);
}

const char* InflateBackendName() {
#if defined(KAVRI_USE_LIBDEFLATE)
  return "libdeflate";
#else
  return "zlib";
#endif
}

void SwapBytes16InPlace(void* samples, uint32_t width, uint32_t height) {
  auto* p = static_cast<uint8_t*>(samples);
  const size_t count = static_cast<size_t>(uint64_t{width} * height);
  size_t i = 0;
#if KAVRI_SSE2
  for (; i + 8 <= count; i += 8) Store(p + 2 * i, Swap16(Load(p + 2 * i)));
#endif
  for (; i < count; ++i) {
    const uint8_t first = p[2 * i];
    p[2 * i] = p[2 * i + 1];
    p[2 * i + 1] = first;
  }
}

void SwapBytes32InPlace(void* samples, uint32_t width, uint32_t height) {
  auto* p = static_cast<uint8_t*>(samples);
  const size_t count = static_cast<size_t>(uint64_t{width} * height);
  size_t i = 0;
#if KAVRI_SSE2
  for (; i + 4 <= count; i += 4) {
    __m128i v = Load(p + 4 * i);
    v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
    Store(p + 4 * i, Swap16(v));
  }
#endif
  for (; i < count; ++i) {
    uint8_t* s = p + 4 * i;
    const uint8_t b0 = s[0], b1 = s[1];
    s[0] = s[3];
    s[1] = s[2];
    s[2] = b1;
    s[3] = b0;
  }
}

void DecodeDeltaPlane8(void* plane, uint32_t width, uint32_t height) {
  auto* p = static_cast<uint8_t*>(plane);
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = p + uint64_t{y} * width;
    PrefixSumBytes(row, row, width);
  }
}

void DecodeDeltaPlane16(void* plane, uint32_t width, uint32_t height) {
  auto* p = static_cast<uint8_t*>(plane);
  for (uint32_t y = 0; y < height; ++y) PrefixSumSwapped16(p + uint64_t{y} * width * 2, width);
}

void DecodeDeltaPlanes32(Allocator* allocator, void* plane, uint32_t width, uint32_t height) {
  auto* p = static_cast<uint8_t*>(plane);
  const uint64_t rowBytes = uint64_t{width} * 4;
  auto* scratch = static_cast<uint8_t*>(allocator->AllocateBlock(rowBytes, 16));
  if (!AssertNotNull(scratch)) {
    // Undecoded deltas are no samples: leave zeros rather than them.
    std::memset(p, 0, static_cast<size_t>(rowBytes * height));
    return;
  }
  // Rows are independent, so each row is summed into the scratch row and
  // regrouped from it while both are in cache.
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = p + rowBytes * y;
    PrefixSumBytes(row, scratch, static_cast<size_t>(rowBytes));
    RegroupBytePlanes(scratch, row, width);
  }
  allocator->ReleaseBlock(scratch);
}

void* ReadRawPlane8(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height) {
  return ReadRawPlane(cursor, allocator, width, height, 1);
}
void* ReadRawPlane16(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height) {
  return ReadRawPlane(cursor, allocator, width, height, 2);
}
void* ReadRawPlane32(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height) {
  return ReadRawPlane(cursor, allocator, width, height, 4);
}
void* ReadRlePlane8(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height) {
  return ReadRlePlane(cursor, allocator, width, height, 1);
}
void* ReadRlePlane16(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height) {
  return ReadRlePlane(cursor, allocator, width, height, 2);
}
void* ReadRlePlane32(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height) {
  return ReadRlePlane(cursor, allocator, width, height, 4);
}
void* ReadZipPlane8(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                    uint32_t compressedSize) {
  return ReadZipPlane(cursor, allocator, width, height, 1, compressedSize, Prediction::None);
}
void* ReadZipPlane16(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                     uint32_t compressedSize) {
  return ReadZipPlane(cursor, allocator, width, height, 2, compressedSize, Prediction::None);
}
void* ReadZipPlane32(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                     uint32_t compressedSize) {
  return ReadZipPlane(cursor, allocator, width, height, 4, compressedSize, Prediction::None);
}
void* ReadZipDeltaPlane8(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                         uint32_t compressedSize) {
  return ReadZipPlane(cursor, allocator, width, height, 1, compressedSize, Prediction::Delta8);
}
void* ReadZipDeltaPlane16(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                          uint32_t compressedSize) {
  return ReadZipPlane(cursor, allocator, width, height, 2, compressedSize, Prediction::Delta16);
}
void* ReadZipDeltaPlane32(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                          uint32_t compressedSize) {
  return ReadZipPlane(cursor, allocator, width, height, 4, compressedSize, Prediction::Delta32);
}

void* ReadPlane(FileCursor& cursor, Allocator* allocator, uint16_t compression, uint32_t depth, uint32_t width,
                uint32_t height, uint32_t compressedSize) {
  using Reader = void* (*)(FileCursor&, Allocator*, uint32_t, uint32_t, uint32_t);
  static constexpr Reader kReaders[4][3] = {
      {[](FileCursor& c, Allocator* a, uint32_t w, uint32_t h, uint32_t) { return ReadRawPlane8(c, a, w, h); },
       [](FileCursor& c, Allocator* a, uint32_t w, uint32_t h, uint32_t) { return ReadRawPlane16(c, a, w, h); },
       [](FileCursor& c, Allocator* a, uint32_t w, uint32_t h, uint32_t) { return ReadRawPlane32(c, a, w, h); }},
      {[](FileCursor& c, Allocator* a, uint32_t w, uint32_t h, uint32_t) { return ReadRlePlane8(c, a, w, h); },
       [](FileCursor& c, Allocator* a, uint32_t w, uint32_t h, uint32_t) { return ReadRlePlane16(c, a, w, h); },
       [](FileCursor& c, Allocator* a, uint32_t w, uint32_t h, uint32_t) { return ReadRlePlane32(c, a, w, h); }},
      {ReadZipPlane8, ReadZipPlane16, ReadZipPlane32},
      {ReadZipDeltaPlane8, ReadZipDeltaPlane16, ReadZipDeltaPlane32},
  };
  const int depthIndex = depth == 8 ? 0 : depth == 16 ? 1 : depth == 32 ? 2 : -1;
  if (compression > 3 || depthIndex < 0) return nullptr;
  return kReaders[compression][depthIndex](cursor, allocator, width, height, compressedSize);
}

}  // namespace psd
