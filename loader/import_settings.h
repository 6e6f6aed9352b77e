// The import options: defaulted by the activation, edited in the options
// panel, read by the layer import and the image composition.
#pragma once

#include <cstdint>

namespace kavri {

enum ImportType : int32_t { ImportSphere = 0, ImportFlat = 1, ImportDenseMesh = 2 };

constexpr int kSaveDirCapacity = 300;

struct ImportSettings {
  int32_t importType;
  int32_t subdivisions;  // at least 1 after the panel
  float maximumDistance;
  float minimumDistance;
  int32_t colorFormat;  // image saver indices
  int32_t alphaFormat;
  char saveDir[kSaveDirCapacity];  // prefix of every written file name
  int32_t premultiplyAlpha;
};

// The saver whose label the defaults look for.
constexpr const char* kDefaultSaverLabel = "LW_TGA24(.tga)";

// Defaults for a request on fileName: Sphere, 12 subdivisions, distances 10
// and 4, premultiplied, the default saver for both images, and the file's
// folder as the save folder.
void PrepareDefaultSettings(const char* fileName, ImportSettings& settings);

}  // namespace kavri
