// Everything the reference host keeps for one session: the images, the panel,
// the surfaces and textures, and the object the plug-in builds. The service
// functions write here; the exporters and tests read it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "loader/host/object_import.h"
#include "loader/host/services.h"
#include "refhost/camera.h"
#include "refhost/settings.h"
#include "refhost/timing.h"

namespace refhost {

// Host ids are opaque to the plug-in. Each kind of object has its own range, so
// an id of one kind handed where another is expected is recognised as unknown.
enum class IdKind : uintptr_t {
  Image = 1,      // image utility image
  ListImage = 2,  // image list entry
  Point = 3,
  Polygon = 4,
  Surface = 5,
  Texture = 6,
  TextureLayer = 7,
  VertexMap = 8,
  Panel = 9,
};

void* MakeId(IdKind kind, size_t index);
// The index an id names, if it is of that kind and below count.
bool IdIndex(const void* id, IdKind kind, size_t count, size_t& index);

struct WorkImage {
  int32_t width = 0, height = 0;
  int32_t type = 0;               // KAVRI_IMAGE_TYPE_GREY or _RGBA
  std::vector<uint8_t> pixels;    // row 0 at the top; 1 byte (grey) or 4 (RGBA) per pixel
  bool freed = false;
};

struct SavedFile {
  size_t image = 0;  // index into Scene::images
  int32_t saver = 0;
  std::string label;
  std::string file;
  bool written = false;
  std::string error;
};

struct ListImage {
  std::string file;
  int32_t width = 0, height = 0;
  int32_t channels = 0;        // as stored in the file: 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA
  std::vector<uint8_t> rgba;   // 4 bytes per pixel, row 0 at the top
};

struct ControlValue {
  enum Kind { None, Text, Integer, Float } kind = None;
  std::string text;
  int32_t integer = 0;
  double number = 0.0;
};

struct PanelControl {
  ControlRecord record{};  // what the plug-in holds; record.hostData points back here
  size_t panel = 0;
  std::string typeName;
  std::string label;
  int32_t kind = 0;
  int32_t width = 0;       // kinds 1 and 18
  int32_t popupWidth = 0;  // kind 9
  bool hasCountCallback = false, hasNameCallback = false;
  std::vector<std::string> items;  // popup items as listed when the control was added
  ControlValue value;              // the current value
  ControlValue shown;              // the last value the plug-in wrote before the panel ran
  bool answered = false;           // the user's answer replaced the shown value
  int writes = 0, reads = 0;
};

struct Panel {
  std::string title;
  std::vector<std::unique_ptr<PanelControl>> controls;
  int runs = 0;
  int32_t result = -1;  // what the last run returned; -1 before any
  bool destroyed = false;
};

struct SurfaceChannelValue {
  std::string channel;
  std::vector<double> values;
};

struct SurfaceTexture {
  std::string channel;
  size_t texture = 0;  // index into Scene::textures
};

struct Surface {
  std::string object;
  std::string name;
  std::string kind;                            // SetSurfaceKind; empty when never set
  std::vector<SurfaceChannelValue> channelSets;  // every SetSurfaceChannel, in order
  std::vector<SurfaceTexture> attachments;       // every AttachChannelTexture, in order

  // The last value set on a channel, or null.
  const std::vector<double>* Channel(const std::string& channel) const;
  // The texture last attached to a channel, or -1.
  long TextureOn(const std::string& channel) const;
};

struct TextureParameter {
  int32_t tag = 0;
  enum Kind { Doubles, Integer, Handle, Unknown } kind = Unknown;
  std::vector<double> numbers;  // Doubles
  int32_t integer = 0;          // Integer
  uintptr_t handle = 0;         // Handle: the raw id the plug-in passed
};

struct TextureLayer {
  size_t texture = 0;
  int32_t type = 0;
  std::vector<TextureParameter> parameters;  // in the order set

  const TextureParameter* Parameter(int32_t tag) const;  // the last one set, or null
};

struct Texture {
  int32_t type = 0;
  std::string name;
  std::vector<size_t> layers;  // indices into Scene::textureLayers
};

struct VertexMapInfo {
  uint32_t type = 0;
  int32_t dimension = 0;
  std::string name;
};

struct Polygon {
  uint32_t type = 0;
  int32_t flags = 0;
  std::vector<size_t> points;  // indices into the layer's points
  std::vector<std::pair<uint32_t, std::string>> tags;

  const std::string* Tag(uint32_t type) const;  // the last tag of that type, or null
};

struct MeshLayer {
  uint32_t index = 0;
  std::string name;
  std::array<float, 3> pivot{0.0f, 0.0f, 0.0f};
  std::vector<std::array<float, 3>> points;
  std::vector<Polygon> polygons;
  // Per vertex map (index into Scene::vertexMaps): values per point index.
  std::map<size_t, std::map<size_t, std::vector<float>>> mapValues;

  // The values of a named map, or null.
  const std::map<size_t, std::vector<float>>* MapValues(const std::vector<VertexMapInfo>& maps, uint32_t type,
                                                        const std::string& name) const;
};

struct LocalRef {
  size_t layer = 0, index = 0;
};

struct LookupRecord {
  std::string name;
  bool answered;
};

struct Scene {
  HostSettings settings;
  CameraModel camera;

  // The request
  std::string fileName;
  int32_t result = ResultDeclined;
  bool finished = false;
  std::vector<LookupRecord> lookups;

  // Images
  std::vector<WorkImage> images;
  std::vector<SavedFile> saves;
  std::vector<ListImage> listImages;

  // Panel
  std::vector<std::unique_ptr<Panel>> panels;
  std::vector<std::string> panelNotes;  // answers that could not be applied

  // Surfaces and textures
  std::vector<Surface> surfaces;
  std::vector<Texture> textures;
  std::vector<TextureLayer> textureLayers;

  // The object
  std::vector<MeshLayer> layers;
  std::vector<VertexMapInfo> vertexMaps;  // object-wide, by type and name
  long currentMap = -1;                   // index into vertexMaps, or -1
  std::vector<LocalRef> points;           // every point id, in order
  std::vector<LocalRef> polygons;         // every polygon id, in order

  // Calls the host could not carry out (unknown ids, bad arguments), in words.
  std::vector<std::string> problems;
  size_t problemsNotKept = 0;  // past a limit only counted
  void Problem(std::string text);

  ImportTiming timing;  // measured when settings.timePhases is set
};

// The scene of the host whose request is under way, or null: service functions
// are plain function pointers and reach their host through this.
Scene* ActiveScene();
void SetActiveScene(Scene* scene);

}  // namespace refhost
