#include "refhost/reference_host.h"

#include <cstring>

#include "refhost/standin_services.h"

namespace refhost {

namespace {

// GlobalLookup carries no context: the host whose request is under way answers it.
ReferenceHost* gActiveHost = nullptr;

// The service records live as long as the process, as an application's do: a
// module keeps the pointers it looked up across requests and hosts.
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
    InstallStandInServices(surfaces2015, surfaces2020, imageList, imageUtility, viewport, sceneInfo, panel, textures);
  }
};

ServiceRecords& Records() {
  static ServiceRecords records;
  return records;
}

}  // namespace

ReferenceHost::ReferenceHost(HostSettings settings) : settings_(std::move(settings)) {}

ReferenceHost::~ReferenceHost() {
  if (gActiveHost == this) gActiveHost = nullptr;
}

void* ReferenceHost::Lookup(const char* name) {
  void* answer = nullptr;
  if (name != nullptr && settings_.withheldServices.count(name) == 0) {
    for (int service = 0; service < HostServiceCount; ++service) {
      const char* served = HostServiceName(static_cast<HostService>(service), settings_.release);
      if (std::strcmp(served, name) != 0) continue;
      ServiceRecords& records = Records();
      switch (static_cast<HostService>(service)) {
        case ServiceSurfaceFunctions:
          answer = settings_.release == HostRelease2020 ? static_cast<void*>(&records.surfaces2020)
                                                        : static_cast<void*>(&records.surfaces2015);
          break;
        case ServiceImageList: answer = &records.imageList; break;
        case ServiceImageUtility: answer = &records.imageUtility; break;
        case ServiceViewportInfo: answer = &records.viewport; break;
        case ServiceSceneInfo: answer = &records.sceneInfo; break;
        case ServicePanelServices: answer = &records.panel; break;
        case ServiceTextureFunctions: answer = &records.textures; break;
        case ServiceSystemId: answer = reinterpret_cast<void*>(static_cast<uintptr_t>(settings_.systemId)); break;
        default: answer = records.unused[service]; break;
      }
      break;
    }
  }
  lookups_.push_back({name != nullptr ? name : "", answer != nullptr});
  return answer;
}

void* ReferenceHost::GlobalLookup(const char* name, int mode) {
  (void)mode;
  return gActiveHost != nullptr ? gActiveHost->Lookup(name) : nullptr;
}

void ReferenceHost::FinishObject(void* hostData) { static_cast<ReferenceHost*>(hostData)->objectFinished_ = true; }

int32_t ReferenceHost::ImportFile(const PluginModule& module, const std::string& fileName) {
  fileName_ = fileName;
  objectFinished_ = false;
  record_ = ObjectImportRecord{};
  record_.result = ResultDeclined;
  record_.fileName = fileName_.c_str();
  record_.hostData = this;
  record_.FinishObject = &ReferenceHost::FinishObject;
  InstallStandInObjectCallbacks(record_);

  ReferenceHost* previous = gActiveHost;
  gActiveHost = this;
  module.objectLoader->activate(0, &ReferenceHost::GlobalLookup, &record_, nullptr);
  gActiveHost = previous;
  return record_.result;
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
