#include "refhost/surfaces.h"

#include <cstring>

#include "refhost/guard.h"
#include "refhost/scene.h"

namespace refhost {

namespace {

struct ParameterType {
  int32_t tag;
  const char* name;
  TextureParameter::Kind kind;
  int count;  // doubles
};

constexpr ParameterType kParameterTypes[] = {
    {0, "size", TextureParameter::Doubles, 3},
    {kTextureTagProjection, "projection", TextureParameter::Integer, 0},
    {kTextureTagImage, "image", TextureParameter::Handle, 0},
    {kTextureTagVertexMap, "vertexMap", TextureParameter::Handle, 0},
    {12, "scale", TextureParameter::Doubles, 3},
    {20, "axis", TextureParameter::Integer, 0},
};

const ParameterType* FindParameterType(int32_t tag) {
  for (const ParameterType& type : kParameterTypes)
    if (type.tag == tag) return &type;
  return nullptr;
}

Surface* FindSurface(Scene& scene, HostSurfaceId id, const char* operation) {
  size_t index;
  if (!IdIndex(id, IdKind::Surface, scene.surfaces.size(), index)) {
    scene.Problem(std::string(operation) + ": unknown surface");
    return nullptr;
  }
  return &scene.surfaces[index];
}

HostSurfaceId CreateSurface(const char* objectName, const char* surfaceName) {
  return Guarded("CreateSurface", HostSurfaceId{}, [&]() -> HostSurfaceId {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return nullptr;
    if (surfaceName == nullptr || surfaceName[0] == '\0') {
      scene->Problem("CreateSurface: no surface name");
      return nullptr;
    }
    const std::string object = objectName != nullptr ? objectName : "";
    // Surfaces are named per object: asking again for a name gives the same surface.
    for (size_t i = 0; i < scene->surfaces.size(); ++i)
      if (scene->surfaces[i].object == object && scene->surfaces[i].name == surfaceName)
        return MakeId(IdKind::Surface, i);
    Surface surface;
    surface.object = object;
    surface.name = surfaceName;
    scene->surfaces.push_back(std::move(surface));
    return MakeId(IdKind::Surface, scene->surfaces.size() - 1);
  });
}

void SetSurfaceChannel(HostSurfaceId id, const char* channel, const double* values) {
  GuardedVoid("SetSurfaceChannel", [&] {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return;
    Surface* surface = FindSurface(*scene, id, "SetSurfaceChannel");
    if (surface == nullptr) return;
    if (channel == nullptr || values == nullptr) {
      scene->Problem("SetSurfaceChannel: no channel name or no values");
      return;
    }
    surface->channelSets.push_back({channel, std::vector<double>(values, values + SurfaceChannelSize(channel))});
  });
}

void AttachChannelTexture(HostSurfaceId id, const char* channel, HostTextureId texture) {
  GuardedVoid("AttachChannelTexture", [&] {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return;
    Surface* surface = FindSurface(*scene, id, "AttachChannelTexture");
    if (surface == nullptr) return;
    size_t index;
    if (channel == nullptr || !IdIndex(texture, IdKind::Texture, scene->textures.size(), index)) {
      scene->Problem("AttachChannelTexture: no channel name or unknown texture");
      return;
    }
    surface->attachments.push_back({channel, index});
  });
}

void SetSurfaceKind(HostSurfaceId id, const char* kind) {
  GuardedVoid("SetSurfaceKind", [&] {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return;
    Surface* surface = FindSurface(*scene, id, "SetSurfaceKind");
    if (surface == nullptr) return;
    if (kind == nullptr) {
      scene->Problem("SetSurfaceKind: no kind");
      return;
    }
    surface->kind = kind;
  });
}

HostTextureId CreateTexture(int32_t type, const char* name, int32_t reserved0, int32_t reserved1) {
  (void)reserved0;
  (void)reserved1;
  return Guarded("CreateTexture", HostTextureId{}, [&]() -> HostTextureId {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return nullptr;
    Texture texture;
    texture.type = type;
    texture.name = name != nullptr ? name : "";
    scene->textures.push_back(std::move(texture));
    return MakeId(IdKind::Texture, scene->textures.size() - 1);
  });
}

HostTextureLayerId AddTextureLayer(HostTextureId texture, int32_t layerType) {
  return Guarded("AddTextureLayer", HostTextureLayerId{}, [&]() -> HostTextureLayerId {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return nullptr;
    size_t index;
    if (!IdIndex(texture, IdKind::Texture, scene->textures.size(), index)) {
      scene->Problem("AddTextureLayer: unknown texture");
      return nullptr;
    }
    TextureLayer layer;
    layer.texture = index;
    layer.type = layerType;
    scene->textureLayers.push_back(std::move(layer));
    scene->textures[index].layers.push_back(scene->textureLayers.size() - 1);
    return MakeId(IdKind::TextureLayer, scene->textureLayers.size() - 1);
  });
}

void SetTextureLayerParameter(HostTextureLayerId layerId, int32_t tag, const void* value) {
  GuardedVoid("SetTextureLayerParameter", [&] {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return;
    size_t index;
    if (!IdIndex(layerId, IdKind::TextureLayer, scene->textureLayers.size(), index)) {
      scene->Problem("SetTextureLayerParameter: unknown texture layer");
      return;
    }
    TextureParameter parameter;
    parameter.tag = tag;
    const ParameterType* type = FindParameterType(tag);
    if (type == nullptr) {
      scene->Problem("SetTextureLayerParameter: unknown tag " + std::to_string(tag));
    } else if (value == nullptr) {
      scene->Problem("SetTextureLayerParameter: no value for tag " + std::to_string(tag));
      return;
    } else {
      parameter.kind = type->kind;
      switch (type->kind) {
        case TextureParameter::Doubles: {
          const auto* numbers = static_cast<const double*>(value);
          parameter.numbers.assign(numbers, numbers + type->count);
          break;
        }
        case TextureParameter::Integer: std::memcpy(&parameter.integer, value, sizeof parameter.integer); break;
        case TextureParameter::Handle: {
          void* handle;
          std::memcpy(&handle, value, sizeof handle);
          parameter.handle = reinterpret_cast<uintptr_t>(handle);
          break;
        }
        case TextureParameter::Unknown: break;
      }
    }
    scene->textureLayers[index].parameters.push_back(std::move(parameter));
  });
}

}  // namespace

int SurfaceChannelSize(const char* channel) {
  return channel != nullptr && (std::strcmp(channel, "BaseColor") == 0 || std::strcmp(channel, "Color") == 0) ? 3 : 1;
}

const char* TextureParameterName(int32_t tag) {
  const ParameterType* type = FindParameterType(tag);
  return type != nullptr ? type->name : nullptr;
}

void InstallSurfaceServices(SurfaceService2015& surfaces2015, SurfaceService2020& surfaces2020,
                            TextureService& textures) {
  surfaces2015 = {};
  surfaces2015.CreateSurface = CreateSurface;
  surfaces2015.SetSurfaceChannel = SetSurfaceChannel;
  surfaces2015.AttachChannelTexture = AttachChannelTexture;
  surfaces2020 = {};
  surfaces2020.CreateSurface = CreateSurface;
  surfaces2020.SetSurfaceKind = SetSurfaceKind;
  surfaces2020.SetSurfaceChannel = SetSurfaceChannel;
  surfaces2020.AttachChannelTexture = AttachChannelTexture;
  textures = {CreateTexture, AddTextureLayer, SetTextureLayerParameter};
}

}  // namespace refhost
