#include "loader/geometry_builders.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "loader/service_cache.h"
#include "loader/surface_setup.h"

namespace kavri {

namespace {

constexpr int32_t kViewport = 0;

Vector3 EyePosition() {
  double eye[3];
  gServices.viewportInfo->ViewportEyePosition(kViewport, eye);
  return {eye[0], eye[1], eye[2]};
}

Vector3 ScreenToWorld(double x, double y, double depth) {
  const double screen[3] = {x, y, depth};
  double world[3];
  gServices.viewportInfo->ScreenToWorld(kViewport, screen, world);
  return {world[0], world[1], world[2]};
}

// The layer's distance from the eye, in single precision.
float LayerDistance(double maximumDistance, float depthOffset) {
  return static_cast<float>(maximumDistance - depthOffset);
}

HostPointId AddPoint(ObjectImportRecord* record, const Vector3& p) {
  const float position[3] = {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)};
  return record->AddPoint(record->hostData, position);
}

void SetUv(ObjectImportRecord* record, HostPointId point, double u, double v) {
  const float uv[2] = {static_cast<float>(u), static_cast<float>(v)};
  record->SetVertexMapValue(record->hostData, point, uv);
}

// BeginLayer, pivot at the eye, and the layer's surface.
HostSurfaceId BeginMeshLayer(ObjectImportRecord* record, uint32_t layerIndex, const psd::LayerRecord& layer,
                             const char* surfaceName, const Vector3& eye) {
  record->BeginLayer(record->hostData, layerIndex, layer.name.c_str());
  const float pivot[3] = {static_cast<float>(eye.x), static_cast<float>(eye.y), static_cast<float>(eye.z)};
  record->SetLayerPivot(record->hostData, pivot);
  return gServices.surfaceFunctions->CreateSurface(record->fileName, surfaceName);
}

void AddTaggedPolygon(ObjectImportRecord* record, const char* surfaceName, int32_t count, const HostPointId* points) {
  HostPolygonId polygon = record->AddPolygon(record->hostData, KAVRI_POLY_FACE, 0, count, points);
  record->TagPolygon(record->hostData, polygon, KAVRI_PTAG_SURF, surfaceName);
}

}  // namespace

Vector3 RadialPlacement(const Vector3& eye, const Vector3& point, float r) {
  Vector3 v{point.x - eye.x, point.y - eye.y, point.z - eye.z};
  const float length = static_cast<float>(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z));
  if (length != 0.0f) {
    const double k = static_cast<double>(r / length);
    v.x *= k;
    v.y *= k;
    v.z *= k;
  }
  return {eye.x + v.x, eye.y + v.y, eye.z + v.z};
}

