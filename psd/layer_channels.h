// Loading the channel planes of one layer record, and handing the mask
// channels' planes over to the layer's masks.
#pragma once

#include "psd/allocator.h"
#include "psd/document_info.h"
#include "psd/file.h"
#include "psd/layer_records.h"

namespace psd {

// Decodes every channel of layer into its plane (by compression code and
// document depth), fills a plane for each transparency or mask channel without
// data, then moves the mask channels' planes into layer's MaskRecords and marks
// those channels kChannelIdConsumed. file must be open on the document the
// layer was parsed from; every plane comes from allocator.
void LoadLayerChannels(const DocumentInfo* document, File* file, Allocator* allocator, LayerRecord* layer);

// Releases the planes of a loaded layer (its channels' and masks'), keeping
// the records: a caller done with one layer's pixels frees them before the next.
void ReleaseLayerPlanes(LayerRecord& layer, Allocator* allocator);

}  // namespace psd
