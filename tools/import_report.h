// What kavri-import tells the user about an import, layer record by layer
// record. The plug-in prints nothing, so the host reads the document's records
// itself and compares them with the mesh layers the plug-in built; the reasons
// for skipping come from the plug-in's own eligibility rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "refhost/scene.h"

namespace kavri_import {

struct LayerOutcome {
  uint32_t index = 0;
  std::string name;
  std::string unicodeName;   // UTF-8; empty when the record has none or it equals name
  bool mergedImage = false;  // the document has no layer records
  bool imported = false;
  std::string detail;        // imported: what was built; skipped: why
};

struct ImportReport {
  bool documentRead = false;  // the header could be read again after the import
  std::vector<LayerOutcome> layers;
  size_t imported = 0, skipped = 0;
  size_t imagesWritten = 0, imagesFailed = 0;
  std::vector<std::string> imageFolders;  // where the written images are, in first-use order
};

// Reads fileName's layer records (silently: the reader's diagnostics were
// printed during the import) and matches them with the scene.
ImportReport BuildImportReport(const std::string& fileName, const refhost::Scene& scene);

// The per-layer lines and the image summary, on standard error.
void PrintImportReport(const ImportReport& report);

}  // namespace kavri_import
