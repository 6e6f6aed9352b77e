// A whole import through the reference host, as kavri-import runs it, with the
// host's account of where the time went (its service calls and the plug-in's
// own time between them, by phase). Prints one line of JSON.
//
// usage: kavri_bench_import MODULE FILE TYPE SAVEDIR [RELEASE]
// TYPE is the panel's import type (Sphere, Flat, DenseMesh); the images are
// written to SAVEDIR (end it with a separator) with the default savers.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "refhost/plugin_module.h"
#include "refhost/reference_host.h"

namespace {

double PeakResidentMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: kavri_bench_import MODULE FILE TYPE SAVEDIR [RELEASE]\n");
    return 2;
  }
  const std::string release = argc > 5 ? argv[5] : "2020";
  refhost::HostSettings settings;
  for (int candidate = 0; candidate < HostReleaseCount; ++candidate)
    if (release == HostReleaseLabel(static_cast<HostRelease>(candidate)))
      settings.release = static_cast<HostRelease>(candidate);
  settings.panel.values["Import Type"] = argv[3];
  settings.panel.values["Save Dir"] = argv[4];
  settings.timePhases = true;

  refhost::PluginModule module;
  std::string error;
  if (!refhost::LoadPluginModule(argv[1], module, error)) {
    std::fprintf(stderr, "kavri_bench_import: %s\n", error.c_str());
    return 2;
  }
  const double residentBefore = PeakResidentMb();
  int status = 0;
  {
    refhost::ReferenceHost host(settings);
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = host.ImportFile(module, argv[2]);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const refhost::Scene& scene = host.scene();
    size_t listImageBytes = 0, largestWorkImages = 0, points = 0, polygons = 0, written = 0;
    for (const refhost::ListImage& image : scene.listImages) listImageBytes += image.rgba.size();
    // A layer's colour and alpha images are alive together until saved.
    for (size_t i = 0; i < scene.images.size(); ++i) {
      const refhost::WorkImage& image = scene.images[i];
      size_t bytes = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) *
                     (image.type == KAVRI_IMAGE_TYPE_GREY ? 1 : 4);
      if (image.type != KAVRI_IMAGE_TYPE_GREY && i + 1 < scene.images.size() &&
          scene.images[i + 1].type == KAVRI_IMAGE_TYPE_GREY)
        bytes += static_cast<size_t>(scene.images[i + 1].width) * static_cast<size_t>(scene.images[i + 1].height);
      if (bytes > largestWorkImages) largestWorkImages = bytes;
    }
    for (const refhost::MeshLayer& layer : scene.layers) {
      points += layer.points.size();
      polygons += layer.polygons.size();
    }
    for (const refhost::SavedFile& saved : scene.saves) written += saved.written ? 1 : 0;
    std::printf("{\"result\": %d, \"seconds\": %.6f, \"measured\": %.6f, \"phases\": {", static_cast<int>(result),
                seconds, scene.timing.total);
    for (size_t phase = 0; phase < refhost::kImportPhaseCount; ++phase)
      std::printf("%s\"%s\": %.6f", phase == 0 ? "" : ", ",
                  refhost::ImportPhaseName(static_cast<refhost::ImportPhase>(phase)), scene.timing.seconds[phase]);
    std::printf("}, \"layers\": %zu, \"points\": %zu, \"polygons\": %zu, \"files\": %zu, "
                "\"list_image_mb\": %.1f, \"work_image_mb\": %.1f, \"resident_before_mb\": %.1f, "
                "\"peak_resident_mb\": %.1f}\n",
                scene.layers.size(), points, polygons, written, listImageBytes / 1048576.0,
                largestWorkImages / 1048576.0, residentBefore, PeakResidentMb());
    status = result == ResultLoaded ? 0 : 1;
  }
  refhost::UnloadPluginModule(module);
  return status;
}
