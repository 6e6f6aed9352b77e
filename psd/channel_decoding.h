// Channel data decoding: the readers for every compression code and depth, and
// the helpers they share. Every plane handed out holds native-order samples
// (8-bit bytes, 16-bit unsigned integers, 32-bit floats), row after row, in one
// allocator block aligned to 16 bytes.
#pragma once

#include <cstdint>

#include "psd/allocator.h"
#include "psd/file_cursor.h"

namespace psd {

// The big-endian 16-bit code in front of each channel's data.
enum class ChannelCompression : uint16_t {
  Raw = 0,
  Rle = 1,           // PackBits, row byte counts in front
  Zip = 2,           // zlib stream of the samples
  ZipPredicted = 3,  // zlib stream of per-row delta-coded samples
};

// InflateBuffer's failure result.
constexpr uint64_t kInflateFailed = ~uint64_t{0};

// Readers. The cursor stands on the first byte after the compression code and
// advances by the bytes each reader asks for. They return the plane (owned by
// the caller, from allocator) or null: raw when width·height is 0, RLE when the
// height is 0 or the row counts sum to 0, ZIP when compressedSize is 0 or the
// plane is empty. A plane whose byte count does not fit in 32 bits, or that is
// far larger than the channel data left in the file could decode to, is not
// allocated: the reader prints why and returns null. Bytes of a plane that a
// short or malformed stream did not reach are zero.
void* ReadRawPlane8(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height);
void* ReadRawPlane16(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height);
void* ReadRawPlane32(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height);
void* ReadRlePlane8(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height);
void* ReadRlePlane16(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height);
void* ReadRlePlane32(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height);
void* ReadZipPlane8(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                    uint32_t compressedSize);
void* ReadZipPlane16(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                     uint32_t compressedSize);
void* ReadZipPlane32(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                     uint32_t compressedSize);
void* ReadZipDeltaPlane8(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                         uint32_t compressedSize);
void* ReadZipDeltaPlane16(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                          uint32_t compressedSize);
void* ReadZipDeltaPlane32(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                          uint32_t compressedSize);

// The reader for a compression code and depth (8, 16 or 32); null for any other
// pair. compressedSize is used by the ZIP readers only.
void* ReadPlane(FileCursor& cursor, Allocator* allocator, uint16_t compression, uint32_t depth,
                uint32_t width, uint32_t height, uint32_t compressedSize);

// PackBits until the destination is full. Never reads past sourceSize nor
// writes past destinationSize: a run cut short by either end counts as
// malformed. Malformed data prints "[DecompressRle] Malformed RLE data
// encountered" once and the rest of the destination is cleared.
void DecompressRle(const uint8_t* source, uint32_t sourceSize, uint8_t* destination, uint32_t destinationSize);

// One whole zlib stream (header checks and Adler-32 included) into the
// destination. Returns the bytes produced, or kInflateFailed for a bad stream,
// one that ends early or one with more output than room; in that last case the
// destination holds the stream's first destinationSize bytes. Destination bytes
// the stream did not produce are cleared. libdeflate and zlib backends give the
// same results.
uint64_t InflateBuffer(void* destination, uint64_t destinationSize, const void* source, uint64_t sourceSize);

// Exchanges the two bytes of each of width·height 16-bit samples.
void SwapBytes16InPlace(void* samples, uint32_t width, uint32_t height);
// Reverses the four bytes of each of width·height 32-bit samples.
void SwapBytes32InPlace(void* samples, uint32_t width, uint32_t height);

// Undoes the row deltas of inflated 8-bit and 16-bit (big-endian in, native
// out) prediction planes.
void DecodeDeltaPlane8(void* plane, uint32_t width, uint32_t height);
void DecodeDeltaPlane16(void* plane, uint32_t width, uint32_t height);

// Turns an inflated 32-bit prediction plane (per row: byte deltas over four
// byte planes, most significant first) into native floats in place. Uses one
// scratch row from allocator; if that allocation fails the plane is cleared.
void DecodeDeltaPlanes32(Allocator* allocator, void* plane, uint32_t width, uint32_t height);

// The backend InflateBuffer uses: "libdeflate" or "zlib".
const char* InflateBackendName();

// InflateBuffer through zlib alone, whatever the backend: the reference that
// the other backend is held to, and a benchmark limit.
uint64_t InflateBufferZlib(void* destination, uint64_t destinationSize, const void* source, uint64_t sourceSize);

}  // namespace psd
