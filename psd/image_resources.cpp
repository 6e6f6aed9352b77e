#include "psd/image_resources.h"

#include <cstring>

#include "psd/diagnostics.h"
#include "psd/file_cursor.h"

namespace psd {

namespace {

constexpr uint32_t kSignature8BIM = 0x3842494D;  // "8BIM"
constexpr uint32_t kSignaturePsdM = 0x7073644D;  // "psdM"

constexpr uint16_t kResourceAlphaNames = 1006;
constexpr uint16_t kResourceThumbnail = 1036;
constexpr uint16_t kResourceIccProfile = 1039;
constexpr uint16_t kResourceVersionInfo = 1057;
constexpr uint16_t kResourceExif = 1058;
constexpr uint16_t kResourceXmp = 1060;
constexpr uint16_t kResourceAlphaDisplayInfo = 1077;

// A document holds at most 56 channels, so at most 53 after the first three.
constexpr uint32_t kMaxAlphaInfoCount = 53;
constexpr uint32_t kThumbnailHeaderSize = 28;
constexpr uint32_t kAlphaDisplayEntrySize = 13;

void ReportCorrupt() {
  ReportError("[ImageResources]", "Image resources section seems to be corrupt, signature does not match \"8BIM\".");
}

uint32_t ReadU32At(File* file, uint64_t position) {
  uint8_t bytes[4] = {};
  ReadAt(file, bytes, 4, position);
  return LoadU32BE(bytes);
}

// The table has an entry per channel after the first three; a document with
// three channels or fewer gets an empty table, which nothing is written into.
bool EnsureAlphaTable(ImageResourceRecord& record, const DocumentInfo& document, Allocator* allocator) {
  if (record.alphaInfos != nullptr) return true;
  uint32_t count = document.channelCount > 3 ? document.channelCount - 3 : 0;
  if (count > kMaxAlphaInfoCount) count = kMaxAlphaInfoCount;
  auto* table = static_cast<AlphaInfo*>(allocator->AllocateBlock(count * sizeof(AlphaInfo), 8));
  if (table == nullptr) return false;
  std::memset(static_cast<void*>(table), 0, count * sizeof(AlphaInfo));
  for (uint32_t i = 0; i < count; ++i) table[i].name.Clear();
  record.alphaInfos = table;
  record.alphaInfoCount = count;
  return true;
}

// A copy of size bytes from position; null when the allocation fails.
uint8_t* ReadBlockCopy(File* file, Allocator* allocator, uint64_t position, uint32_t size) {
  auto* bytes = static_cast<uint8_t*>(allocator->AllocateBlock(size, 1));
  if (bytes == nullptr) return nullptr;
  std::memset(bytes, 0, size);
  if (size != 0) ReadAt(file, bytes, size, position);
  return bytes;
}

void ReadAlphaNames(File* file, uint64_t dataStart, uint64_t paddedSize, ImageResourceRecord& record) {
  uint64_t consumed = 0;
  uint32_t index = 0;
  while (consumed < paddedSize) {
    uint8_t length = 0;
    ReadAt(file, &length, 1, dataStart + consumed);
    ++consumed;
    // A string never reaches into the next block.
    if (length > paddedSize - consumed) length = static_cast<uint8_t>(paddedSize - consumed);
    char name[512] = {};
    if (length != 0) ReadAt(file, name, length, dataStart + consumed);
    consumed += length;
    if (index < record.alphaInfoCount) record.alphaInfos[index].name.Assign(name);
    ++index;
  }
}

void ReadAlphaDisplayInfo(File* file, uint64_t dataStart, uint32_t dataSize, ImageResourceRecord& record) {
  for (uint32_t i = 0; i < record.alphaInfoCount; ++i) {
    const uint64_t entryStart = 4 + static_cast<uint64_t>(i) * kAlphaDisplayEntrySize;
    // Entries the block does not hold keep their cleared values.
    if (entryStart + kAlphaDisplayEntrySize > dataSize) break;
    uint8_t entry[kAlphaDisplayEntrySize] = {};
    ReadAt(file, entry, kAlphaDisplayEntrySize, dataStart + entryStart);
    AlphaInfo& info = record.alphaInfos[i];
    info.displayColorSpace = LoadU16BE(entry);
    for (int c = 0; c < 4; ++c) info.displayColor[c] = LoadU16BE(entry + 2 + 2 * c);
    info.displayOpacity = LoadU16BE(entry + 10);
    info.displayKind = entry[12];
  }
}

void ReleasePreview(PreviewImage*& preview, Allocator* allocator) {
  if (preview == nullptr) return;
  allocator->ReleaseBlock(preview->jpegBytes);
  allocator->ReleaseBlock(preview);
  preview = nullptr;
}

void ReadThumbnail(File* file, Allocator* allocator, uint64_t dataStart, uint32_t dataSize, ImageResourceRecord& record) {
  auto* preview = static_cast<PreviewImage*>(allocator->AllocateBlock(sizeof(PreviewImage), 8));
  if (preview == nullptr) return;
  uint8_t header[kThumbnailHeaderSize] = {};
  ReadAt(file, header, kThumbnailHeaderSize, dataStart);
  preview->width = LoadU32BE(header + 4);
  preview->height = LoadU32BE(header + 8);
  preview->jpegSize = LoadU32BE(header + 20);
  // The JPEG data is kept to what the block holds after its header.
  const uint32_t held = dataSize > kThumbnailHeaderSize ? dataSize - kThumbnailHeaderSize : 0;
  if (preview->jpegSize > held) preview->jpegSize = held;
  preview->jpegBytes = ReadBlockCopy(file, allocator, dataStart + kThumbnailHeaderSize, preview->jpegSize);
  if (preview->jpegBytes == nullptr) preview->jpegSize = 0;
  // A later thumbnail replaces an earlier one, which goes back to the allocator.
  ReleasePreview(record.preview, allocator);
  record.preview = preview;
}

// Replaces *block with a copy of the resource's padded data; the earlier
// block goes back to the allocator.
void ReadWholeResource(File* file, Allocator* allocator, uint64_t dataStart, uint32_t paddedSize, uint8_t*& block,
                       uint32_t* blockSize) {
  uint8_t* copy = ReadBlockCopy(file, allocator, dataStart, paddedSize);
  if (copy == nullptr) return;
  allocator->ReleaseBlock(block);
  block = copy;
  if (blockSize != nullptr) *blockSize = paddedSize;
}

}  // namespace

ImageResourceRecord* ReadImageResources(const DocumentInfo* document, File* file, Allocator* allocator,
                                        ImageResourceVisitor visitor, void* context) {
  const bool haveFile = AssertNotNull(file);
  const bool haveAllocator = AssertNotNull(allocator);
  if (!haveFile || !haveAllocator || !AssertNotNull(document)) return nullptr;
  auto* record = static_cast<ImageResourceRecord*>(allocator->AllocateBlock(sizeof(ImageResourceRecord), 8));
  if (record == nullptr) return nullptr;
  std::memset(static_cast<void*>(record), 0, sizeof *record);
  record->mergedImagePresent = true;

  const uint64_t fileSize = file->QuerySize();
  uint64_t position = document->imageResourcesExtent.offset;
  int64_t remaining = document->imageResourcesExtent.length;
  while (remaining > 0) {
    const uint32_t signature = ReadU32At(file, position);
    if (signature != kSignature8BIM && signature != kSignaturePsdM) {
      ReportCorrupt();
      break;
    }
    uint8_t idBytes[2] = {};
    ReadAt(file, idBytes, 2, position + 4);
    uint8_t nameLength = 0;
    ReadAt(file, &nameLength, 1, position + 6);
    const uint32_t nameFieldSize = (static_cast<uint32_t>(nameLength) + 2) & ~1u;
    char name[512] = {};
    ReadAt(file, name, nameFieldSize - 1, position + 7);  // read and dropped
    const uint32_t dataSize = ReadU32At(file, position + 6 + nameFieldSize);
    const uint64_t dataStart = position + 10 + nameFieldSize;
    // A block that claims more than the section or the file holds is corrupt:
    // its size must not size a copy.
    if (10 + nameFieldSize + static_cast<int64_t>(dataSize) > remaining || dataStart + dataSize > fileSize) {
      ReportCorrupt();
      break;
    }
    const uint64_t paddedSize = (static_cast<uint64_t>(dataSize) + 1) & ~uint64_t{1};

    const ImageResourceBlock block{signature, LoadU16BE(idBytes), dataStart, dataSize};
    if (visitor != nullptr) visitor(block, context);

    switch (block.id) {
      case kResourceAlphaNames:
        if (EnsureAlphaTable(*record, *document, allocator)) ReadAlphaNames(file, dataStart, paddedSize, *record);
        break;
      case kResourceThumbnail:
        ReadThumbnail(file, allocator, dataStart, dataSize, *record);
        break;
      case kResourceIccProfile:
        if (record->iccBlock != nullptr) ReportAssert("File contains more than one ICC profile.");
        ReadWholeResource(file, allocator, dataStart, static_cast<uint32_t>(paddedSize), record->iccBlock,
                          &record->iccBlockSize);
        break;
      case kResourceVersionInfo: {
        uint8_t hasMergedImage = 0;
        ReadAt(file, &hasMergedImage, 1, dataStart + 4);
        record->mergedImagePresent = hasMergedImage != 0;
        break;
      }
      case kResourceExif:
        if (record->exifBlock != nullptr) ReportAssert("File contains more than one EXIF data block.");
        ReadWholeResource(file, allocator, dataStart, static_cast<uint32_t>(paddedSize), record->exifBlock,
                          &record->exifBlockSize);
        break;
      case kResourceXmp:
        if (record->xmpBlock != nullptr) ReportAssert("File contains more than one XMP metadata resource.");
        ReadWholeResource(file, allocator, dataStart, static_cast<uint32_t>(paddedSize), record->xmpBlock, nullptr);
        break;
      case kResourceAlphaDisplayInfo:
        if (EnsureAlphaTable(*record, *document, allocator)) ReadAlphaDisplayInfo(file, dataStart, dataSize, *record);
        break;
      default:
        break;
    }

    position = dataStart + paddedSize;
    remaining -= static_cast<int64_t>(10 + nameFieldSize + paddedSize);
  }
  return record;
}

void ReleaseImageResources(ImageResourceRecord*& record, Allocator* allocator) {
  if (record == nullptr || !AssertNotNull(allocator)) return;
  allocator->ReleaseBlock(record->alphaInfos);
  allocator->ReleaseBlock(record->iccBlock);
  allocator->ReleaseBlock(record->exifBlock);
  allocator->ReleaseBlock(record->xmpBlock);
  ReleasePreview(record->preview, allocator);
  allocator->ReleaseBlock(record);
  record = nullptr;
}

}  // namespace psd
