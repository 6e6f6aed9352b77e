/* The host services by name, per SDK release: stem, blank, release number. */
#ifndef KAVRI_SERVICE_NAMES_H
#define KAVRI_SERVICE_NAMES_H

#ifdef __cplusplus
extern "C" {
#endif

typedef enum HostRelease { HostRelease2015 = 0, HostRelease2020 = 1, HostRelease11_6 = 2, HostReleaseCount = 3 } HostRelease;

typedef enum HostService {
  ServiceSurfaceFunctions,
  ServiceImageList,
  ServiceInfoMessages,
  ServiceImageUtility,
  ServiceCameraInfo,
  ServiceItemInfo,
  ServiceInterfaceInfo,
  ServiceViewportInfo,
  ServiceSceneInfo,
  ServiceHostDisplayInfo,
  ServicePanelServices,
  ServiceTextureFunctions,
  ServiceSystemId,
  HostServiceCount
} HostService;

/* The name under which a release serves a service, e.g. "Surface Functions 6". */
static inline const char* HostServiceName(HostService service, HostRelease release) {
  static const char* const kNames[HostServiceCount][HostReleaseCount] = {
      {"Surface Functions 4", "Surface Functions 6", "Surface Functions 4"},
      {"LW Image List 6", "LW Image List 9", "LW Image List 6"},
      {"Info Messages 3", "Info Messages 4", "Info Messages 3"},
      {"Image Utility 4", "Image Utility 6", "Image Utility 4"},
      {"LW Camera Info 9", "LW Camera Info 10", "LW Camera Info 8"},
      {"LW Item Info 8", "LW Item Info 9", "LW Item Info 7"},
      {"LW Interface Info 7", "LW Interface Info 8", "LW Interface Info 7"},
      {"LW Viewport Info 7", "LW Viewport Info 9", "LW Viewport Info 6"},
      {"LW Scene Info 10", "LW Scene Info 12", "LW Scene Info 9"},
      {"Host Display Info", "Host Display Info", "Host Display Info"},
      {"LWPanelServices 2", "LWPanelServices 3", "LWPanelServices 2"},
      {"Texture Functions 4", "Texture Functions 6", "Texture Functions 4"},
      {"System ID", "System ID", "System ID"},
  };
  if ((unsigned)service >= HostServiceCount || (unsigned)release >= HostReleaseCount) return 0;
  return kNames[service][release];
}

/* The release label a user names: "2015", "2020", "11.6". */
static inline const char* HostReleaseLabel(HostRelease release) {
  static const char* const kLabels[HostReleaseCount] = {"2015", "2020", "11.6"};
  return (unsigned)release < HostReleaseCount ? kLabels[release] : 0;
}

/* The upper four bits of "System ID" name the host component; the loader works in 0. */
#define KAVRI_SYSTEM_ID_COMPONENT_MASK 0xF0000000u

#ifdef __cplusplus
}
#endif

#endif
