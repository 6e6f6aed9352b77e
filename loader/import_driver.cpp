#include "loader/import_driver.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "loader/geometry_builders.h"
#include "loader/layer_eligibility.h"
#include "loader/layer_images.h"
#include "loader/service_cache.h"
#include "psd/layer_channels.h"
#include "psd/layer_mask_section.h"
#include "psd/merged_image.h"

namespace kavri {

namespace {

constexpr int32_t kViewport = 0;

// Pixels a layer may claim with none of its colour channels read.
constexpr int64_t kNoDataPixelLimit = int64_t{1} << 20;

bool HasTransparencyPlane(const psd::LayerRecord& layer) {
  for (uint32_t i = 0; i < layer.channelRecordCount; ++i)
    if (layer.channelRecords[i].id == -1 && layer.channelRecords[i].plane != nullptr) return true;
  return false;
}


// The first use of a name keeps it; later uses get the layer index, and more
// if that is taken too.
std::string UniqueName(const std::string& name, uint32_t layerIndex, std::set<std::string>& used) {
  std::string unique = name;
  while (used.count(unique) != 0) unique += "_" + std::to_string(layerIndex);
  used.insert(unique);
  return unique;
}

struct LayerImages {
  HostImageId color = nullptr;
  HostImageId alpha = nullptr;
};

HostImageId SaveAndReload(HostImage image, int32_t saver, const std::string& name) {
  const std::string fileName = ApplySaverExtension(name, saver);
  gServices.imageUtility->SaveImageAs(image, saver, fileName.c_str());
  gServices.imageUtility->FreeImage(image);
  return gServices.imageList->LoadImageFile(fileName.c_str());
}

}  // namespace

LayerFraming ComputeLayerFraming(const psd::DocumentInfo& document) {
  LayerFraming framing{};
  int32_t x = 0, y = 0, width = 0, height = 0;
  gServices.viewportInfo->ViewportRectangle(kViewport, &x, &y, &width, &height);
  framing.frameWidth = width;
  framing.frameHeight = height;
  const SceneInfoService* scene = gServices.sceneInfo;
  const double aspect = static_cast<double>(scene->frameWidth) * scene->pixelAspect / scene->frameHeight;
  if (gServices.viewportInfo->ViewportKind(kViewport) == KAVRI_VIEWPORT_CAMERA && aspect > 0.0 &&
      std::isfinite(aspect)) {
    if (height * aspect <= width) {
      framing.frameWidth = static_cast<int32_t>(height * aspect);
      framing.padX = width - framing.frameWidth;
      framing.halfPadX = static_cast<int32_t>(framing.padX * 0.5);
    } else {
      framing.frameHeight = static_cast<int32_t>(width / aspect);
      framing.padY = height - framing.frameHeight;
      framing.halfPadY = static_cast<int32_t>(framing.padY * 0.5);
    }
  }
  // An empty document has nothing to scale; keep the mapping finite.
  framing.scaleX = document.width != 0 ? static_cast<double>(framing.frameWidth) / document.width : 0.0;
  framing.scaleY = document.height != 0 ? static_cast<double>(framing.frameHeight) / document.height : 0.0;
  return framing;
}

std::string ApplySaverExtension(const std::string& name, int32_t saverIndex) {
  size_t write = name.size();
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && name.size() - dot <= 5) write = dot;
  const char* label = gServices.imageUtility->SaverLabel(saverIndex);
  if (label == nullptr) return name;
  const char* open = std::strrchr(label, '(');
  if (open == nullptr) return name;
  const char* close = std::strchr(open + 1, ')');
  const size_t length = close != nullptr ? static_cast<size_t>(close - open - 1) : std::strlen(open + 1);
  return name.substr(0, write) + std::string(open + 1, length);
}

std::string DocumentBaseName(const char* fileName) {
  const char* separator = std::strrchr(fileName, kPathSeparator);
  std::string base = separator != nullptr ? separator + 1 : fileName;
  return base.size() >= 4 ? base.substr(0, base.size() - 4) : std::string();
}

std::string SafeFileNamePart(const char* layerName) {
  std::string part = layerName;
  bool onlyDots = true;
  for (char& c : part) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr) c = '_';
    if (c != '.') onlyDots = false;
  }
  if (part.empty() || onlyDots) return std::string(part.empty() ? 1 : part.size(), '_');
  return part;
}

