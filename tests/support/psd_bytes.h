// Building PSD bytes for fixtures: big-endian fields appended to a buffer, and
// the smallest well-formed documents to start from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavri_test {

struct ByteWriter {
  std::vector<uint8_t> bytes;

  ByteWriter& U8(uint32_t v) {
    bytes.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  ByteWriter& U16(uint32_t v) { return U8(v >> 8).U8(v); }
  ByteWriter& U32(uint32_t v) { return U16(v >> 16).U16(v); }
  ByteWriter& I16(int32_t v) { return U16(static_cast<uint32_t>(v) & 0xFFFF); }
  ByteWriter& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  ByteWriter& Text(const std::string& s) {
    for (char c : s) bytes.push_back(static_cast<uint8_t>(c));
    return *this;
  }
  ByteWriter& Raw(const std::vector<uint8_t>& b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
  }
  ByteWriter& Zeros(size_t n) {
    bytes.insert(bytes.end(), n, 0);
    return *this;
  }
  size_t size() const { return bytes.size(); }
};

// The 26-byte header.
inline ByteWriter PsdHeader(uint32_t width, uint32_t height, uint32_t channels = 3, uint32_t depth = 8,
                            uint32_t colorMode = 3, uint32_t version = 1) {
  ByteWriter w;
  w.Text("8BPS").U16(version).Zeros(6).U16(channels).U32(height).U32(width).U16(depth).U16(colorMode);
  return w;
}

// Header and three empty sections: the smallest valid document.
inline std::vector<uint8_t> MinimalPsd(uint32_t width = 4, uint32_t height = 2) {
  ByteWriter w = PsdHeader(width, height);
  w.U32(0).U32(0).U32(0);
  return w.bytes;
}

}  // namespace kavri_test
