#include "refhost/reference_host.h"

#include <cstring>

#include "refhost/standin_services.h"

namespace refhost {

namespace {
// GlobalLookup carries no context: the host whose request is under way answers it.
ReferenceHost* gActiveHost = nullptr;
}  // namespace

ReferenceHost::ReferenceHost(HostSettings settings) : settings_(std::move(settings)) {
  InstallStandInServices(surfaces2015_, surfaces2020_, imageList_, imageUtility_, viewport_, sceneInfo_, panel_,
                         textures_);
}

ReferenceHost::~ReferenceHost() {
  if (gActiveHost == this) gActiveHost = nullptr;
}

void* ReferenceHost::Lookup(const char* name) {
  void* answer = nullptr;
  if (name != nullptr && settings_.withheldServices.count(name) == 0) {
    for (int service = 0; service < HostServiceCount; ++service) {
      const char* served = HostServiceName(static_cast<HostService>(service), settings_.release);
      if (std::strcmp(served, name) != 0) continue;
      switch (static_cast<HostService>(service)) {
        case ServiceSurfaceFunctions:
          answer = settings_.release == HostRelease2020 ? static_cast<void*>(&surfaces2020_)
                                                        : static_cast<void*>(&surfaces2015_);
          break;
        case ServiceImageList: answer = &imageList_; break;
        case ServiceImageUtility: answer = &imageUtility_; break;
        case ServiceViewportInfo: answer = &viewport_; break;
        case ServiceSceneInfo: answer = &sceneInfo_; break;
        case ServicePanelServices: answer = &panel_; break;
        case ServiceTextureFunctions: answer = &textures_; break;
        case ServiceSystemId: answer = reinterpret_cast<void*>(static_cast<uintptr_t>(settings_.systemId)); break;
        default: answer = unusedService_[service]; break;
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
