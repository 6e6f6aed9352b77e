#include "loader/layer_images.h"

#include <array>
#include <cmath>
#include <cstring>

#include "loader/service_cache.h"
#include "psd/interleave.h"

namespace kavri {

namespace {

const void* FindPlane(const psd::LayerRecord& layer, int16_t id) {
  for (uint32_t i = 0; i < layer.channelRecordCount; ++i) {
    const psd::ChannelRecord& channel = layer.channelRecords[i];
    if (channel.id == id && channel.plane != nullptr) return channel.plane;
  }
  return nullptr;
}

uint8_t LinearTo8(float value) {
  if (!(value > 0.0f)) return 0;  // also NaN
  if (value >= 1.0f) return 255;
  return static_cast<uint8_t>(value * 255.0f + 0.5f);
}

// Floating-point samples are linear light: colour is encoded for display.
uint8_t LinearToDisplay8(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 1.0f) return 255;
  const double encoded = value <= 0.0031308f ? 12.92 * value : 1.055 * std::pow(value, 1.0 / 2.4) - 0.055;
  return static_cast<uint8_t>(encoded * 255.0 + 0.5);
}

// 8-bit planes of one layer, converted where the document's depth needs it.
class Planes8 {
 public:
  Planes8(psd::Allocator* allocator, uint32_t depth, size_t count) : allocator_(allocator), depth_(depth), count_(count) {}
  ~Planes8() {
    for (int i = 0; i < owned_; ++i) allocator_->ReleaseBlock(blocks_[i]);
  }
  Planes8(const Planes8&) = delete;
  Planes8& operator=(const Planes8&) = delete;

  // A plane of count_ bytes, or null when no memory is left.
  uint8_t* New() {
    if (owned_ == kMaxBlocks) return nullptr;
    auto* block = static_cast<uint8_t*>(allocator_->AllocateBlock(count_ == 0 ? 1 : count_, 16));
    if (block != nullptr) blocks_[owned_++] = block;
    return block;
  }

  // The channel's samples as 8 bits; zeros when the layer lacks the channel.
  const uint8_t* Get(const void* plane, bool colour) {
    if (plane != nullptr && depth_ == 8) return static_cast<const uint8_t*>(plane);
    uint8_t* converted = New();
    if (converted == nullptr) return nullptr;
    if (plane == nullptr) {
      std::memset(converted, 0, count_);
    } else if (depth_ == 16) {
      const auto* samples = static_cast<const uint16_t*>(plane);
      for (size_t i = 0; i < count_; ++i) converted[i] = static_cast<uint8_t>((samples[i] * 255u + 32767u) / 65535u);
    } else if (depth_ == 32) {
      const auto* samples = static_cast<const float*>(plane);
      for (size_t i = 0; i < count_; ++i) converted[i] = colour ? LinearToDisplay8(samples[i]) : LinearTo8(samples[i]);
    } else {
      std::memset(converted, 0, count_);
    }
    return converted;
  }

 private:
  static constexpr int kMaxBlocks = 8;
  psd::Allocator* allocator_;
  uint32_t depth_;
  size_t count_;
  uint8_t* blocks_[kMaxBlocks] = {};
  int owned_ = 0;
};

// value × (alpha ÷ 255.0) in double, truncated, for every alpha and value:
// the per-pixel products become look-ups with the same results.
using PremultiplyTable = std::array<std::array<uint8_t, 256>, 256>;

const PremultiplyTable& Premultiplied() {
  static const PremultiplyTable table = [] {
    PremultiplyTable products{};
    for (int a = 0; a < 256; ++a) {
      const double f = a / 255.0;
      for (int v = 0; v < 256; ++v) products[a][v] = static_cast<uint8_t>(v * f);
    }
    return products;
  }();
  return table;
}

}  // namespace

