#include "tools/psdinfo_planes.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "psd/document_info.h"
#include "psd/layer_channels.h"
#include "psd/layer_mask_section.h"
#include "psd/merged_image.h"
#include "psd/native_file.h"

namespace kavri_tools {

namespace {

using json = nlohmann::ordered_json;

struct Size {
  uint32_t width, height;
};

Size SizeOf(int32_t top, int32_t left, int32_t bottom, int32_t right) {
  const int64_t w = int64_t{right} - left, h = int64_t{bottom} - top;
  return {w > 0 ? static_cast<uint32_t>(w) : 0u, h > 0 ? static_cast<uint32_t>(h) : 0u};
}

std::wstring Wide(const std::string& path) {
  return std::filesystem::u8path(path).wstring();
}

class Writer {
 public:
  Writer(const std::string& folder, uint32_t depth) : folder_(std::filesystem::u8path(folder)), depth_(depth) {}

  bool Write(const std::string& name, const void* plane, Size size, json extra) {
    const uint64_t bytes = uint64_t{size.width} * size.height * depth_ / 8;
    std::ofstream out(folder_ / name, std::ios::binary);
    if (bytes > 0) out.write(static_cast<const char*>(plane), static_cast<std::streamsize>(bytes));
    if (!out) return false;
    extra["file"] = name;
    extra["width"] = size.width;
    extra["height"] = size.height;
    extra["bytes_per_sample"] = depth_ % 8 == 0 ? json(depth_ / 8) : json(nullptr);
    extra["byte_length"] = bytes;
    entries_.push_back(std::move(extra));
    return true;
  }
  json& Entries() { return entries_; }

 private:
  std::filesystem::path folder_;
  uint32_t depth_;
  json entries_ = json::array();
};

}  // namespace

bool WritePlaneFiles(const std::string& path, const std::string& folder, std::string* reason) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::u8path(folder), error);
  if (error) {
    *reason = "cannot create " + folder + ": " + error.message();
    return false;
  }
  psd::MallocAllocator allocator;
  psd::NativeFile file(&allocator);
  if (!file.OpenForRead(Wide(path).c_str())) {
    *reason = "cannot open " + path;
    return false;
  }
  psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
  if (document == nullptr) {
    file.Close();
    *reason = path + " is not a PSD document the reader takes";
    return false;
  }
  Writer writer(folder, document->depth);
  bool ok = true;
  psd::LayerMaskSection* section =
      document->layerMaskExtent.length != 0 ? psd::LoadLayerMaskSection(document, &file, &allocator) : nullptr;
  if (section != nullptr && section->layerRecords != nullptr) {
    for (uint32_t i = 0; i < section->layerRecordCount; ++i) {
      psd::LayerRecord& layer = section->layerRecords[i];
      // The hand-over renames mask channels; remember where each plane came from.
      std::vector<int16_t> ids;
      for (uint32_t c = 0; c < layer.channelRecordCount; ++c) ids.push_back(layer.channelRecords[c].id);
      bool hasRealMask = false;
      for (int16_t id : ids) hasRealMask = hasRealMask || id == -3;
      psd::LoadLayerChannels(document, &file, &allocator, &layer);
      const Size layerSize = SizeOf(layer.top, layer.left, layer.bottom, layer.right);
      const std::string prefix = "layer" + std::to_string(i);
      for (uint32_t c = 0; c < layer.channelRecordCount; ++c) {
        psd::ChannelRecord& channel = layer.channelRecords[c];
        if (channel.plane == nullptr) continue;
        Size size = layerSize;
        // A mask channel left in place (no mask to go to) has an empty rectangle.
        if (channel.id == -2 || channel.id == -3) size = {0, 0};
        ok = ok && writer.Write(prefix + "_ch" + std::to_string(channel.id) + ".raw", channel.plane, size,
                                {{"kind", "channel"}, {"layer", i}, {"channel", channel.id}, {"index", c}});
      }
      if (layer.vectorMask != nullptr && layer.vectorMask->plane != nullptr) {
        const psd::MaskRecord& m = *layer.vectorMask;
        ok = ok && writer.Write(prefix + "_mask-2.raw", m.plane, SizeOf(m.top, m.left, m.bottom, m.right),
                                {{"kind", "mask"}, {"layer", i}, {"channel", -2}, {"mask", "vector_mask"}});
      }
      if (layer.layerMask != nullptr && layer.layerMask->plane != nullptr) {
        const psd::MaskRecord& m = *layer.layerMask;
        const int id = hasRealMask ? -3 : -2;
        ok = ok && writer.Write(prefix + "_mask" + std::to_string(id) + ".raw", m.plane,
                                SizeOf(m.top, m.left, m.bottom, m.right),
                                {{"kind", "mask"}, {"layer", i}, {"channel", id}, {"mask", "layer_mask"}});
      }
      // Layer by layer: the planes go back before the next layer is decoded.
      psd::ReleaseLayerPlanes(layer, &allocator);
    }
  }
  if (section != nullptr) psd::ReleaseLayerMaskSection(section, &allocator);

  psd::MergedImage* merged = psd::LoadMergedImage(document, &file, &allocator);
  if (merged != nullptr) {
    for (uint32_t k = 0; k < merged->channelCount; ++k) {
      if (merged->planes[k] == nullptr) continue;
      ok = ok && writer.Write("merged_ch" + std::to_string(k) + ".raw", merged->planes[k],
                              {merged->width, merged->height}, {{"kind", "merged"}, {"channel", k}});
    }
    psd::ReleaseMergedImage(merged, &allocator);
  }

  json index;
  index["file"] = path;
  index["width"] = document->width;
  index["height"] = document->height;
  index["depth"] = document->depth;
  index["planes"] = std::move(writer.Entries());
  std::ofstream out(std::filesystem::u8path(folder) / "index.json");
  out << index.dump(1) << "\n";
  ok = ok && static_cast<bool>(out);
  allocator.ReleaseBlock(document);
  file.Close();
  if (!ok) *reason = "cannot write the plane files to " + folder;
  return ok;
}

}  // namespace kavri_tools
