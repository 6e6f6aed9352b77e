// The document's merged image: the composite stored after the layer and mask
// section, one plane per channel of the header.
#pragma once

#include <cstdint>

#include "psd/allocator.h"
#include "psd/document_info.h"
#include "psd/file.h"

namespace psd {

struct MergedImage {
  uint32_t width;
  uint32_t height;
  uint32_t depth;         // 8, 16 or 32
  uint32_t channelCount;  // the header's channel count
  uint16_t compression;   // ChannelCompression of the image data
  // channelCount planes in channel order (owned), in the same form as layer
  // planes: width × height native-order samples, aligned to 16. An entry is
  // null where the channel has no plane (an RLE channel whose row counts sum
  // to 0, an empty image, a plane that could not be allocated).
  void** planes;
};

// Decodes the image data section (raw, RLE with every channel's row counts in
// front, or one ZIP stream of all channels, with or without prediction). Null
// when the document has no image data, its depth is not 8, 16 or 32, or the
// compression code is unknown (after an error line).
MergedImage* LoadMergedImage(const DocumentInfo* document, File* file, Allocator* allocator);

// Releases the image, its planes and its plane array; sets image to null.
void ReleaseMergedImage(MergedImage*& image, Allocator* allocator);

}  // namespace psd
