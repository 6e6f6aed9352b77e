// Writes the test scene as the files that outside checkers read: scene.glb,
// scene.json and expected.json (the screen position each point was built for).
#include <cstdio>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "refhost/gltf_export.h"
#include "refhost/images.h"
#include "refhost/scene_json.h"
#include "tests/refhost/test_scene.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  std::string folder = argv[1];
  std::filesystem::create_directories(std::filesystem::u8path(folder));
  if (folder.back() != '/' && folder.back() != '\\') folder += '/';

  refhost::ReferenceHost host(kavri_test::TestSceneSettings());
  const kavri_test::TestScene expected = kavri_test::BuildTestScene(host, folder);

  nlohmann::json layers = nlohmann::json::array();
  for (const auto& layer : expected.layers) {
    nlohmann::json points = nlohmann::json::array();
    for (const auto& point : layer) {
      nlohmann::json entry = {{"x", point.x}, {"y", point.y}};
      if (point.byDepth)
        entry["depth"] = point.depth;
      else
        entry["distance"] = point.distance;
      points.push_back(entry);
    }
    layers.push_back(points);
  }
  std::string error;
  const std::string text = nlohmann::json{{"layers", layers}}.dump(1) + "\n";
  bool ok = refhost::WriteHostFile(folder + "expected.json", std::vector<uint8_t>(text.begin(), text.end()), error);
  ok = ok && refhost::WriteGltf(host.scene(), folder + "scene.glb", error);
  ok = ok && refhost::WriteSceneJson(host, folder + "scene.json", error);
  if (!ok) {
    std::fprintf(stderr, "cannot write the scene files: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& problem : host.scene().problems) std::fprintf(stderr, "host problem: %s\n", problem.c_str());
  return host.scene().problems.empty() ? 0 : 1;
}
