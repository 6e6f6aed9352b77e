// Which layer records become geometry, and why the others do not. Header-only,
// so that a host reporting on an import can tell the same reasons.
#pragma once

#include "psd/document_info.h"
#include "psd/layer_records.h"

namespace kavri {

// Null when the document's pixels can be imported; otherwise why not.
inline const char* DocumentSkipReason(const psd::DocumentInfo& document) {
  if (document.colorMode != psd::kColorModeRgb && document.colorMode != psd::kColorModeGrayscale &&
      document.colorMode != psd::kColorModeCmyk)
    return "colour mode not imported (only RGB, grey and CMYK are)";
  if (document.depth != 8 && document.depth != 16 && document.depth != 32) return "bit depth not imported";
  return nullptr;
}

// Whether the layer's channels point at data: a record read from a file that is
// cut short or damaged before the channel data has none, and reading at its
// zero offsets would decode the file's header as pixels.
inline bool HasChannelData(const psd::LayerRecord& layer) {
  for (uint32_t i = 0; i < layer.channelRecordCount; ++i)
    if (layer.channelRecords[i].dataOffset != 0 || layer.channelRecords[i].plane != nullptr) return true;
  return false;
}

// Null when the layer is imported; otherwise why it is skipped.
inline const char* LayerSkipReason(const psd::DocumentInfo& document, const psd::LayerRecord& layer) {
  if (layer.sectionType == psd::OpenGroup || layer.sectionType == psd::ClosedGroup) return "group record";
  if (layer.sectionType == psd::GroupEnd) return "group end marker";
  if (layer.sectionType != psd::Normal) return "unknown section type";
  if (const char* reason = DocumentSkipReason(document)) return reason;
  if (layer.channelRecordCount < 2) return "fewer than two channels";
  if (layer.channelRecordCount > 4) return "more than four channels";
  if (int64_t{layer.right} <= layer.left || int64_t{layer.bottom} <= layer.top) return "empty rectangle";
  if (!HasChannelData(layer)) return "no channel data (the file is cut short or damaged before it)";
  return nullptr;
}

}  // namespace kavri