namespace {

// What every layer of one import shares.
struct ImportContext {
  const psd::DocumentInfo* document;
  psd::Allocator* allocator;
  ObjectImportRecord* record;
  const ImportSettings& settings;
  LayerFraming framing;
  std::string prefix;  // save folder and the document's base name
  std::set<std::string> usedFileNames;
  std::set<std::string> usedSurfaceNames;
};

// Whether the layer has colour channels and none of them decoded to a plane:
// nothing of it was read, so there is nothing to show.
bool NoColourRead(const psd::LayerRecord& layer) {
  bool colourChannels = false;
  for (uint32_t i = 0; i < layer.channelRecordCount; ++i) {
    if (layer.channelRecords[i].id < 0 || layer.channelRecords[i].id == psd::kChannelIdConsumed) continue;
    colourChannels = true;
    if (layer.channelRecords[i].plane != nullptr) return false;
  }
  return colourChannels;
}

// Images, files and geometry of one layer whose planes are loaded.
// hasAlphaImage: whether the layer gets its transparency as an image of its own.
void ImportLayer(ImportContext& context, psd::LayerRecord& layer, uint32_t index, float depthOffset,
                 bool hasAlphaImage, bool releasePlanes) {
  const ImportSettings& settings = context.settings;
  const LayerFraming& framing = context.framing;
  const int32_t width = static_cast<int32_t>(int64_t{layer.right} - layer.left);
  const int32_t height = static_cast<int32_t>(int64_t{layer.bottom} - layer.top);
  ImageUtilityService* images = gServices.imageUtility;
  const bool hasPixels = layer.right != layer.left && layer.bottom != layer.top;
  // A large rectangle with no colour data behind it would have the host make,
  // save and mesh an image of nothing, as large as a few bytes of file claim.
  // (A small one, as a file cut short leaves, is still imported.)
  const int64_t pixels = std::llabs(int64_t{width}) * std::llabs(int64_t{height});
  if (hasPixels && pixels > kNoDataPixelLimit && NoColourRead(layer)) {
    if (releasePlanes) psd::ReleaseLayerPlanes(layer, context.allocator);
    return;
  }
  HostImage colorImage = images->NewImage(width, height, KAVRI_IMAGE_TYPE_RGBA);
  // A layer whose image the host would not make (a rectangle beyond what it
  // holds, or turned inside out) has nothing to show; a grid over it could
  // ask for billions of points.
  if (colorImage == nullptr && hasPixels) {
    if (releasePlanes) psd::ReleaseLayerPlanes(layer, context.allocator);
    return;
  }
  HostImage alphaImage = hasAlphaImage ? images->NewImage(width, height, KAVRI_IMAGE_TYPE_GREY) : nullptr;
  ComposeLayerImages(layer, *context.document, context.allocator, colorImage, alphaImage, settings);
  if (releasePlanes) psd::ReleaseLayerPlanes(layer, context.allocator);

  const std::string namePart = UniqueName(SafeFileNamePart(layer.name.c_str()), index, context.usedFileNames);
  // Hosts name surfaces; an unnamed layer's surface is called after its index.
  const std::string surfaceBase = layer.name.length != 0 ? layer.name.c_str() : "Layer " + std::to_string(index);
  const std::string surfaceName = UniqueName(surfaceBase, index, context.usedSurfaceNames);
  LayerImages ids;
  ids.color = SaveAndReload(colorImage, settings.colorFormat, context.prefix + "_" + namePart);
  if (alphaImage != nullptr)
    ids.alpha = SaveAndReload(alphaImage, settings.alphaFormat, context.prefix + "_A_" + namePart);

  ObjectImportRecord* record = context.record;
  switch (settings.importType) {
    case ImportSphere:
      BuildSphereLayer(layer, index, record, surfaceName.c_str(), ids.color, ids.alpha, depthOffset,
                       settings.maximumDistance, framing.halfPadX, framing.halfPadY, framing.scaleX, framing.scaleY,
                       settings.subdivisions);
      break;
    case ImportDenseMesh:
      BuildDenseMeshLayer(layer, index, record, surfaceName.c_str(), ids.color, ids.alpha, depthOffset,
                          settings.maximumDistance, framing.halfPadX, framing.halfPadY, framing.scaleX,
                          framing.scaleY);
      break;
    default:
      BuildFlatLayer(layer, index, record, surfaceName.c_str(), depthOffset, settings.maximumDistance,
                     framing.frameWidth, framing.frameHeight, framing.halfPadX, framing.halfPadY, framing.scaleX,
                     framing.scaleY, ids.color, ids.alpha);
      break;
  }
}

// A document without layers shows its merged image: one layer named after the
// file, covering the whole document, at the maximum distance.
void ImportMergedImage(ImportContext& context, psd::File* file, bool firstAlphaIsTransparency) {
  const psd::DocumentInfo& document = *context.document;
  if (DocumentSkipReason(document) != nullptr) return;
  psd::MergedImage* merged = psd::LoadMergedImage(&document, file, context.allocator);
  if (merged == nullptr) return;
  const uint32_t colorChannels = document.colorMode == psd::kColorModeGrayscale ? 1
                                 : document.colorMode == psd::kColorModeCmyk    ? 4
                                                                                : 3;
  std::vector<psd::ChannelRecord> channels;
  for (uint32_t c = 0; c < merged->channelCount && c < colorChannels; ++c)
    channels.push_back({0, 0, merged->planes[c], static_cast<int16_t>(c)});
  // The first extra channel is transparency only where the document says so.
  const bool transparent = firstAlphaIsTransparency && merged->channelCount > colorChannels &&
                           merged->planes[colorChannels] != nullptr;
  if (transparent) channels.push_back({0, 0, merged->planes[colorChannels], -1});

  auto layer = std::make_unique<psd::LayerRecord>();
  std::memset(layer.get(), 0, sizeof(psd::LayerRecord));
  const std::string name = DocumentBaseName(context.record->fileName);
  layer->name.Assign(name.c_str(), name.size());
  layer->bottom = static_cast<int32_t>(merged->height);
  layer->right = static_cast<int32_t>(merged->width);
  layer->channelRecords = channels.data();
  layer->channelRecordCount = static_cast<uint32_t>(channels.size());
  layer->opacity = 255;
  layer->visible = true;
  ImportLayer(context, *layer, 0, 0.0f, transparent, false);
  psd::ReleaseMergedImage(merged, context.allocator);
}

}  // namespace

