#include "psd/layer_channels.h"

#include <cstring>
#include <initializer_list>

#include "psd/channel_decoding.h"
#include "psd/channel_decoding_internal.h"
#include "psd/diagnostics.h"
#include "psd/file_cursor.h"

namespace psd {

namespace {

constexpr const char* kNoMaskForChannel =
    "The code failed to create a mask for this type internally. This should never happen.";

struct Size {
  uint32_t width;
  uint32_t height;
};

// In 64 bits: the difference of two stored 32-bit edges may not fit in 32.
Size SizeOf(int32_t top, int32_t left, int32_t bottom, int32_t right) {
  const int64_t width = int64_t{right} - left;
  const int64_t height = int64_t{bottom} - top;
  return {width > 0 ? static_cast<uint32_t>(width) : 0u, height > 0 ? static_cast<uint32_t>(height) : 0u};
}

Size SizeOf(const MaskRecord& mask) { return SizeOf(mask.top, mask.left, mask.bottom, mask.right); }

Size ChannelSize(const LayerRecord& layer, int16_t id) {
  if (id == -2) {
    if (layer.vectorMask != nullptr) return SizeOf(*layer.vectorMask);
    if (layer.layerMask != nullptr) return SizeOf(*layer.layerMask);
    ReportAssert("%s", kNoMaskForChannel);
    return {0, 0};
  }
  if (id == -3) {
    // Without a layer mask there is no rectangle: an empty plane, reported at the hand-over.
    return layer.layerMask != nullptr ? SizeOf(*layer.layerMask) : Size{0, 0};
  }
  return SizeOf(layer.top, layer.left, layer.bottom, layer.right);
}

uint8_t FillValue(const LayerRecord& layer, int16_t id) {
  if (id == -2) {
    if (layer.vectorMask != nullptr) return layer.vectorMask->defaultColor;
    if (layer.layerMask != nullptr) return layer.layerMask->defaultColor;
    ReportAssert("%s", kNoMaskForChannel);
    return 0;
  }
  if (id == -3 && layer.layerMask != nullptr) return layer.layerMask->defaultColor;
  return 0;
}

// A plane of (W·H·depth)/8 bytes holding value in every sample. At depth 32 the
// samples are floats, so the byte value is scaled to 0–1 rather than repeated
// into a NaN; at depth 16 the repeated byte is already value·257.
// A rectangle with no data behind it may not claim more than four canvases'
// worth of samples (at least 16 MiB): a few bytes of file cannot ask for gigabytes.
// The canvas is only a header field, so above 16 MiB it counts no further than
// what the whole file could decode to.
uint64_t FillLimit(const DocumentInfo& document, uint64_t fileSize) {
  constexpr uint64_t kFloor = uint64_t{16} << 20;
  constexpr uint64_t kMostPerFileByte = 1032;  // as for a ZIP stream
  const uint64_t canvas = uint64_t{document.width} * document.height * document.depth / 8;
  const uint64_t byFile = fileSize * kMostPerFileByte;
  const uint64_t cap = 4 * canvas < byFile ? 4 * canvas : byFile;
  return cap > kFloor ? cap : kFloor;
}

// limit: FillLimit, for one plane. fillLeft: what the layer's fills may still
// take together; a record listing hundreds of empty channels gets no more than
// its three kinds of filled channel (transparency and two masks) would.
void* FilledPlane(Allocator* allocator, const DocumentInfo& document, uint64_t limit, uint64_t& fillLeft, Size size,
                  uint8_t value) {
  const uint32_t depth = document.depth;
  const uint64_t bytes = uint64_t{size.width} * size.height * depth / 8;
  const uint64_t canvas = uint64_t{document.width} * document.height * depth / 8;
  // Past the limit: if the canvas would allow it, the file is what cannot.
  void* plane = detail::AllocatePlane(allocator, bytes, size.width, size.height, limit < fillLeft ? limit : fillLeft,
                                      bytes <= 4 * canvas ? "far larger than the file could hold, with no data behind it"
                                                          : "far larger than the canvas, with no data behind it");
  if (plane == nullptr) return nullptr;
  fillLeft -= bytes;
  if (depth == 32) {
    const float sample = value / 255.0f;
    auto* p = static_cast<uint8_t*>(plane);
    for (uint64_t i = 0; i + 4 <= bytes; i += 4) std::memcpy(p + i, &sample, 4);
  } else {
    std::memset(plane, value, static_cast<size_t>(bytes));
  }
  return plane;
}

void HandOver(ChannelRecord& channel, MaskRecord& mask, Allocator* allocator) {
  // A second mask channel of one kind replaces the first plane, which is released.
  allocator->ReleaseBlock(mask.plane);
  mask.plane = channel.plane;
  mask.dataOffset = channel.dataOffset;
  channel.plane = nullptr;
  channel.dataOffset = 0;
  channel.id = kChannelIdConsumed;
}

}  // namespace

void LoadLayerChannels(const DocumentInfo* document, File* file, Allocator* allocator, LayerRecord* layer) {
  const bool fileOk = AssertNotNull(file);
  const bool allocatorOk = AssertNotNull(allocator);
  const bool layerOk = AssertNotNull(layer);
  if (!fileOk || !allocatorOk || !layerOk || !AssertNotNull(document)) return;
  if (layer->channelRecords == nullptr) return;
  const uint32_t depth = document->depth;
  const uint64_t fillLimit = FillLimit(*document, file->QuerySize());
  uint64_t fillLeft = 3 * fillLimit;

  for (uint32_t i = 0; i < layer->channelRecordCount; ++i) {
    ChannelRecord& channel = layer->channelRecords[i];
    // A consumed channel's plane lives in its mask and its offset is gone: a
    // second run has nothing to read for it.
    if (channel.id == kChannelIdConsumed) continue;
    const Size size = ChannelSize(*layer, channel.id);
    if (channel.plane != nullptr) ReportAssert("Channel data has already been loaded.");

    uint8_t codeBytes[2] = {0, 0};
    ReadAt(file, codeBytes, 2, channel.dataOffset);
    const uint16_t code = LoadU16BE(codeBytes);
    FileCursor cursor{file, channel.dataOffset + 2};
    uint32_t compressedSize = 0;
    bool read = true;  // whether the channel's plane is decided here
    switch (static_cast<ChannelCompression>(code)) {
      case ChannelCompression::Raw:
      case ChannelCompression::Rle:
        break;
      case ChannelCompression::Zip:
      case ChannelCompression::ZipPredicted:
        // Fewer than 2 bytes cannot even hold the code: the channel has no data.
        if (channel.dataLength < 2) {
          ReportAssert("Invalid channel data size %d.", static_cast<int>(channel.dataLength));
        } else {
          compressedSize = channel.dataLength - 2;
        }
        break;
      default:
        ReportAssert("Unsupported compression type %d", static_cast<int>(code));
        return;
    }
    if (depth != 8 && depth != 16 && depth != 32) read = false;
    if (read) {
      void* plane = nullptr;
      const bool empty = (code == 0 && uint64_t{size.width} * size.height == 0) || (code >= 2 && compressedSize == 0);
      if (!empty) plane = ReadPlane(cursor, allocator, code, depth, size.width, size.height, compressedSize);
      // A reload replaces the plane; the old one is released, never leaked.
      allocator->ReleaseBlock(channel.plane);
      channel.plane = plane;
    }
    if (channel.plane == nullptr && channel.id < 0) {
      channel.plane = FilledPlane(allocator, *document, fillLimit, fillLeft, size, FillValue(*layer, channel.id));
    }
  }

  for (uint32_t i = 0; i < layer->channelRecordCount; ++i) {
    ChannelRecord& channel = layer->channelRecords[i];
    if (channel.id == -2) {
      MaskRecord* target = layer->vectorMask != nullptr ? layer->vectorMask : layer->layerMask;
      if (target == nullptr) {
        ReportAssert("%s", kNoMaskForChannel);
        continue;
      }
      if (target->plane != nullptr) {
        ReportAssert(target == layer->vectorMask ? "Vector mask data has already been assigned."
                                                 : "Layer mask data has already been assigned.");
      }
      HandOver(channel, *target, allocator);
    } else if (channel.id == -3) {
      // No mask to go to: the channel keeps its (empty) plane and its id.
      if (layer->layerMask == nullptr) {
        ReportAssert("Layer mask must already exist.");
        continue;
      }
      if (layer->layerMask->plane != nullptr) ReportAssert("Layer mask data has already been assigned.");
      HandOver(channel, *layer->layerMask, allocator);
    }
  }
}

void ReleaseLayerPlanes(LayerRecord& layer, Allocator* allocator) {
  for (uint32_t i = 0; i < layer.channelRecordCount; ++i) {
    allocator->ReleaseBlock(layer.channelRecords[i].plane);
    layer.channelRecords[i].plane = nullptr;
  }
  for (MaskRecord* mask : {layer.layerMask, layer.vectorMask}) {
    if (mask == nullptr) continue;
    allocator->ReleaseBlock(mask->plane);
    mask->plane = nullptr;
  }
}

}  // namespace psd
