#include "psd/layer_mask_section.h"

#include <cstring>

#include "psd/diagnostics.h"

namespace psd {

namespace {

constexpr uint32_t FourCc(const char (&text)[5]) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8) | static_cast<uint32_t>(static_cast<uint8_t>(text[3]));
}

constexpr uint32_t kSignature = FourCc("8BIM");
constexpr uint32_t kKeySectionType = FourCc("lsct");
// Some writers mark nested groups with this key; its layout is that of "lsct".
constexpr uint32_t kKeyNestedSectionType = FourCc("lsdk");
constexpr uint32_t kKeyUnicodeName = FourCc("luni");
constexpr uint32_t kKeyLayers16 = FourCc("Lr16");
constexpr uint32_t kKeyLayers32 = FourCc("Lr32");

// The smallest layer record the file can hold: rectangle, channel count,
// blend signature and key, opacity/clipping/flags/filler, extra data length,
// and extra data of empty mask data, empty blending ranges and a 4-byte name.
constexpr uint64_t kMinimumLayerRecordSize = 16 + 2 + 4 + 4 + 4 + 4 + 4 + 4 + 4;
constexpr uint64_t kChannelInfoSize = 6;

constexpr int kGroupStackSize = 256;

const char kTagLayerMaskSection[] = "[LayerMaskSection]";
const char kTagAdditionalLayerInfo[] = "[AdditionalLayerInfo]";

void ReportBlendSignatureMismatch() {
  ReportError(kTagLayerMaskSection, "Layer mask info section seems to be corrupt, signature does not match \"8BIM\".");
}

void ReportLayerBlockCorrupt() {
  ReportError(kTagLayerMaskSection,
              "Additional Layer Information section seems to be corrupt, signature does not match \"8BIM\".");
}

void ReportGlobalBlockCorrupt() {
  ReportError(kTagAdditionalLayerInfo,
              "Additional Layer Information section seems to be corrupt, signature does not match \"8BIM\".");
}

void ReleaseMask(MaskRecord*& mask, Allocator* allocator) {
  if (mask == nullptr) return;
  allocator->ReleaseBlock(mask->plane);
  allocator->ReleaseBlock(mask);
  mask = nullptr;
}

void ReleaseRecordContents(LayerRecord& record, Allocator* allocator) {
  if (record.channelRecords != nullptr) {
    for (uint32_t c = 0; c < record.channelRecordCount; ++c) allocator->ReleaseBlock(record.channelRecords[c].plane);
  }
  allocator->ReleaseBlock(record.unicodeName);
  record.unicodeName = nullptr;
  allocator->ReleaseBlock(record.channelRecords);
  record.channelRecords = nullptr;
  ReleaseMask(record.layerMask, allocator);
  ReleaseMask(record.vectorMask, allocator);
}

enum class RecordOutcome { kRead, kCorrupt, kOutOfMemory };

struct MaskEntry {
  int32_t rectangle[4];
  uint8_t defaultColor;
  bool fromOtherData;
};

