/* Basic types of the host boundary: plain C, shared by the plug-in and every host. */
#ifndef KAVRI_HOST_TYPES_H
#define KAVRI_HOST_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Host objects are opaque pointer-sized ids; 0 means none. */
typedef void* HostImage;        /* an image of the image utility, before saving */
typedef void* HostImageId;      /* an entry of the host's image list */
typedef void* HostPointId;
typedef void* HostPolygonId;
typedef void* HostSurfaceId;
typedef void* HostTextureId;
typedef void* HostTextureLayerId;
typedef void* HostVertexMapHandle;
typedef void* HostPanel;

/* Four characters packed into 32 bits, the first in the most significant byte. */
#define KAVRI_FOURCC(a, b, c, d) \
  ((uint32_t)(uint8_t)(a) << 24 | (uint32_t)(uint8_t)(b) << 16 | (uint32_t)(uint8_t)(c) << 8 | (uint32_t)(uint8_t)(d))

#define KAVRI_VMAP_TXUV KAVRI_FOURCC('T', 'X', 'U', 'V')
#define KAVRI_VMAP_RGB KAVRI_FOURCC('R', 'G', 'B', ' ')
#define KAVRI_POLY_FACE KAVRI_FOURCC('F', 'A', 'C', 'E')
#define KAVRI_PTAG_SURF KAVRI_FOURCC('S', 'U', 'R', 'F')

/* The host's service look-up: a name and mode 0 give a service record, or null. */
typedef void* (*GlobalLookupFunc)(const char* serviceName, int mode);

#ifdef __cplusplus
}
#endif

#endif
