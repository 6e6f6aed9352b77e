#include <gtest/gtest.h>

#include <cmath>

#include "tests/refhost/host_services.h"

namespace {

using refhost::Vec3;
constexpr double kPi = 3.14159265358979323846;

struct FramingCase {
  int32_t kind, viewportWidth, viewportHeight, frameWidth, frameHeight;
  double pixelAspect;
  refhost::FramePlacement expected;  // x, y, width, height worked out by hand
};

TEST(Framing, PlacesTheFrameAsTheFramingArithmeticDoes) {
  const FramingCase cases[] = {
      // Wider viewport than the frame: horizontal padding, split with the odd pixel to the right.
      {9, 1000, 400, 640, 480, 1.0, {233, 0, 533, 400}},
      // Taller: vertical padding. 800 / (16/9) = 450.
      {9, 800, 600, 1920, 1080, 1.0, {0, 75, 800, 450}},
      // Exactly the frame's aspect: the first branch, no padding.
      {9, 800, 600, 640, 480, 1.0, {0, 0, 800, 600}},
      // Pixel aspect counts: 720 × 0.9 / 486 = 4/3.
      {9, 800, 600, 720, 486, 0.9, {0, 0, 800, 600}},
      // Pixel aspect 2 on a square frame: aspect 2, 601 / 2 = 300.5 truncated.
      {9, 601, 601, 100, 100, 2.0, {0, 150, 601, 300}},
      // Truncation of a fractional width: 333 × 4/3 = 444, 999 - 444 = 555, half 277.
      {9, 999, 333, 640, 480, 1.0, {277, 0, 444, 333}},
      // Any other kind: the frame is the whole viewport.
      {2, 1000, 400, 640, 480, 1.0, {0, 0, 1000, 400}},
      {0, 800, 600, 1920, 1080, 1.0, {0, 0, 800, 600}},
  };
  for (const FramingCase& c : cases) {
    const refhost::FramePlacement placed = refhost::PlaceFrame(c.kind, c.viewportWidth, c.viewportHeight,
                                                               c.frameWidth, c.frameHeight, c.pixelAspect);
    const std::string label = std::to_string(c.kind) + ": " + std::to_string(c.viewportWidth) + "x" +
                              std::to_string(c.viewportHeight) + " frame " + std::to_string(c.frameWidth) + "x" +
                              std::to_string(c.frameHeight);
    EXPECT_EQ(placed.x, c.expected.x) << label;
    EXPECT_EQ(placed.y, c.expected.y) << label;
    EXPECT_EQ(placed.width, c.expected.width) << label;
    EXPECT_EQ(placed.height, c.expected.height) << label;
  }
}

refhost::HostSettings View(int32_t kind, int32_t width, int32_t height) {
  refhost::HostSettings settings;
  settings.viewport.kind = kind;
  settings.viewport.width = width;
  settings.viewport.height = height;
  settings.frame = {1920, 1080, 1.0};
  settings.camera.position = {1.5, -2.0, 7.25};
  settings.camera.rotation = {30.0, -12.0, 5.0};
  settings.camera.horizontalFov = 52.0;
  return settings;
}

double Angle(const Vec3& a, const Vec3& b) {
  const double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  const double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
  const double lb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
  return std::acos(std::min(1.0, dot / (la * lb)));
}

Vec3 Ray(const ViewportService& viewport, double x, double y) {
  double eye[3], screen[3] = {x, y, 1.0}, world[3];
  viewport.ViewportEyePosition(0, eye);
  viewport.ScreenToWorld(0, screen, world);
  return {world[0] - eye[0], world[1] - eye[1], world[2] - eye[2]};
}

class Projection : public testing::TestWithParam<int32_t> {};

TEST_P(Projection, ScreenToWorldAndBackAreInversesAcrossTheViewport) {
  for (const auto& size : {std::pair<int32_t, int32_t>{800, 600}, {640, 640}, {1200, 300}}) {
    refhost::ReferenceHost host(View(GetParam(), size.first, size.second));
    kavri_test::HostServices services(host);
    const ViewportService& viewport = *services.viewport;
    for (double x = -20.0; x <= size.first + 20.0; x += size.first / 7.0) {
      for (double y = -20.0; y <= size.second + 20.0; y += size.second / 5.0) {
        for (double depth : {0.5, 1.0, 4.0, 10.0, 1234.5, -3.0}) {
          const double screen[3] = {x, y, depth};
          double world[3], back[3];
          viewport.ScreenToWorld(0, screen, world);
          viewport.WorldToScreen(0, world, back);
          EXPECT_NEAR(back[0], x, 1e-9) << x << "," << y << "," << depth;
          EXPECT_NEAR(back[1], y, 1e-9) << x << "," << y << "," << depth;
          EXPECT_NEAR(back[2], depth, 1e-9 * std::abs(depth)) << x << "," << y << "," << depth;
          // Screen depth is the distance along the camera's forward axis.
          const Vec3& forward = host.scene().camera.forward;
          double eye[3];
          viewport.ViewportEyePosition(0, eye);
          const double along = (world[0] - eye[0]) * forward[0] + (world[1] - eye[1]) * forward[1] +
                               (world[2] - eye[2]) * forward[2];
          EXPECT_NEAR(along, depth, 1e-9 * std::max(1.0, std::abs(depth)));
        }
      }
    }
  }
}

TEST_P(Projection, TheFieldOfViewSpansTheFrameNotThePadding) {
  refhost::ReferenceHost host(View(GetParam(), 800, 600));
  kavri_test::HostServices services(host);
  const refhost::FramePlacement frame = host.scene().camera.frame;
  const double middleY = frame.y + frame.height * 0.5, middleX = frame.x + frame.width * 0.5;
  const Vec3 left = Ray(*services.viewport, frame.x, middleY);
  const Vec3 right = Ray(*services.viewport, frame.x + frame.width, middleY);
  EXPECT_NEAR(Angle(left, right) * 180.0 / kPi, 52.0, 1e-9);
  // Vertically the frame spans the field of view its aspect gives.
  const double aspect = GetParam() == KAVRI_VIEWPORT_CAMERA ? 1920.0 / 1080.0 : 800.0 / 600.0;
  const Vec3 top = Ray(*services.viewport, middleX, frame.y);
  const Vec3 bottom = Ray(*services.viewport, middleX, frame.y + frame.height);
  EXPECT_NEAR(Angle(top, bottom), 2.0 * std::atan(std::tan(26.0 * kPi / 180.0) / aspect), 1e-12);
  // The frame's centre looks straight ahead.
  EXPECT_NEAR(Angle(Ray(*services.viewport, middleX, middleY), host.scene().camera.forward), 0.0, 1e-7);
}

INSTANTIATE_TEST_SUITE_P(Framings, Projection, testing::Values(KAVRI_VIEWPORT_CAMERA, 2),
                         [](const testing::TestParamInfo<int32_t>& info) {
                           return info.param == KAVRI_VIEWPORT_CAMERA ? "camera_view" : "other_view";
                         });

TEST(Viewport, ServesTheSettingsAndTheAxesOfTheDocumentedConvention) {
  refhost::HostSettings settings;
  settings.viewport = {9, 10, 20, 1000, 400};
  settings.frame = {640, 480, 1.0};
  settings.camera.position = {1.0, 2.0, 3.0};
  refhost::ReferenceHost host(settings);
  kavri_test::HostServices services(host);
  int32_t x, y, w, h;
  services.viewport->ViewportRectangle(0, &x, &y, &w, &h);
  EXPECT_EQ((std::vector<int32_t>{x, y, w, h}), (std::vector<int32_t>{10, 20, 1000, 400}));
  EXPECT_EQ(services.viewport->ViewportKind(0), 9);
  EXPECT_EQ(services.sceneInfo->frameWidth, 640);
  EXPECT_EQ(services.sceneInfo->frameHeight, 480);
  EXPECT_EQ(services.sceneInfo->pixelAspect, 1.0);
  double eye[3];
  services.viewport->ViewportEyePosition(0, eye);
  EXPECT_EQ((std::vector<double>{eye[0], eye[1], eye[2]}), (std::vector<double>{1.0, 2.0, 3.0}));
  // The default camera looks along +Z with +X to the right and +Y up; screen y runs down.
  const double ahead[3] = {1.0, 2.0, 8.0}, rightUp[3] = {2.0, 3.0, 8.0};
  double s[3], t[3];
  services.viewport->WorldToScreen(0, ahead, s);
  services.viewport->WorldToScreen(0, rightUp, t);
  EXPECT_NEAR(s[0], 233 + 533 / 2.0, 1e-9);
  EXPECT_NEAR(s[1], 200.0, 1e-9);
  EXPECT_EQ(s[2], 5.0);
  EXPECT_GT(t[0], s[0]);
  EXPECT_LT(t[1], s[1]);
  // The eye itself has no ray; the answer stays finite.
  services.viewport->WorldToScreen(0, eye, t);
  EXPECT_TRUE(std::isfinite(t[0]) && std::isfinite(t[1]));
  EXPECT_EQ(t[2], 0.0);
  // Only viewport 0 exists.
  EXPECT_EQ(services.viewport->ViewportKind(1), -1);
  services.viewport->ViewportRectangle(3, &x, &y, &w, &h);
  EXPECT_EQ(w, 0);
}

TEST(Viewport, ServiceRecordsKeptFromAnEarlierHostServeTheActiveOne) {
  refhost::HostSettings first;
  first.frame = {100, 50, 2.0};
  const void* kept;
  {
    refhost::ReferenceHost host(first);
    kavri_test::HostServices services(host);
    kept = services.sceneInfo;
  }
  refhost::HostSettings second;
  second.viewport.width = 321;
  refhost::ReferenceHost host(second);
  kavri_test::HostServices services(host);
  EXPECT_EQ(services.sceneInfo, kept);
  EXPECT_EQ(services.sceneInfo->frameWidth, 640);
  int32_t x, y, w, h;
  services.viewport->ViewportRectangle(0, &x, &y, &w, &h);
  EXPECT_EQ(w, 321);
}

TEST(Viewport, AnswersNeutrallyOutsideARequest) {
  refhost::ReferenceHost host(refhost::HostSettings{});
  auto* viewport = static_cast<ViewportService*>(host.Lookup(HostServiceName(ServiceViewportInfo, HostRelease2020)));
  EXPECT_EQ(viewport->ViewportKind(0), -1);
  double screen[3] = {1, 2, 3}, world[3] = {9, 9, 9};
  viewport->ScreenToWorld(0, screen, world);
  EXPECT_EQ(world[0], 0.0);
}

}  // namespace