// Reads mask data of the given length at the cursor and leaves the cursor
// exactly length bytes further. False when a mask record cannot be allocated.
bool ReadLayerMaskData(FileCursor& cursor, Allocator* allocator, uint32_t length, LayerRecord& record) {
  const uint64_t start = cursor.offset;
  uint8_t userDensity = 0;
  double userFeather = 0.0;
  uint8_t vectorDensity = 0;
  double vectorFeather = 0.0;

  MaskEntry entries[2] = {};
  int entryCount = 1;
  ReadRectangle(cursor, entries[0].rectangle);
  entries[0].defaultColor = cursor.ReadU8();
  const uint8_t flags = cursor.ReadU8();
  entries[0].fromOtherData = (flags & 0x08) != 0;
  int64_t remaining = static_cast<int64_t>(length) - 18;
  if ((flags & 0x10) != 0 && length <= 28) {
    remaining -= static_cast<int64_t>(ReadMaskParameterBlock(cursor, userDensity, userFeather, vectorDensity, vectorFeather));
  }
  if (remaining >= 18) {
    const uint8_t realFlags = cursor.ReadU8();
    entries[1].defaultColor = cursor.ReadU8();
    ReadRectangle(cursor, entries[1].rectangle);
    entries[1].fromOtherData = (realFlags & 0x08) != 0;
    entryCount = 2;
    remaining -= 18;
    if ((realFlags & 0x10) != 0 || (flags & 0x10) != 0) {
      remaining -= static_cast<int64_t>(ReadMaskParameterBlock(cursor, userDensity, userFeather, vectorDensity, vectorFeather));
    }
  }
  if (remaining < 0) ReportAssert("Parsing failed, %lldbytes left.", static_cast<long long>(remaining));
  cursor.offset = start + length;

  for (int e = 0; e < entryCount; ++e) {
    const MaskEntry& entry = entries[e];
    MaskRecord*& slot = entry.fromOtherData ? record.vectorMask : record.layerMask;
    if (slot != nullptr) {
      ReportAssert(entry.fromOtherData ? "A vector mask already exists." : "A layer mask already exists.");
    }
    auto* mask = static_cast<MaskRecord*>(allocator->AllocateBlock(sizeof(MaskRecord), 8));
    if (mask == nullptr) return false;
    mask->top = entry.rectangle[0];
    mask->left = entry.rectangle[1];
    mask->bottom = entry.rectangle[2];
    mask->right = entry.rectangle[3];
    mask->dataOffset = 0;
    mask->plane = nullptr;
    mask->feather = entry.fromOtherData ? vectorFeather : userFeather;
    mask->density = entry.fromOtherData ? vectorDensity : userDensity;
    mask->defaultColor = entry.defaultColor;
    // The earlier record is replaced, so it goes back to the allocator.
    ReleaseMask(slot, allocator);
    slot = mask;
  }
  return true;
}

// Reads a "luni" block's text; the count is kept to what the block holds.
bool ReadUnicodeName(FileCursor& cursor, Allocator* allocator, uint32_t blockLength, LayerRecord& record) {
  if (blockLength < 4) return true;
  uint32_t count = cursor.ReadU32BE();
  const uint32_t capacity = (blockLength - 4) / 2;
  if (count > capacity) count = capacity;
  auto* units = static_cast<uint16_t*>(allocator->AllocateBlock((static_cast<uint64_t>(count) + 1) * 2, 2));
  if (units == nullptr) return false;
  auto* bytes = reinterpret_cast<uint8_t*>(units);
  std::memset(bytes, 0, (static_cast<size_t>(count) + 1) * 2);
  if (count != 0) cursor.ReadBytes(bytes, static_cast<uint64_t>(count) * 2);
  for (uint32_t i = 0; i < count; ++i) units[i] = LoadU16BE(bytes + 2 * i);
  units[count] = 0;
  allocator->ReleaseBlock(record.unicodeName);
  record.unicodeName = units;
  return true;
}

// The additional layer information blocks of one record, between the cursor
// and extraEnd. The cursor is left at extraEnd.
RecordOutcome ReadLayerBlocks(FileCursor& cursor, Allocator* allocator, uint64_t extraEnd, LayerRecord& record) {
  int64_t remaining = static_cast<int64_t>(extraEnd - cursor.offset);
  bool sectionTypeFromLsct = false;
  bool previousPaddedToTwo = false;
  while (remaining > 0) {
    const uint64_t blockStart = cursor.offset;
    uint32_t signature = cursor.ReadU32BE();
    if (signature != kSignature && previousPaddedToTwo) {
      // Some writers pad blocks to 2 bytes, not 4: the block may begin 2 bytes earlier.
      FileCursor earlier{cursor.file, blockStart - 2};
      if (earlier.ReadU32BE() == kSignature) {
        signature = kSignature;
        cursor.offset = earlier.offset;
        remaining += 2;
      }
    }
    if (signature != kSignature) {
      ReportLayerBlockCorrupt();
      return RecordOutcome::kCorrupt;
    }
    const uint32_t key = cursor.ReadU32BE();
    const uint32_t length = cursor.ReadU32BE();
    // A block that claims more than the record has left is corrupt.
    if (static_cast<int64_t>(length) > remaining - 12) {
      ReportLayerBlockCorrupt();
      return RecordOutcome::kCorrupt;
    }
    const uint64_t padded = (static_cast<uint64_t>(length) + 3) & ~uint64_t{3};
    previousPaddedToTwo = padded != ((static_cast<uint64_t>(length) + 1) & ~uint64_t{1});
    const uint64_t dataStart = cursor.offset;
    if (key == kKeySectionType && length >= 4) {
      record.sectionType = cursor.ReadU32BE();
      sectionTypeFromLsct = true;
    } else if (key == kKeyNestedSectionType && length >= 4 && !sectionTypeFromLsct) {
      record.sectionType = cursor.ReadU32BE();
    } else if (key == kKeyUnicodeName) {
      if (!ReadUnicodeName(cursor, allocator, length, record)) return RecordOutcome::kOutOfMemory;
    }
    cursor.offset = dataStart + padded;
    remaining -= static_cast<int64_t>(12 + padded);
  }
  // The next record starts where this one's extra data ends by its declared
  // length, even when the last block's rounding reached past it.
  cursor.offset = extraEnd;
  return RecordOutcome::kRead;
}

