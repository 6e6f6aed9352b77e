#include "psd/document_info.h"

#include "psd/diagnostics.h"
#include "psd/file_cursor.h"

namespace psd {

namespace {

constexpr uint32_t kSignature8BPS = 0x38425053;  // "8BPS"

uint32_t ReadU32At(File* file, uint64_t position) {
  uint8_t bytes[4] = {};
  ReadAt(file, bytes, 4, position);
  return LoadU32BE(bytes);
}

uint16_t ReadU16At(File* file, uint64_t position) {
  uint8_t bytes[2] = {};
  ReadAt(file, bytes, 2, position);
  return LoadU16BE(bytes);
}

}  // namespace

DocumentInfo* ReadDocumentInfo(File* file, Allocator* allocator) {
  if (ReadU32At(file, 0) != kSignature8BPS) {
    ReportError("[PsdExtract]", "File seems to be corrupt, signature does not match \"8BPS\".");
    return nullptr;
  }
  if (ReadU16At(file, 4) != 1) {
    ReportError("[PsdExtract]", "File seems to be corrupt, version does not match 1.");
    return nullptr;
  }
  uint8_t reserved[6] = {};
  ReadAt(file, reserved, 6, 6);
  for (uint8_t byte : reserved) {
    if (byte != 0) {
      ReportError("[PsdExtract]", "File seems to be corrupt, reserved bytes are not zero.");
      return nullptr;
    }
  }
  if (!AssertNotNull(allocator)) return nullptr;
  auto* info = static_cast<DocumentInfo*>(allocator->AllocateBlock(sizeof(DocumentInfo), 8));
  if (!AssertNotNull(info)) return nullptr;

  info->channelCount = ReadU16At(file, 12);
  info->height = ReadU32At(file, 14);
  info->width = ReadU32At(file, 18);
  info->depth = ReadU16At(file, 22);
  info->colorMode = ReadU16At(file, 24);

  const uint32_t colorModeLength = ReadU32At(file, 26);
  info->colorModeDataExtent = {30, colorModeLength};
  const uint64_t resourcesLengthAt = 30 + uint64_t{colorModeLength};
  const uint32_t resourcesLength = ReadU32At(file, resourcesLengthAt);
  info->imageResourcesExtent = {resourcesLengthAt + 4, resourcesLength};
  const uint64_t layerMaskLengthAt = info->imageResourcesExtent.offset + resourcesLength;
  const uint32_t layerMaskLength = ReadU32At(file, layerMaskLengthAt);
  info->layerMaskExtent = {layerMaskLengthAt + 4, layerMaskLength};
  const uint64_t imageDataOffset = info->layerMaskExtent.offset + layerMaskLength;
  info->imageDataExtent = {imageDataOffset, static_cast<uint32_t>(file->QuerySize() - imageDataOffset)};
  return info;
}

}  // namespace psd
