#include "refhost/object.h"

#include <cmath>
#include <cstdio>

#include "refhost/guard.h"
#include "refhost/scene.h"

namespace refhost {

namespace {

// Larger polygons or vertex maps are taken as a fault of the plug-in.
constexpr int32_t kMaxPolygonPoints = 1023;
constexpr int32_t kMaxMapDimension = 16;

// The scene the callbacks were given, if its request is the one under way.
Scene* SceneOf(void* hostData) {
  Scene* scene = ActiveScene();
  return scene != nullptr && scene == hostData ? scene : nullptr;
}

MeshLayer& CurrentLayer(Scene& scene) {
  if (scene.layers.empty()) {
    scene.Problem("geometry before BeginLayer: kept on a layer of its own");
    scene.layers.emplace_back();
  }
  return scene.layers.back();
}

bool FindPoint(Scene& scene, HostPointId id, LocalRef& point) {
  size_t index;
  if (!IdIndex(id, IdKind::Point, scene.points.size(), index)) return false;
  point = scene.points[index];
  return true;
}

void FinishObject(void* hostData) {
  GuardedVoid("FinishObject", [&] {
    if (Scene* scene = SceneOf(hostData)) scene->finished = true;
  });
}

void BeginLayer(void* hostData, uint32_t index, const char* name) {
  GuardedVoid("BeginLayer", [&] {
    Scene* scene = SceneOf(hostData);
    if (scene == nullptr) return;
    MeshLayer layer;
    layer.index = index;
    layer.name = name != nullptr ? name : "";
    scene->layers.push_back(std::move(layer));
  });
}

void SetLayerPivot(void* hostData, const float pivot[3]) {
  GuardedVoid("SetLayerPivot", [&] {
    Scene* scene = SceneOf(hostData);
    if (scene == nullptr || pivot == nullptr) return;
    MeshLayer& layer = CurrentLayer(*scene);
    for (int i = 0; i < 3; ++i) layer.pivot[i] = pivot[i];
  });
}

HostPointId AddPoint(void* hostData, const float position[3]) {
  return Guarded("AddPoint", HostPointId{}, [&]() -> HostPointId {
    Scene* scene = SceneOf(hostData);
    if (scene == nullptr || position == nullptr) return nullptr;
    if (!std::isfinite(position[0]) || !std::isfinite(position[1]) || !std::isfinite(position[2])) {
      scene->Problem("AddPoint: a position that is not finite");
      return nullptr;
    }
    MeshLayer& layer = CurrentLayer(*scene);
    layer.points.push_back({position[0], position[1], position[2]});
    scene->points.push_back({scene->layers.size() - 1, layer.points.size() - 1});
    return MakeId(IdKind::Point, scene->points.size() - 1);
  });
}

void SelectVertexMap(void* hostData, uint32_t type, int32_t dimension, const char* name) {
  GuardedVoid("SelectVertexMap", [&] {
    Scene* scene = SceneOf(hostData);
    if (scene == nullptr) return;
    scene->currentMap = -1;
    if (name == nullptr || dimension < 0 || dimension > kMaxMapDimension) {
      scene->Problem("SelectVertexMap: no name, or dimension " + std::to_string(dimension));
      return;
    }
    for (size_t i = 0; i < scene->vertexMaps.size(); ++i) {
      const VertexMapInfo& map = scene->vertexMaps[i];
      if (map.type != type || map.name != name) continue;
      if (map.dimension != dimension) {
        scene->Problem("SelectVertexMap \"" + map.name + "\": dimension " + std::to_string(dimension) +
                       ", first selected with " + std::to_string(map.dimension));
        return;
      }
      scene->currentMap = static_cast<long>(i);
      return;
    }
    scene->vertexMaps.push_back({type, dimension, name});
    scene->currentMap = static_cast<long>(scene->vertexMaps.size() - 1);
  });
}

void SetVertexMapValue(void* hostData, HostPointId point, const float* values) {
  GuardedVoid("SetVertexMapValue", [&] {
    Scene* scene = SceneOf(hostData);
    if (scene == nullptr) return;
    LocalRef ref;
    if (scene->currentMap < 0 || !FindPoint(*scene, point, ref)) {
      scene->Problem("SetVertexMapValue: no vertex map selected, or unknown point");
      return;
    }
    const auto map = static_cast<size_t>(scene->currentMap);
    const auto dimension = static_cast<size_t>(scene->vertexMaps[map].dimension);
    if (values == nullptr && dimension > 0) {
      scene->Problem("SetVertexMapValue: no values");
      return;
    }
    scene->layers[ref.layer].mapValues[map][ref.index] =
        dimension > 0 ? std::vector<float>(values, values + dimension) : std::vector<float>();
  });
}

HostPolygonId AddPolygon(void* hostData, uint32_t type, int32_t flags, int32_t count, const HostPointId* points) {
  return Guarded("AddPolygon", HostPolygonId{}, [&]() -> HostPolygonId {
    Scene* scene = SceneOf(hostData);
    if (scene == nullptr) return nullptr;
    if (count < 1 || count > kMaxPolygonPoints || points == nullptr) {
      scene->Problem("AddPolygon: " + std::to_string(count) + " points");
      return nullptr;
    }
    MeshLayer& layer = CurrentLayer(*scene);
    const size_t layerIndex = scene->layers.size() - 1;
    Polygon polygon;
    polygon.type = type;
    polygon.flags = flags;
    for (int32_t i = 0; i < count; ++i) {
      LocalRef ref;
      if (!FindPoint(*scene, points[i], ref) || ref.layer != layerIndex) {
        scene->Problem("AddPolygon: point " + std::to_string(i) + " is not a point of the current layer");
        return nullptr;
      }
      polygon.points.push_back(ref.index);
    }
    layer.polygons.push_back(std::move(polygon));
    scene->polygons.push_back({layerIndex, layer.polygons.size() - 1});
    return MakeId(IdKind::Polygon, scene->polygons.size() - 1);
  });
}

void TagPolygon(void* hostData, HostPolygonId polygon, uint32_t tagType, const char* text) {
  GuardedVoid("TagPolygon", [&] {
    Scene* scene = SceneOf(hostData);
    if (scene == nullptr) return;
    size_t index;
    if (!IdIndex(polygon, IdKind::Polygon, scene->polygons.size(), index) || text == nullptr) {
      scene->Problem("TagPolygon: unknown polygon or no text");
      return;
    }
    const LocalRef ref = scene->polygons[index];
    scene->layers[ref.layer].polygons[ref.index].tags.emplace_back(tagType, text);
  });
}

HostVertexMapHandle CurrentVertexMapHandle(void* hostData) {
  return Guarded("CurrentVertexMapHandle", HostVertexMapHandle{}, [&]() -> HostVertexMapHandle {
    Scene* scene = SceneOf(hostData);
    if (scene == nullptr || scene->currentMap < 0) return nullptr;
    return MakeId(IdKind::VertexMap, static_cast<size_t>(scene->currentMap));
  });
}

}  // namespace

std::string FourCcText(uint32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto c = static_cast<char>((code >> shift) & 0xFF);
    if (c < 0x20 || c > 0x7E) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
      return hex;
    }
    text.push_back(c);
  }
  return text;
}

void InstallObjectCallbacks(ObjectImportRecord& record) {
  record.FinishObject = FinishObject;
  record.BeginLayer = BeginLayer;
  record.SetLayerPivot = SetLayerPivot;
  record.AddPoint = AddPoint;
  record.SelectVertexMap = SelectVertexMap;
  record.SetVertexMapValue = SetVertexMapValue;
  record.AddPolygon = AddPolygon;
  record.TagPolygon = TagPolygon;
  record.CurrentVertexMapHandle = CurrentVertexMapHandle;
}

}  // namespace refhost
