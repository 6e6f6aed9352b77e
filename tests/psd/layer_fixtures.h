// Layer records and documents for reader tests, written byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/psd_bytes.h"

namespace kavri_test {

struct ChannelFixture {
  int16_t id;
  uint32_t length;
};

struct BlockFixture {
  std::string key;
  std::vector<uint8_t> data;
  int padTo = 4;               // some writers pad to 2
  int64_t declaredLength = -1;  // -1: the data's size
  std::string signature = "8BIM";
};

inline BlockFixture SectionTypeBlock(uint32_t type, const std::string& key = "lsct") {
  ByteWriter w;
  w.U32(type);
  return {key, w.bytes};
}

inline BlockFixture UnicodeNameBlock(const std::u16string& text, int64_t storedCount = -1, int padTo = 4) {
  ByteWriter w;
  w.U32(storedCount < 0 ? static_cast<uint32_t>(text.size()) : static_cast<uint32_t>(storedCount));
  for (char16_t unit : text) w.U16(unit);
  BlockFixture block{"luni", w.bytes};
  block.padTo = padTo;
  return block;
}

struct LayerFixture {
  int32_t top = 0, left = 0, bottom = 2, right = 3;
  std::vector<ChannelFixture> channels = {{0, 2}, {1, 2}, {2, 2}};
  std::string blendSignature = "8BIM";
  std::string blendKey = "norm";
  uint8_t opacity = 255;
  uint8_t clipping = 0;
  uint8_t flags = 0;
  std::vector<uint8_t> maskData;
  std::vector<uint8_t> blendingRanges;
  std::string name = "layer";
  std::vector<BlockFixture> blocks;
  int64_t extraLengthAdjust = 0;  // added to the true extra data length
};

inline std::vector<uint8_t> BlockBytes(const BlockFixture& block) {
  ByteWriter w;
  w.Text(block.signature).Text(block.key);
  w.U32(block.declaredLength < 0 ? static_cast<uint32_t>(block.data.size()) : static_cast<uint32_t>(block.declaredLength));
  w.Raw(block.data);
  while (w.size() % static_cast<size_t>(block.padTo) != 0) w.U8(0);
  return w.bytes;
}

inline std::vector<uint8_t> LayerRecordBytes(const LayerFixture& layer) {
  ByteWriter extra;
  extra.U32(static_cast<uint32_t>(layer.maskData.size())).Raw(layer.maskData);
  extra.U32(static_cast<uint32_t>(layer.blendingRanges.size())).Raw(layer.blendingRanges);
  ByteWriter nameField;
  nameField.U8(static_cast<uint32_t>(layer.name.size())).Text(layer.name);
  while (nameField.size() % 4 != 0) nameField.U8(0);
  extra.Raw(nameField.bytes);
  for (const BlockFixture& block : layer.blocks) extra.Raw(BlockBytes(block));

  ByteWriter w;
  w.I32(layer.top).I32(layer.left).I32(layer.bottom).I32(layer.right);
  w.U16(static_cast<uint32_t>(layer.channels.size()));
  for (const ChannelFixture& c : layer.channels) w.I16(c.id).U32(c.length);
  w.Text(layer.blendSignature).Text(layer.blendKey).U8(layer.opacity).U8(layer.clipping).U8(layer.flags).U8(0);
  w.U32(static_cast<uint32_t>(static_cast<int64_t>(extra.size()) + layer.extraLengthAdjust));
  w.Raw(extra.bytes);
  return w.bytes;
}

// The layer count, the records and zeroed channel data.
inline std::vector<uint8_t> LayerInfoBytes(const std::vector<LayerFixture>& layers, int32_t storedCount) {
  ByteWriter w;
  w.I16(storedCount);
  uint64_t dataLength = 0;
  for (const LayerFixture& layer : layers) {
    w.Raw(LayerRecordBytes(layer));
    for (const ChannelFixture& c : layer.channels) dataLength += c.length;
  }
  w.Zeros(static_cast<size_t>(dataLength));
  return w.bytes;
}

inline std::vector<uint8_t> LayerInfoBytes(const std::vector<LayerFixture>& layers) {
  return LayerInfoBytes(layers, static_cast<int32_t>(layers.size()));
}

struct DocumentFixture {
  uint32_t channelCount = 3;
  std::vector<uint8_t> imageResources;
  std::vector<uint8_t> layerInfo;  // without its length field
  std::vector<uint8_t> tail;       // global mask information and blocks
  bool layerMaskSection = true;
  std::vector<uint8_t> imageData = {0, 0};
};

// Offset of the layer and mask section's data in a document built from fixture.
inline uint64_t LayerSectionOffset(const DocumentFixture& fixture) { return 26 + 4 + 4 + fixture.imageResources.size() + 4; }

inline std::vector<uint8_t> DocumentBytes(const DocumentFixture& fixture) {
  ByteWriter w = PsdHeader(8, 4, fixture.channelCount);
  w.U32(0);
  w.U32(static_cast<uint32_t>(fixture.imageResources.size())).Raw(fixture.imageResources);
  if (fixture.layerMaskSection) {
    w.U32(static_cast<uint32_t>(4 + fixture.layerInfo.size() + fixture.tail.size()));
    w.U32(static_cast<uint32_t>(fixture.layerInfo.size())).Raw(fixture.layerInfo).Raw(fixture.tail);
  } else {
    w.U32(0);
  }
  w.Raw(fixture.imageData);
  return w.bytes;
}

// Global layer mask information: its length field, then (unless the length is 0)
// its 13 bytes of fields and padding up to the length.
inline std::vector<uint8_t> GlobalMaskInfo(uint16_t colorSpace, uint16_t opacity, uint8_t kind, uint32_t length = 16) {
  ByteWriter w;
  w.U32(length);
  if (length == 0) return w.bytes;
  w.U16(colorSpace).Zeros(8).U16(opacity).U8(kind);
  w.Zeros(length >= 13 ? length - 13 : 0);
  return w.bytes;
}

}  // namespace kavri_test
