#include <gtest/gtest.h>

#include <cstring>

#include <nlohmann/json.hpp>

#include "refhost/gltf_export.h"
#include "refhost/scene_json.h"
#include "tests/refhost/host_services.h"
#include "tests/refhost/test_scene.h"
#include "tests/support/test_files.h"

namespace {

using nlohmann::json;

TEST(Object, KeepsLayersPointsMapsPolygonsSurfacesAndTextures) {
  refhost::ReferenceHost host(kavri_test::TestSceneSettings());
  kavri_test::BuildTestScene(host, kavri_test::ScratchFolder());
  const refhost::Scene& scene = host.scene();
  EXPECT_TRUE(scene.problems.empty()) << scene.problems.front();
  EXPECT_TRUE(scene.finished);
  EXPECT_EQ(scene.result, ResultLoaded);

  ASSERT_EQ(scene.layers.size(), 3u);
  const refhost::MeshLayer& sky = scene.layers[0];
  EXPECT_EQ(sky.name, "Sky");
  EXPECT_EQ(sky.points.size(), 12u);
  EXPECT_EQ(sky.polygons.size(), 6u);
  EXPECT_EQ(sky.polygons[0].points, (std::vector<size_t>{0, 1, 5, 4}));
  EXPECT_EQ(sky.polygons[0].type, KAVRI_POLY_FACE);
  ASSERT_NE(sky.polygons[0].Tag(KAVRI_PTAG_SURF), nullptr);
  EXPECT_EQ(*sky.polygons[0].Tag(KAVRI_PTAG_SURF), "Sky");
  const auto* uvs = sky.MapValues(scene.vertexMaps, KAVRI_VMAP_TXUV, "psdUV");
  ASSERT_NE(uvs, nullptr);
  EXPECT_EQ(uvs->at(0), (std::vector<float>{0.0f, 1.0f}));
  EXPECT_EQ(uvs->at(11), (std::vector<float>{1.0f, 0.0f}));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(sky.pivot[i], static_cast<float>(scene.camera.eye[i]));

  // The left-out corner makes one triangle among the quads; every kept point has a colour.
  const refhost::MeshLayer& logo = scene.layers[1];
  EXPECT_EQ(logo.index, 1u);
  EXPECT_EQ(logo.points.size(), 8u);
  std::vector<size_t> sizes;
  for (const auto& polygon : logo.polygons) sizes.push_back(polygon.points.size());
  EXPECT_EQ(sizes, (std::vector<size_t>{4, 3, 4, 4}));
  const auto* colours = logo.MapValues(scene.vertexMaps, KAVRI_VMAP_RGB, "psdcolor");
  ASSERT_NE(colours, nullptr);
  EXPECT_EQ(colours->size(), 8u);
  EXPECT_EQ(colours->at(0), (std::vector<float>{200 / 255.0f, 0.0f, 0.0f}));
  // Vertex maps are the object's, shared by name across layers.
  EXPECT_EQ(scene.vertexMaps.size(), 2u);

  ASSERT_EQ(scene.surfaces.size(), 3u);
  const refhost::Surface& surface = scene.surfaces[1];
  EXPECT_EQ(surface.name, "Logo");
  EXPECT_EQ(surface.object, scene.fileName);
  EXPECT_EQ(surface.kind, "Standard");
  ASSERT_EQ(surface.channelSets.size(), 8u);
  EXPECT_EQ(surface.channelSets[0].channel, "BaseColor");
  EXPECT_EQ(surface.channelSets[0].values, (std::vector<double>{0.0, 0.0, 0.0}));
  EXPECT_EQ(*surface.Channel("Transparency"), (std::vector<double>{1.0 - 128 / 255.0}));
  ASSERT_EQ(surface.attachments.size(), 2u);
  const refhost::Texture& colourTexture = scene.textures[static_cast<size_t>(surface.TextureOn("BaseColor"))];
  EXPECT_EQ(colourTexture.type, 1);
  EXPECT_EQ(colourTexture.name, "testtexture");
  const refhost::TextureLayer& layer = scene.textureLayers[colourTexture.layers.at(0)];
  std::vector<int32_t> tags;
  for (const auto& parameter : layer.parameters) tags.push_back(parameter.tag);
  EXPECT_EQ(tags, (std::vector<int32_t>{12, 20, 0, 4, 10, 9}));
  EXPECT_EQ(layer.Parameter(12)->numbers, (std::vector<double>{1.0, 1.0, 1.0}));
  EXPECT_EQ(layer.Parameter(4)->integer, 5);
  size_t image;
  ASSERT_TRUE(refhost::IdIndex(reinterpret_cast<void*>(layer.Parameter(9)->handle), refhost::IdKind::ListImage,
                               scene.listImages.size(), image));
  EXPECT_NE(scene.listImages[image].file.find("scene_Logo.png"), std::string::npos);
  EXPECT_EQ(scene.textures[static_cast<size_t>(surface.TextureOn("Transparency"))].type, 3);

  // The JSON dump carries the same, with ids as serials.
  const json dump = refhost::SceneToJson(host);
  EXPECT_EQ(dump["layers"][1]["polygons"][1]["points"].size(), 3u);
  EXPECT_EQ(dump["layers"][1]["polygons"][1]["tags"][0]["type"], "SURF");
  EXPECT_EQ(dump["textures"][0]["layers"][0]["parameters"][5]["name"], "image");
  EXPECT_EQ(dump["textures"][0]["layers"][0]["parameters"][5]["value"], 1);
  EXPECT_EQ(dump["surfaces"][1]["textures"]["Transparency"], 3);
  EXPECT_EQ(dump["camera"]["framePlacement"]["height"], 450);
  EXPECT_EQ(dump["images"]["saved"].size(), 3u);
}

json GlbJson(const std::vector<uint8_t>& glb) {
  uint32_t length;
  std::memcpy(&length, &glb[12], 4);
  return json::parse(glb.begin() + 20, glb.begin() + 20 + length);
}

TEST(Gltf, ExportsANodeAndMeshPerLayerAMaterialPerSurfaceAndTheCamera) {
  refhost::ReferenceHost host(kavri_test::TestSceneSettings());
  kavri_test::BuildTestScene(host, kavri_test::ScratchFolder());
  const std::vector<uint8_t> glb = refhost::BuildGlb(host.scene());
  ASSERT_GT(glb.size(), 20u);
  EXPECT_EQ(std::string(glb.begin(), glb.begin() + 4), "glTF");
  uint32_t total;
  std::memcpy(&total, &glb[8], 4);
  EXPECT_EQ(total, glb.size());
  const json doc = GlbJson(glb);
  EXPECT_EQ(doc["meshes"].size(), 3u);
  EXPECT_EQ(doc["nodes"].size(), 4u);
  EXPECT_EQ(doc["materials"].size(), 3u);
  EXPECT_EQ(doc["images"].size(), 2u);  // the card's texture carries no image
  EXPECT_EQ(doc["materials"][1]["alphaMode"], "BLEND");
  EXPECT_EQ(doc["materials"][0]["alphaMode"], "OPAQUE");
  const json& logo = doc["meshes"][1]["primitives"][0];
  EXPECT_TRUE(logo["attributes"].contains("COLOR_0"));
  EXPECT_TRUE(logo["attributes"].contains("TEXCOORD_0"));
  // Three quads and a triangle: seven triangles.
  EXPECT_EQ(doc["accessors"][logo["indices"].get<size_t>()]["count"], 21);
  const json& camera = doc["cameras"][0]["perspective"];
  EXPECT_NEAR(camera["aspectRatio"].get<double>(), 1920.0 / 1080.0, 1e-12);
  EXPECT_NEAR(camera["yfov"].get<double>(), host.scene().camera.verticalFov, 1e-12);
  const json& eye = doc["nodes"][3]["translation"];
  EXPECT_EQ(eye, json({0.5, 1.0, 3.0}));  // Z mirrored into glTF's axes
}

TEST(Object, RefusesCallsWithUnknownIdsAndKeepsGoing) {
  refhost::ReferenceHost host(refhost::HostSettings{});
  kavri_test::HostServices services(host);
  ObjectImportRecord& record = *services.record;
  void* data = record.hostData;
  const float p[3] = {1, 2, 3};
  HostPointId early = record.AddPoint(data, p);  // before any layer: a layer of its own
  EXPECT_NE(early, nullptr);
  record.BeginLayer(data, 4, "L");
  HostPointId a = record.AddPoint(data, p), b = record.AddPoint(data, p), c = record.AddPoint(data, p);
  const HostPointId stale[3] = {a, b, early};  // a point of another layer
  EXPECT_EQ(record.AddPolygon(data, KAVRI_POLY_FACE, 0, 3, stale), nullptr);
  const HostPointId withNone[3] = {a, b, reinterpret_cast<HostPointId>(~uintptr_t{0})};
  EXPECT_EQ(record.AddPolygon(data, KAVRI_POLY_FACE, 0, 3, withNone), nullptr);
  const HostPointId good[3] = {a, b, c};
  EXPECT_EQ(record.AddPolygon(data, KAVRI_POLY_FACE, 0, 0, good), nullptr);
  EXPECT_NE(record.AddPolygon(data, KAVRI_POLY_FACE, 0, 3, good), nullptr);
  record.TagPolygon(data, nullptr, KAVRI_PTAG_SURF, "x");
  record.SetVertexMapValue(data, a, p);  // no map selected
  record.SelectVertexMap(data, KAVRI_VMAP_TXUV, 2, "psdUV");
  record.SetVertexMapValue(data, nullptr, p);
  record.SelectVertexMap(data, KAVRI_VMAP_TXUV, 3, "psdUV");  // the map has dimension 2
  EXPECT_EQ(record.CurrentVertexMapHandle(data), nullptr);
  const float nan[3] = {0.0f, NAN, 0.0f};
  EXPECT_EQ(record.AddPoint(data, nan), nullptr);
  // Host data that is not this request's is ignored.
  record.BeginLayer(reinterpret_cast<void*>(0x10), 9, "other");

  EXPECT_EQ(services.CreateSurface("o", nullptr), nullptr);
  HostSurfaceId surface = services.CreateSurface("o", "S");
  EXPECT_EQ(services.CreateSurface("o", "S"), surface);  // one surface per name and object
  EXPECT_NE(services.CreateSurface("p", "S"), surface);
  services.SetSurfaceChannel(reinterpret_cast<HostSurfaceId>(a), "Diffuse", nullptr);  // a point is no surface
  services.AttachChannelTexture(surface, "BaseColor", nullptr);
  EXPECT_EQ(services.textures->AddTextureLayer(nullptr, 0), nullptr);
  services.textures->SetTextureLayerParameter(nullptr, 9, nullptr);

  const refhost::Scene& scene = host.scene();
  ASSERT_EQ(scene.layers.size(), 2u);
  EXPECT_EQ(scene.layers[1].polygons.size(), 1u);
  EXPECT_GE(scene.problems.size(), 12u);
  // The export still makes a valid file of what was kept.
  const json doc = GlbJson(refhost::BuildGlb(scene));
  EXPECT_EQ(doc["meshes"].size(), 2u);
  EXPECT_EQ(doc["meshes"][0]["primitives"][0]["mode"], 0);  // a lone point is shown as a point
}

TEST(Surfaces, TheEarlierLayoutServesTheSameOperationsWithoutKinds) {
  refhost::HostSettings settings;
  settings.release = HostRelease2015;
  refhost::ReferenceHost host(settings);
  kavri_test::HostServices services(host);
  EXPECT_EQ(services.SetSurfaceKind, nullptr);
  HostSurfaceId surface = services.CreateSurface("o", "S");
  const double colour[3] = {0.1, 0.2, 0.3};
  services.SetSurfaceChannel(surface, "BaseColor", colour);
  HostTextureId texture = services.textures->CreateTexture(3, "t", 0, 0);
  services.AttachChannelTexture(surface, "Transparency", texture);
  const refhost::Surface& kept = host.scene().surfaces.at(0);
  EXPECT_EQ(kept.kind, "");
  EXPECT_EQ(*kept.Channel("BaseColor"), (std::vector<double>{0.1, 0.2, 0.3}));
  EXPECT_EQ(kept.TextureOn("Transparency"), 0);
  EXPECT_TRUE(host.scene().problems.empty());
}

}  // namespace
