// Surfaces and textures: every call is kept, with its values, on the scene.
#pragma once

#include <cstdint>

#include "loader/host/services.h"

namespace refhost {

void InstallSurfaceServices(SurfaceService2015& surfaces2015, SurfaceService2020& surfaces2020,
                            TextureService& textures);

// The number of doubles a surface channel takes (3 for colours, else 1).
int SurfaceChannelSize(const char* channel);

// The name of a texture layer parameter tag, or null for tags the host does not know.
const char* TextureParameterName(int32_t tag);

// Texture layer parameter tags and the projection value the exporter understands.
constexpr int32_t kTextureTagImage = 9;
constexpr int32_t kTextureTagVertexMap = 10;
constexpr int32_t kTextureTagProjection = 4;
constexpr int32_t kTextureProjectionUv = 5;

}  // namespace refhost
