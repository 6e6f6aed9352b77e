// The three ways a layer becomes geometry: a sphere patch, a flat quad, or a
// dense mesh that leaves out fully transparent parts. Each builds one mesh
// layer seen from viewport 0's eye covering the layer's part of the frame,
// at distance maximumDistance − depthOffset, then sets up its surface.
#pragma once

#include <cstdint>

#include "loader/host/object_import.h"
#include "psd/layer_records.h"

namespace kavri {

// A host point id for a grid point left out of a dense mesh.
inline HostPointId const NoPoint = reinterpret_cast<HostPointId>(~uintptr_t{0});

struct Vector3 {
  double x, y, z;
};

// U moved along the ray from the eye E to distance r from E; U itself when it
// coincides with E.
Vector3 RadialPlacement(const Vector3& eye, const Vector3& point, float r);

// surfaceName names the layer's surface and tags its polygons: the layer's
// name, made unique within the document by the caller.
void BuildSphereLayer(const psd::LayerRecord& layer, uint32_t layerIndex, ObjectImportRecord* record,
                      const char* surfaceName, HostImageId colorImage, HostImageId alphaImage, float depthOffset,
                      double maximumDistance, int32_t halfPadX, int32_t halfPadY, double scaleX, double scaleY,
                      int32_t subdivisions);

void BuildFlatLayer(const psd::LayerRecord& layer, uint32_t layerIndex, ObjectImportRecord* record,
                    const char* surfaceName, float depthOffset, double maximumDistance, int32_t frameWidth,
                    int32_t frameHeight, int32_t halfPadX, int32_t halfPadY, double scaleX, double scaleY,
                    HostImageId colorImage, HostImageId alphaImage);

void BuildDenseMeshLayer(const psd::LayerRecord& layer, uint32_t layerIndex, ObjectImportRecord* record,
                         const char* surfaceName, HostImageId colorImage, HostImageId alphaImage, float depthOffset,
                         double maximumDistance, int32_t halfPadX, int32_t halfPadY, double scaleX, double scaleY);

}  // namespace kavri
