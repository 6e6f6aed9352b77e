// Everything the host kept, as JSON for scripts and diffs: the request, the
// look-ups, the panel, images, surfaces, textures, the object and the camera
// model that reprojects any point to the viewport.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "refhost/reference_host.h"

namespace refhost {

nlohmann::json SceneToJson(const ReferenceHost& host);
bool WriteSceneJson(const ReferenceHost& host, const std::string& path, std::string& error);

}  // namespace refhost
