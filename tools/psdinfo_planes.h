// psdinfo --planes: every decoded plane of a document written to a folder.
#pragma once

#include <string>

namespace kavri_tools {

// Decodes every layer channel of the PSD file at path, layer by layer, and
// writes each plane exactly as the reader returns it (native byte order) to
// folder: layer<index>_ch<id>.raw for channels, layer<index>_mask<id>.raw for
// mask planes after their hand-over (id −2 or −3, the channel they came from),
// merged_ch<n>.raw for the merged image; and index.json listing each file with
// its width, height and bytes per sample. False, with a reason, when the file
// cannot be read or the folder written.
bool WritePlaneFiles(const std::string& path, const std::string& folder, std::string* reason);

}  // namespace kavri_tools
