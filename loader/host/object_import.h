/* The host's record of one object load request, with its object-building callbacks. */
#ifndef KAVRI_OBJECT_IMPORT_H
#define KAVRI_OBJECT_IMPORT_H

#include <stdint.h>

#include "loader/host/host_types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum ObjectImportResult {
  ResultLoaded = 0,
  ResultDeclined = 1,
  ResultCancelled = 3,
  ResultUnderWay = 99
};

/* Every callback receives hostData first. */
typedef struct ObjectImportRecord {
  int32_t result;
  const char* fileName; /* narrow, zero-terminated */
  void* hostData;
  void (*FinishObject)(void* hostData);
  void (*BeginLayer)(void* hostData, uint32_t index, const char* name);
  void (*SetLayerPivot)(void* hostData, const float pivot[3]);
  HostPointId (*AddPoint)(void* hostData, const float position[3]);
  void (*SelectVertexMap)(void* hostData, uint32_t type, int32_t dimension, const char* name);
  void (*SetVertexMapValue)(void* hostData, HostPointId point, const float* values);
  HostPolygonId (*AddPolygon)(void* hostData, uint32_t type, int32_t flags, int32_t count, const HostPointId* points);
  void (*TagPolygon)(void* hostData, HostPolygonId polygon, uint32_t tagType, const char* text);
  HostVertexMapHandle (*CurrentVertexMapHandle)(void* hostData);
} ObjectImportRecord;

#ifdef __cplusplus
}
#endif

#endif