void ComposeLayerImages(const psd::LayerRecord& layer, const psd::DocumentInfo& document, psd::Allocator* allocator,
                        HostImage colorImage, HostImage alphaImage, const ImportSettings& settings) {
  ImageUtilityService* images = gServices.imageUtility;
  int32_t imageWidth = 0;
  int32_t imageHeight = 0;
  images->ImageGeometry(colorImage, &imageWidth, &imageHeight);
  // The planes are the layer rectangle's size; never read past them, whatever the image's.
  const int64_t layerWidth = int64_t{layer.right} - layer.left;
  const int64_t layerHeight = int64_t{layer.bottom} - layer.top;
  if (layerWidth <= 0 || layerHeight <= 0 || imageWidth <= 0 || imageHeight <= 0) return;
  const uint64_t count = static_cast<uint64_t>(layerWidth) * static_cast<uint64_t>(layerHeight);
  if (count > UINT32_MAX / 4) return;
  const int32_t width = static_cast<int32_t>(imageWidth < layerWidth ? imageWidth : layerWidth);
  const int32_t height = static_cast<int32_t>(imageHeight < layerHeight ? imageHeight : layerHeight);

  Planes8 planes(allocator, document.depth, static_cast<size_t>(count));
  const uint8_t* red = nullptr;
  const uint8_t* green = nullptr;
  const uint8_t* blue = nullptr;
  if (document.colorMode == psd::kColorModeGrayscale) {
    red = green = blue = planes.Get(FindPlane(layer, 0), true);
  } else if (document.colorMode == psd::kColorModeCmyk) {
    // Inks are stored inverted (255: no ink), so each colour is its stored ink
    // times the stored black.
    const uint8_t* inks[4];
    for (int16_t id = 0; id < 4; ++id) inks[id] = planes.Get(FindPlane(layer, id), true);
    uint8_t* rgb[3] = {planes.New(), planes.New(), planes.New()};
    if (inks[0] && inks[1] && inks[2] && inks[3] && rgb[0] && rgb[1] && rgb[2]) {
      for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < count; ++i) rgb[c][i] = static_cast<uint8_t>((inks[c][i] * inks[3][i] + 127) / 255);
      red = rgb[0];
      green = rgb[1];
      blue = rgb[2];
    }
  } else {
    red = planes.Get(FindPlane(layer, 0), true);
    green = planes.Get(FindPlane(layer, 1), true);
    blue = planes.Get(FindPlane(layer, 2), true);
  }
  const void* transparencyPlane = FindPlane(layer, -1);
  const uint8_t* alpha = transparencyPlane != nullptr ? planes.Get(transparencyPlane, false) : nullptr;
  auto* pixels = static_cast<uint8_t*>(allocator->AllocateBlock(count * 4, 16));
  if (red == nullptr || green == nullptr || blue == nullptr || (transparencyPlane != nullptr && alpha == nullptr) ||
      pixels == nullptr) {
    allocator->ReleaseBlock(pixels);
    return;
  }

  const uint32_t rowStride = static_cast<uint32_t>(layerWidth);
  if (alpha == nullptr) {
    psd::InterleavePlanes3(red, green, blue, 0, pixels, rowStride, static_cast<uint32_t>(layerHeight));
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        uint8_t* p = pixels + (static_cast<size_t>(y) * rowStride + x) * 4;
        const uint8_t rgba[4] = {p[0], p[1], p[2], 255};
        images->PutPixel(colorImage, x, y, rgba);
      }
    }
  } else {
    psd::InterleavePlanes4(red, green, blue, alpha, pixels, rowStride, static_cast<uint32_t>(layerHeight));
    const bool premultiply = settings.premultiplyAlpha == 1;
    const PremultiplyTable& products = Premultiplied();
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        uint8_t* p = pixels + (static_cast<size_t>(y) * rowStride + x) * 4;
        const uint8_t a = p[3];
        uint8_t rgba[4] = {p[0], p[1], p[2], a};
        if (premultiply) {
          const std::array<uint8_t, 256>& byAlpha = products[a];
          for (int c = 0; c < 3; ++c) rgba[c] = byAlpha[p[c]];
        }
        images->PutPixel(colorImage, x, y, rgba);
        if (alphaImage != nullptr) {
          const uint8_t inverted = static_cast<uint8_t>(255 - a);
          const uint8_t grey[4] = {inverted, inverted, inverted, 0};
          images->PutPixel(alphaImage, x, y, grey);
        }
      }
    }
  }
  allocator->ReleaseBlock(pixels);
}

}  // namespace kavri
