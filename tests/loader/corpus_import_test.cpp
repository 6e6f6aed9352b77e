// Every layered corpus file imports, and every colour and alpha image the
// plug-in wrote equals the layer's decoded planes composed into pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "loader/layer_eligibility.h"
#include "psd/layer_channels.h"
#include "psd/layer_mask_section.h"
#include "psd/native_file.h"
#include "tests/loader/import_fixtures.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const void* PlaneOf(const psd::LayerRecord& layer, int16_t id) {
  for (uint32_t i = 0; i < layer.channelRecordCount; ++i)
    if (layer.channelRecords[i].id == id && layer.channelRecords[i].plane != nullptr) return layer.channelRecords[i].plane;
  return nullptr;
}

// One sample as 8 bits: 16-bit scaled with rounding; 32-bit clamped, colour
// encoded for display and transparency linear.
uint8_t Sample8(const void* plane, size_t k, uint32_t depth, bool colour) {
  if (plane == nullptr) return 0;
  if (depth == 8) return static_cast<const uint8_t*>(plane)[k];
  if (depth == 16) return static_cast<uint8_t>(std::lround(static_cast<const uint16_t*>(plane)[k] * 255.0 / 65535.0));
  const float v = static_cast<const float*>(plane)[k];
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return 255;
  const double encoded = !colour ? v : v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
  return static_cast<uint8_t>(std::lround(encoded * 255.0));
}

struct Expected {
  std::vector<uint8_t> rgba;
  std::vector<uint8_t> alpha;  // empty without an alpha image
};

Expected Compose(const psd::DocumentInfo& document, const psd::LayerRecord& layer) {
  const size_t width = static_cast<size_t>(layer.right - layer.left);
  const size_t count = width * static_cast<size_t>(layer.bottom - layer.top);
  const void* transparency = PlaneOf(layer, -1);
  Expected expected;
  for (size_t k = 0; k < count; ++k) {
    int rgb[3];
    if (document.colorMode == psd::kColorModeGrayscale) {
      rgb[0] = rgb[1] = rgb[2] = Sample8(PlaneOf(layer, 0), k, document.depth, true);
    } else if (document.colorMode == psd::kColorModeCmyk) {
      const int black = Sample8(PlaneOf(layer, 3), k, document.depth, true);
      for (int16_t c = 0; c < 3; ++c) rgb[c] = (Sample8(PlaneOf(layer, c), k, document.depth, true) * black + 127) / 255;
    } else {
      for (int16_t c = 0; c < 3; ++c) rgb[c] = Sample8(PlaneOf(layer, c), k, document.depth, true);
    }
    const uint8_t a = transparency != nullptr ? Sample8(transparency, k, document.depth, false) : 255;
    for (int c = 0; c < 3; ++c)
      expected.rgba.push_back(transparency != nullptr ? static_cast<uint8_t>(rgb[c] * (a / 255.0)) : static_cast<uint8_t>(rgb[c]));
    expected.rgba.push_back(a);
    if (transparency != nullptr || layer.channelRecordCount > 3) expected.alpha.push_back(transparency != nullptr ? 255 - a : 0);
  }
  return expected;
}

const refhost::ListImage* Loaded(const refhost::Scene& scene, const std::string& file) {
  for (const auto& image : scene.listImages)
    if (image.file == file) return &image;
  return nullptr;
}

TEST(CorpusImport, EveryLayeredFileImportsItsLayersPixelForPixel) {
  kavri_test::ModuleFixture module(HostRelease2020);
  ASSERT_TRUE(module.loaded());
  size_t filesChecked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(kavri_test::CorpusFolder()))) {
    const std::string name = entry.path().filename().u8string();
    if (entry.path().extension() != ".psd") continue;
    SCOPED_TRACE(name);
    const std::string path = kavri_test::CorpusFolder() + name;
    const std::string folder = kavri_test::FreshScratchFolder("corpus-import");
    refhost::HostSettings settings;
    settings.panel.values = {{"Save Dir", folder}, {"Import Type", "Flat"}, {"Color Format", "LW_TGA32(.tga)"},
                             {"Alpha Format", "LW_PNG8(.png)"}};
    refhost::ReferenceHost host(settings);
    CaptureStdout();
    const int32_t result = host.ImportFile(module.module(), path);
    GetCapturedStdout();
    ASSERT_EQ(result, ResultLoaded);
    const refhost::Scene& scene = host.scene();
    for (const auto& save : scene.saves) EXPECT_EQ(save.file.rfind(folder, 0), 0u) << save.file;

    // The same layers through the reader.
    psd::MallocAllocator allocator;
    psd::NativeFile file(&allocator);
    ASSERT_TRUE(file.OpenForRead(kavri_test::Widen(path).c_str()));
    CaptureStdout();
    psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
    psd::LayerMaskSection* section = psd::LoadLayerMaskSection(document, &file, &allocator);
    size_t save = 0;
    const uint32_t count = section != nullptr && section->layerRecords != nullptr ? section->layerRecordCount : 0;
    for (uint32_t i = 0; i < count; ++i) {
      psd::LayerRecord& layer = section->layerRecords[i];
      if (!kavri::HasChannelData(layer)) continue;
      psd::LoadLayerChannels(document, &file, &allocator, &layer);
      if (kavri::LayerSkipReason(*document, layer) != nullptr) continue;
      const Expected expected = Compose(*document, layer);
      for (const std::vector<uint8_t>* pixels : {&expected.rgba, &expected.alpha}) {
        if (pixels == &expected.alpha && expected.alpha.empty()) continue;
        ASSERT_LT(save, scene.saves.size()) << "layer " << i;
        const refhost::ListImage* image = Loaded(scene, scene.saves[save++].file);
        if (pixels->empty()) continue;  // an empty layer has no image to load
        ASSERT_NE(image, nullptr) << "layer " << i;
        std::vector<uint8_t> got = image->rgba;
        if (pixels == &expected.alpha) {
          std::vector<uint8_t> grey;
          for (size_t p = 0; p < got.size(); p += 4) grey.push_back(got[p]);
          got = grey;
        }
        EXPECT_TRUE(got == *pixels) << "layer " << i << (pixels == &expected.alpha ? " alpha" : " colour");
      }
    }
    GetCapturedStdout();
    if (count > 0) {
      EXPECT_EQ(save, scene.saves.size());
      ++filesChecked;
    } else if (kavri::DocumentSkipReason(*document) == nullptr) {
      EXPECT_EQ(scene.layers.size(), 1u);  // the merged image
    }
    psd::ReleaseLayerMaskSection(section, &allocator);
    allocator.ReleaseBlock(document);
    file.Close();
  }
  EXPECT_GT(filesChecked, 30u);
}

}  // namespace
