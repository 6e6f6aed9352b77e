#include "refhost/reference_host.h"

#include <cstring>

#include "refhost/images.h"
#include "refhost/object.h"
#include "refhost/panel.h"
#include "refhost/surfaces.h"
#include "refhost/timing.h"
#include "refhost/viewport.h"

namespace refhost {

namespace {

// GlobalLookup carries no context: the host whose request is under way answers it.
ReferenceHost* gActiveHost = nullptr;

// The service records live as long as the process, as in the application: a
// plug-in keeps the pointers it was given across requests and hosts. Their
// functions serve the active host; the scene record's data is its settings.
struct ServiceRecords {
  SurfaceService2015 surfaces2015{};
  SurfaceService2020 surfaces2020{};
  ImageListService imageList{};
  ImageUtilityService imageUtility{};
  ViewportService viewport{};
  SceneInfoService sceneInfo{};
  PanelServices panel{};
  TextureService textures{};
  // Services the loader looks up but does not use: distinct, empty records.
  uint64_t unused[HostServiceCount][4] = {};

  ServiceRecords() {
    InstallSurfaceServices(surfaces2015, surfaces2020, textures);
    InstallImageServices(imageUtility, imageList);
    InstallViewportService(viewport);
    InstallPanelServices(panel);
  }
};

ServiceRecords& Records() {
  static ServiceRecords records;
  return records;
}

// The same services, wrapped to measure where an import's time goes.
ServiceRecords& TimedRecords() {
  static ServiceRecords records = [] {
    ServiceRecords timed;
    WrapTimedImageServices(timed.imageUtility, timed.imageList);
    WrapTimedViewportService(timed.viewport);
    WrapTimedPanelServices(timed.panel);
    WrapTimedSurfaceServices(timed.surfaces2015, timed.surfaces2020, timed.textures);
    return timed;
  }();
  return records;
}

ServiceRecords& RecordsFor(const HostSettings& settings) {
  return settings.timePhases ? TimedRecords() : Records();
}

}  // namespace

ReferenceHost::ReferenceHost(HostSettings settings) {
  scene_.settings = std::move(settings);
  scene_.camera = CameraModel::FromSettings(scene_.settings);
}

ReferenceHost::~ReferenceHost() {
  if (active_) EndRequest();
  if (gActiveHost == this) gActiveHost = nullptr;
}

void* ReferenceHost::Lookup(const char* name) {
  void* answer = nullptr;
  const HostSettings& settings = scene_.settings;
  if (name != nullptr && settings.withheldServices.count(name) == 0) {
    for (int service = 0; service < HostServiceCount; ++service) {
      const char* served = HostServiceName(static_cast<HostService>(service), settings.release);
      if (std::strcmp(served, name) != 0) continue;
      ServiceRecords& records = RecordsFor(settings);
      switch (static_cast<HostService>(service)) {
        case ServiceSurfaceFunctions:
          answer = settings.release == HostRelease2020 ? static_cast<void*>(&records.surfaces2020)
                                                       : static_cast<void*>(&records.surfaces2015);
          break;
        case ServiceImageList: answer = &records.imageList; break;
        case ServiceImageUtility: answer = &records.imageUtility; break;
        case ServiceViewportInfo: answer = &records.viewport; break;
        case ServiceSceneInfo: answer = &records.sceneInfo; break;
        case ServicePanelServices: answer = &records.panel; break;
        case ServiceTextureFunctions: answer = &records.textures; break;
        case ServiceSystemId: answer = reinterpret_cast<void*>(static_cast<uintptr_t>(settings.systemId)); break;
        default: answer = records.unused[service]; break;
      }
      break;
    }
  }
  scene_.lookups.push_back({name != nullptr ? name : "", answer != nullptr});
  return answer;
}

void* ReferenceHost::GlobalLookup(const char* name, int mode) {
  (void)mode;
  return gActiveHost != nullptr ? gActiveHost->Lookup(name) : nullptr;
}

ObjectImportRecord* ReferenceHost::BeginRequest(const std::string& fileName) {
  if (active_) EndRequest();
  scene_.fileName = fileName;
  scene_.finished = false;
  record_ = ObjectImportRecord{};
  record_.result = ResultDeclined;
  record_.fileName = scene_.fileName.c_str();
  record_.hostData = &scene_;
  InstallObjectCallbacks(record_);
  if (scene_.settings.timePhases) WrapTimedObjectCallbacks(record_);
  ServiceRecords& records = RecordsFor(scene_.settings);
  const FrameSettings& frame = scene_.settings.frame;
  records.sceneInfo = {frame.width, frame.height, frame.pixelAspect};
  records.panel.globalLookup = nullptr;
  lookupSlotFilled_ = false;
  previousActive_ = ActiveScene();
  previousHost_ = gActiveHost;
  SetActiveScene(&scene_);
  gActiveHost = this;
  active_ = true;
  if (scene_.settings.timePhases) StartPhaseClock(&scene_.timing);
  return &record_;
}

void ReferenceHost::EndRequest() {
  if (!active_) return;
  if (scene_.settings.timePhases) StopPhaseClock();
  scene_.result = record_.result;
  lookupSlotFilled_ = RecordsFor(scene_.settings).panel.globalLookup == &ReferenceHost::GlobalLookup;
  SetActiveScene(previousActive_);
  gActiveHost = previousHost_;
  active_ = false;
}

int32_t ReferenceHost::ImportFile(const PluginModule& module, const std::string& fileName) {
  ObjectImportRecord* record = BeginRequest(fileName);
  module.objectLoader->activate(0, &ReferenceHost::GlobalLookup, record, nullptr);
  EndRequest();
  return scene_.result;
}

const char* DescribeResult(int32_t result) {
  switch (result) {
    case ResultLoaded: return "loaded";
    case ResultDeclined: return "declined (not a PSD file this loader can read)";
    case ResultCancelled: return "cancelled in the options panel";
    case ResultUnderWay: return "left under way (the loader did not finish the request)";
    default: return "unknown result";
  }
}

}  // namespace refhost
