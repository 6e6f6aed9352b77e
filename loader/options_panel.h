// The modal options panel "kavri psd import as layer".
#pragma once

#include <cstdint>

#include "loader/host/object_import.h"
#include "loader/import_settings.h"
#include "psd/document_info.h"

namespace kavri {

// 1 when the user confirmed (settings updated), 0 when cancelled (untouched).
int32_t ShowImportPanel(const psd::DocumentInfo* document, ObjectImportRecord* record, ImportSettings& settings);

// The saver popups' item callbacks.
int32_t SaverCountCallback(void* userData);
const char* SaverNameCallback(void* userData, int32_t index);

}  // namespace kavri
