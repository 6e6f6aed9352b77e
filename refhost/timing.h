// Where an import's time goes, seen from the host: the time spent in its
// service calls and the plug-in's own time between them, by phase. Off unless
// HostSettings::timePhases is set; then the host serves wrapped service
// records that take the time only where the phase changes, so per-pixel and
// per-point calls cost a comparison.
#pragma once

#include <cstddef>

#include "loader/host/object_import.h"
#include "loader/host/services.h"

namespace refhost {

enum class ImportPhase {
  Decode,       // the plug-in's own time before a layer's first image: reading records and planes
  Composition,  // layer images: new images, pixels
  Saving,       // writing the image files
  LoadingBack,  // reading them back into the image list
  Geometry,     // points, polygons, vertex maps, sampling, surfaces and textures
  Other,        // activation, panel, finishing
  Count
};
constexpr size_t kImportPhaseCount = static_cast<size_t>(ImportPhase::Count);
const char* ImportPhaseName(ImportPhase phase);

struct ImportTiming {
  bool measured = false;
  double seconds[kImportPhaseCount] = {};
  double total = 0.0;  // from the activation to its return
};

// The clock of the request under way; null ends measuring.
void StartPhaseClock(ImportTiming* timing);
void StopPhaseClock();

// The same services with every phase-bearing function wrapped.
void WrapTimedImageServices(ImageUtilityService& utility, ImageListService& list);
void WrapTimedViewportService(ViewportService& viewport);
void WrapTimedPanelServices(PanelServices& panel);
void WrapTimedSurfaceServices(SurfaceService2015& surfaces2015, SurfaceService2020& surfaces2020,
                              TextureService& textures);
void WrapTimedObjectCallbacks(ObjectImportRecord& record);

}  // namespace refhost
