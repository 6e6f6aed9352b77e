// Module-wide pointers to the host services, null until an activation looks
// them up; once set they stay for the life of the module. The host never
// activates the loader on two threads at once, so there are no locks.
#pragma once

#include "loader/host/services.h"
#include "loader/release.h"

namespace kavri {

struct ServiceCache {
  SurfaceService* surfaceFunctions;
  ImageListService* imageList;
  void* infoMessages;
  ImageUtilityService* imageUtility;
  void* cameraInfo;
  void* itemInfo;
  void* interfaceInfo;
  void* itemInfoSecond;
  ViewportService* viewportInfo;
  SceneInfoService* sceneInfo;
  void* hostDisplayInfo;
  PanelServices* panelServices;
  TextureService* textureFunctions;  // looked up again at every activation
};

extern ServiceCache gServices;

// Fills the slots that are still null, in the host's expected order.
void AcquireCachedServices(GlobalLookupFunc globalLookup);

// Whether every service the import calls through is present.
bool ImportServicesPresent();

}  // namespace kavri
