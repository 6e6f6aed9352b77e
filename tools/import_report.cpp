#include "tools/import_report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "loader/layer_eligibility.h"
#include "psd/allocator.h"
#include "psd/document_info.h"
#include "psd/layer_mask_section.h"
#include "psd/native_file.h"

namespace kavri_import {

namespace {

// Standard output sent to the null device while it lives: the reader's
// diagnostics about this file were already printed once, during the import.
class SilencedStdout {
 public:
  SilencedStdout() {
    std::fflush(stdout);
#if defined(_WIN32)
    saved_ = _dup(_fileno(stdout));
    const int null = _open("NUL", _O_WRONLY);
    if (null >= 0) {
      _dup2(null, _fileno(stdout));
      _close(null);
    }
#else
    saved_ = dup(fileno(stdout));
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, fileno(stdout));
      close(null);
    }
#endif
  }
  ~SilencedStdout() {
    std::fflush(stdout);
    if (saved_ < 0) return;
#if defined(_WIN32)
    _dup2(saved_, _fileno(stdout));
    _close(saved_);
#else
    dup2(saved_, fileno(stdout));
    close(saved_);
#endif
  }
  SilencedStdout(const SilencedStdout&) = delete;
  SilencedStdout& operator=(const SilencedStdout&) = delete;

 private:
  int saved_ = -1;
};

struct RecordFacts {
  std::string name;
  std::string unicodeName;
  int64_t width = 0, height = 0;
  const char* skipReason = nullptr;  // from the plug-in's eligibility rules; static text
};

struct DocumentFacts {
  bool read = false;
  const char* documentReason = nullptr;
  int64_t width = 0, height = 0;
  std::vector<RecordFacts> records;
};

// The record's unicode name as UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8Of(const uint16_t* units) {
  std::string out;
  for (size_t i = 0; units != nullptr && units[i] != 0; ++i) {
    uint32_t code = units[i];
    if (code >= 0xD800 && code < 0xDC00 && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | code >> 6);
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | code >> 12);
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | code >> 18);
      out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

DocumentFacts ReadDocumentFacts(const std::string& fileName) {
  DocumentFacts facts;
  const size_t length = std::mbstowcs(nullptr, fileName.c_str(), 0);
  if (length == static_cast<size_t>(-1)) return facts;
  std::wstring wide(length + 1, L'\0');
  std::mbstowcs(&wide[0], fileName.c_str(), length + 1);
  wide.resize(length);

  SilencedStdout quiet;
  psd::MallocAllocator allocator;
  psd::NativeFile file(&allocator);
  if (!file.OpenForRead(wide.c_str())) return facts;
  psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
  if (document != nullptr) {
    facts.read = true;
    facts.documentReason = kavri::DocumentSkipReason(*document);
    facts.width = document->width;
    facts.height = document->height;
    psd::LayerMaskSection* section = psd::LoadLayerMaskSection(document, &file, &allocator);
    if (section != nullptr && section->layerRecords != nullptr) {
      for (uint32_t i = 0; i < section->layerRecordCount; ++i) {
        const psd::LayerRecord& layer = section->layerRecords[i];
        RecordFacts record;
        record.name = layer.name.c_str();
        record.unicodeName = Utf8Of(layer.unicodeName);
        if (record.unicodeName == record.name) record.unicodeName.clear();
        record.width = int64_t{layer.right} - layer.left;
        record.height = int64_t{layer.bottom} - layer.top;
        record.skipReason = kavri::LayerSkipReason(*document, layer);
        facts.records.push_back(std::move(record));
      }
    }
    if (section != nullptr) psd::ReleaseLayerMaskSection(section, &allocator);
    allocator.ReleaseBlock(document);
  }
  file.Close();
  return facts;
}

// The import type the panel ended with, as its item label; empty if unknown.
std::string ImportTypeOf(const refhost::Scene& scene) {
  for (const auto& panel : scene.panels)
    for (const auto& control : panel->controls)
      if (control->label == "Import Type" && control->value.kind == refhost::ControlValue::Integer &&
          control->value.integer >= 0 && static_cast<size_t>(control->value.integer) < control->items.size())
        return control->items[static_cast<size_t>(control->value.integer)];
  return "";
}

std::string Plural(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Why an eligible layer ended with no polygons.
std::string NoMeshDetail(const RecordFacts& record, const refhost::MeshLayer* mesh, const std::string& importType) {
  if (record.width <= 0 || record.height <= 0) return "no mesh built: empty rectangle";
  if (mesh != nullptr) return "no mesh built: fully transparent";
  if (importType == "DenseMesh" && (record.width < 8 || record.height < 8))
    return "no mesh built: a DenseMesh layer needs at least 8 pixels on a side";
  return "no mesh built";
}

#if defined(_WIN32)
constexpr const char* kSeparators = "\\/";
#else
constexpr const char* kSeparators = "/";
#endif

// Empty for a file in the current folder.
std::string FolderOf(const std::string& file) {
  const size_t separator = file.find_last_of(kSeparators);
  return separator == std::string::npos ? std::string() : file.substr(0, separator + 1);
}

// Names come from the file: keep control characters off the terminal.
std::string Printable(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out;
}

}  // namespace

