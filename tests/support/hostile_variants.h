// Damaged copies of a PSD document for the hostile-file tables: truncations at
// every section and record boundary and at a spread of offsets, and copies
// with one field (a length, a count, a rectangle edge or canvas size, a
// compression code, a signature) set to a hostile value. The document's
// structure is walked here, independently of the reader, and only as far as
// the bytes go.
#pragma once

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace kavri_test {

enum class FieldKind { Length, Count, Rectangle, Compression, Signature };

struct Field {
  uint64_t offset;
  uint32_t size;  // 2 or 4 bytes
  FieldKind kind;
  std::string what;
};

struct Landmarks {
  std::set<uint64_t> boundaries;  // where a section, block, record or channel begins
  std::vector<Field> fields;
};

// One damaged copy, described; Apply makes its bytes.
struct Variant {
  std::string what;
  bool truncated = false;
  uint64_t cut = 0;     // for truncations: the new size
  Field field{};        // for corruptions
  uint64_t value = 0;   // the field's new value
};

inline uint64_t LoadBE(const std::vector<uint8_t>& bytes, uint64_t offset, uint32_t size) {
  uint64_t value = 0;
  for (uint32_t i = 0; i < size; ++i) value = (value << 8) | (offset + i < bytes.size() ? bytes[offset + i] : 0);
  return value;
}

// Walks header, sections, the first resource blocks, the layer records (up to
// maxRecords) and their channels' data.
inline Landmarks FindLandmarks(const std::vector<uint8_t>& bytes, uint32_t maxRecords = 6) {
  Landmarks m;
  const uint64_t size = bytes.size();
  auto field = [&](uint64_t offset, uint32_t width, FieldKind kind, const std::string& what) {
    if (offset + width <= size) m.fields.push_back({offset, width, kind, what});
  };
  auto boundary = [&](uint64_t offset) {
    if (offset <= size) m.boundaries.insert(offset);
  };
  for (uint64_t b : {0, 4, 6, 12, 14, 22, 26}) boundary(b);
  field(0, 4, FieldKind::Signature, "header signature");
  field(4, 2, FieldKind::Signature, "version");
  field(12, 2, FieldKind::Count, "channel count");
  field(14, 4, FieldKind::Rectangle, "canvas height");
  field(18, 4, FieldKind::Rectangle, "canvas width");
  field(22, 2, FieldKind::Compression, "depth");
  field(24, 2, FieldKind::Compression, "colour mode");

  uint64_t at = 26;
  field(at, 4, FieldKind::Length, "colour mode data length");
  at += 4 + LoadBE(bytes, at, 4);
  boundary(at);
  field(at, 4, FieldKind::Length, "image resources length");
  const uint64_t resourcesEnd = at + 4 + LoadBE(bytes, at, 4);
  uint64_t block = at + 4;
  for (int i = 0; i < 4 && block + 12 <= std::min<uint64_t>(resourcesEnd, size); ++i) {
    boundary(block);
    field(block, 4, FieldKind::Signature, "resource signature");
    const uint64_t nameBytes = (LoadBE(bytes, block + 6, 1) + 2) & ~uint64_t{1};
    field(block + 6 + nameBytes, 4, FieldKind::Length, "resource data size");
    block += 10 + nameBytes + ((LoadBE(bytes, block + 6 + nameBytes, 4) + 1) & ~uint64_t{1});
  }
  at = resourcesEnd;
  boundary(at);
  field(at, 4, FieldKind::Length, "layer and mask section length");
  const uint64_t sectionLength = LoadBE(bytes, at, 4);
  const uint64_t imageData = at + 4 + sectionLength;
  if (sectionLength >= 4) {
    const uint64_t info = at + 4;
    boundary(info);
    field(info, 4, FieldKind::Length, "layer information length");
    field(info + 4, 2, FieldKind::Count, "layer count");
    const auto stored = static_cast<int16_t>(LoadBE(bytes, info + 4, 2));
    const uint32_t count = static_cast<uint32_t>(stored < 0 ? -stored : stored);
    uint64_t record = info + 6;
    std::vector<std::vector<uint64_t>> channelLengths;
    for (uint32_t r = 0; r < count && record + 34 <= size; ++r) {
      const bool described = r < maxRecords;
      boundary(record);
      if (described) {
        field(record + 8, 4, FieldKind::Rectangle, "layer bottom");
        field(record + 12, 4, FieldKind::Rectangle, "layer right");
        field(record + 16, 2, FieldKind::Count, "layer channel count");
      }
      const uint64_t channels = LoadBE(bytes, record + 16, 2);
      std::vector<uint64_t> lengths;
      for (uint64_t c = 0; c < channels && record + 18 + 6 * c + 6 <= size; ++c) {
        if (described && c < 4) field(record + 18 + 6 * c + 2, 4, FieldKind::Length, "channel data length");
        lengths.push_back(LoadBE(bytes, record + 18 + 6 * c + 2, 4));
      }
      channelLengths.push_back(lengths);
      const uint64_t blend = record + 18 + 6 * channels;
      if (described) {
        field(blend, 4, FieldKind::Signature, "blend mode signature");
        field(blend + 12, 4, FieldKind::Length, "extra data length");
      }
      record = blend + 16 + LoadBE(bytes, blend + 12, 4);
    }
    // Channel data follows the records, record by record, channel by channel.
    uint64_t data = record;
    uint32_t codes = 0;
    for (const std::vector<uint64_t>& lengths : channelLengths) {
      for (uint64_t length : lengths) {
        if (data >= size) break;
        boundary(data);
        boundary(data + 2);
        if (codes++ < 12) field(data, 2, FieldKind::Compression, "channel compression code");
        data += length;
      }
    }
    boundary(data);
  }
  boundary(imageData);
  boundary(imageData + 2);
  field(imageData, 2, FieldKind::Compression, "merged image compression code");
  return m;
}

inline std::vector<uint32_t> HostileValues(const Field& field, uint64_t original) {
  switch (field.kind) {
    case FieldKind::Length:
      return {0xFFFFFFFFu, 0x7FFFFFF0u, 0u, static_cast<uint32_t>(original + 1)};
    case FieldKind::Count:
      return {0xFFFFu, 0x8000u, 0x7FFFu, 0u};
    case FieldKind::Rectangle:
      return {0x7FFFFFFFu, 0x80000000u, 0x00FFFFFFu, 0x00007530u};
    case FieldKind::Compression:
      return {4u, 0xFFFFu, static_cast<uint32_t>((original + 1) & 3), static_cast<uint32_t>((original + 2) & 3)};
    case FieldKind::Signature:
      return {0u, static_cast<uint32_t>(original ^ 0x20u)};
  }
  return {};
}

// Every truncation and corruption of bytes: truncations at each boundary and
// at `spread` evenly spaced offsets, and each hostile value of each field.
inline std::vector<Variant> HostileVariants(const std::vector<uint8_t>& bytes, uint32_t spread = 16) {
  const Landmarks marks = FindLandmarks(bytes);
  std::set<uint64_t> cuts = marks.boundaries;
  for (uint32_t i = 1; i <= spread; ++i) cuts.insert(bytes.size() * i / (spread + 1));
  std::vector<Variant> variants;
  for (uint64_t cut : cuts) {
    if (cut >= bytes.size()) continue;
    Variant v;
    v.what = "cut at " + std::to_string(cut);
    v.truncated = true;
    v.cut = cut;
    variants.push_back(std::move(v));
  }
  for (const Field& field : marks.fields) {
    const uint64_t original = LoadBE(bytes, field.offset, field.size);
    for (uint32_t value : HostileValues(field, original)) {
      const uint64_t stored = field.size == 2 ? (value & 0xFFFFu) : value;
      if (stored == original) continue;
      Variant v;
      v.what = field.what + " at " + std::to_string(field.offset) + " set to " + std::to_string(stored);
      v.field = field;
      v.value = stored;
      variants.push_back(std::move(v));
    }
  }
  return variants;
}

inline std::vector<uint8_t> Apply(const std::vector<uint8_t>& bytes, const Variant& v) {
  if (v.truncated) return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(v.cut));
  std::vector<uint8_t> damaged = bytes;
  for (uint32_t i = 0; i < v.field.size; ++i)
    damaged[v.field.offset + i] = static_cast<uint8_t>(v.value >> (8 * (v.field.size - 1 - i)));
  return damaged;
}

// Whether output is a sequence of the reader's diagnostics and nothing else:
// "\n***ERROR*** [Tag] text" with one of its tags, or "\n***ASSERT FAILED*** text".
inline bool OnlyReaderDiagnostics(const std::string& output, std::string* offending = nullptr) {
  static const char* const kTags[] = {"[NativeFile]", "[PsdExtract]", "[LayerMaskSection]", "[AdditionalLayerInfo]",
                                      "[ImageResources]", "[DecompressRle]", "[PSD]"};
  size_t at = 0;
  while (at < output.size()) {
    const size_t next = output.find("\n***", at + 1);
    const std::string message = output.substr(at, next == std::string::npos ? std::string::npos : next - at);
    bool ok = false;
    if (message.rfind("\n***ASSERT FAILED*** ", 0) == 0) {
      ok = true;
    } else if (message.rfind("\n***ERROR*** ", 0) == 0) {
      for (const char* tag : kTags)
        if (message.compare(13, std::string(tag).size() + 1, std::string(tag) + " ") == 0) ok = true;
    }
    if (!ok) {
      if (offending != nullptr) *offending = message;
      return false;
    }
    if (next == std::string::npos) break;
    at = next;
  }
  return true;
}

}  // namespace kavri_test
