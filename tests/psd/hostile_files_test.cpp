// Hostile copies of every corpus file (truncations at each boundary and at a
// spread of offsets; one length, count, rectangle, compression code or
// signature set to a hostile value) read through the whole reader. Each ends
// with the reader's diagnostics only, a defined result, every block released,
// and no more memory than the file's bytes can justify.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "psd/document_info.h"
#include "psd/image_resources.h"
#include "psd/interleave.h"
#include "psd/layer_channels.h"
#include "psd/layer_mask_section.h"
#include "psd/merged_image.h"
#include "tests/psd/tracking_allocator.h"
#include "tests/support/hostile_variants.h"
#include "tests/support/memory_file.h"
#include "tests/support/test_files.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

struct Outcome {
  bool document = false;  // the header was accepted
  uint32_t layers = 0;
  uint32_t planes = 0;    // layer and merged planes decoded
  uint64_t peakBytes = 0;
  int64_t liveAfter = 0;
};

const void* PlaneOf(const psd::LayerRecord& layer, int16_t id) {
  for (uint32_t c = 0; c < layer.channelRecordCount; ++c)
    if (layer.channelRecords[c].id == id) return layer.channelRecords[c].plane;
  return nullptr;
}

// What the plug-in asks of the reader, in its order: header, resources, layer
// section, each layer's channels (interleaved at 8 bits, then released), and
// the merged image.
// The reader's diagnostics go to standard output, which the caller captures.
Outcome ReadEverything(const std::vector<uint8_t>& bytes) {
  kavri_test::TrackingAllocator allocator;
  Outcome outcome;
  {
    kavri_test::MemoryFile file(&allocator, bytes);
    psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
    if (document != nullptr) {
      outcome.document = true;
      psd::ImageResourceRecord* resources = psd::ReadImageResources(document, &file, &allocator);
      psd::ReleaseImageResources(resources, &allocator);
      psd::LayerMaskSection* section = psd::LoadLayerMaskSection(document, &file, &allocator);
      if (section != nullptr) {
        outcome.layers = section->layerRecordCount;
        for (uint32_t i = 0; i < section->layerRecordCount; ++i) {
          psd::LayerRecord& layer = section->layerRecords[i];
          psd::LoadLayerChannels(document, &file, &allocator, &layer);
          const int64_t width = int64_t{layer.right} - layer.left, height = int64_t{layer.bottom} - layer.top;
          const auto* r = static_cast<const uint8_t*>(PlaneOf(layer, 0));
          const auto* g = static_cast<const uint8_t*>(PlaneOf(layer, 1));
          const auto* b = static_cast<const uint8_t*>(PlaneOf(layer, 2));
          if (document->depth == 8 && r != nullptr && g != nullptr && b != nullptr && width > 0 && height > 0) {
            const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
            auto* out = static_cast<uint8_t*>(allocator.AllocateBlock(4 * pixels, 16));
            if (out != nullptr) {
              psd::InterleavePlanes3(r, g, b, 0, out, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
              allocator.ReleaseBlock(out);
            }
          }
          for (uint32_t c = 0; c < layer.channelRecordCount; ++c) {
            outcome.planes += layer.channelRecords[c].plane != nullptr;
            allocator.ReleaseBlock(layer.channelRecords[c].plane);
            layer.channelRecords[c].plane = nullptr;
          }
          for (psd::MaskRecord* mask : {layer.layerMask, layer.vectorMask}) {
            if (mask == nullptr) continue;
            allocator.ReleaseBlock(mask->plane);
            mask->plane = nullptr;
          }
        }
        psd::ReleaseLayerMaskSection(section, &allocator);
      }
      psd::MergedImage* merged = psd::LoadMergedImage(document, &file, &allocator);
      if (merged != nullptr) {
        for (uint32_t k = 0; k < merged->channelCount; ++k) outcome.planes += merged->planes[k] != nullptr;
        psd::ReleaseMergedImage(merged, &allocator);
      }
      allocator.ReleaseBlock(document);
    }
  }
  outcome.peakBytes = allocator.peakBytes;
  outcome.liveAfter = allocator.live;
  return outcome;
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(kavri_test::CorpusFolder()))) {
    const std::string name = entry.path().filename().u8string();
    if (name.size() > 4 && (name.substr(name.size() - 4) == ".psd" || name.substr(name.size() - 4) == ".psb"))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Reading each variant costs about its size: big files get every n-th variant,
// so that each file costs about the same and the table stays fast.
constexpr uint64_t kBytesPerFile = uint64_t{1} << 20;

TEST(HostileFiles, EveryCorpusFileDamagedEndsDefinedAndBounded) {
  const std::vector<std::string> names = CorpusFiles();
  ASSERT_GT(names.size(), 40u);
  size_t tried = 0;
  size_t declined = 0;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = kavri_test::ReadWholeFile(kavri_test::CorpusFolder() + name);
    ASSERT_GT(bytes.size(), 26u);
    CaptureStdout();
    const Outcome intact = ReadEverything(bytes);
    GetCapturedStdout();
    const std::vector<kavri_test::Variant> variants = kavri_test::HostileVariants(bytes);
    const size_t stride = std::max<size_t>(1, static_cast<size_t>(variants.size() * bytes.size() / kBytesPerFile));
    // What the damaged bytes may justify: what the intact file needs, what
    // compressed data can expand to, and the reader's own floor for planes
    // without data behind them.
    const uint64_t budget = 2 * intact.peakBytes + 1100 * uint64_t{bytes.size()} + (uint64_t{64} << 20);
    // One capture for all variants of a file: a capture costs a temporary file.
    CaptureStdout();
    size_t declinedHere = 0;
    for (size_t i = 0; i < variants.size(); i += stride) {
      const kavri_test::Variant& variant = variants[i];
      SCOPED_TRACE(variant.what);
      ++tried;
      const Outcome got = ReadEverything(kavri_test::Apply(bytes, variant));
      EXPECT_EQ(got.liveAfter, 0);
      EXPECT_LE(got.peakBytes, budget);
      // A header cut before its version, or with a bad signature or version, is declined.
      if ((variant.truncated && variant.cut < 6) ||
          (!variant.truncated && variant.field.kind == kavri_test::FieldKind::Signature && variant.field.offset < 6)) {
        EXPECT_FALSE(got.document);
        ++declinedHere;
      }
    }
    const std::string output = GetCapturedStdout();
    std::string offending;
    EXPECT_TRUE(kavri_test::OnlyReaderDiagnostics(output, &offending)) << offending;
    // ... each with its message.
    size_t headerMessages = 0;
    for (size_t at = output.find("***ERROR*** [PsdExtract] File seems to be corrupt"); at != std::string::npos;
         at = output.find("***ERROR*** [PsdExtract] File seems to be corrupt", at + 1))
      ++headerMessages;
    EXPECT_GE(headerMessages, declinedHere);
    declined += declinedHere;
  }
  EXPECT_GT(tried, 3000u);
  EXPECT_GT(declined, 100u);
}

}  // namespace
