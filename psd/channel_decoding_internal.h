// Pieces of the channel readers shared with the layer channel and merged image
// readers; not part of the reader's interface.
#pragma once

#include <cstdint>

#include "psd/allocator.h"
#include "psd/file_cursor.h"

namespace psd {
namespace detail {

constexpr const char* kNoDataToDecode = "far more than its data in the file can decode to";

// How many bytes the file holds from the cursor on.
uint64_t BytesLeftInFile(FileCursor& cursor);

// Reads count bytes (any size) at the cursor and advances by count. Bytes the
// file does not hold, or whose read failed, are zero.
void ReadOrClear(FileCursor& cursor, uint8_t* destination, uint64_t count);

// A plane block of byteCount bytes (alignment 16) for width × height samples.
// Null, after an assertion line that says why, when byteCount does not fit in
// 32 bits, when it exceeds maxJustified (what the data in the file can decode
// to, or for a fill what the canvas allows; unjustified names the reason) or
// when the allocator has no memory.
void* AllocatePlane(Allocator* allocator, uint64_t byteCount, uint32_t width, uint32_t height,
                    uint64_t maxJustified, const char* unjustified = kNoDataToDecode);

// The RLE reader after its row counts: decodes rleBytes bytes of PackBits at
// the cursor into a new plane of width × height samples of bytesPerSample
// bytes, then converts the byte order. Null when the plane is not allocated.
void* DecodeRleStream(FileCursor& cursor, Allocator* allocator, uint32_t width, uint32_t height,
                      uint32_t bytesPerSample, uint64_t rleBytes);

// Reads groups × rows big-endian 16-bit row counts at the cursor in one read
// (advancing by 2 bytes per count; counts the file does not hold are 0) and
// stores the sum of each group of rows consecutive counts in sums[group].
void SumRowCounts(FileCursor& cursor, Allocator* allocator, uint32_t rows, uint32_t groups, uint64_t* sums);

}  // namespace detail
}  // namespace psd