void BuildSphereLayer(const psd::LayerRecord& layer, uint32_t layerIndex, ObjectImportRecord* record,
                      const char* surfaceName, HostImageId colorImage, HostImageId alphaImage, float depthOffset,
                      double maximumDistance, int32_t halfPadX, int32_t halfPadY, double scaleX, double scaleY,
                      int32_t subdivisions) {
  const int64_t s = subdivisions;
  const int64_t n = s + 1;
  // The point table, [column][row]; a table that cannot be had builds no layer at all.
  HostPointId** table = static_cast<HostPointId**>(std::calloc(static_cast<size_t>(n), sizeof(HostPointId*)));
  bool complete = table != nullptr && s >= 1 && n <= (int64_t{1} << 24);
  for (int64_t i = 0; complete && i < n; ++i) {
    table[i] = static_cast<HostPointId*>(std::calloc(static_cast<size_t>(n), sizeof(HostPointId)));
    complete = table[i] != nullptr;
  }
  if (complete) {
    const Vector3 eye = EyePosition();
    const double stepX = static_cast<double>(int64_t{layer.right} - layer.left) / static_cast<double>(s) * scaleX;
    const double stepY = static_cast<double>(int64_t{layer.bottom} - layer.top) / static_cast<double>(s) * scaleY;
    const float r = LayerDistance(maximumDistance, depthOffset);
    const HostSurfaceId surface = BeginMeshLayer(record, layerIndex, layer, surfaceName, eye);

    for (int64_t row = 0; row < n; ++row) {
      for (int64_t column = 0; column < n; ++column) {
        const double x = layer.left * scaleX + halfPadX + static_cast<double>(column) * stepX;
        const double y = layer.top * scaleY + halfPadY + static_cast<double>(row) * stepY;
        table[column][row] = AddPoint(record, RadialPlacement(eye, ScreenToWorld(x, y, 0.5), r));
      }
    }
    record->SelectVertexMap(record->hostData, KAVRI_VMAP_TXUV, 2, "psdUV");
    const double unit = 1.0 / static_cast<double>(s);
    for (int64_t row = 0; row < n; ++row)
      for (int64_t column = 0; column < n; ++column)
        SetUv(record, table[column][row], static_cast<double>(column) * unit, 1.0 - static_cast<double>(row) * unit);
    const HostVertexMapHandle uvMap = record->CurrentVertexMapHandle(record->hostData);

    for (int64_t row = 0; row < s; ++row) {
      for (int64_t column = 0; column < s; ++column) {
        const HostPointId quad[4] = {table[column][row], table[column + 1][row], table[column + 1][row + 1],
                                     table[column][row + 1]};
        AddTaggedPolygon(record, surfaceName, 4, quad);
      }
    }
    if (surface != nullptr) ApplyLayerSurface(surface, layer.opacity, colorImage, alphaImage, uvMap);
  }
  if (table != nullptr) {
    for (int64_t i = 0; i < n; ++i) std::free(table[i]);
    std::free(table);
  }
}

