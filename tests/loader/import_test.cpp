// The import through the reference host: panel, images, geometry, surfaces and
// the driver, as a host sees them.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/loader/import_fixtures.h"

namespace {

using kavri_test::Filled;
using kavri_test::ModuleFixture;
using kavri_test::PixelLayer;
using kavri_test::Plane;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

constexpr char kSep =
#if defined(_WIN32)
    '\\';
#else
    '/';
#endif

struct ImportRun {
  std::unique_ptr<refhost::ReferenceHost> host;
  int32_t result = -1;
  std::string output;
  std::string folder;
  const refhost::Scene& scene() const { return host->scene(); }
};

// Imports document bytes saved as folder/name with the given panel answers.
ImportRun RunImport(const ModuleFixture& module, const std::string& folderName, const std::string& name,
           const std::vector<uint8_t>& bytes, refhost::HostSettings settings = {}) {
  ImportRun run;
  run.folder = kavri_test::FreshScratchFolder(folderName);
  const std::string path = run.folder + name;
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  run.host = std::make_unique<refhost::ReferenceHost>(settings);
  CaptureStdout();
  run.result = run.host->ImportFile(module.module(), path);
  run.output = GetCapturedStdout();
  return run;
}

refhost::HostSettings Answers(std::initializer_list<std::pair<const std::string, std::string>> answers,
                              HostRelease release = HostRelease2020) {
  refhost::HostSettings settings;
  settings.release = release;
  settings.panel.values = answers;
  return settings;
}

const refhost::PanelControl* Control(const refhost::Scene& scene, const std::string& label) {
  for (const auto& control : scene.panels.at(0)->controls)
    if (control->label == label) return control.get();
  return nullptr;
}

double Distance(const std::array<float, 3>& p, const refhost::Vec3& eye) {
  return std::sqrt((p[0] - eye[0]) * (p[0] - eye[0]) + (p[1] - eye[1]) * (p[1] - eye[1]) +
                   (p[2] - eye[2]) * (p[2] - eye[2]));
}

refhost::Vec3 Screen(const refhost::Scene& scene, const std::array<float, 3>& p) {
  return scene.camera.WorldToScreen({p[0], p[1], p[2]});
}

const std::vector<float>& Uv(const refhost::Scene& scene, const refhost::MeshLayer& layer, size_t point) {
  return layer.MapValues(scene.vertexMaps, KAVRI_VMAP_TXUV, "psdUV")->at(point);
}

PixelLayer OpaqueLayer(const std::string& name, int32_t width, int32_t height) {
  PixelLayer layer;
  layer.name = name;
  layer.right = width;
  layer.bottom = height;
  layer.planes = {Filled(width, height, 200), Filled(width, height, 100), Filled(width, height, 50)};
  return layer;
}

class ImportThroughHost : public testing::Test {
 protected:
  ModuleFixture module_{HostRelease2020};
};

TEST_F(ImportThroughHost, PanelShowsTheDefaultsAndTheSaverList) {
  const ImportRun run = RunImport(module_, "panel-defaults", "doc.psd", kavri_test::PixelDocument(8, 4, {OpaqueLayer("a", 8, 4)}));
  ASSERT_EQ(run.result, ResultLoaded) << run.output;
  const refhost::Scene& scene = run.scene();
  ASSERT_EQ(scene.panels.size(), 1u);
  EXPECT_EQ(scene.panels[0]->title, "kavri psd import as layer");
  const struct {
    const char* label;
    const char* type;
    int32_t kind;
  } controls[] = {{"Save Dir", "DirControl", 1},          {"Color Format", "CustomPopupControl", 18},
                  {"Alpha Format", "CustomPopupControl", 18}, {"Minimum Distance", "FloatControl", 3},
                  {"Maximum Distance", "FloatControl", 3},    {"Import Type", "PopupControl", 9},
                  {"Subdivisions", "NumControl", 2},          {"Premultiply Alpha", "BoolButtonControl", 8}};
  ASSERT_EQ(scene.panels[0]->controls.size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(scene.panels[0]->controls[i]->label, controls[i].label);
    EXPECT_EQ(scene.panels[0]->controls[i]->typeName, controls[i].type);
    EXPECT_EQ(scene.panels[0]->controls[i]->kind, controls[i].kind);
  }
  EXPECT_EQ(Control(scene, "Import Type")->items, (std::vector<std::string>{"Sphere", "Flat", "DenseMesh"}));
  EXPECT_EQ(Control(scene, "Import Type")->popupWidth, 100);
  EXPECT_EQ(Control(scene, "Color Format")->width, 250);
  EXPECT_EQ(Control(scene, "Save Dir")->width, 40);
  const std::vector<std::string>& savers = Control(scene, "Color Format")->items;
  ASSERT_FALSE(savers.empty());
  const long tga24 = std::find(savers.begin(), savers.end(), "LW_TGA24(.tga)") - savers.begin();
  ASSERT_LT(tga24, static_cast<long>(savers.size()));
  ASSERT_NE(tga24, 0);

  EXPECT_EQ(Control(scene, "Save Dir")->shown.text, run.folder);
  EXPECT_EQ(Control(scene, "Color Format")->shown.integer, tga24);
  EXPECT_EQ(Control(scene, "Alpha Format")->shown.integer, tga24);
  EXPECT_EQ(Control(scene, "Minimum Distance")->shown.number, 4.0);
  EXPECT_EQ(Control(scene, "Maximum Distance")->shown.number, 10.0);
  EXPECT_EQ(Control(scene, "Import Type")->shown.integer, 0);
  EXPECT_EQ(Control(scene, "Subdivisions")->shown.integer, 12);
  EXPECT_EQ(Control(scene, "Premultiply Alpha")->shown.integer, 1);
  // Sphere with 12 subdivisions by default.
  ASSERT_EQ(scene.layers.size(), 1u);
  EXPECT_EQ(scene.layers[0].points.size(), 169u);
  EXPECT_EQ(scene.layers[0].polygons.size(), 144u);
}

TEST_F(ImportThroughHost, SubdivisionsBelowOneBecomeOne) {
  const struct {
    const char* answer;
    size_t points;
  } cases[] = {{"0", 4}, {"-7", 4}, {"1", 4}, {"3", 16}};
  for (const auto& c : cases) {
    const ImportRun run = RunImport(module_, "subdivisions", "doc.psd", kavri_test::PixelDocument(8, 4, {OpaqueLayer("a", 8, 4)}),
                           Answers({{"Subdivisions", c.answer}}));
    ASSERT_EQ(run.result, ResultLoaded);
    ASSERT_EQ(run.scene().layers.size(), 1u) << c.answer;
    EXPECT_EQ(run.scene().layers[0].points.size(), c.points) << c.answer;
  }
}

TEST_F(ImportThroughHost, CancelEndsWithNothingMade) {
  refhost::HostSettings settings;
  settings.panel.cancel = true;
  const ImportRun run = RunImport(module_, "cancel", "doc.psd", kavri_test::PixelDocument(8, 4, {OpaqueLayer("a", 8, 4)}), settings);
  EXPECT_EQ(run.result, ResultCancelled);
  EXPECT_FALSE(run.scene().finished);
  EXPECT_TRUE(run.scene().images.empty());
  EXPECT_TRUE(run.scene().saves.empty());
  EXPECT_TRUE(run.scene().layers.empty());
}

// Pixels with alpha 0, 1, 128, 147 and 255, as written to lossless files and read back.
std::vector<uint8_t> ComposedPixels(const ModuleFixture& module, const std::string& premultiply,
                                    std::vector<uint8_t>* alphaImage) {
  PixelLayer layer;
  layer.name = "px";
  layer.right = 5;
  layer.bottom = 1;
  layer.ids = {-1, 0, 1, 2};
  layer.planes = {{0, 1, 128, 147, 255}, {200, 200, 255, 85, 10}, {7, 255, 3, 255, 20}, {255, 0, 1, 147, 30}};
  const ImportRun run =
      RunImport(module, "compose-" + premultiply, "doc.psd", kavri_test::PixelDocument(5, 1, {layer}),
                Answers({{"Premultiply Alpha", premultiply}, {"Color Format", "LW_TGA32(.tga)"},
                         {"Alpha Format", "LW_PNG8(.png)"}}));
  EXPECT_EQ(run.result, ResultLoaded);
  const refhost::Scene& scene = run.scene();
  EXPECT_EQ(scene.listImages.size(), 2u);
  if (scene.listImages.size() != 2) return {};
  EXPECT_EQ(scene.listImages[1].channels, 1);
  alphaImage->clear();
  for (size_t p = 0; p < scene.listImages[1].rgba.size(); p += 4) alphaImage->push_back(scene.listImages[1].rgba[p]);
  return scene.listImages[0].rgba;
}

TEST_F(ImportThroughHost, CompositionPremultipliesInDoublePrecision) {
  std::vector<uint8_t> alpha;
  const std::vector<uint8_t> on = ComposedPixels(module_, "on", &alpha);
  EXPECT_EQ(on, (std::vector<uint8_t>{0, 0, 0, 0,        // alpha 0: black, transparent
                                      0, 1, 0, 1,        // 200 × 1/255 truncates to 0
                                      128, 1, 0, 128,    // 255 × 128/255
                                      48, 147, 84, 147,  // 85 × 147/255 = 48 (not 49)
                                      10, 20, 30, 255}));
  EXPECT_EQ(alpha, (std::vector<uint8_t>{255, 254, 127, 108, 0}));
  for (const char* off : {"off"}) {
    const std::vector<uint8_t> plain = ComposedPixels(module_, off, &alpha);
    EXPECT_EQ(plain, (std::vector<uint8_t>{200, 7, 255, 0, 200, 255, 0, 1, 255, 3, 1, 128, 85, 255, 147, 147, 10, 20,
                                           30, 255}))
        << off;
  }
}

TEST_F(ImportThroughHost, ThreeChannelLayerIsOpaqueWithoutAlphaImage) {
  const ImportRun run = RunImport(module_, "opaque", "doc.psd", kavri_test::PixelDocument(2, 1, {OpaqueLayer("o", 2, 1)}),
                                  Answers({{"Color Format", "LW_TGA32(.tga)"}}));
  ASSERT_EQ(run.result, ResultLoaded);
  ASSERT_EQ(run.scene().listImages.size(), 1u);
  EXPECT_EQ(run.scene().listImages[0].rgba, (std::vector<uint8_t>{200, 100, 50, 255, 200, 100, 50, 255}));
  ASSERT_EQ(run.scene().saves.size(), 1u);
  const refhost::Surface& surface = run.scene().surfaces.at(0);
  EXPECT_GE(surface.TextureOn("BaseColor"), 0);
  EXPECT_LT(surface.TextureOn("Transparency"), 0);
}

TEST_F(ImportThroughHost, SphereAndFlatGeometryAndUvOrder) {
  {
    const ImportRun run = RunImport(module_, "sphere1", "doc.psd", kavri_test::PixelDocument(8, 4, {OpaqueLayer("s", 8, 4)}),
                           Answers({{"Subdivisions", "1"}}));
    const refhost::MeshLayer& layer = run.scene().layers.at(0);
    const std::vector<std::vector<float>> uvs = {{0, 1}, {1, 1}, {0, 0}, {1, 0}};
    for (size_t p = 0; p < 4; ++p) EXPECT_EQ(Uv(run.scene(), layer, p), uvs[p]) << p;
    ASSERT_EQ(layer.polygons.size(), 1u);
    EXPECT_EQ(layer.polygons[0].points, (std::vector<size_t>{0, 1, 3, 2}));
    EXPECT_EQ(*layer.polygons[0].Tag(KAVRI_PTAG_SURF), "s");
  }
  {
    const ImportRun run = RunImport(module_, "flat", "doc.psd", kavri_test::PixelDocument(8, 4, {OpaqueLayer("f", 8, 4)}),
                           Answers({{"Import Type", "Flat"}}));
    const refhost::MeshLayer& layer = run.scene().layers.at(0);
    ASSERT_EQ(layer.points.size(), 4u);
    const std::vector<std::vector<float>> uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (size_t p = 0; p < 4; ++p) EXPECT_EQ(Uv(run.scene(), layer, p), uvs[p]) << p;
    ASSERT_EQ(layer.polygons.size(), 1u);
    EXPECT_EQ(layer.polygons[0].points, (std::vector<size_t>{3, 2, 1, 0}));
  }
}

// A 100 × 40 layer with transparency; transparentAt lists pixels of alpha 0.
ImportRun DenseMesh(const ModuleFixture& module, const std::string& folder, int32_t width, int32_t height,
              const std::vector<std::pair<int, int>>& transparentAt, bool withAlpha = true) {
  PixelLayer layer = OpaqueLayer("d", width, height);
  layer.planes[0] = Plane(width, height, [](int x, int) { return x; });
  if (withAlpha) {
    std::vector<uint8_t> alpha = Filled(width, height, 255);
    for (auto [x, y] : transparentAt) alpha[static_cast<size_t>(y) * width + x] = 0;
    layer.ids = {-1, 0, 1, 2};
    layer.planes.insert(layer.planes.begin(), alpha);
  }
  return RunImport(module, folder, "doc.psd", kavri_test::PixelDocument(200, 100, {layer}),
                Answers({{"Import Type", "DenseMesh"}, {"Premultiply Alpha", "off"}}));
}

size_t CountPolygons(const refhost::MeshLayer& layer, size_t corners) {
  size_t count = 0;
  for (const auto& polygon : layer.polygons) count += polygon.points.size() == corners;
  return count;
}

TEST_F(ImportThroughHost, DenseMeshLeavesOutTransparentPointsAndMakesTriangles) {
  {
    const ImportRun run = DenseMesh(module_, "dense-full", 100, 40, {});
    const refhost::MeshLayer& layer = run.scene().layers.at(0);
    EXPECT_EQ(layer.points.size(), 250u);
    EXPECT_EQ(CountPolygons(layer, 4), 216u);
    // Colours are sampled every 4 pixels: red = x.
    const auto* colours = layer.MapValues(run.scene().vertexMaps, KAVRI_VMAP_RGB, "psdcolor");
    ASSERT_NE(colours, nullptr);
    EXPECT_FLOAT_EQ(colours->at(24)[0], 96.0f / 255.0f);
    EXPECT_EQ(Uv(run.scene(), layer, 249), (std::vector<float>{1.0f, 0.0f}));
  }
  {
    const ImportRun run = DenseMesh(module_, "dense-one", 100, 40, {{4, 4}});
    const refhost::MeshLayer& layer = run.scene().layers.at(0);
    EXPECT_EQ(layer.points.size(), 249u);
    EXPECT_EQ(CountPolygons(layer, 3), 4u);
    EXPECT_EQ(CountPolygons(layer, 4), 212u);
  }
  {
    const ImportRun run = DenseMesh(module_, "dense-two", 100, 40, {{4, 4}, {8, 4}});
    const refhost::MeshLayer& layer = run.scene().layers.at(0);
    EXPECT_EQ(CountPolygons(layer, 3), 4u);  // two cells stay open
    EXPECT_EQ(CountPolygons(layer, 4), 216u - 6u);
  }
  {
    std::vector<std::pair<int, int>> everywhere;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 100; ++x) everywhere.push_back({x, y});
    const ImportRun run = DenseMesh(module_, "dense-none", 100, 40, everywhere);
    ASSERT_EQ(run.scene().layers.size(), 1u);
    EXPECT_TRUE(run.scene().layers[0].points.empty());
    EXPECT_TRUE(run.scene().layers[0].polygons.empty());
    EXPECT_EQ(run.scene().surfaces.size(), 1u);
  }
  for (int32_t narrow : {3, 7}) {
    const ImportRun run = DenseMesh(module_, "dense-narrow", narrow, 40, {}, false);
    EXPECT_EQ(run.result, ResultLoaded);
    EXPECT_TRUE(run.scene().layers.empty()) << narrow;
    EXPECT_TRUE(run.scene().surfaces.empty()) << narrow;
  }
}

