#include "refhost/scene_json.h"

#include <cmath>

#include "refhost/images.h"
#include "refhost/object.h"
#include "refhost/panel.h"
#include "refhost/surfaces.h"

namespace refhost {

namespace {

using nlohmann::json;

constexpr double kDegrees = 180.0 / 3.14159265358979323846;

// Ids as the scene's 1-based serials of their kind; 0 for ids the host never gave.
size_t Serial(uintptr_t id, IdKind kind, size_t count) {
  size_t index;
  return IdIndex(reinterpret_cast<void*>(id), kind, count, index) ? index + 1 : 0;
}

json ValueJson(const PanelControl& control, const ControlValue& value) {
  switch (value.kind) {
    case ControlValue::Text: return value.text;
    case ControlValue::Integer:
      if (control.kind == KAVRI_CONTROL_KIND_BOOL) return value.integer != 0;
      return value.integer;
    case ControlValue::Float: return value.number;
    case ControlValue::None: break;
  }
  return nullptr;
}

json PanelsJson(const Scene& scene) {
  json panels = json::array();
  for (const auto& panel : scene.panels) {
    json controls = json::array();
    for (const auto& control : panel->controls) {
      json description = {{"kind", control->kind}};
      switch (control->kind) {
        case KAVRI_CONTROL_KIND_TEXT: description["width"] = control->width; break;
        case KAVRI_CONTROL_KIND_CUSTOM_POPUP:
          description["width"] = control->width;
          description["countCallback"] = control->hasCountCallback;
          description["nameCallback"] = control->hasNameCallback;
          description["items"] = control->items;
          break;
        case KAVRI_CONTROL_KIND_POPUP:
          description["items"] = control->items;
          description["width"] = control->popupWidth;
          break;
        default: break;
      }
      controls.push_back({{"type", control->typeName},
                          {"label", control->label},
                          {"description", description},
                          {"shown", ValueJson(*control, control->shown)},
                          {"shownText", DescribeControlValue(*control, control->shown)},
                          {"value", ValueJson(*control, control->value)},
                          {"valueText", DescribeControlValue(*control, control->value)},
                          {"answered", control->answered},
                          {"writes", control->writes},
                          {"reads", control->reads}});
    }
    panels.push_back({{"title", panel->title},
                      {"controls", controls},
                      {"runs", panel->runs},
                      {"result", panel->result},
                      {"destroyed", panel->destroyed}});
  }
  return panels;
}

json ImagesJson(const Scene& scene) {
  json created = json::array();
  for (size_t i = 0; i < scene.images.size(); ++i) {
    const WorkImage& image = scene.images[i];
    created.push_back({{"id", i + 1},
                       {"width", image.width},
                       {"height", image.height},
                       {"type", image.type == KAVRI_IMAGE_TYPE_GREY ? "grey" : "rgba"},
                       {"freed", image.freed}});
  }
  json saves = json::array();
  for (const SavedFile& saved : scene.saves) {
    json entry = {{"image", saved.image + 1}, {"saver", saved.saver}, {"label", saved.label},
                  {"file", saved.file},       {"written", saved.written}};
    if (!saved.error.empty()) entry["error"] = saved.error;
    saves.push_back(entry);
  }
  json loaded = json::array();
  for (size_t i = 0; i < scene.listImages.size(); ++i) {
    const ListImage& image = scene.listImages[i];
    loaded.push_back({{"id", i + 1},
                      {"file", image.file},
                      {"width", image.width},
                      {"height", image.height},
                      {"channels", image.channels}});
  }
  return {{"created", created}, {"saved", saves}, {"loaded", loaded}};
}

json SurfacesJson(const Scene& scene) {
  json surfaces = json::array();
  for (size_t i = 0; i < scene.surfaces.size(); ++i) {
    const Surface& surface = scene.surfaces[i];
    json channelSets = json::array(), channels = json::object(), attachments = json::array(), textures = json::object();
    for (const SurfaceChannelValue& set : surface.channelSets) {
      channelSets.push_back({{"channel", set.channel}, {"values", set.values}});
      channels[set.channel] = set.values;
    }
    for (const SurfaceTexture& attached : surface.attachments) {
      attachments.push_back({{"channel", attached.channel}, {"texture", attached.texture + 1}});
      textures[attached.channel] = attached.texture + 1;
    }
    surfaces.push_back({{"id", i + 1},
                        {"object", surface.object},
                        {"name", surface.name},
                        {"kind", surface.kind.empty() ? json(nullptr) : json(surface.kind)},
                        {"channels", channels},
                        {"channelSets", channelSets},
                        {"textures", textures},
                        {"attachments", attachments}});
  }
  return surfaces;
}

json TexturesJson(const Scene& scene) {
  json textures = json::array();
  for (size_t i = 0; i < scene.textures.size(); ++i) {
    const Texture& texture = scene.textures[i];
    json layers = json::array();
    for (size_t layerIndex : texture.layers) {
      const TextureLayer& layer = scene.textureLayers[layerIndex];
      json parameters = json::array();
      for (const TextureParameter& parameter : layer.parameters) {
        const char* name = TextureParameterName(parameter.tag);
        json entry = {{"tag", parameter.tag}, {"name", name != nullptr ? json(name) : json(nullptr)}};
        switch (parameter.kind) {
          case TextureParameter::Doubles: entry["value"] = parameter.numbers; break;
          case TextureParameter::Integer: entry["value"] = parameter.integer; break;
          case TextureParameter::Handle:
            entry["value"] = parameter.tag == kTextureTagImage
                                 ? Serial(parameter.handle, IdKind::ListImage, scene.listImages.size())
                                 : Serial(parameter.handle, IdKind::VertexMap, scene.vertexMaps.size());
            break;
          case TextureParameter::Unknown: entry["value"] = nullptr; break;
        }
        parameters.push_back(entry);
      }
      layers.push_back({{"id", layerIndex + 1}, {"type", layer.type}, {"parameters", parameters}});
    }
    textures.push_back({{"id", i + 1}, {"type", texture.type}, {"name", texture.name}, {"layers", layers}});
  }
  return textures;
}

json LayersJson(const Scene& scene) {
  json layers = json::array();
  for (const MeshLayer& layer : scene.layers) {
    json points = json::array();
    for (const auto& point : layer.points) points.push_back({point[0], point[1], point[2]});
    json maps = json::array();
    for (const auto& [map, values] : layer.mapValues) {
      const VertexMapInfo& info = scene.vertexMaps[map];
      json entries = json::array();
      for (const auto& [point, value] : values) entries.push_back({{"point", point}, {"value", value}});
      maps.push_back({{"type", FourCcText(info.type)},
                      {"dimension", info.dimension},
                      {"name", info.name},
                      {"handle", map + 1},
                      {"values", entries}});
    }
    json polygons = json::array();
    for (const Polygon& polygon : layer.polygons) {
      json tags = json::array();
      for (const auto& [type, text] : polygon.tags) tags.push_back({{"type", FourCcText(type)}, {"text", text}});
      polygons.push_back(
          {{"type", FourCcText(polygon.type)}, {"flags", polygon.flags}, {"points", polygon.points}, {"tags", tags}});
    }
    layers.push_back({{"index", layer.index},
                      {"name", layer.name},
                      {"pivot", {layer.pivot[0], layer.pivot[1], layer.pivot[2]}},
                      {"points", points},
                      {"vertexMaps", maps},
                      {"polygons", polygons}});
  }
  return layers;
}

json CameraJson(const Scene& scene) {
  const CameraModel& camera = scene.camera;
  const HostSettings& settings = scene.settings;
  return {
      {"viewportKind", settings.viewport.kind},
      {"viewport",
       {{"x", settings.viewport.x}, {"y", settings.viewport.y}, {"width", settings.viewport.width},
        {"height", settings.viewport.height}}},
      {"frame",
       {{"width", settings.frame.width}, {"height", settings.frame.height}, {"pixelAspect", settings.frame.pixelAspect}}},
      {"framePlacement",
       {{"x", camera.frame.x}, {"y", camera.frame.y}, {"width", camera.frame.width}, {"height", camera.frame.height}}},
      {"eye", camera.eye},
      {"right", camera.right},
      {"up", camera.up},
      {"forward", camera.forward},
      {"rotationDegrees", settings.camera.rotation},
      {"horizontalFovDegrees", camera.horizontalFov * kDegrees},
      {"verticalFovDegrees", camera.verticalFov * kDegrees},
      {"aspect", camera.aspect},
      {"focalLengthPixels", {{"x", camera.focalX}, {"y", camera.focalY}}},
      {"frameCentre", {{"x", camera.centreX}, {"y", camera.centreY}}},
      {"projection",
       "v = p - eye; depth = v.forward; x = frameCentre.x + focalLengthPixels.x * (v.right) / depth; "
       "y = frameCentre.y - focalLengthPixels.y * (v.up) / depth; screen x right, y down, in viewport pixels "
       "with pixel (i, j) covering [i, i+1) x [j, j+1); world axes left-handed, +X right, +Y up, +Z ahead of an "
       "unrotated camera"},
  };
}

}  // namespace

json SceneToJson(const ReferenceHost& host) {
  const Scene& scene = host.scene();
  json lookups = json::array();
  for (const LookupRecord& lookup : scene.lookups) lookups.push_back({{"name", lookup.name}, {"answered", lookup.answered}});
  json savers = json::array();
  for (int32_t i = 0; i < SaverCountOfHost(); ++i) savers.push_back(SaverLabelOfHost(i));
  json maps = json::array();
  for (size_t i = 0; i < scene.vertexMaps.size(); ++i)
    maps.push_back({{"handle", i + 1},
                    {"type", FourCcText(scene.vertexMaps[i].type)},
                    {"dimension", scene.vertexMaps[i].dimension},
                    {"name", scene.vertexMaps[i].name}});
  return {
      {"fileName", scene.fileName},
      {"result", scene.result},
      {"resultText", DescribeResult(scene.result)},
      {"finished", scene.finished},
      {"release", HostReleaseLabel(scene.settings.release)},
      {"systemId", scene.settings.systemId},
      {"lookups", lookups},
      {"lookupSlotFilled", host.lookupSlotFilled()},
      {"savers", savers},
      {"panels", PanelsJson(scene)},
      {"panelNotes", scene.panelNotes},
      {"images", ImagesJson(scene)},
      {"surfaces", SurfacesJson(scene)},
      {"textures", TexturesJson(scene)},
      {"vertexMaps", maps},
      {"layers", LayersJson(scene)},
      {"camera", CameraJson(scene)},
      {"problems", scene.problems},
      {"problemsNotKept", scene.problemsNotKept},
  };
}

bool WriteSceneJson(const ReferenceHost& host, const std::string& path, std::string& error) {
  try {
    const std::string text = SceneToJson(host).dump(1, ' ', false, json::error_handler_t::replace) + "\n";
    return WriteHostFile(path, std::vector<uint8_t>(text.begin(), text.end()), error);
  } catch (const std::exception& failure) {
    error = failure.what();
    return false;
  }
}

}  // namespace refhost
