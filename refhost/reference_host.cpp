#include "refhost/reference_host.h"

#include <cstring>

#include "refhost/images.h"
#include "refhost/object.h"
#include "refhost/panel.h"
#include "refhost/surfaces.h"
#include "refhost/viewport.h"

namespace refhost {

namespace {
// GlobalLookup carries no context: the host whose request is under way answers it.
ReferenceHost* gActiveHost = nullptr;
}  // namespace

ReferenceHost::ReferenceHost(HostSettings settings) {
  scene_.settings = std::move(settings);
  scene_.camera = CameraModel::FromSettings(scene_.settings);
  InstallSurfaceServices(surfaces2015_, surfaces2020_, textures_);
  InstallImageServices(imageUtility_, imageList_);
  InstallViewportService(viewport_);
  InstallPanelServices(panel_);
  const FrameSettings& frame = scene_.settings.frame;
  sceneInfo_ = {frame.width, frame.height, frame.pixelAspect};
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
      switch (static_cast<HostService>(service)) {
        case ServiceSurfaceFunctions:
          answer = settings.release == HostRelease2020 ? static_cast<void*>(&surfaces2020_)
                                                       : static_cast<void*>(&surfaces2015_);
          break;
        case ServiceImageList: answer = &imageList_; break;
        case ServiceImageUtility: answer = &imageUtility_; break;
        case ServiceViewportInfo: answer = &viewport_; break;
        case ServiceSceneInfo: answer = &sceneInfo_; break;
        case ServicePanelServices: answer = &panel_; break;
        case ServiceTextureFunctions: answer = &textures_; break;
        case ServiceSystemId: answer = reinterpret_cast<void*>(static_cast<uintptr_t>(settings.systemId)); break;
        default: answer = unusedService_[service]; break;
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
  previousActive_ = ActiveScene();
  SetActiveScene(&scene_);
  gActiveHost = this;
  active_ = true;
  return &record_;
}

void ReferenceHost::EndRequest() {
  if (!active_) return;
  scene_.result = record_.result;
  SetActiveScene(previousActive_);
  gActiveHost = nullptr;
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