// Every point lies at the layer's distance from the eye and on the ray through
// the screen position of its document pixel.
struct FramingCase {
  const char* name;
  int32_t kind, viewportWidth, viewportHeight;
  int32_t halfPadX, halfPadY, frameWidth, frameHeight;
};

class Placement : public testing::TestWithParam<FramingCase> {
 protected:
  ModuleFixture module_{HostRelease2020};
};

TEST_P(Placement, PointsReprojectToTheirDocumentPixels) {
  const FramingCase& c = GetParam();
  const uint32_t docWidth = 200, docHeight = 100;
  PixelLayer layer = OpaqueLayer("l", 60, 40);
  layer.left = 20;
  layer.right = 80;
  layer.top = 30;
  layer.bottom = 70;
  const double scaleX = static_cast<double>(c.frameWidth) / docWidth;
  const double scaleY = static_cast<double>(c.frameHeight) / docHeight;
  for (const char* type : {"Sphere", "Flat", "DenseMesh"}) {
    refhost::HostSettings settings = Answers({{"Import Type", type}, {"Subdivisions", "4"}});
    settings.viewport.kind = c.kind;
    settings.viewport.width = c.viewportWidth;
    settings.viewport.height = c.viewportHeight;
    settings.camera.position = {1.0, -2.0, 0.5};
    settings.camera.rotation = {20.0, -10.0, 5.0};
    const ImportRun run = RunImport(module_, "placement", "doc.psd", kavri_test::PixelDocument(docWidth, docHeight, {layer}), settings);
    ASSERT_EQ(run.result, ResultLoaded) << type;
    const refhost::Scene& scene = run.scene();
    ASSERT_EQ(scene.layers.size(), 1u) << type;
    const refhost::MeshLayer& mesh = scene.layers[0];
    const refhost::Vec3 eye = scene.camera.eye;
    std::vector<std::pair<double, double>> expected;
    if (std::string(type) == "Sphere") {
      for (int n = 0; n <= 4; ++n)
        for (int i = 0; i <= 4; ++i)
          expected.push_back({(20 + 15.0 * i) * scaleX + c.halfPadX, (30 + 10.0 * n) * scaleY + c.halfPadY});
    } else if (std::string(type) == "Flat") {
      expected = {{20 * scaleX + c.halfPadX, 70 * scaleY + c.halfPadY}, {80 * scaleX + c.halfPadX, 70 * scaleY + c.halfPadY},
                  {80 * scaleX + c.halfPadX, 30 * scaleY + c.halfPadY}, {20 * scaleX + c.halfPadX, 30 * scaleY + c.halfPadY}};
    } else {
      for (int n = 0; n < 10; ++n)
        for (int i = 0; i < 15; ++i)
          expected.push_back({(20 + (60 / 14) * i) * scaleX + c.halfPadX, (30 + (40 / 9) * n) * scaleY + c.halfPadY});
    }
    ASSERT_EQ(mesh.points.size(), expected.size()) << type;
    for (size_t p = 0; p < expected.size(); ++p) {
      const refhost::Vec3 screen = Screen(scene, mesh.points[p]);
      EXPECT_NEAR(screen[0], expected[p].first, 0.02) << type << " point " << p;
      EXPECT_NEAR(screen[1], expected[p].second, 0.02) << type << " point " << p;
      if (std::string(type) != "Flat") EXPECT_NEAR(Distance(mesh.points[p], eye), 10.0, 1e-4) << type << " point " << p;
    }
    EXPECT_NEAR(mesh.pivot[0], eye[0], 1e-6);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Framings, Placement,
    testing::Values(FramingCase{"exact", 9, 800, 600, 0, 0, 800, 600},
                    FramingCase{"wide", 9, 1000, 500, 167, 0, 666, 500},
                    FramingCase{"tall", 9, 600, 800, 0, 175, 600, 450},
                    FramingCase{"other_kind", 2, 700, 300, 0, 0, 700, 300}),
    [](const testing::TestParamInfo<FramingCase>& info) { return std::string(info.param.name); });

TEST_F(ImportThroughHost, LayersStepFromMaximumToMinimumDistanceCountingSkippedRecords) {
  PixelLayer groupEnd = OpaqueLayer("</group>", 0, 0);
  groupEnd.sectionType = 3;
  const ImportRun run = RunImport(module_, "depths", "doc.psd",
                         kavri_test::PixelDocument(8, 4, {OpaqueLayer("far", 8, 4), groupEnd, OpaqueLayer("near", 8, 4)}),
                         Answers({{"Subdivisions", "1"}, {"Minimum Distance", "4"}, {"Maximum Distance", "10"}}));
  ASSERT_EQ(run.scene().layers.size(), 2u);
  EXPECT_EQ(run.scene().layers[0].index, 0u);
  EXPECT_EQ(run.scene().layers[1].index, 2u);
  EXPECT_NEAR(Distance(run.scene().layers[0].points[0], run.scene().camera.eye), 10.0, 1e-4);
  EXPECT_NEAR(Distance(run.scene().layers[1].points[0], run.scene().camera.eye), 4.0, 1e-4);

  // One record: at the maximum distance; a minimum above the maximum is taken as given.
  const ImportRun reversed = RunImport(module_, "depths-reversed", "doc.psd",
                              kavri_test::PixelDocument(8, 4, {OpaqueLayer("a", 8, 4), OpaqueLayer("b", 8, 4)}),
                              Answers({{"Subdivisions", "1"}, {"Minimum Distance", "20"}, {"Maximum Distance", "5"}}));
  EXPECT_NEAR(Distance(reversed.scene().layers[0].points[0], reversed.scene().camera.eye), 5.0, 1e-4);
  EXPECT_NEAR(Distance(reversed.scene().layers[1].points[0], reversed.scene().camera.eye), 20.0, 1e-4);
}

TEST_F(ImportThroughHost, SkipsGroupsAndLayersOfOneOrMoreThanFourChannels) {
  PixelLayer one = OpaqueLayer("one", 4, 4);
  one.ids = {0};
  one.planes.resize(1);
  PixelLayer five = OpaqueLayer("five", 4, 4);
  five.ids = {-1, 0, 1, 2, 3};
  five.planes.clear();
  PixelLayer group = OpaqueLayer("group", 4, 4);
  group.sectionType = 1;
  const ImportRun run = RunImport(module_, "skips", "doc.psd",
                         kavri_test::PixelDocument(8, 4, {one, five, group, OpaqueLayer("kept", 4, 4)}));
  ASSERT_EQ(run.result, ResultLoaded);
  ASSERT_EQ(run.scene().layers.size(), 1u);
  EXPECT_EQ(run.scene().layers[0].name, "kept");
  EXPECT_EQ(run.scene().layers[0].index, 3u);
}

TEST_F(ImportThroughHost, FileNamesTakeTheSaversExtension) {
  PixelLayer logo = OpaqueLayer("Logo.old", 4, 4);
  logo.ids = {-1, 0, 1, 2};
  logo.planes.insert(logo.planes.begin(), Filled(4, 4, 255));
  const ImportRun run = RunImport(module_, "names", "poster.psd", kavri_test::PixelDocument(8, 4, {OpaqueLayer("Sky", 4, 4), logo}),
                         Answers({{"Alpha Format", "LW_PNG24(.png)"}}));
  std::vector<std::string> files;
  for (const auto& save : run.scene().saves) files.push_back(save.file);
  EXPECT_EQ(files, (std::vector<std::string>{run.folder + "poster_Sky.tga", run.folder + "poster_Logo.tga",
                                             run.folder + "poster_A_Logo.png"}));
  for (const auto& save : run.scene().saves) EXPECT_TRUE(save.written) << save.file << ": " << save.error;
  EXPECT_EQ(run.scene().listImages.size(), 3u);

  // A save folder typed without a separator is a plain prefix.
  const std::string elsewhere = kavri_test::FreshScratchFolder("names-prefix");
  const ImportRun prefixed = RunImport(module_, "names2", "poster.psd", kavri_test::PixelDocument(8, 4, {OpaqueLayer("Sky", 4, 4)}),
                              Answers({{"Save Dir", elsewhere + "out-"}}));
  ASSERT_EQ(prefixed.scene().saves.size(), 1u);
  EXPECT_EQ(prefixed.scene().saves[0].file, elsewhere + "out-poster_Sky.tga");
}

TEST_F(ImportThroughHost, LayerNamesNeverLeaveTheSaveFolderAndNeverCollide) {
  const std::vector<std::string> names = {"..", "../escape", std::string("a") + kSep + "b", "", ".", "Sky", "Sky",
                                          "con:trol\x01"};
  std::vector<PixelLayer> layers;
  for (const std::string& name : names) layers.push_back(OpaqueLayer(name, 2, 2));
  const ImportRun run = RunImport(module_, "unsafe", "doc.psd", kavri_test::PixelDocument(4, 4, layers));
  ASSERT_EQ(run.result, ResultLoaded);
  std::set<std::string> files;
  for (const auto& save : run.scene().saves) {
    ASSERT_EQ(save.file.rfind(run.folder, 0), 0u) << save.file;
    const std::string rest = save.file.substr(run.folder.size());
    EXPECT_EQ(rest.find_first_of("/\\:\x01"), std::string::npos) << rest;
    EXPECT_TRUE(save.written) << save.file;
    files.insert(save.file);
  }
  EXPECT_EQ(files.size(), names.size());
  std::set<std::string> surfaces;
  for (const auto& surface : run.scene().surfaces) surfaces.insert(surface.name);
  EXPECT_EQ(surfaces.size(), names.size());
  EXPECT_EQ(run.scene().layers[5].polygons[0].Tag(KAVRI_PTAG_SURF) == nullptr, false);
  EXPECT_NE(*run.scene().layers[5].polygons[0].Tag(KAVRI_PTAG_SURF), *run.scene().layers[6].polygons[0].Tag(KAVRI_PTAG_SURF));
}

TEST_F(ImportThroughHost, DocumentWithoutLayersImportsItsMergedImage) {
  const ImportRun run = RunImport(module_, "merged", "flat picture.psd", kavri_test::MinimalPsd(4, 2));
  (void)run;
  const std::string path = kavri_test::CorpusFolder() + "psdtools__0layers.psd";
  refhost::ReferenceHost host(refhost::HostSettings{});
  const std::string folder = kavri_test::FreshScratchFolder("merged-corpus");
  refhost::HostSettings settings = Answers({{"Save Dir", folder}});
  refhost::ReferenceHost corpusHost(settings);
  CaptureStdout();
  EXPECT_EQ(corpusHost.ImportFile(module_.module(), path), ResultLoaded);
  GetCapturedStdout();
  ASSERT_EQ(corpusHost.scene().layers.size(), 1u);
  EXPECT_EQ(corpusHost.scene().layers[0].name, "psdtools__0layers");
  ASSERT_EQ(corpusHost.scene().saves.size(), 1u);
  EXPECT_EQ(corpusHost.scene().saves[0].file, folder + "psdtools__0layers_psdtools__0layers.tga");
}

struct SurfaceCase {
  HostRelease release;
  const char* kind;
};

class Surfaces : public testing::TestWithParam<SurfaceCase> {};

TEST_P(Surfaces, ChannelValuesAndTexturesPerRelease) {
  ModuleFixture module(GetParam().release);
  PixelLayer layer = OpaqueLayer("glass", 4, 4);
  layer.opacity = 128;
  layer.ids = {-1, 0, 1, 2};
  layer.planes.insert(layer.planes.begin(), Filled(4, 4, 128));
  refhost::HostSettings settings = Answers({{"Import Type", "Flat"}}, GetParam().release);
  const ImportRun run = RunImport(module, "surfaces", "doc.psd", kavri_test::PixelDocument(4, 4, {layer}), settings);
  ASSERT_EQ(run.result, ResultLoaded);
  const refhost::Scene& scene = run.scene();
  ASSERT_EQ(scene.surfaces.size(), 1u);
  const refhost::Surface& surface = scene.surfaces[0];
  EXPECT_EQ(surface.name, "glass");
  EXPECT_EQ(surface.kind, GetParam().kind);
  const std::vector<std::pair<std::string, std::vector<double>>> expected = {
      {"BaseColor", {0, 0, 0}}, {"Diffuse", {0}},         {"Specularity", {0}}, {"Reflectivity", {0}},
      {"Luminosity", {1}},      {"Transparency", {1.0 - 128 / 255.0}}, {"SmoothingAngle", {1}}, {"IOR", {1}}};
  ASSERT_EQ(surface.channelSets.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(surface.channelSets[i].channel, expected[i].first);
    EXPECT_EQ(surface.channelSets[i].values, expected[i].second) << expected[i].first;
  }
  ASSERT_EQ(surface.attachments.size(), 2u);
  EXPECT_EQ(surface.attachments[0].channel, "BaseColor");
  EXPECT_EQ(surface.attachments[1].channel, "Transparency");
  for (size_t a = 0; a < 2; ++a) {
    const refhost::Texture& texture = scene.textures.at(surface.attachments[a].texture);
    EXPECT_EQ(texture.name, "testtexture");
    EXPECT_EQ(texture.type, a == 0 ? 1 : 3);
    ASSERT_EQ(texture.layers.size(), 1u);
    const refhost::TextureLayer& textureLayer = scene.textureLayers.at(texture.layers[0]);
    std::vector<int32_t> tags;
    for (const auto& parameter : textureLayer.parameters) tags.push_back(parameter.tag);
    EXPECT_EQ(tags, (std::vector<int32_t>{12, 20, 0, 4, 10, 9}));
    EXPECT_EQ(textureLayer.Parameter(12)->numbers, (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(textureLayer.Parameter(4)->integer, 5);
    EXPECT_EQ(textureLayer.Parameter(20)->integer, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Releases, Surfaces,
                         testing::Values(SurfaceCase{HostRelease2015, ""}, SurfaceCase{HostRelease2020, "Standard"},
                                         SurfaceCase{HostRelease11_6, ""}),
                         [](const testing::TestParamInfo<SurfaceCase>& info) {
                           return std::string("release_") + (info.param.release == HostRelease11_6 ? "11_6"
                                                             : info.param.release == HostRelease2015 ? "2015"
                                                                                                     : "2020");
                         });

}  // namespace
