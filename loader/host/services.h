/* The host services the plug-in looks up by name: plain records of function
   pointers (and, for the scene, data). */
#ifndef KAVRI_SERVICES_H
#define KAVRI_SERVICES_H

#include <stdint.h>

#include "loader/host/host_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Image types of NewImage. */
#define KAVRI_IMAGE_TYPE_GREY 1
#define KAVRI_IMAGE_TYPE_RGBA 5

typedef struct ImageUtilityService {
  HostImage (*NewImage)(int32_t width, int32_t height, int32_t typeCode);
  void (*FreeImage)(HostImage image);
  int32_t (*SaveImageAs)(HostImage image, int32_t saverIndex, const char* fileName); /* nonzero: written */
  void (*PutPixel)(HostImage image, int32_t x, int32_t y, const uint8_t rgba[4]);
  void (*ImageGeometry)(HostImage image, int32_t* width, int32_t* height);
  int32_t (*SaverCount)(void);
  const char* (*SaverLabel)(int32_t saverIndex); /* ends in "(.ext)"; null past the end */
} ImageUtilityService;

typedef struct ImageListService {
  HostImageId (*LoadImageFile)(const char* fileName); /* 0 when it cannot */
  float (*SampleImageGrey)(HostImageId image, int32_t x, int32_t y);     /* 0–1 */
  void (*SampleImageRGB)(HostImageId image, int32_t x, int32_t y, float rgb[3]); /* 0–1 */
} ImageListService;

/* Viewport kinds. */
#define KAVRI_VIEWPORT_CAMERA 9

typedef struct ViewportService {
  int32_t (*ViewportKind)(int32_t viewport);
  void (*ViewportRectangle)(int32_t viewport, int32_t* x, int32_t* y, int32_t* width, int32_t* height);
  void (*ViewportEyePosition)(int32_t viewport, double eye[3]);
  /* screen: x and y in viewport pixels, then the screen depth */
  void (*WorldToScreen)(int32_t viewport, const double world[3], double screen[3]);
  void (*ScreenToWorld)(int32_t viewport, const double screen[3], double world[3]);
} ViewportService;

/* Read as data. */
typedef struct SceneInfoService {
  int32_t frameWidth;
  int32_t frameHeight;
  double pixelAspect;
} SceneInfoService;

/* ---- Panel services ---- */

typedef int32_t (*PopupCountFunc)(void* userData);
typedef const char* (*PopupNameFunc)(void* userData, int32_t index);

#define KAVRI_CONTROL_KIND_TEXT 1
#define KAVRI_CONTROL_KIND_INTEGER 2
#define KAVRI_CONTROL_KIND_FLOAT 3
#define KAVRI_CONTROL_KIND_BOOL 8
#define KAVRI_CONTROL_KIND_POPUP 9
#define KAVRI_CONTROL_KIND_CUSTOM_POPUP 18

/* One record reused for every control; only the fields of the current kind are set. */
typedef struct ControlDescription {
  int32_t kind;  /* at 0 */
  int32_t width; /* at 4: kinds 1 and 18 */
  union {
    const char* const* items; /* kind 9: null-terminated item list */
    PopupCountFunc count;     /* kind 18 */
  } at8;
  union {
    int32_t popupWidth; /* kind 9 */
    PopupNameFunc name; /* kind 18 */
  } at16;
} ControlDescription;

/* 40 bytes; kind 1 text, 2 integer, 3 floating point. */
typedef struct ValueRecord {
  int32_t kind;     /* at 0 */
  int32_t intValue; /* at 4 */
  union {
    char* text;         /* kind 1 */
    double floatValue;  /* kind 3 */
  } at8;
  int32_t textLength; /* at 16: bytes of the buffer */
  int32_t reserved0;
  uint64_t reserved1[2];
} ValueRecord;

#define KAVRI_CONTROL_VALUE_ATTRIBUTE 4

typedef struct ControlRecord ControlRecord;
struct ControlRecord {
  void (*WriteControlValue)(ControlRecord* control, int32_t attribute, ValueRecord* value);
  void (*ReadControlValue)(ControlRecord* control, int32_t attribute, ValueRecord* value);
  void* hostData;
};

#define KAVRI_PANEL_RUN_FLAGS 3

typedef struct PanelServices {
  GlobalLookupFunc globalLookup; /* the slot the plug-in stores the look-up into */
  HostPanel (*MakePanel)(const char* title, void* reserved);
  ControlRecord* (*AddControl)(HostPanel panel, const char* typeName, ControlDescription* description,
                               const char* label);
  int32_t (*RunPanel)(HostPanel panel, int32_t flags); /* nonzero: OK */
  void (*DestroyPanel)(HostPanel panel);
} PanelServices;

/* ---- Surfaces and textures ---- */

typedef HostSurfaceId (*CreateSurfaceFunc)(const char* objectName, const char* surfaceName);
typedef void (*SetSurfaceChannelFunc)(HostSurfaceId surface, const char* channel, const double* values);
typedef void (*AttachChannelTextureFunc)(HostSurfaceId surface, const char* channel, HostTextureId texture);
typedef void (*SetSurfaceKindFunc)(HostSurfaceId surface, const char* kind);

/* Releases 2015 and 11.6. */
typedef struct SurfaceService2015 {
  CreateSurfaceFunc CreateSurface;
  void* reserved0;
  SetSurfaceChannelFunc SetSurfaceChannel;
  void* reserved1;
  AttachChannelTextureFunc AttachChannelTexture;
} SurfaceService2015;

/* Release 2020: surface kinds, and the operations at other places. */
typedef struct SurfaceService2020 {
  void* reserved0;
  CreateSurfaceFunc CreateSurface;
  SetSurfaceKindFunc SetSurfaceKind;
  void* reserved1;
  void* reserved2;
  AttachChannelTextureFunc AttachChannelTexture;
  SetSurfaceChannelFunc SetSurfaceChannel;
} SurfaceService2020;

#define KAVRI_TEXTURE_TYPE_COLOR 1
#define KAVRI_TEXTURE_TYPE_SCALAR 3

typedef struct TextureService {
  HostTextureId (*CreateTexture)(int32_t type, const char* name, int32_t reserved0, int32_t reserved1);
  HostTextureLayerId (*AddTextureLayer)(HostTextureId texture, int32_t layerType);
  void (*SetTextureLayerParameter)(HostTextureLayerId layer, int32_t tag, const void* value);
} TextureService;

#ifdef __cplusplus
}
#include <cstddef>
static_assert(offsetof(ControlDescription, kind) == 0, "fixed layout");
static_assert(offsetof(ControlDescription, width) == 4, "fixed layout");
static_assert(offsetof(ControlDescription, at8) == 8, "fixed layout");
static_assert(offsetof(ControlDescription, at16) == 16, "fixed layout");
static_assert(sizeof(ValueRecord) == 40, "fixed layout");
static_assert(offsetof(ValueRecord, intValue) == 4, "fixed layout");
static_assert(offsetof(ValueRecord, at8) == 8, "fixed layout");
static_assert(offsetof(ValueRecord, textLength) == 16, "fixed layout");
#endif

#endif
