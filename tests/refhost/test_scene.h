// A scene built the way the plug-in builds one, through the host's services and
// the import record: three mesh layers (a textured grid of quads, a coloured
// grid of quads and triangles with a transparency texture, a flat quad) and the
// screen position every point was built for.
#pragma once

#include <string>
#include <vector>

#include "refhost/reference_host.h"

namespace kavri_test {

struct ExpectedPoint {
  double x, y;
  double depth;     // screen depth, when byDepth
  double distance;  // distance from the eye, otherwise
  bool byDepth;
};

struct TestScene {
  std::vector<std::vector<ExpectedPoint>> layers;  // per mesh layer, per point
};

refhost::HostSettings TestSceneSettings();

// Builds the scene into host (whose settings should be TestSceneSettings()),
// writing its images into folder (with a trailing separator).
TestScene BuildTestScene(refhost::ReferenceHost& host, const std::string& folder);

}  // namespace kavri_test
