#include "psd/file_cursor.h"

#include <cstring>

#include "psd/diagnostics.h"

namespace psd {

bool FileCursor::ReadBytes(void* destination, uint64_t count) {
  AssertNotNull(destination);
  const uint32_t count32 = static_cast<uint32_t>(count);
  const bool ok = destination != nullptr && ReadAt(file, destination, count32, offset);
  offset += count32;
  return ok;
}

uint8_t FileCursor::ReadU8() {
  uint8_t value = 0;
  ReadBytes(&value, 1);
  return value;
}

uint16_t FileCursor::ReadU16BE() {
  uint8_t bytes[2] = {};
  ReadBytes(bytes, 2);
  return LoadU16BE(bytes);
}

int16_t FileCursor::ReadI16BE() { return static_cast<int16_t>(ReadU16BE()); }

uint32_t FileCursor::ReadU32BE() {
  uint8_t bytes[4] = {};
  ReadBytes(bytes, 4);
  return LoadU32BE(bytes);
}

int32_t FileCursor::ReadI32BE() { return static_cast<int32_t>(ReadU32BE()); }

double FileCursor::ReadF64BE() {
  uint8_t bytes[8] = {};
  ReadBytes(bytes, 8);
  const uint64_t bits = LoadU64BE(bytes);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace psd
