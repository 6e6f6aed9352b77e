#include "refhost/scene.h"

namespace refhost {

namespace {
Scene* gActiveScene = nullptr;
constexpr unsigned kIdKindShift = 40;
constexpr uintptr_t kIdIndexMask = (uintptr_t{1} << kIdKindShift) - 1;
constexpr size_t kProblemsKept = 1000;
}  // namespace

void* MakeId(IdKind kind, size_t index) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(kind) << kIdKindShift | ((index + 1) & kIdIndexMask));
}

bool IdIndex(const void* id, IdKind kind, size_t count, size_t& index) {
  const auto value = reinterpret_cast<uintptr_t>(id);
  if (value >> kIdKindShift != static_cast<uintptr_t>(kind)) return false;
  const uintptr_t serial = value & kIdIndexMask;
  if (serial == 0 || serial > count) return false;
  index = static_cast<size_t>(serial - 1);
  return true;
}

const std::vector<double>* Surface::Channel(const std::string& channel) const {
  for (auto it = channelSets.rbegin(); it != channelSets.rend(); ++it)
    if (it->channel == channel) return &it->values;
  return nullptr;
}

long Surface::TextureOn(const std::string& channel) const {
  for (auto it = attachments.rbegin(); it != attachments.rend(); ++it)
    if (it->channel == channel) return static_cast<long>(it->texture);
  return -1;
}

const TextureParameter* TextureLayer::Parameter(int32_t tag) const {
  for (auto it = parameters.rbegin(); it != parameters.rend(); ++it)
    if (it->tag == tag) return &*it;
  return nullptr;
}

const std::string* Polygon::Tag(uint32_t tagType) const {
  for (auto it = tags.rbegin(); it != tags.rend(); ++it)
    if (it->first == tagType) return &it->second;
  return nullptr;
}

const std::map<size_t, std::vector<float>>* MeshLayer::MapValues(const std::vector<VertexMapInfo>& maps, uint32_t type,
                                                                 const std::string& mapName) const {
  for (size_t map = 0; map < maps.size(); ++map) {
    if (maps[map].type != type || maps[map].name != mapName) continue;
    auto found = mapValues.find(map);
    return found != mapValues.end() ? &found->second : nullptr;
  }
  return nullptr;
}

void Scene::Problem(std::string text) {
  if (problems.size() < kProblemsKept)
    problems.push_back(std::move(text));
  else
    ++problemsNotKept;
}

Scene* ActiveScene() { return gActiveScene; }
void SetActiveScene(Scene* scene) { gActiveScene = scene; }

}  // namespace refhost
