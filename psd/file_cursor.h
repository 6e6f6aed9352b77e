// A file and the running offset of the next read, with big-endian field reads.
#pragma once

#include <cstdint>

#include "psd/file.h"

namespace psd {

// Each read is one positioned read at offset, after which offset advances by the
// bytes requested whether or not the read succeeded. A field whose read fails
// reads as zero: destinations are cleared first.
struct FileCursor {
  File* file = nullptr;
  uint64_t offset = 0;

  // Reads the low 32 bits of count.
  bool ReadBytes(void* destination, uint64_t count);
  uint8_t ReadU8();
  uint16_t ReadU16BE();
  int16_t ReadI16BE();
  uint32_t ReadU32BE();
  int32_t ReadI32BE();
  // An IEEE double stored big-endian.
  double ReadF64BE();
  // A negative delta moves back.
  void Skip(int64_t delta) { offset += static_cast<uint64_t>(delta); }
};

// Big-endian decoding of bytes already in memory.
inline uint16_t LoadU16BE(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t LoadU32BE(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline uint64_t LoadU64BE(const uint8_t* p) {
  return (static_cast<uint64_t>(LoadU32BE(p)) << 32) | LoadU32BE(p + 4);
}

}  // namespace psd
