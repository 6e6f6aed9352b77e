// The object being loaded: the import record's callbacks keep mesh layers,
// points, vertex maps, polygons and polygon tags on the scene given as host data.
#pragma once

#include <cstdint>
#include <string>

#include "loader/host/object_import.h"

namespace refhost {

// Every callback of the record, FinishObject included; hostData is left as it is.
void InstallObjectCallbacks(ObjectImportRecord& record);

// Four-character code as text ("TXUV"); codes with unprintable bytes as hex.
std::string FourCcText(uint32_t code);

}  // namespace refhost