// Reads one layer record into a cleared record. limit: where the layer
// information (or the file) ends.
RecordOutcome ReadLayerRecord(FileCursor& cursor, Allocator* allocator, uint64_t limit, LayerRecord& record) {
  std::memset(&record, 0, sizeof record);
  record.name.Clear();
  int32_t rectangle[4];
  ReadRectangle(cursor, rectangle);
  record.top = rectangle[0];
  record.left = rectangle[1];
  record.bottom = rectangle[2];
  record.right = rectangle[3];

  const uint16_t channelCount = cursor.ReadU16BE();
  if (cursor.offset + channelCount * kChannelInfoSize > limit) {
    ReportError(kTagLayerMaskSection, "Channel count %u of a layer record does not fit into the layer information.",
                static_cast<unsigned>(channelCount));
    return RecordOutcome::kCorrupt;
  }
  record.channelRecords =
      static_cast<ChannelRecord*>(allocator->AllocateBlock(channelCount * sizeof(ChannelRecord), 8));
  if (record.channelRecords == nullptr) return RecordOutcome::kOutOfMemory;
  record.channelRecordCount = channelCount;
  for (uint32_t c = 0; c < channelCount; ++c) {
    ChannelRecord& channel = record.channelRecords[c];
    channel.dataOffset = 0;
    channel.plane = nullptr;
    channel.id = cursor.ReadI16BE();
    channel.dataLength = cursor.ReadU32BE();
  }

  if (cursor.ReadU32BE() != kSignature) {
    ReportBlendSignatureMismatch();
    return RecordOutcome::kCorrupt;
  }
  record.blendModeKey = cursor.ReadU32BE();
  record.opacity = cursor.ReadU8();
  record.clipping = cursor.ReadU8();
  const uint8_t flags = cursor.ReadU8();
  record.visible = (flags & 0x02) == 0;
  cursor.ReadU8();  // filler

  const uint32_t extraLength = cursor.ReadU32BE();
  const uint64_t extraStart = cursor.offset;
  const uint64_t extraEnd = extraStart + extraLength;

  const uint32_t maskLength = cursor.ReadU32BE();
  if (maskLength != 0 && !ReadLayerMaskData(cursor, allocator, maskLength, record)) return RecordOutcome::kOutOfMemory;

  const uint32_t blendingRangesLength = cursor.ReadU32BE();
  cursor.Skip(blendingRangesLength);

  char name[512] = {};
  const uint8_t nameLength = cursor.ReadU8();
  const uint32_t nameFieldSize = (static_cast<uint32_t>(nameLength) + 4) & ~3u;
  cursor.ReadBytes(name, nameFieldSize - 1);
  record.name.Assign(name);

  // Mask data, blending ranges and name longer than the extra data leave no
  // place where the blocks or the next record could start.
  if (cursor.offset > extraEnd) {
    ReportLayerBlockCorrupt();
    return RecordOutcome::kCorrupt;
  }
  return ReadLayerBlocks(cursor, allocator, extraEnd, record);
}

