// The fixed header of a PSD document and the directory of its four sections.
#pragma once

#include <cstdint>

#include "psd/allocator.h"
#include "psd/file.h"

namespace psd {

// Where one section's data lies: just past its 4-byte length field.
struct SectionExtent {
  uint64_t offset;
  uint32_t length;
};

struct DocumentInfo {
  uint32_t width;  // stored after the height in the file
  uint32_t height;
  uint32_t channelCount;
  uint32_t depth;
  uint32_t colorMode;
  SectionExtent colorModeDataExtent;
  SectionExtent imageResourcesExtent;
  SectionExtent layerMaskExtent;   // length 0: the document has none
  SectionExtent imageDataExtent;   // length: file size − offset, low 32 bits
};

// Colour mode codes of the header.
enum ColorMode : uint32_t {
  kColorModeBitmap = 0,
  kColorModeGrayscale = 1,
  kColorModeIndexed = 2,
  kColorModeRgb = 3,
  kColorModeCmyk = 4,
  kColorModeMultichannel = 7,
  kColorModeDuotone = 8,
  kColorModeLab = 9,
};

// Null (after its message) when the signature, version or reserved bytes are
// wrong. The record comes from allocator; the caller releases it there.
DocumentInfo* ReadDocumentInfo(File* file, Allocator* allocator);

}  // namespace psd
