// The reference host: serves one SDK release's services by name, builds the
// import record for a file, activates a plug-in's object loader with it and
// keeps everything the plug-in made as a scene.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "loader/host/object_import.h"
#include "loader/host/service_names.h"
#include "loader/host/services.h"
#include "refhost/plugin_module.h"
#include "refhost/scene.h"
#include "refhost/settings.h"

namespace refhost {

class ReferenceHost {
 public:
  explicit ReferenceHost(HostSettings settings);
  ~ReferenceHost();
  ReferenceHost(const ReferenceHost&) = delete;
  ReferenceHost& operator=(const ReferenceHost&) = delete;

  // One load request: the module's "ObjectLoader" activated for fileName.
  // Returns the record's result code.
  int32_t ImportFile(const PluginModule& module, const std::string& fileName);

  // A request driven by the caller instead of a module (a test acting as the
  // plug-in): this host serves the services until EndRequest, and the record's
  // callbacks build the scene.
  ObjectImportRecord* BeginRequest(const std::string& fileName);
  void EndRequest();

  // What GlobalLookup answers for a name under this host's release; null for
  // names it does not serve.
  void* Lookup(const char* name);

  const HostSettings& settings() const { return scene_.settings; }
  const std::vector<LookupRecord>& lookups() const { return scene_.lookups; }
  bool objectFinished() const { return scene_.finished; }
  const Scene& scene() const { return scene_; }
  // Whether the plug-in stored the host's look-up in the panel services' slot
  // during the last request.
  bool lookupSlotFilled() const { return lookupSlotFilled_; }

 private:
  static void* GlobalLookup(const char* name, int mode);

  Scene scene_;
  ObjectImportRecord record_{};
  bool active_ = false;
  bool lookupSlotFilled_ = false;
  Scene* previousActive_ = nullptr;
  ReferenceHost* previousHost_ = nullptr;
};

// The outcome of a result code in words, for people.
const char* DescribeResult(int32_t result);

}  // namespace refhost