// The layer count, the records and the channel data offsets. False when the
// parse stopped early (the records read before stay, counted).
bool ReadLayerList(FileCursor& cursor, Allocator* allocator, uint32_t layerInfoLength, LayerMaskSection& section) {
  uint64_t limit = cursor.offset + layerInfoLength;
  const uint64_t fileSize = cursor.file->QuerySize();
  if (fileSize < limit) limit = fileSize;

  const int16_t storedCount = cursor.ReadI16BE();
  section.firstAlphaIsTransparency = storedCount < 0;
  // −32768 has no positive 16-bit form: its magnitude is taken in 32 bits.
  const uint32_t count = storedCount < 0 ? static_cast<uint32_t>(-static_cast<int32_t>(storedCount))
                                         : static_cast<uint32_t>(storedCount);
  const uint64_t available = limit > cursor.offset ? limit - cursor.offset : 0;
  const uint64_t fitting = available / kMinimumLayerRecordSize;
  const uint32_t readable = count <= fitting ? count : static_cast<uint32_t>(fitting);
  if (readable < count) {
    ReportError(kTagLayerMaskSection, "Layer count %u does not fit into the %llu bytes of layer information left.",
                count, static_cast<unsigned long long>(available));
  }

  section.layerRecords = static_cast<LayerRecord*>(allocator->AllocateBlock(readable * sizeof(LayerRecord), 8));
  if (section.layerRecords == nullptr) return false;
  std::memset(static_cast<void*>(section.layerRecords), 0, readable * sizeof(LayerRecord));
  for (uint32_t i = 0; i < readable; ++i) {
    LayerRecord& record = section.layerRecords[i];
    if (ReadLayerRecord(cursor, allocator, limit, record) != RecordOutcome::kRead) {
      // Only whole records count: the one that failed goes back to its empty state.
      ReleaseRecordContents(record, allocator);
      std::memset(static_cast<void*>(&record), 0, sizeof record);
      record.name.Clear();
      return false;
    }
    section.layerRecordCount = i + 1;
  }
  if (readable < count) return false;

  for (uint32_t i = 0; i < section.layerRecordCount; ++i) {
    LayerRecord& record = section.layerRecords[i];
    for (uint32_t c = 0; c < record.channelRecordCount; ++c) {
      record.channelRecords[c].dataOffset = cursor.offset;
      cursor.offset += record.channelRecords[c].dataLength;
    }
  }
  return true;
}

// The global layer mask information and the document's additional layer
// information blocks; an "Lr16" or "Lr32" block replaces the section.
void ReadGlobalTail(FileCursor& cursor, Allocator* allocator, uint64_t sectionOffset, uint32_t sectionLength,
                    uint32_t layerInfoLength, LayerMaskSection*& section) {
  cursor.offset = sectionOffset + 4 + layerInfoLength;
  const uint64_t sectionEnd = sectionOffset + sectionLength;
  if (sectionEnd <= cursor.offset) return;
  int64_t remaining = static_cast<int64_t>(sectionEnd - cursor.offset);
  // Some writers end the section with fewer bytes than this length field needs.
  if (remaining < 4) return;
  const uint32_t maskInfoLength = cursor.ReadU32BE();
  remaining -= 4;
  if (maskInfoLength != 0) {
    const uint64_t maskInfoStart = cursor.offset;
    if (remaining >= 13) {
      section->overlayColorSpace = cursor.ReadU16BE();
      cursor.Skip(8);  // colour components
      section->maskOpacity = cursor.ReadU16BE();
      section->maskKind = cursor.ReadU8();
    }
    // Too short to hold its fields, or longer than the section: nothing
    // after it can be found.
    if (maskInfoLength < 13 || maskInfoLength > remaining) return;
    cursor.offset = maskInfoStart + maskInfoLength;
    remaining -= maskInfoLength;
  }

  while (remaining > 0) {
    // Fewer bytes than a signature: padding, nothing to read.
    if (remaining < 4) return;
    if (cursor.ReadU32BE() != kSignature) {
      ReportGlobalBlockCorrupt();
      return;
    }
    const uint32_t key = cursor.ReadU32BE();
    const uint32_t length = cursor.ReadU32BE();
    if (static_cast<int64_t>(length) > remaining - 12) {
      ReportGlobalBlockCorrupt();
      return;
    }
    const uint64_t padded = (static_cast<uint64_t>(length) + 3) & ~uint64_t{3};
    const uint64_t dataStart = cursor.offset;
    if (key == kKeyLayers16 || key == kKeyLayers32) {
      FileCursor inner{cursor.file, dataStart};
      LayerMaskSection* replacement = ParseLayerRecords(inner, allocator, 0, 0, static_cast<uint32_t>(padded));
      if (replacement != nullptr) {
        // The global values describe the document, not the list: they stay.
        replacement->overlayColorSpace = section->overlayColorSpace;
        replacement->maskOpacity = section->maskOpacity;
        replacement->maskKind = section->maskKind;
        ReleaseLayerMaskSection(section, allocator);
        section = replacement;
      }
    }
    cursor.offset = dataStart + padded;
    remaining -= static_cast<int64_t>(12 + padded);
  }
}

