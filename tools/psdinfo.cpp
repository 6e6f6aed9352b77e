// psdinfo: what the PSD reader sees in a file, as a readable report or, with
// --json, as one JSON document. Exits 0 when the header is valid, 1 when not.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "psd/document_info.h"
#include "psd/file_cursor.h"
#include "psd/image_resources.h"
#include "psd/layer_mask_section.h"
#include "psd/native_file.h"
#include "tools/psdinfo_planes.h"

namespace {

using json = nlohmann::ordered_json;  // fields in record order

constexpr int kExitValid = 0;
constexpr int kExitInvalid = 1;

struct Options {
  std::string file;
  bool json = false;
  std::string planes;  // folder for the decoded planes; empty: none written
};

// Everything read from one file. The blocks are owned by the allocator's user:
// ReleaseInspection gives them back.
struct Inspection {
  psd::DocumentInfo* document = nullptr;
  psd::ImageResourceRecord* resources = nullptr;
  std::vector<psd::ImageResourceBlock> resourceBlocks;
  psd::LayerMaskSection* section = nullptr;
  // Compression code of each channel, by record and channel; -1 when unread.
  std::vector<std::vector<int>> compression;
};

void CollectResourceBlock(const psd::ImageResourceBlock& block, void* context) {
  static_cast<std::vector<psd::ImageResourceBlock>*>(context)->push_back(block);
}

// -1 when the code lies outside the file (a truncated file).
int ReadCompressionCode(psd::File& file, uint64_t fileSize, const psd::ChannelRecord& channel) {
  if (channel.dataOffset == 0 || channel.dataLength < 2 || channel.dataOffset + 2 > fileSize) return -1;
  uint8_t code[2] = {};
  if (!psd::ReadAt(&file, code, 2, channel.dataOffset)) return -1;
  return psd::LoadU16BE(code);
}

// Reads the header, the image resources and the layer records. False when the
// header is not a valid PSD header.
bool Inspect(psd::File& file, psd::Allocator& allocator, Inspection& inspection) {
  inspection.document = psd::ReadDocumentInfo(&file, &allocator);
  if (inspection.document == nullptr) return false;
  inspection.resources = psd::ReadImageResources(inspection.document, &file, &allocator, CollectResourceBlock,
                                                 &inspection.resourceBlocks);
  if (inspection.document->layerMaskExtent.length != 0) {
    inspection.section = psd::LoadLayerMaskSection(inspection.document, &file, &allocator);
  }
  if (inspection.section != nullptr) {
    const uint64_t fileSize = file.QuerySize();
    for (uint32_t i = 0; i < inspection.section->layerRecordCount; ++i) {
      const psd::LayerRecord& record = inspection.section->layerRecords[i];
      std::vector<int> codes;
      for (uint32_t c = 0; c < record.channelRecordCount; ++c) {
        codes.push_back(ReadCompressionCode(file, fileSize, record.channelRecords[c]));
      }
      inspection.compression.push_back(codes);
    }
  }
  return true;
}

void ReleaseInspection(psd::Allocator& allocator, Inspection& inspection) {
  if (inspection.section != nullptr) psd::ReleaseLayerMaskSection(inspection.section, &allocator);
  psd::ReleaseImageResources(inspection.resources, &allocator);
  allocator.ReleaseBlock(inspection.document);
  inspection.document = nullptr;
}

// ---- Text forms of record values ----

std::string FourCcText(uint32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((code >> shift) & 0xFF);
    text += (c >= 32 && c < 127) ? c : '?';
  }
  return text;
}

const char* SectionTypeName(uint32_t type) {
  switch (type) {
    case psd::Normal: return "Normal";
    case psd::OpenGroup: return "OpenGroup";
    case psd::ClosedGroup: return "ClosedGroup";
    case psd::GroupEnd: return "GroupEnd";
    default: return "Unknown";
  }
}

const char* ColorModeName(uint32_t mode) {
  switch (mode) {
    case psd::kColorModeBitmap: return "Bitmap";
    case psd::kColorModeGrayscale: return "Grayscale";
    case psd::kColorModeIndexed: return "Indexed";
    case psd::kColorModeRgb: return "RGB";
    case psd::kColorModeCmyk: return "CMYK";
    case psd::kColorModeMultichannel: return "Multichannel";
    case psd::kColorModeDuotone: return "Duotone";
    case psd::kColorModeLab: return "Lab";
    default: return "other";
  }
}

