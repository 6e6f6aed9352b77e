// The whole reader over one input held in memory: header, image resources,
// layer and mask section, every layer's channels, interleaving of the loaded
// 8-bit planes, and the merged image. Everything is released again, so a leak
// or a use after release is a finding too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "psd/document_info.h"
#include "psd/image_resources.h"
#include "psd/interleave.h"
#include "psd/layer_channels.h"
#include "psd/layer_mask_section.h"
#include "psd/merged_image.h"
#include "tests/support/memory_file.h"

namespace {

// Touches every sample of a plane so that uninitialised or freed bytes show.
uint32_t Touch(const void* plane, uint64_t bytes) {
  uint32_t sum = 0;
  const auto* p = static_cast<const uint8_t*>(plane);
  for (uint64_t i = 0; i < bytes; ++i) sum += p[i];
  return sum;
}

const void* PlaneOf(const psd::LayerRecord& layer, int16_t id) {
  for (uint32_t c = 0; c < layer.channelRecordCount; ++c)
    if (layer.channelRecords[c].id == id) return layer.channelRecords[c].plane;
  return nullptr;
}

void ExerciseLayer(const psd::DocumentInfo& document, psd::Allocator& allocator, const psd::LayerRecord& layer) {
  for (const psd::MaskRecord* mask : {layer.layerMask, layer.vectorMask}) {
    if (mask == nullptr || mask->plane == nullptr) continue;
    const int64_t maskWidth = int64_t{mask->right} - mask->left, maskHeight = int64_t{mask->bottom} - mask->top;
    if (maskWidth > 0 && maskHeight > 0)
      kavri_fuzz::Keep(Touch(mask->plane, static_cast<uint64_t>(maskWidth) * static_cast<uint64_t>(maskHeight) * (document.depth / 8)));
  }
  const int64_t width = int64_t{layer.right} - layer.left;
  const int64_t height = int64_t{layer.bottom} - layer.top;
  if (width <= 0 || height <= 0) return;
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  const uint64_t sampleBytes = document.depth / 8;
  for (uint32_t c = 0; c < layer.channelRecordCount; ++c) {
    const psd::ChannelRecord& channel = layer.channelRecords[c];
    // Mask channels left without a mask keep planes of their own size.
    if (channel.plane != nullptr && channel.id >= -1) kavri_fuzz::Keep(Touch(channel.plane, pixels * sampleBytes));
  }
  if (document.depth != 8 || pixels > UINT32_MAX) return;
  const auto* r = static_cast<const uint8_t*>(PlaneOf(layer, 0));
  const auto* g = static_cast<const uint8_t*>(PlaneOf(layer, 1));
  const auto* b = static_cast<const uint8_t*>(PlaneOf(layer, 2));
  const auto* a = static_cast<const uint8_t*>(PlaneOf(layer, -1));
  if (r == nullptr || g == nullptr || b == nullptr) return;
  auto* pixelsOut = static_cast<uint8_t*>(allocator.AllocateBlock(pixels * 4, 16));
  if (pixelsOut == nullptr) return;
  const auto w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(height);
  if (a != nullptr) {
    psd::InterleavePlanes4(r, g, b, a, pixelsOut, w, h);
  } else {
    psd::InterleavePlanes3(r, g, b, 0, pixelsOut, w, h);
  }
  kavri_fuzz::Keep(Touch(pixelsOut, pixels * 4));
  allocator.ReleaseBlock(pixelsOut);
}


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kavri_fuzz::BoundedAllocator allocator(kavri_fuzz::InputBudget(size));
  {
    kavri_test::MemoryFile file(&allocator, std::vector<uint8_t>(data, data + size));
    psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
    if (document == nullptr) return 0;
    psd::ImageResourceRecord* resources = psd::ReadImageResources(document, &file, &allocator);
    psd::ReleaseImageResources(resources, &allocator);

    psd::LayerMaskSection* section = psd::LoadLayerMaskSection(document, &file, &allocator);
    if (section != nullptr) {
      for (uint32_t i = 0; i < section->layerRecordCount; ++i) {
        psd::LayerRecord& layer = section->layerRecords[i];
        psd::LoadLayerChannels(document, &file, &allocator, &layer);
        ExerciseLayer(*document, allocator, layer);
        psd::ReleaseLayerPlanes(layer, &allocator);
      }
      psd::ReleaseLayerMaskSection(section, &allocator);
    }

    psd::MergedImage* merged = psd::LoadMergedImage(document, &file, &allocator);
    if (merged != nullptr) {
      const uint64_t bytes = uint64_t{merged->width} * merged->height * (merged->depth / 8);
          for (uint32_t k = 0; k < merged->channelCount; ++k)
        if (merged->planes[k] != nullptr) kavri_fuzz::Keep(Touch(merged->planes[k], bytes));
      psd::ReleaseMergedImage(merged, &allocator);
    }
    allocator.ReleaseBlock(document);
  }
  return 0;
}
