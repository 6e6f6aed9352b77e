// A confirmed import: the document framed in viewport 0, every eligible layer
// written to image files, loaded back and built as geometry at its depth.
#pragma once

#include <cstdint>
#include <string>

#include "loader/host/object_import.h"
#include "loader/import_settings.h"
#include "psd/allocator.h"
#include "psd/document_info.h"
#include "psd/file.h"

namespace kavri {

// Maps document pixels to viewport-0 pixels: (halfPadX + x·scaleX, halfPadY + y·scaleY).
struct LayerFraming {
  int32_t frameWidth, frameHeight;
  int32_t padX, padY;
  int32_t halfPadX, halfPadY;
  double scaleX, scaleY;
};

// From viewport 0's rectangle and kind and the scene's render frame: a camera
// view shows the frame fitted and centred, any other view the whole viewport.
LayerFraming ComputeLayerFraming(const psd::DocumentInfo& document);

// The name with the saver's extension (the text in the label's last
// parentheses) in place of a short dot tail.
std::string ApplySaverExtension(const std::string& name, int32_t saverIndex);

// The file name's last component without its last four characters.
std::string DocumentBaseName(const char* fileName);

// A layer name as a file-name part: separators, characters file systems
// reject and control characters become '_'; names of nothing but dots too.
std::string SafeFileNamePart(const char* layerName);

void ImportLayers(const psd::DocumentInfo* document, psd::Allocator* allocator, psd::File* file,
                  ObjectImportRecord* record, const ImportSettings& settings);

}  // namespace kavri