const char* CompressionName(int code) {
  switch (code) {
    case 0: return "raw";
    case 1: return "RLE";
    case 2: return "ZIP";
    case 3: return "ZIP with prediction";
    default: return "?";
  }
}

std::string HexBytes(const char* text, size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<uint8_t>(text[i]);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

void AppendUtf8(std::string& out, uint32_t point) {
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (point >> 18));
    out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

// UTF-8 of zero-terminated UTF-16 code units; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const uint16_t* units) {
  std::string out;
  for (size_t i = 0; units[i] != 0; ++i) {
    uint32_t point = units[i];
    if (point >= 0xD800 && point < 0xDC00 && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      point = 0x10000 + ((point - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (point >= 0xD800 && point < 0xE000) {
      point = 0xFFFD;
    }
    AppendUtf8(out, point);
  }
  return out;
}

bool IsValidUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    size_t extra;
    if (lead < 0x80) {
      extra = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

// A layer name as text: its bytes when they are UTF-8, else each byte as the
// character of that code.
std::string NameText(const char* bytes, size_t length) {
  std::string text(bytes, length);
  if (IsValidUtf8(text)) return text;
  std::string widened;
  for (char c : text) AppendUtf8(widened, static_cast<uint8_t>(c));
  return widened;
}

// Names in the readable report: control characters shown as '?'.
std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

int RecordIndex(const psd::LayerMaskSection& section, const psd::LayerRecord* record) {
  if (record == nullptr) return -1;
  return static_cast<int>(record - section.layerRecords);
}

// ---- JSON ----

json ExtentJson(const psd::SectionExtent& extent) { return {{"offset", extent.offset}, {"length", extent.length}}; }

json MaskJson(const psd::MaskRecord* mask) {
  if (mask == nullptr) return nullptr;
  return {{"top", mask->top},         {"left", mask->left},       {"bottom", mask->bottom},
          {"right", mask->right},     {"defaultColor", mask->defaultColor},
          {"density", mask->density}, {"feather", mask->feather}};
}

json ResourcesJson(const Inspection& inspection) {
  json blocks = json::array();
  for (const psd::ImageResourceBlock& block : inspection.resourceBlocks) {
    blocks.push_back({{"signature", FourCcText(block.signature)},
                      {"id", block.id},
                      {"dataOffset", block.dataOffset},
                      {"dataSize", block.dataSize}});
  }
  json out = {{"blocks", blocks}};
  const psd::ImageResourceRecord* r = inspection.resources;
  if (r == nullptr) return out;
  json alphas = json::array();
  for (uint32_t i = 0; r->alphaInfos != nullptr && i < r->alphaInfoCount; ++i) {
    const psd::AlphaInfo& info = r->alphaInfos[i];
    alphas.push_back({{"name", NameText(info.name.text, info.name.length)},
                      {"displayColorSpace", info.displayColorSpace},
                      {"displayColor", {info.displayColor[0], info.displayColor[1], info.displayColor[2], info.displayColor[3]}},
                      {"displayOpacity", info.displayOpacity},
                      {"displayKind", info.displayKind}});
  }
  out["alphaInfos"] = r->alphaInfos != nullptr ? alphas : json(nullptr);
  out["iccBlockSize"] = r->iccBlock != nullptr ? json(r->iccBlockSize) : json(nullptr);
  out["exifBlockSize"] = r->exifBlock != nullptr ? json(r->exifBlockSize) : json(nullptr);
  out["xmpBlock"] = r->xmpBlock != nullptr;
  out["mergedImagePresent"] = r->mergedImagePresent;
  if (r->preview != nullptr) {
    out["preview"] = {{"width", r->preview->width}, {"height", r->preview->height}, {"jpegSize", r->preview->jpegSize}};
  } else {
    out["preview"] = nullptr;
  }
  return out;
}

json LayerJson(const Inspection& inspection, uint32_t index) {
  const psd::LayerMaskSection& section = *inspection.section;
  const psd::LayerRecord& record = section.layerRecords[index];
  json channels = json::array();
  for (uint32_t c = 0; c < record.channelRecordCount; ++c) {
    const psd::ChannelRecord& channel = record.channelRecords[c];
    const int code = inspection.compression[index][c];
    channels.push_back({{"id", channel.id},
                        {"dataOffset", channel.dataOffset},
                        {"dataLength", channel.dataLength},
                        {"compression", code >= 0 ? json(code) : json(nullptr)}});
  }
  const int group = RecordIndex(section, record.group);
  return {{"index", index},
          {"group", group >= 0 ? json(group) : json(nullptr)},
          {"name", NameText(record.name.text, record.name.length)},
          {"nameBytes", HexBytes(record.name.text, record.name.length)},
          {"unicodeName", record.unicodeName != nullptr ? json(Utf16ToUtf8(record.unicodeName)) : json(nullptr)},
          {"top", record.top},
          {"left", record.left},
          {"bottom", record.bottom},
          {"right", record.right},
          {"blendModeKey", FourCcText(record.blendModeKey)},
          {"opacity", record.opacity},
          {"clipping", record.clipping},
          {"visible", record.visible},
          {"sectionType", record.sectionType},
          {"sectionTypeName", SectionTypeName(record.sectionType)},
          {"channelRecords", channels},
          {"layerMask", MaskJson(record.layerMask)},
          {"vectorMask", MaskJson(record.vectorMask)}};
}

json InspectionJson(const Options& options, const Inspection& inspection, bool valid,
                    const std::vector<std::string>& diagnostics) {
  json out = {{"file", options.file}, {"valid", valid}, {"diagnostics", diagnostics}};
  const psd::DocumentInfo* d = inspection.document;
  if (d == nullptr) return out;
  out["header"] = {{"width", d->width},
                   {"height", d->height},
                   {"channelCount", d->channelCount},
                   {"depth", d->depth},
                   {"colorMode", d->colorMode},
                   {"colorModeName", ColorModeName(d->colorMode)}};
  out["sections"] = {{"colorModeDataExtent", ExtentJson(d->colorModeDataExtent)},
                     {"imageResourcesExtent", ExtentJson(d->imageResourcesExtent)},
                     {"layerMaskExtent", ExtentJson(d->layerMaskExtent)},
                     {"imageDataExtent", ExtentJson(d->imageDataExtent)}};
  out["imageResources"] = ResourcesJson(inspection);
  if (inspection.section == nullptr) {
    out["layerMaskSection"] = nullptr;
    return out;
  }
  const psd::LayerMaskSection& s = *inspection.section;
  json layers = json::array();
  for (uint32_t i = 0; i < s.layerRecordCount; ++i) layers.push_back(LayerJson(inspection, i));
  out["layerMaskSection"] = {{"layerRecordCount", s.layerRecordCount},
                             {"firstAlphaIsTransparency", s.firstAlphaIsTransparency},
                             {"overlayColorSpace", s.overlayColorSpace},
                             {"maskOpacity", s.maskOpacity},
                             {"maskKind", s.maskKind},
                             {"layerRecords", layers}};
  return out;
}

// ---- Readable report ----

void PrintMask(const char* label, const psd::MaskRecord* mask, const std::string& indent) {
  if (mask == nullptr) return;
  std::printf("%s  %s: top %d, left %d, bottom %d, right %d; default colour %u, density %u, feather %g\n",
              indent.c_str(), label, mask->top, mask->left, mask->bottom, mask->right, mask->defaultColor,
              mask->density, mask->feather);
}

void PrintLayer(const Inspection& inspection, uint32_t index, int depth) {
  const psd::LayerRecord& record = inspection.section->layerRecords[index];
  const std::string indent(static_cast<size_t>(2 * depth + 4), ' ');
  std::printf("%s[%u] \"%s\"", indent.c_str(), index,
              Printable(NameText(record.name.text, record.name.length)).c_str());
  if (record.unicodeName != nullptr) {
    std::printf(" (unicode \"%s\")", Printable(Utf16ToUtf8(record.unicodeName)).c_str());
  }
  std::printf(" %s\n", SectionTypeName(record.sectionType));
  std::printf("%s  top %d, left %d, bottom %d, right %d (%lld x %lld); blend %s, opacity %u, clipping %u, %s\n",
              indent.c_str(), record.top, record.left, record.bottom, record.right,
              static_cast<long long>(record.right) - record.left, static_cast<long long>(record.bottom) - record.top,
              FourCcText(record.blendModeKey).c_str(), record.opacity, record.clipping,
              record.visible ? "visible" : "hidden");
  for (uint32_t c = 0; c < record.channelRecordCount; ++c) {
    const psd::ChannelRecord& channel = record.channelRecords[c];
    const int code = inspection.compression[index][c];
    std::printf("%s  channel %d: compression %s (%s), %u bytes at %llu\n", indent.c_str(), channel.id,
                code >= 0 ? std::to_string(code).c_str() : "-", CompressionName(code), channel.dataLength,
                static_cast<unsigned long long>(channel.dataOffset));
  }
  PrintMask("layer mask", record.layerMask, indent);
  PrintMask("vector mask", record.vectorMask, indent);
}

int GroupDepth(const psd::LayerRecord& record) {
  int depth = 0;
  // Links only lead to later records, so the walk ends; the bound keeps it short.
  for (const psd::LayerRecord* group = record.group; group != nullptr && depth < 256; group = group->group) ++depth;
  return depth;
}

void PrintReport(const Options& options, const Inspection& inspection) {
  const psd::DocumentInfo& d = *inspection.document;
  std::printf("%s\n", options.file.c_str());
  std::printf("  header: %u x %u pixels, %u channels, %u bits per channel, colour mode %u (%s)\n", d.width, d.height,
              d.channelCount, d.depth, d.colorMode, ColorModeName(d.colorMode));
  const struct {
    const char* label;
    const psd::SectionExtent& extent;
  } extents[] = {{"colour mode data", d.colorModeDataExtent},
                 {"image resources", d.imageResourcesExtent},
                 {"layer and mask", d.layerMaskExtent},
                 {"image data", d.imageDataExtent}};
  std::printf("  sections:\n");
  for (const auto& e : extents) {
    std::printf("    %-17s offset %llu, length %u\n", e.label, static_cast<unsigned long long>(e.extent.offset),
                e.extent.length);
  }

  std::printf("  image resources: %zu block(s)\n", inspection.resourceBlocks.size());
  for (const psd::ImageResourceBlock& block : inspection.resourceBlocks) {
    std::printf("    %s %u: %u bytes at %llu\n", FourCcText(block.signature).c_str(), block.id, block.dataSize,
                static_cast<unsigned long long>(block.dataOffset));
  }
  if (const psd::ImageResourceRecord* r = inspection.resources) {
    for (uint32_t i = 0; r->alphaInfos != nullptr && i < r->alphaInfoCount; ++i) {
      const psd::AlphaInfo& info = r->alphaInfos[i];
      std::printf("    alpha channel %u: \"%s\", colour space %u, colour %u %u %u %u, opacity %u, kind %u\n", i,
                  Printable(NameText(info.name.text, info.name.length)).c_str(), info.displayColorSpace, info.displayColor[0],
                  info.displayColor[1], info.displayColor[2], info.displayColor[3], info.displayOpacity,
                  info.displayKind);
    }
    if (r->iccBlock != nullptr) std::printf("    ICC profile: %u bytes\n", r->iccBlockSize);
    if (r->exifBlock != nullptr) std::printf("    EXIF data: %u bytes\n", r->exifBlockSize);
    if (r->xmpBlock != nullptr) std::printf("    XMP metadata: present\n");
    if (r->preview != nullptr) {
      std::printf("    thumbnail: %u x %u, %u bytes of JPEG\n", r->preview->width, r->preview->height,
                  r->preview->jpegSize);
    }
    std::printf("    merged image: %s\n", r->mergedImagePresent ? "present" : "absent");
  }

  const psd::LayerMaskSection* s = inspection.section;
  if (s == nullptr) {
    std::printf("  layers: none (no layer and mask section)\n");
    return;
  }
  std::printf("  layers: %u record(s)%s; global mask: colour space %u, opacity %u, kind %u\n", s->layerRecordCount,
              s->firstAlphaIsTransparency ? ", first alpha channel is the transparency" : "", s->overlayColorSpace,
              s->maskOpacity, s->maskKind);
  std::printf("  (top of the stack first, groups nested by their links)\n");
  for (uint32_t i = s->layerRecordCount; i-- > 0;) PrintLayer(inspection, i, GroupDepth(s->layerRecords[i]));
}

// ---- Keeping the reader's lines out of the JSON document ----

// Sends standard output to a scratch file while active; Finish returns what
// was written there and restores standard output. Without a scratch file the
// lines stay on standard output.
class StdoutCapture {
 public:
  StdoutCapture() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) return;
    std::random_device random;
    path_ = folder / ("psdinfo-" + std::to_string(random()) + std::to_string(random()) + ".txt");
    scratch_ = std::fopen(path_.string().c_str(), "w+b");
    if (scratch_ == nullptr) return;
    std::fflush(stdout);
    saved_ = Dup(Fileno(stdout));
    if (saved_ < 0 || Dup2(Fileno(scratch_), Fileno(stdout)) < 0) {
      std::fclose(scratch_);
      scratch_ = nullptr;
    }
  }

  std::string Finish() {
    std::string text;
    if (scratch_ == nullptr) return text;
    std::fflush(stdout);
    Dup2(saved_, Fileno(stdout));
    Close(saved_);
    std::rewind(scratch_);
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, scratch_)) > 0) text.append(buffer, count);
    std::fclose(scratch_);
    scratch_ = nullptr;
    std::error_code error;
    std::filesystem::remove(path_, error);
    return text;
  }

 private:
