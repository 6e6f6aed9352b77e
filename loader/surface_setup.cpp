#include "loader/surface_setup.h"

#include "loader/service_cache.h"

namespace kavri {

namespace {

constexpr const char* kTextureName = "testtexture";

// Parameter tags of a texture layer, and the values every layer gets.
constexpr int32_t kTagColor = 12;
constexpr int32_t kTagBlendMode = 20;
constexpr int32_t kTagScale = 0;
constexpr int32_t kTagProjection = 4;
constexpr int32_t kTagUvMap = 10;
constexpr int32_t kTagImage = 9;
constexpr int32_t kProjectionUv = 5;

HostTextureId MakeTexture(int32_t type, HostVertexMapHandle uvMap, HostImageId image) {
  TextureService* textures = gServices.textureFunctions;
  HostTextureId texture = textures->CreateTexture(type, kTextureName, 0, 0);
  HostTextureLayerId layer = textures->AddTextureLayer(texture, 0);
  const double ones[3] = {1.0, 1.0, 1.0};
  const int32_t blendMode = 0;
  textures->SetTextureLayerParameter(layer, kTagColor, ones);
  textures->SetTextureLayerParameter(layer, kTagBlendMode, &blendMode);
  textures->SetTextureLayerParameter(layer, kTagScale, ones);
  textures->SetTextureLayerParameter(layer, kTagProjection, &kProjectionUv);
  textures->SetTextureLayerParameter(layer, kTagUvMap, &uvMap);
  if (image != nullptr) textures->SetTextureLayerParameter(layer, kTagImage, &image);
  return texture;
}

}  // namespace

void ApplyLayerSurface(HostSurfaceId surface, uint8_t opacity, HostImageId colorImage, HostImageId alphaImage,
                       HostVertexMapHandle uvMap) {
  SurfaceService* surfaces = gServices.surfaceFunctions;
#if KAVRI_SDK_RELEASE == 1
  surfaces->SetSurfaceKind(surface, "Standard");
#endif
  const double black[3] = {0.0, 0.0, 0.0};
  const double zero = 0.0;
  const double one = 1.0;
  const double transparency = 1.0 - opacity / 255.0;
  surfaces->SetSurfaceChannel(surface, "BaseColor", black);
  surfaces->SetSurfaceChannel(surface, "Diffuse", &zero);
  surfaces->SetSurfaceChannel(surface, "Specularity", &zero);
  surfaces->SetSurfaceChannel(surface, "Reflectivity", &zero);
  surfaces->SetSurfaceChannel(surface, "Luminosity", &one);
  surfaces->SetSurfaceChannel(surface, "Transparency", &transparency);
  surfaces->SetSurfaceChannel(surface, "SmoothingAngle", &one);
  surfaces->SetSurfaceChannel(surface, "IOR", &one);

  surfaces->AttachChannelTexture(surface, "BaseColor", MakeTexture(KAVRI_TEXTURE_TYPE_COLOR, uvMap, colorImage));
  if (alphaImage != nullptr && alphaImage != colorImage) {
    surfaces->AttachChannelTexture(surface, "Transparency",
                                   MakeTexture(KAVRI_TEXTURE_TYPE_SCALAR, uvMap, alphaImage));
  }
}

}  // namespace kavri