void ImportLayers(const psd::DocumentInfo* document, psd::Allocator* allocator, psd::File* file,
                  ObjectImportRecord* record, const ImportSettings& settings) {
  ImportContext context{document, allocator, record, settings, ComputeLayerFraming(*document),
                        std::string(settings.saveDir) + DocumentBaseName(record->fileName), {}, {}};
  psd::LayerMaskSection* section = psd::LoadLayerMaskSection(document, file, allocator);
  const uint32_t layerCount = section != nullptr && section->layerRecords != nullptr ? section->layerRecordCount : 0;
  if (layerCount == 0) {
    ImportMergedImage(context, file, section != nullptr && section->firstAlphaIsTransparency);
    if (section != nullptr) psd::ReleaseLayerMaskSection(section, allocator);
    return;
  }
  const float span = settings.maximumDistance - settings.minimumDistance;
  const double step = layerCount > 1 ? span / static_cast<double>(layerCount - 1) : 0.0;
  for (uint32_t i = 0; i < layerCount; ++i) {
    psd::LayerRecord& layer = section->layerRecords[i];
    if (!HasChannelData(layer)) continue;
    psd::LoadLayerChannels(document, file, allocator, &layer);
    if (LayerSkipReason(*document, layer) != nullptr) {
      psd::ReleaseLayerPlanes(layer, allocator);
      continue;
    }
    // Transparency needs its image also on layers of fewer channels (grey with transparency).
    const bool hasAlphaImage = layer.channelRecordCount > 3 || HasTransparencyPlane(layer);
    ImportLayer(context, layer, i, static_cast<float>(i * step), hasAlphaImage, true);
  }
  psd::ReleaseLayerMaskSection(section, allocator);
}

}  // namespace kavri
