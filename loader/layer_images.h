// A layer's pixels for the host: a colour image (red, green, blue, and the
// transparency as alpha, premultiplied on request) and an alpha image holding
// the inverted transparency as grey.
#pragma once

#include <cstdint>

#include "loader/host/host_types.h"
#include "loader/import_settings.h"
#include "psd/allocator.h"
#include "psd/document_info.h"
#include "psd/layer_records.h"

namespace kavri {

// Fills colorImage and, when the layer has transparency, alphaImage (may be
// null). Grey is replicated into red, green and blue; CMYK is converted from
// its stored inks. Samples of 16 and 32 bits become 8-bit pixels; a channel the layer
// lacks reads as zero.
void ComposeLayerImages(const psd::LayerRecord& layer, const psd::DocumentInfo& document, psd::Allocator* allocator,
                        HostImage colorImage, HostImage alphaImage, const ImportSettings& settings);

}  // namespace kavri
