// Viewport 0: where the render frame sits in the viewport and the perspective
// camera that looks through it. Axes and conventions are in refhost/README.md.
#pragma once

#include <array>
#include <cstdint>

#include "refhost/settings.h"

namespace refhost {

using Vec3 = std::array<double, 3>;

// The part of the viewport that shows the render frame, in viewport pixels.
struct FramePlacement {
  int32_t x = 0, y = 0;  // offset of the frame inside the viewport
  int32_t width = 0, height = 0;
};

// A camera view (kind 9) fits the frame (width × pixel aspect ÷ height) into
// the viewport, centred, truncating to whole pixels; any other kind shows the
// frame as the whole viewport.
FramePlacement PlaceFrame(int32_t kind, int32_t viewportWidth, int32_t viewportHeight, int32_t frameWidth,
                          int32_t frameHeight, double pixelAspect);

struct CameraModel {
  Vec3 eye{}, right{}, up{}, forward{};  // world position and unit axes
  FramePlacement frame;
  double aspect = 1.0;  // of the frame as the camera sees it (width ÷ height)
  double horizontalFov = 0.0, verticalFov = 0.0;  // radians, across the frame
  double focalX = 1.0, focalY = 1.0;              // pixels per unit of tangent
  double centreX = 0.0, centreY = 0.0;            // the frame's centre in viewport pixels

  static CameraModel FromSettings(const HostSettings& settings);

  // screen: viewport x (right), y (down), depth along forward.
  Vec3 ScreenToWorld(const Vec3& screen) const;
  Vec3 WorldToScreen(const Vec3& world) const;
};

}  // namespace refhost
