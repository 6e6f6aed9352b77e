#include "refhost/viewport.h"

#include "refhost/guard.h"
#include "refhost/scene.h"

namespace refhost {

namespace {

// The host has one viewport; other numbers name none.
constexpr int32_t kNoViewportKind = -1;

const Scene* ViewportScene(int32_t viewport) {
  Scene* scene = ActiveScene();
  if (scene != nullptr && viewport != 0) {
    scene->Problem("viewport " + std::to_string(viewport) + " does not exist");
    return nullptr;
  }
  return scene;
}

int32_t ViewportKind(int32_t viewport) {
  return Guarded("ViewportKind", kNoViewportKind, [&] {
    const Scene* scene = ViewportScene(viewport);
    return scene != nullptr ? scene->settings.viewport.kind : kNoViewportKind;
  });
}

void ViewportRectangle(int32_t viewport, int32_t* x, int32_t* y, int32_t* width, int32_t* height) {
  GuardedVoid("ViewportRectangle", [&] {
    ViewportSettings rectangle{0, 0, 0, 0, 0};
    if (const Scene* scene = ViewportScene(viewport)) rectangle = scene->settings.viewport;
    if (x != nullptr) *x = rectangle.x;
    if (y != nullptr) *y = rectangle.y;
    if (width != nullptr) *width = rectangle.width;
    if (height != nullptr) *height = rectangle.height;
  });
}

void ViewportEyePosition(int32_t viewport, double eye[3]) {
  GuardedVoid("ViewportEyePosition", [&] {
    if (eye == nullptr) return;
    Vec3 position{};
    if (const Scene* scene = ViewportScene(viewport)) position = scene->camera.eye;
    for (int i = 0; i < 3; ++i) eye[i] = position[i];
  });
}

void WorldToScreen(int32_t viewport, const double world[3], double screen[3]) {
  GuardedVoid("WorldToScreen", [&] {
    if (screen == nullptr) return;
    Vec3 result{};
    const Scene* scene = ViewportScene(viewport);
    if (scene != nullptr && world != nullptr) result = scene->camera.WorldToScreen({world[0], world[1], world[2]});
    for (int i = 0; i < 3; ++i) screen[i] = result[i];
  });
}

void ScreenToWorld(int32_t viewport, const double screen[3], double world[3]) {
  GuardedVoid("ScreenToWorld", [&] {
    if (world == nullptr) return;
    Vec3 result{};
    const Scene* scene = ViewportScene(viewport);
    if (scene != nullptr && screen != nullptr) result = scene->camera.ScreenToWorld({screen[0], screen[1], screen[2]});
    for (int i = 0; i < 3; ++i) world[i] = result[i];
  });
}

}  // namespace

void InstallViewportService(ViewportService& viewport) {
  viewport = {ViewportKind, ViewportRectangle, ViewportEyePosition, WorldToScreen, ScreenToWorld};
}

}  // namespace refhost