#if defined(_WIN32)
  static int Fileno(FILE* f) { return _fileno(f); }
  static int Dup(int fd) { return _dup(fd); }
  static int Dup2(int from, int to) { return _dup2(from, to); }
  static void Close(int fd) { _close(fd); }
#else
  static int Fileno(FILE* f) { return fileno(f); }
  static int Dup(int fd) { return dup(fd); }
  static int Dup2(int from, int to) { return dup2(from, to); }
  static void Close(int fd) { close(fd); }
#endif

  std::filesystem::path path_;
  FILE* scratch_ = nullptr;
  int saved_ = -1;
};

// The reader's lines each begin with a newline.
std::vector<std::string> SplitDiagnostics(const std::string& text) {
  std::vector<std::string> lines;
  std::string current;
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      if (!current.empty()) lines.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

std::wstring WidePath(const std::string& path) {
  const size_t length = std::mbstowcs(nullptr, path.c_str(), 0);
  if (length == static_cast<size_t>(-1)) return std::wstring();
  std::wstring wide(length + 1, L'\0');
  std::mbstowcs(&wide[0], path.c_str(), length + 1);
  wide.resize(length);
  return wide;
}

int Run(const Options& options) {
  psd::MallocAllocator allocator;
  psd::NativeFile file(&allocator);
  Inspection inspection;

  std::unique_ptr<StdoutCapture> capture;
  if (options.json) capture = std::make_unique<StdoutCapture>();
  const std::wstring path = WidePath(options.file);
  const bool opened = !path.empty() && file.OpenForRead(path.c_str());
  const bool valid = opened && Inspect(file, allocator, inspection);
  std::vector<std::string> diagnostics;
  if (capture != nullptr) {
    diagnostics = SplitDiagnostics(capture->Finish());
  }

  if (options.json) {
    for (const std::string& line : diagnostics) std::fprintf(stderr, "%s\n", line.c_str());
    const json out = InspectionJson(options, inspection, valid, diagnostics);
    std::printf("%s\n", out.dump(2, ' ', false, json::error_handler_t::replace).c_str());
  } else {
    // The reader's lines end without a newline; start the report on a fresh one.
    std::printf("\n");
    if (valid) PrintReport(options, inspection);
  }
  std::fflush(stdout);

  ReleaseInspection(allocator, inspection);
  if (opened) file.Close();
  return valid ? kExitValid : kExitInvalid;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::setlocale(LC_ALL, "") == nullptr) std::setlocale(LC_ALL, "C.UTF-8");

  CLI::App app{"Shows what the PSD reader sees in a PSD file: header, sections, image resources and layer records."};
  // Paths beginning with a slash are files, also in the Windows build.
  app.allow_windows_style_options(false);
  Options options;
  app.add_option("file", options.file, "The PSD file to inspect")->required();
  app.add_flag("--json", options.json, "Print one JSON document instead of the readable report");
  app.add_option("--planes", options.planes,
                 "Also write every decoded plane (layer channels, masks, merged image) as raw native-order "
                 "samples to this folder, with index.json");
  CLI11_PARSE(app, argc, argv);
  const int result = Run(options);
  if (result == kExitValid && !options.planes.empty()) {
    std::string reason;
    if (!kavri_tools::WritePlaneFiles(options.file, options.planes, &reason)) {
      std::fprintf(stderr, "psdinfo: %s\n", reason.c_str());
      return kExitInvalid;
    }
  }
  return result;
}
