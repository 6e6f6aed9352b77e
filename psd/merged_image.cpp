#include "psd/merged_image.h"

#include <cstring>

#include "psd/channel_decoding.h"
#include "psd/channel_decoding_internal.h"
#include "psd/diagnostics.h"
#include "psd/file_cursor.h"

namespace psd {

namespace {

void LoadRaw(FileCursor& cursor, Allocator* allocator, MergedImage& image) {
  for (uint32_t k = 0; k < image.channelCount; ++k) {
    image.planes[k] = ReadPlane(cursor, allocator, 0, image.depth, image.width, image.height, 0);
  }
}

void LoadRle(FileCursor& cursor, Allocator* allocator, MergedImage& image) {
  if (image.height == 0 || image.channelCount == 0) return;
  auto* sums = static_cast<uint64_t*>(allocator->AllocateBlock(uint64_t{image.channelCount} * sizeof(uint64_t), 8));
  if (!AssertNotNull(sums)) return;
  detail::SumRowCounts(cursor, allocator, image.height, image.channelCount, sums);
  for (uint32_t k = 0; k < image.channelCount; ++k) {
    if (sums[k] == 0) continue;
    image.planes[k] = detail::DecodeRleStream(cursor, allocator, image.width, image.height, image.depth / 8, sums[k]);
  }
  allocator->ReleaseBlock(sums);
}

// One stream holds all channels, one after the other, as a plane of
// width × (height · channels) samples; each channel is then copied out to a
// plane of its own so that every plane is a separate aligned block.
void LoadZip(FileCursor& cursor, Allocator* allocator, MergedImage& image, uint16_t code) {
  const uint64_t rows = uint64_t{image.height} * image.channelCount;
  if (rows > UINT32_MAX) {
    ReportAssert("The merged image has %llu rows, more than 32 bits can count.", static_cast<unsigned long long>(rows));
    return;
  }
  const uint64_t left = detail::BytesLeftInFile(cursor);
  const uint32_t compressedSize = left < UINT32_MAX ? static_cast<uint32_t>(left) : UINT32_MAX;
  auto* all = static_cast<uint8_t*>(
      ReadPlane(cursor, allocator, code, image.depth, image.width, static_cast<uint32_t>(rows), compressedSize));
  if (all == nullptr) return;
  const uint64_t planeBytes = uint64_t{image.width} * image.height * (image.depth / 8);
  for (uint32_t k = 0; k < image.channelCount; ++k) {
    void* plane = allocator->AllocateBlock(planeBytes, 16);
    if (!AssertNotNull(plane)) continue;
    std::memcpy(plane, all + planeBytes * k, static_cast<size_t>(planeBytes));
    image.planes[k] = plane;
  }
  allocator->ReleaseBlock(all);
}

}  // namespace

MergedImage* LoadMergedImage(const DocumentInfo* document, File* file, Allocator* allocator) {
  const bool documentOk = AssertNotNull(document);
  const bool fileOk = AssertNotNull(file);
  if (!AssertNotNull(allocator) || !documentOk || !fileOk) return nullptr;
  const uint32_t depth = document->depth;
  if (depth != 8 && depth != 16 && depth != 32) return nullptr;
  FileCursor cursor{file, document->imageDataExtent.offset};
  if (detail::BytesLeftInFile(cursor) < 2) return nullptr;
  const uint16_t code = cursor.ReadU16BE();
  if (code > 3) {
    ReportError("[PsdExtract]", "Unsupported compression type %d of the merged image.", static_cast<int>(code));
    return nullptr;
  }
  auto* image = static_cast<MergedImage*>(allocator->AllocateBlock(sizeof(MergedImage), 8));
  if (!AssertNotNull(image)) return nullptr;
  image->width = document->width;
  image->height = document->height;
  image->depth = depth;
  image->channelCount = document->channelCount;
  image->compression = code;
  image->planes = static_cast<void**>(allocator->AllocateBlock(uint64_t{image->channelCount} * sizeof(void*), 8));
  if (!AssertNotNull(image->planes)) {
    allocator->ReleaseBlock(image);
    return nullptr;
  }
  for (uint32_t k = 0; k < image->channelCount; ++k) image->planes[k] = nullptr;
  if (code == 0) LoadRaw(cursor, allocator, *image);
  if (code == 1) LoadRle(cursor, allocator, *image);
  if (code >= 2) LoadZip(cursor, allocator, *image, code);
  return image;
}

void ReleaseMergedImage(MergedImage*& image, Allocator* allocator) {
  if (image == nullptr || !AssertNotNull(allocator)) return;
  if (image->planes != nullptr) {
    for (uint32_t k = 0; k < image->channelCount; ++k) allocator->ReleaseBlock(image->planes[k]);
  }
  allocator->ReleaseBlock(image->planes);
  allocator->ReleaseBlock(image);
  image = nullptr;
}

}  // namespace psd
