#include "tests/refhost/test_scene.h"

#include <cmath>
#include <cstring>

#include "tests/refhost/host_services.h"

namespace kavri_test {

namespace {

int32_t SaverIndex(const ImageUtilityService& images, const char* label) {
  for (int32_t i = 0; i < images.SaverCount(); ++i)
    if (std::strcmp(images.SaverLabel(i), label) == 0) return i;
  return -1;
}

// What the plug-in's surface set-up does for a layer.
void ApplySurface(HostServices& host, HostSurfaceId surface, double opacity, HostImageId colour, HostImageId alpha,
                  HostVertexMapHandle uv) {
  if (host.SetSurfaceKind != nullptr) host.SetSurfaceKind(surface, "Standard");
  const double black[3] = {0.0, 0.0, 0.0};
  host.SetSurfaceChannel(surface, "BaseColor", black);
  const double zero = 0.0, one = 1.0, transparency = 1.0 - opacity;
  for (const char* channel : {"Diffuse", "Specularity", "Reflectivity"}) host.SetSurfaceChannel(surface, channel, &zero);
  host.SetSurfaceChannel(surface, "Luminosity", &one);
  host.SetSurfaceChannel(surface, "Transparency", &transparency);
  host.SetSurfaceChannel(surface, "SmoothingAngle", &one);
  host.SetSurfaceChannel(surface, "IOR", &one);
  auto texture = [&](int32_t type, HostImageId image, const char* channel) {
    HostTextureId t = host.textures->CreateTexture(type, "testtexture", 0, 0);
    HostTextureLayerId l = host.textures->AddTextureLayer(t, 0);
    const double ones[3] = {1.0, 1.0, 1.0};
    const int32_t axis = 0, projection = 5;
    host.textures->SetTextureLayerParameter(l, 12, ones);
    host.textures->SetTextureLayerParameter(l, 20, &axis);
    host.textures->SetTextureLayerParameter(l, 0, ones);
    host.textures->SetTextureLayerParameter(l, 4, &projection);
    host.textures->SetTextureLayerParameter(l, 10, &uv);
    if (image != nullptr) host.textures->SetTextureLayerParameter(l, 9, &image);
    host.AttachChannelTexture(surface, channel, t);
  };
  texture(1, colour, "BaseColor");
  if (alpha != nullptr && alpha != colour) texture(3, alpha, "Transparency");
}

HostImageId SaveAndLoad(HostServices& host, HostImage image, const char* saver, const std::string& file) {
  host.images->SaveImageAs(image, SaverIndex(*host.images, saver), file.c_str());
  host.images->FreeImage(image);
  return host.imageList->LoadImageFile(file.c_str());
}

// The point on the ray through (x, y) at distance r from the eye.
std::array<float, 3> OnRay(const ViewportService& viewport, double x, double y, double r) {
  double eye[3], screen[3] = {x, y, 0.5}, world[3];
  viewport.ViewportEyePosition(0, eye);
  viewport.ScreenToWorld(0, screen, world);
  double v[3] = {world[0] - eye[0], world[1] - eye[1], world[2] - eye[2]};
  const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  return {static_cast<float>(eye[0] + v[0] * r / length), static_cast<float>(eye[1] + v[1] * r / length),
          static_cast<float>(eye[2] + v[2] * r / length)};
}

}  // namespace

refhost::HostSettings TestSceneSettings() {
  refhost::HostSettings settings;
  settings.release = HostRelease2020;
  settings.viewport = {9, 0, 0, 800, 600};
  settings.frame = {1920, 1080, 1.0};
  settings.camera.position = {0.5, 1.0, -3.0};
  settings.camera.rotation = {20.0, 10.0, 0.0};
  settings.camera.horizontalFov = 50.0;
  return settings;
}

TestScene BuildTestScene(refhost::ReferenceHost& host, const std::string& folder) {
  HostServices services(host, folder + "scene.psd");
  ObjectImportRecord& record = *services.record;
  void* data = record.hostData;
  TestScene expected;
  const refhost::FramePlacement frame = host.scene().camera.frame;
  double eye[3];
  services.viewport->ViewportEyePosition(0, eye);
  const float pivot[3] = {static_cast<float>(eye[0]), static_cast<float>(eye[1]), static_cast<float>(eye[2])};

  // Layer 0, "Sky": a 4 x 3 grid over the whole frame at distance 10, quads, a
  // colour image without alpha.
  {
    HostImage image = services.images->NewImage(8, 6, KAVRI_IMAGE_TYPE_RGBA);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) {
        const uint8_t pixel[4] = {static_cast<uint8_t>(x * 30), static_cast<uint8_t>(100 + y * 20), 220, 255};
        services.images->PutPixel(image, x, y, pixel);
      }
    HostImageId colour = SaveAndLoad(services, image, "LW_TGA24(.tga)", folder + "scene_Sky.tga");
    record.BeginLayer(data, 0, "Sky");
    record.SetLayerPivot(data, pivot);
    HostSurfaceId surface = services.CreateSurface(record.fileName, "Sky");
    const int columns = 4, rows = 3;
    std::vector<HostPointId> ids;
    expected.layers.emplace_back();
    for (int n = 0; n < rows; ++n)
      for (int i = 0; i < columns; ++i) {
        const double x = frame.x + i * frame.width / (columns - 1.0), y = frame.y + n * frame.height / (rows - 1.0);
        const std::array<float, 3> p = OnRay(*services.viewport, x, y, 10.0);
        ids.push_back(record.AddPoint(data, p.data()));
        expected.layers.back().push_back({x, y, 0.0, 10.0, false});
      }
    record.SelectVertexMap(data, KAVRI_VMAP_TXUV, 2, "psdUV");
    for (int n = 0; n < rows; ++n)
      for (int i = 0; i < columns; ++i) {
        const float uv[2] = {static_cast<float>(i / (columns - 1.0)), static_cast<float>(1.0 - n / (rows - 1.0))};
        record.SetVertexMapValue(data, ids[n * columns + i], uv);
      }
    HostVertexMapHandle uv = record.CurrentVertexMapHandle(data);
    for (int n = 0; n + 1 < rows; ++n)
      for (int i = 0; i + 1 < columns; ++i) {
        const HostPointId quad[4] = {ids[n * columns + i], ids[n * columns + i + 1], ids[(n + 1) * columns + i + 1],
                                     ids[(n + 1) * columns + i]};
        HostPolygonId polygon = record.AddPolygon(data, KAVRI_POLY_FACE, 0, 4, quad);
        record.TagPolygon(data, polygon, KAVRI_PTAG_SURF, "Sky");
      }
    ApplySurface(services, surface, 1.0, colour, nullptr, uv);
  }