// Links every record to its innermost enclosing group. The records of a group
// come as: end marker, members, group record; so the walk goes backwards.
void LinkGroups(LayerMaskSection& section) {
  LayerRecord* stack[kGroupStackSize] = {};
  int index = 0;
  for (uint32_t i = section.layerRecordCount; i-- > 0;) {
    LayerRecord& record = section.layerRecords[i];
    if (index < 0 || index >= kGroupStackSize) ReportAssert("Stack index is out of bounds.");
    // Groups nested deeper than the stack share its last slot; an end marker
    // without an open group leaves the walk at the top level.
    const int slot = index < kGroupStackSize ? index : kGroupStackSize - 1;
    record.group = stack[slot];
    if (record.sectionType == GroupEnd) {
      if (index == 0) {
        ReportAssert("Stack index is out of bounds.");
      } else {
        --index;
      }
    } else if (record.sectionType == OpenGroup || record.sectionType == ClosedGroup) {
      ++index;
      if (index < kGroupStackSize) stack[index] = &record;
    }
  }
}

}  // namespace

uint64_t ReadRectangle(FileCursor& cursor, int32_t* destination) {
  for (int i = 0; i < 4; ++i) destination[i] = cursor.ReadI32BE();
  return 16;
}

uint64_t ReadMaskParameterBlock(FileCursor& cursor, uint8_t& userDensity, double& userFeather, uint8_t& vectorDensity,
                                double& vectorFeather) {
  const uint8_t flags = cursor.ReadU8();
  uint64_t consumed = 1;
  if ((flags & 0x01) != 0) {
    userDensity = cursor.ReadU8();
    consumed += 1;
  }
  if ((flags & 0x02) != 0) {
    userFeather = cursor.ReadF64BE();
    consumed += 8;
  }
  if ((flags & 0x04) != 0) {
    vectorDensity = cursor.ReadU8();
    consumed += 1;
  }
  if ((flags & 0x08) != 0) {
    vectorFeather = cursor.ReadF64BE();
    consumed += 8;
  }
  return consumed;
}

LayerMaskSection* ParseLayerRecords(FileCursor& cursor, Allocator* allocator, uint64_t sectionOffset,
                                    uint32_t sectionLength, uint32_t layerInfoLength) {
  if (!AssertNotNull(allocator)) return nullptr;
  auto* section = static_cast<LayerMaskSection*>(allocator->AllocateBlock(sizeof(LayerMaskSection), 8));
  if (section == nullptr) return nullptr;
  section->layerRecords = nullptr;
  section->layerRecordCount = 0;
  section->overlayColorSpace = 0;
  section->maskOpacity = 0;
  section->maskKind = 128;
  section->firstAlphaIsTransparency = false;

  if (layerInfoLength != 0 && !ReadLayerList(cursor, allocator, layerInfoLength, *section)) return section;
  if (sectionLength == 0) return section;
  ReadGlobalTail(cursor, allocator, sectionOffset, sectionLength, layerInfoLength, section);
  return section;
}

LayerMaskSection* LoadLayerMaskSection(const DocumentInfo* document, File* file, Allocator* allocator) {
  const bool haveFile = AssertNotNull(file);
  const bool haveAllocator = AssertNotNull(allocator);
  if (!haveFile || !haveAllocator || !AssertNotNull(document)) return nullptr;
  if (document->layerMaskExtent.length == 0) {
    ReportError("[PSD]", "Document does not contain a layer mask section.");
    return nullptr;
  }
  FileCursor cursor{file, document->layerMaskExtent.offset};
  const uint32_t layerInfoLength = cursor.ReadU32BE();
  LayerMaskSection* section = ParseLayerRecords(cursor, allocator, document->layerMaskExtent.offset,
                                                document->layerMaskExtent.length, layerInfoLength);
  if (section == nullptr || section->layerRecords == nullptr) return section;
  LinkGroups(*section);
  return section;
}

void ReleaseLayerMaskSection(LayerMaskSection*& section, Allocator* allocator) {
  const bool haveSection = AssertNotNull(section);
  const bool haveAllocator = AssertNotNull(allocator);
  if (!haveSection || !haveAllocator) return;
  if (section->layerRecords != nullptr) {
    for (uint32_t i = 0; i < section->layerRecordCount; ++i) ReleaseRecordContents(section->layerRecords[i], allocator);
  }
  allocator->ReleaseBlock(section->layerRecords);
  section->layerRecords = nullptr;
  allocator->ReleaseBlock(section);
  section = nullptr;
}

}  // namespace psd
