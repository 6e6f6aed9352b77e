// A layer's surface: fixed channel values, transparency from the layer's
// opacity, and the layer's images as textures through the "psdUV" map.
#pragma once

#include <cstdint>

#include "loader/host/host_types.h"

namespace kavri {

void ApplyLayerSurface(HostSurfaceId surface, uint8_t opacity, HostImageId colorImage, HostImageId alphaImage,
                       HostVertexMapHandle uvMap);

}  // namespace kavri
