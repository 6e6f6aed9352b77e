// The scene as a glTF 2.0 binary: a node and mesh per mesh layer, one unlit
// material per surface, and the viewport camera, converted to glTF's axes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "refhost/scene.h"

namespace refhost {

std::vector<uint8_t> BuildGlb(const Scene& scene);
bool WriteGltf(const Scene& scene, const std::string& path, std::string& error);

}  // namespace refhost
