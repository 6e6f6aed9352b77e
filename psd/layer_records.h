// The layer data model of a document: sections, layer records, channels, masks.
// The layer and mask section parser fills it; channel extraction adds planes.
#pragma once

#include <cstdint>

#include "psd/fixed_size_string.h"

namespace psd {

enum LayerSectionType : uint32_t {
  Normal = 0,
  OpenGroup = 1,
  ClosedGroup = 2,
  GroupEnd = 3,
};

struct ChannelRecord {
  uint64_t dataOffset;  // absolute offset of the 2-byte compression code; 0 until known
  uint32_t dataLength;  // as stored, compression code included
  void* plane;          // owned; decoded samples in native byte order
  int16_t id;           // −1 transparency, −2/−3 masks, 0… colour, kChannelIdConsumed
};

// The channel whose plane was handed over to its mask.
constexpr int16_t kChannelIdConsumed = 32767;

struct MaskRecord {
  int32_t top, left, bottom, right;
  uint64_t dataOffset;
  void* plane;  // owned
  double feather;
  uint8_t density;
  uint8_t defaultColor;
};

struct LayerRecord {
  LayerRecord* group;  // innermost enclosing group record; not owned
  FixedSizeString<1024> name;
  uint16_t* unicodeName;  // owned, zero-terminated; null without "luni"
  int32_t top, left, bottom, right;
  ChannelRecord* channelRecords;  // owned, stored order
  uint32_t channelRecordCount;
  MaskRecord* layerMask;   // owned
  MaskRecord* vectorMask;  // owned
  uint32_t blendModeKey;
  uint8_t opacity;
  uint8_t clipping;
  uint32_t sectionType;  // LayerSectionType
  bool visible;
};

struct LayerMaskSection {
  LayerRecord* layerRecords;  // owned; null when the layer information was empty
  uint32_t layerRecordCount;
  uint16_t overlayColorSpace;
  uint16_t maskOpacity;
  uint8_t maskKind;
  bool firstAlphaIsTransparency;
};

}  // namespace psd
