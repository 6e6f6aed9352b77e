#include "loader/service_cache.h"

namespace kavri {

ServiceCache gServices = {};

namespace {

template <typename Service>
void Acquire(Service*& slot, HostService service, GlobalLookupFunc globalLookup) {
  if (slot == nullptr) slot = static_cast<Service*>(globalLookup(HostServiceName(service, kRelease), 0));
}

}  // namespace

void AcquireCachedServices(GlobalLookupFunc globalLookup) {
  Acquire(gServices.surfaceFunctions, ServiceSurfaceFunctions, globalLookup);
  Acquire(gServices.imageList, ServiceImageList, globalLookup);
  Acquire(gServices.infoMessages, ServiceInfoMessages, globalLookup);
  Acquire(gServices.imageUtility, ServiceImageUtility, globalLookup);
  Acquire(gServices.cameraInfo, ServiceCameraInfo, globalLookup);
  Acquire(gServices.itemInfo, ServiceItemInfo, globalLookup);
  Acquire(gServices.interfaceInfo, ServiceInterfaceInfo, globalLookup);
  Acquire(gServices.itemInfoSecond, ServiceItemInfo, globalLookup);
  Acquire(gServices.viewportInfo, ServiceViewportInfo, globalLookup);
  Acquire(gServices.sceneInfo, ServiceSceneInfo, globalLookup);
  Acquire(gServices.hostDisplayInfo, ServiceHostDisplayInfo, globalLookup);
  Acquire(gServices.panelServices, ServicePanelServices, globalLookup);
}

bool ImportServicesPresent() {
  return gServices.surfaceFunctions != nullptr && gServices.imageList != nullptr &&
         gServices.imageUtility != nullptr && gServices.viewportInfo != nullptr && gServices.sceneInfo != nullptr &&
         gServices.panelServices != nullptr;
}

}  // namespace kavri
