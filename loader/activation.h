// The loader's front door: one activation per object load request.
#pragma once

#include <cstddef>

#include "loader/host/host_types.h"

namespace kavri {

// The "ObjectLoader" server's activation. local is the ObjectImportRecord.
// Returns 0 on every path; the outcome travels in the record's result code.
int ActivateLoader(long version, GlobalLookupFunc globalLookup, void* local, void* serverData);

// A newly allocated (malloc) wide copy of a narrow name in the current locale;
// null when the name does not convert.
wchar_t* ToWidePath(const char* name);

// The folder of a file name with one trailing separator, into saveDir of the
// given capacity; empty when the name has no separator after its first
// character, or when the folder does not fit.
void DefaultSaveDir(const char* fileName, char* saveDir, size_t capacity);

}  // namespace kavri
