// What a reference host session is set up with: the SDK release it serves,
// the viewport and camera the plug-in sees, and the user's panel answers.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "loader/host/service_names.h"

namespace refhost {

// Answers for the plug-in's panel, per control label ("Save Dir", "Color Format",
// "Import Type", "Premultiply Alpha", ...). Text controls take the text; number
// fields a number; check buttons on/off; popups an item label or an index.
// A control without an answer keeps what the plug-in showed.
struct PanelAnswers {
  std::map<std::string, std::string> values;
  bool cancel = false;  // the user closes the panel with Cancel
};

struct ViewportSettings {
  int32_t kind = 9;  // camera view
  int32_t x = 0, y = 0;
  int32_t width = 800, height = 600;
};

struct FrameSettings {
  int32_t width = 640, height = 480;
  double pixelAspect = 1.0;
};

struct CameraSettings {
  std::array<double, 3> position{0.0, 0.0, 0.0};
  std::array<double, 3> rotation{0.0, 0.0, 0.0};  // heading, pitch, bank in degrees
  double horizontalFov = 60.0;                    // degrees, across the render frame
};

struct HostSettings {
  HostRelease release = HostRelease2020;
  uint32_t systemId = 0;                   // what "System ID" answers
  std::set<std::string> withheldServices;  // names answered with null
  ViewportSettings viewport;
  FrameSettings frame;
  CameraSettings camera;
  PanelAnswers panel;
  bool timePhases = false;  // measure where the import's time goes, into Scene::timing
};

// Empty when the settings describe a usable view; else what is wrong.
std::string CheckViewSettings(const HostSettings& settings);

}  // namespace refhost
