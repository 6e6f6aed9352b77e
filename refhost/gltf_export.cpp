#include "refhost/gltf_export.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include <nlohmann/json.hpp>

#include "refhost/images.h"
#include "refhost/surfaces.h"

namespace refhost {

namespace {

using nlohmann::json;

constexpr int kFloat = 5126;
constexpr int kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;
constexpr double kNearPlane = 0.01;

// The host's axes are left-handed; glTF's are right-handed with the same
// right and up: mirroring Z converts points and the camera alike.
std::array<float, 3> ToGltf(const std::array<float, 3>& p) { return {p[0], p[1], -p[2]}; }
Vec3 ToGltf(const Vec3& p) { return {p[0], p[1], -p[2]}; }

class GlbBuilder {
 public:
  json document = json::object();
  std::vector<uint8_t> bin;

  size_t View(const void* data, size_t size, int target) {
    while (bin.size() % 4 != 0) bin.push_back(0);
    const size_t offset = bin.size();
    const auto* bytes = static_cast<const uint8_t*>(data);
    bin.insert(bin.end(), bytes, bytes + size);
    json view = {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", size}};
    if (target != 0) view["target"] = target;
    document["bufferViews"].push_back(view);
    return document["bufferViews"].size() - 1;
  }

  size_t Accessor(size_t view, int componentType, size_t count, const char* type) {
    document["accessors"].push_back(
        {{"bufferView", view}, {"componentType", componentType}, {"count", count}, {"type", type}});
    return document["accessors"].size() - 1;
  }

  size_t FloatAccessor(const std::vector<float>& values, int components, const char* type, bool bounds) {
    const size_t view = View(values.data(), values.size() * sizeof(float), kArrayBuffer);
    const size_t accessor = Accessor(view, kFloat, values.size() / static_cast<size_t>(components), type);
    if (bounds) {
      std::vector<float> low(static_cast<size_t>(components), std::numeric_limits<float>::max());
      std::vector<float> high(static_cast<size_t>(components), std::numeric_limits<float>::lowest());
      for (size_t i = 0; i < values.size(); ++i) {
        const size_t c = i % static_cast<size_t>(components);
        low[c] = std::min(low[c], values[i]);
        high[c] = std::max(high[c], values[i]);
      }
      document["accessors"][accessor]["min"] = low;
      document["accessors"][accessor]["max"] = high;
    }
    return accessor;
  }

  std::vector<uint8_t> Finish() {
    document["asset"] = {{"version", "2.0"}, {"generator", "kavri psd import reference host"}};
    if (!bin.empty()) {
      while (bin.size() % 4 != 0) bin.push_back(0);
      document["buffers"] = json::array({{{"byteLength", bin.size()}}});
    }
    // Names from PSD files need not be UTF-8: invalid bytes become U+FFFD.
    std::string text = document.dump(-1, ' ', false, json::error_handler_t::replace);
    while (text.size() % 4 != 0) text.push_back(' ');
    std::vector<uint8_t> glb;
    auto put32 = [&glb](uint32_t value) {
      for (int i = 0; i < 4; ++i) glb.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    const size_t total = 12 + 8 + text.size() + (bin.empty() ? 0 : 8 + bin.size());
    put32(0x46546C67u);  // "glTF"
    put32(2);
    put32(static_cast<uint32_t>(total));
    put32(static_cast<uint32_t>(text.size()));
    put32(0x4E4F534Au);  // "JSON"
    glb.insert(glb.end(), text.begin(), text.end());
    if (!bin.empty()) {
      put32(static_cast<uint32_t>(bin.size()));
      put32(0x004E4942u);  // "BIN"
      glb.insert(glb.end(), bin.begin(), bin.end());
    }
    return glb;
  }
};

// A unit quaternion (x, y, z, w) for the rotation whose columns are the axes.
std::array<double, 4> Quaternion(const Vec3& x, const Vec3& y, const Vec3& z) {
  const double m00 = x[0], m10 = x[1], m20 = x[2];
  const double m01 = y[0], m11 = y[1], m21 = y[2];
  const double m02 = z[0], m12 = z[1], m22 = z[2];
  std::array<double, 4> q;
  const double trace = m00 + m11 + m22;
  if (trace > 0.0) {
    const double s = 0.5 / std::sqrt(trace + 1.0);
    q = {(m21 - m12) * s, (m02 - m20) * s, (m10 - m01) * s, 0.25 / s};
  } else if (m00 > m11 && m00 > m22) {
    const double s = 2.0 * std::sqrt(1.0 + m00 - m11 - m22);
    q = {0.25 * s, (m01 + m10) / s, (m02 + m20) / s, (m21 - m12) / s};
  } else if (m11 > m22) {
    const double s = 2.0 * std::sqrt(1.0 + m11 - m00 - m22);
    q = {(m01 + m10) / s, 0.25 * s, (m12 + m21) / s, (m02 - m20) / s};
  } else {
    const double s = 2.0 * std::sqrt(1.0 + m22 - m00 - m11);
    q = {(m02 + m20) / s, (m12 + m21) / s, 0.25 * s, (m10 - m01) / s};
  }
  const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  for (double& c : q) c /= length;
  return q;
}

// The image a texture's first image-carrying layer names, or null.
const ListImage* TextureImage(const Scene& scene, long texture) {
  if (texture < 0) return nullptr;
  for (size_t layer : scene.textures[static_cast<size_t>(texture)].layers) {
    const TextureParameter* image = scene.textureLayers[layer].Parameter(kTextureTagImage);
    size_t index;
    if (image != nullptr && IdIndex(reinterpret_cast<void*>(image->handle), IdKind::ListImage,
                                    scene.listImages.size(), index))
      return &scene.listImages[index];
  }
  return nullptr;
}

double Luma(const uint8_t* p) { return (299.0 * p[0] + 587.0 * p[1] + 114.0 * p[2]) / 255000.0; }

// One material per surface. A texture lies over its channel's value: where the
// image is opaque the image counts, elsewhere the value shows through.
json Material(const Scene& scene, const Surface& surface, GlbBuilder& glb) {
  const std::vector<double>* baseValue = surface.Channel("BaseColor");
  const std::array<double, 3> base = baseValue != nullptr ? std::array<double, 3>{(*baseValue)[0], (*baseValue)[1], (*baseValue)[2]}
                                                          : std::array<double, 3>{0.78, 0.78, 0.78};
  const std::vector<double>* transparencyValue = surface.Channel("Transparency");
  const double transparency = std::clamp(transparencyValue != nullptr ? (*transparencyValue)[0] : 0.0, 0.0, 1.0);
  const ListImage* colour = TextureImage(scene, surface.TextureOn("BaseColor"));
  const ListImage* alpha = TextureImage(scene, surface.TextureOn("Transparency"));

  json pbr = {{"metallicFactor", 0.0}, {"roughnessFactor", 1.0}};
  bool blend = transparency > 0.0;
  if (colour == nullptr && alpha == nullptr) {
    pbr["baseColorFactor"] = {std::clamp(base[0], 0.0, 1.0), std::clamp(base[1], 0.0, 1.0),
                              std::clamp(base[2], 0.0, 1.0), 1.0 - transparency};
  } else {
    const ListImage& size = colour != nullptr ? *colour : *alpha;
    const int32_t width = size.width, height = size.height;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    blend = false;
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        uint8_t* out = &pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
        for (int c = 0; c < 3; ++c) {
          double value = base[c];
          if (colour != nullptr) {
            const uint8_t* p = &colour->rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 4];
            const double a = p[3] / 255.0;
            value = a * (p[c] / 255.0) + (1.0 - a) * base[c];
          }
          out[c] = static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
        }
        double t = transparency;
        if (alpha != nullptr) {
          const int32_t ax = static_cast<int32_t>(static_cast<int64_t>(x) * alpha->width / width);
          const int32_t ay = static_cast<int32_t>(static_cast<int64_t>(y) * alpha->height / height);
          const uint8_t* p = &alpha->rgba[(static_cast<size_t>(ay) * static_cast<size_t>(alpha->width) + ax) * 4];
          const double a = p[3] / 255.0;
          t = a * Luma(p) + (1.0 - a) * transparency;
        }
        out[3] = static_cast<uint8_t>(std::lround(std::clamp(1.0 - t, 0.0, 1.0) * 255.0));
        if (out[3] < 255) blend = true;
      }
    }
    const std::vector<uint8_t> png = EncodePng(width, height, 4, pixels.data());
    const size_t view = glb.View(png.data(), png.size(), 0);
    glb.document["images"].push_back({{"bufferView", view}, {"mimeType", "image/png"}, {"name", surface.name}});
    glb.document["textures"].push_back({{"sampler", 0}, {"source", glb.document["images"].size() - 1}});
    pbr["baseColorTexture"] = {{"index", glb.document["textures"].size() - 1}};
  }
  return {{"name", surface.name},
          {"pbrMetallicRoughness", pbr},
          {"alphaMode", blend ? "BLEND" : "OPAQUE"},
          {"extensions", {{"KHR_materials_unlit", json::object()}}}};
}

// The values of a layer's map per point, or empty when the layer has none.
std::vector<float> PerPoint(const MeshLayer& layer, const std::map<size_t, std::vector<float>>* values, int dimension,
                            const std::vector<float>& missing, bool flipV) {
  std::vector<float> out;
  if (values == nullptr || values->empty()) return out;
  out.reserve(layer.points.size() * static_cast<size_t>(dimension));
  for (size_t point = 0; point < layer.points.size(); ++point) {
    auto found = values->find(point);
    for (int c = 0; c < dimension; ++c) {
      float value = found != values->end() && found->second.size() > static_cast<size_t>(c) ? found->second[c]
                                                                                           : missing[c];
      if (flipV && c == 1) value = 1.0f - value;  // the host's v runs up, glTF's down
      out.push_back(value);
    }
  }
  return out;
}

}  // namespace

