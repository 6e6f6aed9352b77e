// Placeholder behaviour for the services whose real host side is still to come:
// each is the real record type, answering with neutral values.
#pragma once

#include "loader/host/object_import.h"
#include "loader/host/services.h"

namespace refhost {

void InstallStandInServices(SurfaceService2015& surfaces2015, SurfaceService2020& surfaces2020,
                            ImageListService& imageList, ImageUtilityService& imageUtility, ViewportService& viewport,
                            SceneInfoService& sceneInfo, PanelServices& panel, TextureService& textures);

// The object-building callbacks of an import record, except FinishObject.
void InstallStandInObjectCallbacks(ObjectImportRecord& record);

}  // namespace refhost
