// Whole-file decode of every layer channel of a PSD document, and the limit of
// the same work: reading the file once plus the plainest decode of its
// streams (PackBits, one-shot inflate and the delta step, memcpy).
//
// usage: kavri_bench_file reader|limit FILE [REPEATS]
// Prints one line of JSON: {"mode", "seconds" (best of REPEATS), "planes",
// "plane_bytes"}. Peak memory is measured by the caller around the process.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "psd/channel_decoding.h"
#include "psd/document_info.h"
#include "psd/layer_channels.h"
#include "psd/layer_mask_section.h"
#include "psd/native_file.h"

namespace {

struct Outcome {
  double seconds = 0;
  uint64_t planes = 0;
  uint64_t planeBytes = 0;
};

struct Document {
  psd::MallocAllocator allocator;
  psd::NativeFile file{&allocator};
  psd::DocumentInfo* info = nullptr;
  psd::LayerMaskSection* section = nullptr;
  bool Open(const std::string& path) {
    std::wstring wide(path.begin(), path.end());
    if (!file.OpenForRead(wide.c_str())) return false;
    info = psd::ReadDocumentInfo(&file, &allocator);
    if (info != nullptr) section = psd::LoadLayerMaskSection(info, &file, &allocator);
    return section != nullptr;
  }
  ~Document() {
    if (section != nullptr) psd::ReleaseLayerMaskSection(section, &allocator);
    allocator.ReleaseBlock(info);
    file.Close();
  }
};

uint64_t PlaneBytes(const psd::LayerRecord& layer, uint32_t depth) {
  const int64_t w = std::max<int64_t>(0, int64_t{layer.right} - layer.left);
  const int64_t h = std::max<int64_t>(0, int64_t{layer.bottom} - layer.top);
  return static_cast<uint64_t>(w * h) * (depth / 8);
}

// The reader as the importer uses it: the file is opened and parsed, then each
// layer is loaded and its planes released before the next.
Outcome RunReader(const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  Document document;
  Outcome outcome;
  if (!document.Open(path)) return outcome;
  psd::LayerMaskSection* section = document.section;
  for (uint32_t i = 0; i < section->layerRecordCount; ++i) {
    psd::LayerRecord& layer = section->layerRecords[i];
    psd::LoadLayerChannels(document.info, &document.file, &document.allocator, &layer);
    for (uint32_t c = 0; c < layer.channelRecordCount; ++c) {
      psd::ChannelRecord& channel = layer.channelRecords[c];
      if (channel.plane != nullptr) {
        ++outcome.planes;
        outcome.planeBytes += PlaneBytes(layer, document.info->depth);
      }
      document.allocator.ReleaseBlock(channel.plane);
      channel.plane = nullptr;
    }
    for (psd::MaskRecord* mask : {layer.layerMask, layer.vectorMask}) {
      if (mask != nullptr) {
        document.allocator.ReleaseBlock(mask->plane);
        mask->plane = nullptr;
      }
    }
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return outcome;
}

// The limit: one read of the whole file, then each channel's stream decoded by
// the plain decoders into one reused buffer. The channel places come from the
// layer records, parsed before the clock starts.
Outcome RunLimit(const std::string& path) {
  Outcome outcome;
  Document document;
  if (!document.Open(path)) return outcome;
  const uint32_t depth = document.info->depth;
  const uint64_t size = document.file.QuerySize();
  // Both buffers are touched before the clock starts: the limit pays for
  // reading and decoding, not for the first use of fresh memory.
  std::vector<uint8_t> bytes(size, 0);
  uint64_t largestPlane = 0;
  for (uint32_t i = 0; i < document.section->layerRecordCount; ++i) {
    largestPlane = std::max(largestPlane, PlaneBytes(document.section->layerRecords[i], depth));
  }
  std::vector<uint8_t> output(largestPlane, 0);
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t done = 0; done < size;) {
    const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(size - done, 1u << 30));
    psd::ReadAt(&document.file, bytes.data() + done, chunk, done);
    done += chunk;
  }
  const psd::LayerMaskSection* section = document.section;
  for (uint32_t i = 0; i < section->layerRecordCount; ++i) {
    const psd::LayerRecord& layer = section->layerRecords[i];
    const uint64_t planeBytes = PlaneBytes(layer, depth);
    const uint32_t rows = static_cast<uint32_t>(std::max<int64_t>(0, int64_t{layer.bottom} - layer.top));
    for (uint32_t c = 0; c < layer.channelRecordCount; ++c) {
      const psd::ChannelRecord& channel = layer.channelRecords[c];
      if (channel.id < -1 || channel.dataLength < 2 || channel.dataOffset + channel.dataLength > size) continue;
      if (planeBytes == 0) continue;
      const uint8_t* data = bytes.data() + channel.dataOffset;
      const uint16_t code = static_cast<uint16_t>(data[0] << 8 | data[1]);
      const uint8_t* stream = data + 2;
      const size_t streamBytes = channel.dataLength - 2;
      if (code == 0) {
        std::memcpy(output.data(), stream, std::min<size_t>(planeBytes, streamBytes));
      } else if (code == 1) {
        kavri_bench::PlainPackBits(stream + 2 * rows, streamBytes - 2 * rows, output.data(), planeBytes);
      } else if (kavri_bench::HaveLibdeflate()) {
        kavri_bench::LibdeflateOneShot(stream, streamBytes, output.data(), planeBytes);
      } else {
        kavri_bench::ZlibOneShot(stream, streamBytes, output.data(), planeBytes);
      }
      if (code == 3 && depth == 8) {
        kavri_bench::PlainDeltaRows(output.data(), static_cast<uint32_t>(planeBytes / std::max(rows, 1u)), rows);
      }
      ++outcome.planes;
      outcome.planeBytes += planeBytes;
    }
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return outcome;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s reader|limit FILE [REPEATS]\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  const std::string path = argv[2];
  const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  Outcome best;
  for (int r = 0; r < repeats; ++r) {
    const Outcome outcome = mode == "limit" ? RunLimit(path) : RunReader(path);
    if (outcome.planes == 0) {
      std::fprintf(stderr, "%s: no layer channels decoded\n", path.c_str());
      return 1;
    }
    if (r == 0 || outcome.seconds < best.seconds) best = outcome;
  }
  std::printf("{\"mode\": \"%s\", \"seconds\": %.6f, \"planes\": %llu, \"plane_bytes\": %llu}\n", mode.c_str(),
              best.seconds, static_cast<unsigned long long>(best.planes),
              static_cast<unsigned long long>(best.planeBytes));
  return 0;
}
