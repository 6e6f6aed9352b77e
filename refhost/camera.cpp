#include "refhost/camera.h"

#include <cmath>

#include "loader/host/services.h"

namespace refhost {

namespace {

constexpr double kPi = 3.14159265358979323846;

double Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

}  // namespace

std::string CheckViewSettings(const HostSettings& settings) {
  const ViewportSettings& view = settings.viewport;
  const FrameSettings& frame = settings.frame;
  if (view.width < 1 || view.height < 1) return "the viewport needs a width and height of at least 1 pixel";
  if (frame.width < 1 || frame.height < 1) return "the frame needs a width and height of at least 1 pixel";
  if (!(frame.pixelAspect > 0.0) || !std::isfinite(frame.pixelAspect)) return "the pixel aspect must be above 0";
  const double fov = settings.camera.horizontalFov;
  if (!(fov > 0.0 && fov < 180.0)) return "the field of view must lie between 0 and 180 degrees";
  for (double value : settings.camera.position)
    if (!std::isfinite(value)) return "the camera position must be finite";
  for (double value : settings.camera.rotation)
    if (!std::isfinite(value)) return "the camera rotation must be finite";
  return "";
}

FramePlacement PlaceFrame(int32_t kind, int32_t viewportWidth, int32_t viewportHeight, int32_t frameWidth,
                          int32_t frameHeight, double pixelAspect) {
  FramePlacement placement;
  placement.width = viewportWidth;
  placement.height = viewportHeight;
  if (kind != KAVRI_VIEWPORT_CAMERA || frameHeight == 0) return placement;
  const double aspect = frameWidth * pixelAspect / frameHeight;
  if (viewportHeight * aspect <= viewportWidth) {
    placement.width = static_cast<int32_t>(viewportHeight * aspect);
    placement.x = static_cast<int32_t>((viewportWidth - placement.width) * 0.5);
  } else {
    placement.height = static_cast<int32_t>(viewportWidth / aspect);
    placement.y = static_cast<int32_t>((viewportHeight - placement.height) * 0.5);
  }
  return placement;
}

CameraModel CameraModel::FromSettings(const HostSettings& settings) {
  CameraModel camera;
  const double degrees = kPi / 180.0;
  const double heading = settings.camera.rotation[0] * degrees;
  const double pitch = settings.camera.rotation[1] * degrees;
  const double bank = settings.camera.rotation[2] * degrees;
  // Bank about forward, then pitch about right, then heading about world up.
  Vec3 right{std::cos(bank), -std::sin(bank), 0.0};
  Vec3 up{std::sin(bank), std::cos(bank), 0.0};
  Vec3 forward{0.0, 0.0, 1.0};
  auto pitchRotate = [&](Vec3& v) {  // about +X: forward tilts down
    const double y = v[1], z = v[2];
    v[1] = y * std::cos(pitch) - z * std::sin(pitch);
    v[2] = y * std::sin(pitch) + z * std::cos(pitch);
  };
  auto headingRotate = [&](Vec3& v) {  // about +Y: forward turns toward +X
    const double x = v[0], z = v[2];
    v[0] = x * std::cos(heading) + z * std::sin(heading);
    v[2] = -x * std::sin(heading) + z * std::cos(heading);
  };
  for (Vec3* v : {&right, &up, &forward}) {
    pitchRotate(*v);
    headingRotate(*v);
  }
  camera.eye = settings.camera.position;
  camera.right = right;
  camera.up = up;
  camera.forward = forward;

  const ViewportSettings& view = settings.viewport;
  const FrameSettings& frame = settings.frame;
  camera.frame = PlaceFrame(view.kind, view.width, view.height, frame.width, frame.height, frame.pixelAspect);
  // A frame of no pixels still needs a finite projection.
  const double frameWidth = camera.frame.width > 0 ? camera.frame.width : 1.0;
  const double frameHeight = camera.frame.height > 0 ? camera.frame.height : 1.0;
  camera.aspect = view.kind == KAVRI_VIEWPORT_CAMERA && frame.height > 0
                      ? frame.width * frame.pixelAspect / frame.height
                      : frameWidth / frameHeight;
  if (!(camera.aspect > 0.0) || !std::isfinite(camera.aspect)) camera.aspect = frameWidth / frameHeight;
  camera.horizontalFov = settings.camera.horizontalFov * degrees;
  const double halfTangent = std::tan(camera.horizontalFov * 0.5);
  camera.verticalFov = 2.0 * std::atan(halfTangent / camera.aspect);
  // The field of view spans the frame exactly, in both directions.
  camera.focalX = frameWidth * 0.5 / halfTangent;
  camera.focalY = frameHeight * 0.5 * camera.aspect / halfTangent;
  camera.centreX = camera.frame.x + frameWidth * 0.5;
  camera.centreY = camera.frame.y + frameHeight * 0.5;
  return camera;
}

Vec3 CameraModel::ScreenToWorld(const Vec3& screen) const {
  const double a = (screen[0] - centreX) / focalX;
  const double b = (centreY - screen[1]) / focalY;
  const double depth = screen[2];
  Vec3 world;
  for (int i = 0; i < 3; ++i) world[i] = eye[i] + depth * (forward[i] + a * right[i] + b * up[i]);
  return world;
}

Vec3 CameraModel::WorldToScreen(const Vec3& world) const {
  const Vec3 v{world[0] - eye[0], world[1] - eye[1], world[2] - eye[2]};
  const double depth = Dot(v, forward);
  // At the eye's own depth no ray is defined: answer the frame's centre.
  if (depth == 0.0) return {centreX, centreY, 0.0};
  return {centreX + focalX * Dot(v, right) / depth, centreY - focalY * Dot(v, up) / depth, depth};
}

}  // namespace refhost
