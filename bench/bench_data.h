// Test data and reference ("limit") decoders shared by the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kavri_bench {

using Bytes = std::vector<uint8_t>;

// A painted-looking 8-bit plane: soft gradients, flat areas, strokes and a
// little grain, reproducible from seed.
Bytes PaintedPlane(uint32_t width, uint32_t height, uint32_t seed);

// PackBits of each row in turn (as a channel stores it, without row counts).
Bytes PackBitsRows(const Bytes& plane, uint32_t rowBytes);
Bytes ZlibCompress(const Bytes& data);
// Per-row byte deltas, as ZIP with prediction stores 8-bit samples.
Bytes DeltaEncodeRows(const Bytes& plane, uint32_t rowBytes);

// The limits: the plainest correct decoders, with no extra checks or steps.
void PlainPackBits(const uint8_t* source, size_t sourceSize, uint8_t* destination, size_t destinationSize);
void PlainDeltaRows(uint8_t* plane, uint32_t rowBytes, uint32_t rows);
// One-shot inflate by zlib alone and by libdeflate alone (false where absent).
bool ZlibOneShot(const uint8_t* source, size_t sourceSize, uint8_t* destination, size_t destinationSize);
bool LibdeflateOneShot(const uint8_t* source, size_t sourceSize, uint8_t* destination, size_t destinationSize);
bool HaveLibdeflate();

}  // namespace kavri_bench
