// The reference host: serves one SDK release's services by name, builds the
// import record for a file and activates a plug-in's object loader with it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "loader/host/object_import.h"
#include "loader/host/service_names.h"
#include "loader/host/services.h"
#include "refhost/plugin_module.h"

namespace refhost {

struct HostSettings {
  HostRelease release = HostRelease2020;
  uint32_t systemId = 0;                     // what "System ID" answers
  std::set<std::string> withheldServices;    // names answered with null
};

struct LookupRecord {
  std::string name;
  bool answered;
};

class ReferenceHost {
 public:
  explicit ReferenceHost(HostSettings settings);
  ~ReferenceHost();
  ReferenceHost(const ReferenceHost&) = delete;
  ReferenceHost& operator=(const ReferenceHost&) = delete;

  // One load request: the module's "ObjectLoader" activated for fileName.
  // Returns the record's result code.
  int32_t ImportFile(const PluginModule& module, const std::string& fileName);

  // What GlobalLookup answers for a name under this host's release; null for
  // names it does not serve.
  void* Lookup(const char* name);

  const HostSettings& settings() const { return settings_; }
  const std::vector<LookupRecord>& lookups() const { return lookups_; }
  bool objectFinished() const { return objectFinished_; }

 private:
  static void* GlobalLookup(const char* name, int mode);
  static void FinishObject(void* hostData);

  HostSettings settings_;
  std::vector<LookupRecord> lookups_;
  bool objectFinished_ = false;
  std::string fileName_;
  ObjectImportRecord record_{};

};

// The outcome of a result code in words, for people.
const char* DescribeResult(int32_t result);

}  // namespace refhost
