/* The module descriptor a host finds in a plug-in module, and its server list. */
#ifndef KAVRI_MODULE_DESCRIPTOR_H
#define KAVRI_MODULE_DESCRIPTOR_H

#include <stddef.h>
#include <stdint.h>

#include "loader/host/host_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define KAVRI_MODULE_SYNC_WORD 0x04121994u
#define KAVRI_MODULE_VERSION 3u
#define KAVRI_MODULE_MACHINE_WORD 0x300u
#define KAVRI_MODULE_STARTUP_RESULT 4
#define KAVRI_OBJECT_LOADER_CLASS "ObjectLoader"

/* version, the host's global look-up, the class's own record (an
   ObjectImportRecord for "ObjectLoader"), server data. Returns 0. */
typedef int (*ServerActivateFunc)(long version, GlobalLookupFunc globalLookup, void* local, void* serverData);

typedef struct ServerRecord {
  const char* className;
  const char* name;
  ServerActivateFunc activate;
  const void* tagList;
} ServerRecord; /* a list ends with a record of four nulls */

typedef struct ModuleDescriptor {
  uint32_t syncWord;
  uint32_t moduleVersion;
  uint32_t machineWord;
  uint32_t alignment;
  int (*startup)(void); /* returns 4 */
  void (*shutdown)(void);
  ServerRecord* servers;
} ModuleDescriptor;

#define KAVRI_MODULE_DESCRIPTOR_SYMBOL "_mod_descrip"

#ifdef __cplusplus
static_assert(offsetof(ModuleDescriptor, syncWord) == 0, "fixed layout");
static_assert(offsetof(ModuleDescriptor, moduleVersion) == 4, "fixed layout");
static_assert(offsetof(ModuleDescriptor, machineWord) == 8, "fixed layout");
static_assert(offsetof(ModuleDescriptor, startup) == 16, "fixed layout");
static_assert(offsetof(ModuleDescriptor, shutdown) == 24, "fixed layout");
static_assert(offsetof(ModuleDescriptor, servers) == 32, "fixed layout");
static_assert(sizeof(ServerRecord) == 4 * sizeof(void*), "four pointer-sized fields");
static_assert(offsetof(ServerRecord, activate) == 2 * sizeof(void*), "fixed layout");
}
#endif

#endif