std::vector<uint8_t> BuildGlb(const Scene& scene) {
  GlbBuilder glb;
  json& doc = glb.document;
  json sceneNodes = json::array();

  // Materials, made when a primitive first needs them.
  std::map<long, size_t> materials;  // surface index (-1: untagged) → material
  auto materialFor = [&](long surface) -> size_t {
    auto found = materials.find(surface);
    if (found != materials.end()) return found->second;
    if (surface < 0)
      doc["materials"].push_back({{"name", "Default"},
                                  {"pbrMetallicRoughness", {{"baseColorFactor", {0.78, 0.78, 0.78, 1.0}},
                                                            {"metallicFactor", 0.0},
                                                            {"roughnessFactor", 1.0}}},
                                  {"extensions", {{"KHR_materials_unlit", json::object()}}}});
    else
      doc["materials"].push_back(Material(scene, scene.surfaces[static_cast<size_t>(surface)], glb));
    doc["extensionsUsed"] = {"KHR_materials_unlit"};
    if (doc.contains("textures") && !doc.contains("samplers"))
      doc["samplers"] = {{{"magFilter", 9729}, {"minFilter", 9729}, {"wrapS", 33071}, {"wrapT", 33071}}};
    return materials[surface] = doc["materials"].size() - 1;
  };
  auto surfaceNamed = [&](const std::string* name) -> long {
    if (name == nullptr) return -1;
    long any = -1;
    for (size_t i = 0; i < scene.surfaces.size(); ++i) {
      if (scene.surfaces[i].name != *name) continue;
      if (scene.surfaces[i].object == scene.fileName) return static_cast<long>(i);
      if (any < 0) any = static_cast<long>(i);
    }
    return any;
  };

  for (const MeshLayer& layer : scene.layers) {
    json node = {{"name", layer.name},
                 {"extras", {{"layerIndex", layer.index}, {"pivot", ToGltf(layer.pivot)}}}};
    if (!layer.points.empty()) {
      std::vector<float> positions;
      positions.reserve(layer.points.size() * 3);
      for (const auto& point : layer.points)
        for (float c : ToGltf(point)) positions.push_back(c);
      json attributes = {{"POSITION", glb.FloatAccessor(positions, 3, "VEC3", true)}};
      const auto* uvs = layer.MapValues(scene.vertexMaps, KAVRI_VMAP_TXUV, "psdUV");
      const std::vector<float> texcoords = PerPoint(layer, uvs, 2, {0.0f, 0.0f}, true);
      if (!texcoords.empty()) attributes["TEXCOORD_0"] = glb.FloatAccessor(texcoords, 2, "VEC2", false);
      std::vector<float> colours =
          PerPoint(layer, layer.MapValues(scene.vertexMaps, KAVRI_VMAP_RGB, "psdcolor"), 3, {1.0f, 1.0f, 1.0f}, false);
      for (float& c : colours) c = std::clamp(c, 0.0f, 1.0f);
      if (!colours.empty()) attributes["COLOR_0"] = glb.FloatAccessor(colours, 3, "VEC3", false);

      // Polygons face the side from which their points run clockwise; glTF's
      // front faces run counter-clockwise after the mirror, so each fan is reversed.
      std::map<long, std::vector<uint32_t>> triangles;
      for (const Polygon& polygon : layer.polygons) {
        if (polygon.points.size() < 3) continue;
        std::vector<uint32_t>& indices = triangles[surfaceNamed(polygon.Tag(KAVRI_PTAG_SURF))];
        for (size_t i = 1; i + 1 < polygon.points.size(); ++i) {
          const auto a = static_cast<uint32_t>(polygon.points[0]);
          const auto b = static_cast<uint32_t>(polygon.points[i + 1]);
          const auto c = static_cast<uint32_t>(polygon.points[i]);
          if (a == b || b == c || a == c) continue;
          indices.insert(indices.end(), {a, b, c});
        }
      }
      json primitives = json::array();
      for (const auto& [surface, indices] : triangles) {
        if (indices.empty()) continue;
        const size_t view = glb.View(indices.data(), indices.size() * sizeof(uint32_t), kElementArrayBuffer);
        primitives.push_back({{"attributes", attributes},
                              {"indices", glb.Accessor(view, kUnsignedInt, indices.size(), "SCALAR")},
                              {"material", materialFor(surface)}});
      }
      // Points that make no face are still shown, as points.
      if (primitives.empty()) primitives.push_back({{"attributes", attributes}, {"mode", 0}});
      doc["meshes"].push_back({{"name", layer.name}, {"primitives", primitives}});
      node["mesh"] = doc["meshes"].size() - 1;
    }
    doc["nodes"].push_back(node);
    sceneNodes.push_back(doc["nodes"].size() - 1);
  }

  const CameraModel& camera = scene.camera;
  const Vec3 right = ToGltf(camera.right), up = ToGltf(camera.up), forward = ToGltf(camera.forward);
  const Vec3 back{-forward[0], -forward[1], -forward[2]};
  const std::array<double, 4> rotation = Quaternion(right, up, back);
  doc["cameras"] = {{{"name", "viewport 0"},
                     {"type", "perspective"},
                     {"perspective", {{"aspectRatio", camera.aspect}, {"yfov", camera.verticalFov}, {"znear", kNearPlane}}}}};
  doc["nodes"].push_back({{"name", "viewport 0 camera"},
                          {"camera", 0},
                          {"translation", ToGltf(camera.eye)},
                          {"rotation", rotation}});
  sceneNodes.push_back(doc["nodes"].size() - 1);
  doc["scenes"] = {{{"name", scene.fileName}, {"nodes", sceneNodes}}};
  doc["scene"] = 0;
  return glb.Finish();
}

bool WriteGltf(const Scene& scene, const std::string& path, std::string& error) {
  try {
    return WriteHostFile(path, BuildGlb(scene), error);
  } catch (const std::exception& failure) {
    error = failure.what();
    return false;
  }
}

}  // namespace refhost