void BuildFlatLayer(const psd::LayerRecord& layer, uint32_t layerIndex, ObjectImportRecord* record,
                    const char* surfaceName, float depthOffset, double maximumDistance, int32_t frameWidth,
                    int32_t frameHeight, int32_t halfPadX, int32_t halfPadY, double scaleX, double scaleY,
                    HostImageId colorImage, HostImageId alphaImage) {
  const Vector3 eye = EyePosition();
  const Vector3 centre = ScreenToWorld(frameWidth * 0.5, frameHeight * 0.5, 1.0);
  const float r = LayerDistance(maximumDistance, depthOffset);
  const Vector3 anchor = RadialPlacement(eye, centre, r);
  const double anchorWorld[3] = {anchor.x, anchor.y, anchor.z};
  double anchorScreen[3];
  gServices.viewportInfo->WorldToScreen(kViewport, anchorWorld, anchorScreen);
  const double depth = anchorScreen[2];

  const double left = layer.left * scaleX + halfPadX;
  const double right = layer.right * scaleX + halfPadX;
  const double top = layer.top * scaleY + halfPadY;
  const double bottom = layer.bottom * scaleY + halfPadY;
  const Vector3 corners[4] = {ScreenToWorld(left, bottom, depth), ScreenToWorld(right, bottom, depth),
                              ScreenToWorld(right, top, depth), ScreenToWorld(left, top, depth)};

  const HostSurfaceId surface = BeginMeshLayer(record, layerIndex, layer, surfaceName, eye);
  HostPointId points[4];
  for (int corner = 0; corner < 4; ++corner) points[corner] = AddPoint(record, corners[corner]);
  record->SelectVertexMap(record->hostData, KAVRI_VMAP_TXUV, 2, "psdUV");
  const double uvs[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (int corner = 0; corner < 4; ++corner) SetUv(record, points[corner], uvs[corner][0], uvs[corner][1]);
  const HostVertexMapHandle uvMap = record->CurrentVertexMapHandle(record->hostData);
  const HostPointId quad[4] = {points[3], points[2], points[1], points[0]};
  AddTaggedPolygon(record, surfaceName, 4, quad);
  if (surface != nullptr) ApplyLayerSurface(surface, layer.opacity, colorImage, alphaImage, uvMap);
}

void BuildDenseMeshLayer(const psd::LayerRecord& layer, uint32_t layerIndex, ObjectImportRecord* record,
                         const char* surfaceName, HostImageId colorImage, HostImageId alphaImage, float depthOffset,
                         double maximumDistance, int32_t halfPadX, int32_t halfPadY, double scaleX, double scaleY) {
  const Vector3 eye = EyePosition();
  const int64_t width = int64_t{layer.right} - layer.left;
  const int64_t height = int64_t{layer.bottom} - layer.top;
  const int64_t rows = static_cast<int64_t>(static_cast<double>(std::llabs(height)) * 0.25);
  const int64_t cols = static_cast<int64_t>(static_cast<double>(std::llabs(width)) * 0.25);
  // A grid of one row or one column has no cell to make a polygon of, and no
  // step between its points: such a layer, like a narrower one, builds nothing.
  if (rows < 2 || cols < 2) return;
  // Both rows of point ids before anything is created: a failure leaves no partial layer.
  HostPointId* current = static_cast<HostPointId*>(std::calloc(static_cast<size_t>(cols), sizeof(HostPointId)));
  HostPointId* previous = static_cast<HostPointId*>(std::calloc(static_cast<size_t>(cols), sizeof(HostPointId)));
  if (current == nullptr || previous == nullptr) {
    std::free(current);
    std::free(previous);
    return;
  }
  const double stepX = static_cast<double>(width / (cols - 1)) * scaleX;
  const double stepY = static_cast<double>(height / (rows - 1)) * scaleY;
  const float r = LayerDistance(maximumDistance, depthOffset);
  const HostSurfaceId surface = BeginMeshLayer(record, layerIndex, layer, surfaceName, eye);

  record->SelectVertexMap(record->hostData, KAVRI_VMAP_TXUV, 2, "psdUV");
  const HostVertexMapHandle uvMap = record->CurrentVertexMapHandle(record->hostData);
  record->SelectVertexMap(record->hostData, KAVRI_VMAP_RGB, 3, "psdcolor");
  const double unitU = 1.0 / static_cast<double>(cols - 1);
  const double unitV = 1.0 / static_cast<double>(rows - 1);

  for (int64_t row = 0; row < rows; ++row) {
    for (int64_t column = 0; column < cols; ++column) {
      const int32_t sampleX = static_cast<int32_t>(4 * column);
      const int32_t sampleY = static_cast<int32_t>(4 * row);
      const double x = layer.left * scaleX + halfPadX + static_cast<double>(column) * stepX;
      const double y = layer.top * scaleY + halfPadY + static_cast<double>(row) * stepY;
      const Vector3 point = RadialPlacement(eye, ScreenToWorld(x, y, 0.5), r);
      // The alpha image is white exactly where the layer is fully transparent.
      const bool kept =
          alphaImage == nullptr || gServices.imageList->SampleImageGrey(alphaImage, sampleX, sampleY) < 1.0f;
      if (!kept) {
        current[column] = NoPoint;
        continue;
      }
      const HostPointId id = AddPoint(record, point);
      current[column] = id;
      record->SelectVertexMap(record->hostData, KAVRI_VMAP_TXUV, 2, "psdUV");
      SetUv(record, id, static_cast<double>(column) * unitU, 1.0 - static_cast<double>(row) * unitV);
      if (colorImage != nullptr) {
        record->SelectVertexMap(record->hostData, KAVRI_VMAP_RGB, 3, "psdcolor");
        float rgb[3];
        gServices.imageList->SampleImageRGB(colorImage, sampleX, sampleY, rgb);
        record->SetVertexMapValue(record->hostData, id, rgb);
      }
    }
    if (row >= 1) {
      for (int64_t cell = 0; cell + 1 < cols; ++cell) {
        const HostPointId corners[4] = {previous[cell], previous[cell + 1], current[cell + 1], current[cell]};
        HostPointId present[4];
        int32_t count = 0;
        for (HostPointId corner : corners)
          if (corner != NoPoint) present[count++] = corner;
        if (count >= 3) AddTaggedPolygon(record, surfaceName, count, present);
      }
    }
    for (int64_t column = 0; column < cols; ++column) previous[column] = current[column];
  }
  std::free(current);
  std::free(previous);
  if (surface != nullptr) ApplyLayerSurface(surface, layer.opacity, colorImage, alphaImage, uvMap);
}

}  // namespace kavri