ImportReport BuildImportReport(const std::string& fileName, const refhost::Scene& scene) {
  ImportReport report;
  const DocumentFacts facts = ReadDocumentFacts(fileName);
  report.documentRead = facts.read;

  std::map<uint32_t, const refhost::MeshLayer*> meshes;
  for (const refhost::MeshLayer& mesh : scene.layers) meshes.emplace(mesh.index, &mesh);
  auto meshOf = [&meshes](uint32_t index) -> const refhost::MeshLayer* {
    const auto found = meshes.find(index);
    return found != meshes.end() ? found->second : nullptr;
  };
  const std::string importType = ImportTypeOf(scene);

  auto outcome = [&](uint32_t index, const RecordFacts& record, const char* skipReason) {
    LayerOutcome layer;
    layer.index = index;
    layer.name = record.name;
    layer.unicodeName = record.unicodeName;
    const refhost::MeshLayer* mesh = meshOf(index);
    if (skipReason != nullptr) {
      layer.detail = skipReason;
    } else if (mesh != nullptr && !mesh->polygons.empty()) {
      layer.imported = true;
      layer.detail = Plural(mesh->points.size(), "point", "points") + ", " +
                     Plural(mesh->polygons.size(), "polygon", "polygons");
    } else {
      layer.detail = NoMeshDetail(record, mesh, importType);
    }
    return layer;
  };

  if (facts.read && facts.records.empty()) {
    // The merged image stands in as one layer named after the file.
    RecordFacts merged;
    const refhost::MeshLayer* mesh = meshOf(0);
    if (mesh != nullptr) {
      merged.name = mesh->name;
    } else {
      const std::string last = fileName.substr(FolderOf(fileName).size());
      merged.name = last.size() >= 4 ? last.substr(0, last.size() - 4) : std::string();
    }
    merged.width = facts.width;
    merged.height = facts.height;
    LayerOutcome layer = outcome(0, merged, facts.documentReason);
    layer.mergedImage = true;
    report.layers.push_back(std::move(layer));
  } else {
    for (size_t i = 0; i < facts.records.size(); ++i)
      report.layers.push_back(outcome(static_cast<uint32_t>(i), facts.records[i], facts.records[i].skipReason));
  }
  for (const LayerOutcome& layer : report.layers) (layer.imported ? report.imported : report.skipped) += 1;

  for (const refhost::SavedFile& saved : scene.saves) {
    if (!saved.written) {
      ++report.imagesFailed;
      continue;
    }
    ++report.imagesWritten;
    const std::string folder = FolderOf(saved.file);
    if (std::find(report.imageFolders.begin(), report.imageFolders.end(), folder) == report.imageFolders.end())
      report.imageFolders.push_back(folder);
  }
  return report;
}

void PrintImportReport(const ImportReport& report) {
  for (const LayerOutcome& layer : report.layers) {
    // The plug-in names files and meshes after the record's name; the unicode
    // name, where it says more, is what the user knows the layer by.
    const std::string also = !layer.unicodeName.empty()  ? " (" + Printable(layer.unicodeName) + ")"
                             : layer.mergedImage         ? std::string(" (merged image)")
                                                         : std::string();
    std::fprintf(stderr, "kavri-import: layer %u \"%s\"%s: %s (%s)\n", layer.index, Printable(layer.name).c_str(),
                 also.c_str(), layer.imported ? "imported" : "skipped", layer.detail.c_str());
  }
  std::fprintf(stderr, "kavri-import: %zu imported, %zu skipped\n", report.imported, report.skipped);
  if (report.imagesWritten > 0) {
    std::string folders;
    for (const std::string& folder : report.imageFolders)
      folders += (folders.empty() ? "" : ", ") + (folder.empty() ? std::string("the current folder") : folder);
    std::fprintf(stderr, "kavri-import: images: %s written to %s\n",
                 Plural(report.imagesWritten, "file", "files").c_str(), Printable(folders).c_str());
  } else {
    std::fprintf(stderr, "kavri-import: images: none written\n");
  }
  if (report.imagesFailed > 0)
    std::fprintf(stderr, "kavri-import: images: %s could not be written\n",
                 Plural(report.imagesFailed, "file", "files").c_str());
}

}  // namespace kavri_import
