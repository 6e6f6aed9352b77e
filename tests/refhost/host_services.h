// A test acting as the plug-in: the reference host's services as the plug-in
// looks them up, with the host serving a request until the end of the scope.
#pragma once

#include <string>

#include "loader/host/service_names.h"
#include "loader/host/services.h"
#include "refhost/reference_host.h"

namespace kavri_test {

struct HostServices {
  explicit HostServices(refhost::ReferenceHost& host, const std::string& fileName = "scene.psd")
      : host(host), record(host.BeginRequest(fileName)) {
    const HostRelease release = host.settings().release;
    auto look = [&](HostService service) { return host.Lookup(HostServiceName(service, release)); };
    images = static_cast<ImageUtilityService*>(look(ServiceImageUtility));
    imageList = static_cast<ImageListService*>(look(ServiceImageList));
    viewport = static_cast<ViewportService*>(look(ServiceViewportInfo));
    sceneInfo = static_cast<SceneInfoService*>(look(ServiceSceneInfo));
    panel = static_cast<PanelServices*>(look(ServicePanelServices));
    textures = static_cast<TextureService*>(look(ServiceTextureFunctions));
    void* surfaceService = look(ServiceSurfaceFunctions);
    if (release == HostRelease2020) {
      auto* s = static_cast<SurfaceService2020*>(surfaceService);
      CreateSurface = s->CreateSurface;
      SetSurfaceChannel = s->SetSurfaceChannel;
      AttachChannelTexture = s->AttachChannelTexture;
      SetSurfaceKind = s->SetSurfaceKind;
    } else {
      auto* s = static_cast<SurfaceService2015*>(surfaceService);
      CreateSurface = s->CreateSurface;
      SetSurfaceChannel = s->SetSurfaceChannel;
      AttachChannelTexture = s->AttachChannelTexture;
    }
  }
  ~HostServices() { host.EndRequest(); }
  HostServices(const HostServices&) = delete;
  HostServices& operator=(const HostServices&) = delete;

  refhost::ReferenceHost& host;
  ObjectImportRecord* record;
  ImageUtilityService* images;
  ImageListService* imageList;
  ViewportService* viewport;
  SceneInfoService* sceneInfo;
  PanelServices* panel;
  TextureService* textures;
  CreateSurfaceFunc CreateSurface = nullptr;
  SetSurfaceChannelFunc SetSurfaceChannel = nullptr;
  AttachChannelTextureFunc AttachChannelTexture = nullptr;
  SetSurfaceKindFunc SetSurfaceKind = nullptr;  // 2020 only
};

}  // namespace kavri_test
