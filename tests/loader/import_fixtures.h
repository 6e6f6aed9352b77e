// Layered documents with raw pixel data, and a host session around one import,
// for the plug-in's import tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "refhost/plugin_module.h"
#include "refhost/reference_host.h"
#include "tests/psd/layer_fixtures.h"
#include "tests/support/psd_bytes.h"
#include "tests/support/test_files.h"

namespace kavri_test {

struct PixelLayer {
  std::string name = "layer";
  int32_t top = 0, left = 0, bottom = 0, right = 0;
  std::vector<int16_t> ids = {0, 1, 2};
  std::vector<std::vector<uint8_t>> planes;  // per id, width × height samples (8-bit); empty: zeros
  uint8_t opacity = 255;
  uint32_t sectionType = 0;
};

inline int32_t Width(const PixelLayer& l) { return l.right - l.left; }
inline int32_t Height(const PixelLayer& l) { return l.bottom - l.top; }

// An 8-bit RGB document of the given size whose layers hold raw channel data.
inline std::vector<uint8_t> PixelDocument(uint32_t width, uint32_t height, const std::vector<PixelLayer>& layers) {
  ByteWriter info;
  info.I16(static_cast<int32_t>(layers.size()));
  ByteWriter data;
  for (const PixelLayer& layer : layers) {
    LayerFixture fixture;
    fixture.name = layer.name;
    fixture.top = layer.top;
    fixture.left = layer.left;
    fixture.bottom = layer.bottom;
    fixture.right = layer.right;
    fixture.opacity = layer.opacity;
    fixture.channels.clear();
    const size_t samples = static_cast<size_t>(Width(layer)) * static_cast<size_t>(Height(layer));
    for (size_t c = 0; c < layer.ids.size(); ++c) {
      fixture.channels.push_back({layer.ids[c], static_cast<uint32_t>(2 + samples)});
      data.U16(0);  // raw
      if (c < layer.planes.size() && !layer.planes[c].empty()) {
        EXPECT_EQ(layer.planes[c].size(), samples) << layer.name;
        data.Raw(layer.planes[c]);
      } else {
        data.Zeros(samples);
      }
    }
    if (layer.sectionType != 0) fixture.blocks.push_back(SectionTypeBlock(layer.sectionType));
    info.Raw(LayerRecordBytes(fixture));
  }
  info.Raw(data.bytes);
  ByteWriter w = PsdHeader(width, height, 3);
  w.U32(0).U32(0);
  w.U32(static_cast<uint32_t>(4 + info.size() + 4)).U32(static_cast<uint32_t>(info.size())).Raw(info.bytes).U32(0);
  w.U16(0).Zeros(static_cast<size_t>(width) * height * 3);  // merged image, raw
  return w.bytes;
}

// One plane of width × height samples, value(x, y).
template <typename F>
std::vector<uint8_t> Plane(int32_t width, int32_t height, F value) {
  std::vector<uint8_t> plane;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) plane.push_back(static_cast<uint8_t>(value(x, y)));
  return plane;
}

inline std::vector<uint8_t> Filled(int32_t width, int32_t height, uint8_t value) {
  return std::vector<uint8_t>(static_cast<size_t>(width) * height, value);
}

// A loaded module of one release.
class ModuleFixture {
 public:
  explicit ModuleFixture(HostRelease release) {
    const std::string path = ProgramFolder() + refhost::ModuleFileName(HostReleaseLabel(release));
    std::string error;
    loaded_ = refhost::LoadPluginModule(path, module_, error);
    EXPECT_TRUE(loaded_) << error;
  }
  ~ModuleFixture() { refhost::UnloadPluginModule(module_); }
  ModuleFixture(const ModuleFixture&) = delete;
  ModuleFixture& operator=(const ModuleFixture&) = delete;
  const refhost::PluginModule& module() const { return module_; }
  bool loaded() const { return loaded_; }

 private:
  refhost::PluginModule module_;
  bool loaded_ = false;
};

}  // namespace kavri_test
