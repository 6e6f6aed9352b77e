// The image resources section: alpha channel names and display settings, ICC
// profile, EXIF and XMP data, the merged-image flag and the JPEG thumbnail.
#pragma once

#include <cstdint>

#include "psd/allocator.h"
#include "psd/document_info.h"
#include "psd/file.h"
#include "psd/fixed_size_string.h"

namespace psd {

struct AlphaInfo {
  FixedSizeString<1024> name;
  uint16_t displayColorSpace;
  uint16_t displayColor[4];
  uint16_t displayOpacity;
  uint8_t displayKind;
};

struct PreviewImage {
  uint32_t width;
  uint32_t height;
  uint32_t jpegSize;
  uint8_t* jpegBytes;  // owned; the thumbnail's JPEG data as stored
};

struct ImageResourceRecord {
  AlphaInfo* alphaInfos;  // owned; null until resource 1006 or 1077
  uint32_t alphaInfoCount;
  uint8_t* iccBlock;  // owned
  uint32_t iccBlockSize;
  uint8_t* exifBlock;  // owned
  uint32_t exifBlockSize;
  bool mergedImagePresent;  // true unless the version information says otherwise
  uint8_t* xmpBlock;        // owned
  PreviewImage* preview;    // owned
};

// One resource block as the walk meets it.
struct ImageResourceBlock {
  uint32_t signature;   // "8BIM" or "psdM"
  uint16_t id;
  uint64_t dataOffset;  // absolute
  uint32_t dataSize;    // as stored, before padding to an even size
};

// Called for each resource block, before the block is handled.
using ImageResourceVisitor = void (*)(const ImageResourceBlock& block, void* context);

// Walks the document's image resources and keeps the seven kinds it knows.
// Null only when the file, the allocator or the record's allocation is
// missing. A corrupt block ends the walk after its message; the record keeps
// what was read before it. visitor, when given, sees every block walked.
ImageResourceRecord* ReadImageResources(const DocumentInfo* document, File* file, Allocator* allocator,
                                        ImageResourceVisitor visitor = nullptr, void* context = nullptr);

// Releases the record and everything it owns; sets record to null. Accepts null.
void ReleaseImageResources(ImageResourceRecord*& record, Allocator* allocator);

}  // namespace psd