  // Layer 1, "Logo": a 3 x 3 grid at distance 6 over the frame's middle, one
  // corner left out so that its cell is a triangle, colours per point, and a
  // transparency image; opacity 128.
  {
    HostImage image = services.images->NewImage(12, 12, KAVRI_IMAGE_TYPE_RGBA);
    HostImage alpha = services.images->NewImage(12, 12, KAVRI_IMAGE_TYPE_GREY);
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 12; ++x) {
        const uint8_t a = static_cast<uint8_t>(x >= 8 && y < 4 ? 0 : 255);
        const uint8_t pixel[4] = {200, static_cast<uint8_t>(x * 20), static_cast<uint8_t>(y * 20), a};
        const uint8_t grey[4] = {static_cast<uint8_t>(255 - a), static_cast<uint8_t>(255 - a),
                                 static_cast<uint8_t>(255 - a), 0};
        services.images->PutPixel(image, x, y, pixel);
        services.images->PutPixel(alpha, x, y, grey);
      }
    HostImageId colour = SaveAndLoad(services, image, "LW_PNG32(.png)", folder + "scene_Logo.png");
    HostImageId alphaId = SaveAndLoad(services, alpha, "LW_TGA24(.tga)", folder + "scene_A_Logo.tga");
    record.BeginLayer(data, 1, "Logo");
    record.SetLayerPivot(data, pivot);
    HostSurfaceId surface = services.CreateSurface(record.fileName, "Logo");
    record.SelectVertexMap(data, KAVRI_VMAP_TXUV, 2, "psdUV");
    HostVertexMapHandle uv = record.CurrentVertexMapHandle(data);
    record.SelectVertexMap(data, KAVRI_VMAP_RGB, 3, "psdcolor");
    const int size = 3;
    std::vector<HostPointId> previous(size), current(size);
    HostPointId none = reinterpret_cast<HostPointId>(~uintptr_t{0});
    expected.layers.emplace_back();
    for (int n = 0; n < size; ++n) {
      for (int i = 0; i < size; ++i) {
        const double x = frame.x + frame.width * (0.3 + 0.2 * i), y = frame.y + frame.height * (0.3 + 0.2 * n);
        // The top-right corner samples as fully transparent.
        if (services.imageList->SampleImageGrey(alphaId, 4 * i + 1, 4 * n + 1) >= 1.0f) {
          current[i] = none;
          continue;
        }
        const std::array<float, 3> p = OnRay(*services.viewport, x, y, 6.0);
        current[i] = record.AddPoint(data, p.data());
        expected.layers.back().push_back({x, y, 0.0, 6.0, false});
        record.SelectVertexMap(data, KAVRI_VMAP_TXUV, 2, "psdUV");
        const float uvValue[2] = {static_cast<float>(i * 0.5), static_cast<float>(1.0 - n * 0.5)};
        record.SetVertexMapValue(data, current[i], uvValue);
        record.SelectVertexMap(data, KAVRI_VMAP_RGB, 3, "psdcolor");
        float rgb[3];
        services.imageList->SampleImageRGB(colour, 4 * i, 4 * n, rgb);
        record.SetVertexMapValue(data, current[i], rgb);
      }
      if (n >= 1) {
        for (int j = 0; j + 1 < size; ++j) {
          std::vector<HostPointId> corners;
          for (HostPointId corner : {previous[j], previous[j + 1], current[j + 1], current[j]})
            if (corner != none) corners.push_back(corner);
          if (corners.size() < 3) continue;
          HostPolygonId polygon =
              record.AddPolygon(data, KAVRI_POLY_FACE, 0, static_cast<int32_t>(corners.size()), corners.data());
          record.TagPolygon(data, polygon, KAVRI_PTAG_SURF, "Logo");
        }
      }
      previous = current;
    }
    ApplySurface(services, surface, 128 / 255.0, colour, alphaId, uv);
  }

  // Layer 2, "Card": one flat quad at the screen depth of a point 4 units out
  // through the frame's centre.
  {
    record.BeginLayer(data, 2, "Card");
    record.SetLayerPivot(data, pivot);
    HostSurfaceId surface = services.CreateSurface(record.fileName, "Card");
    const std::array<float, 3> anchor =
        OnRay(*services.viewport, frame.x + frame.width * 0.5, frame.y + frame.height * 0.5, 4.0);
    const double a[3] = {anchor[0], anchor[1], anchor[2]};
    double s[3];
    services.viewport->WorldToScreen(0, a, s);
    const double left = frame.x + 40, right = frame.x + 200, top = frame.y + 30, bottom = frame.y + 120;
    const double corners[4][2] = {{left, bottom}, {right, bottom}, {right, top}, {left, top}};
    HostPointId ids[4];
    expected.layers.emplace_back();
    for (int k = 0; k < 4; ++k) {
      const double screen[3] = {corners[k][0], corners[k][1], s[2]};
      double world[3];
      services.viewport->ScreenToWorld(0, screen, world);
      const float p[3] = {static_cast<float>(world[0]), static_cast<float>(world[1]), static_cast<float>(world[2])};
      ids[k] = record.AddPoint(data, p);
      expected.layers.back().push_back({corners[k][0], corners[k][1], s[2], 0.0, true});
    }
    record.SelectVertexMap(data, KAVRI_VMAP_TXUV, 2, "psdUV");
    const float uvs[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 4; ++k) record.SetVertexMapValue(data, ids[k], uvs[k]);
    HostVertexMapHandle uv = record.CurrentVertexMapHandle(data);
    const HostPointId quad[4] = {ids[3], ids[2], ids[1], ids[0]};
    HostPolygonId polygon = record.AddPolygon(data, KAVRI_POLY_FACE, 0, 4, quad);
    record.TagPolygon(data, polygon, KAVRI_PTAG_SURF, "Card");
    // A colour texture without an image: the surface keeps its own colour.
    ApplySurface(services, surface, 1.0, nullptr, nullptr, uv);
  }

  record.result = ResultLoaded;
  record.FinishObject(data);
  return expected;
}

}  // namespace kavri_test
