// The layer and mask information section: layer records, their channels'
// places in the file, masks, names, group links and the section's global values.
#pragma once

#include <cstdint>

#include "psd/allocator.h"
#include "psd/document_info.h"
#include "psd/file.h"
#include "psd/file_cursor.h"
#include "psd/layer_records.h"

namespace psd {

// Reads top, left, bottom, right (signed 32-bit each) into destination[0..3];
// returns the 16 bytes consumed.
uint64_t ReadRectangle(FileCursor& cursor, int32_t* destination);

// Reads a mask parameter block: a flags byte, then user density (bit 0), user
// feather (bit 1), vector density (bit 2) and vector feather (bit 3) where their
// bit is set; fields whose bit is clear keep their value. Returns the bytes
// consumed (1 to 19).
uint64_t ReadMaskParameterBlock(FileCursor& cursor, uint8_t& userDensity, double& userFeather,
                                uint8_t& vectorDensity, double& vectorFeather);

// Reads the layer records at the cursor and, when sectionLength is not 0, the
// section's global tail after the layer information. Null only when an
// allocation fails. A parse stopped by a corrupt record keeps the records read
// before it (layerRecordCount counts only those) and assigns no channel offsets.
LayerMaskSection* ParseLayerRecords(FileCursor& cursor, Allocator* allocator, uint64_t sectionOffset,
                                    uint32_t sectionLength, uint32_t layerInfoLength);

// The document's layer records, linked to their groups. Null when the document
// has no layer and mask section (or an allocation fails).
LayerMaskSection* LoadLayerMaskSection(const DocumentInfo* document, File* file, Allocator* allocator);

// Releases everything the section owns and the section; sets section to null.
void ReleaseLayerMaskSection(LayerMaskSection*& section, Allocator* allocator);

}  // namespace psd
