#include "refhost/standin_services.h"

namespace refhost {

namespace {

HostSurfaceId CreateSurface(const char*, const char*) { return nullptr; }
void SetSurfaceChannel(HostSurfaceId, const char*, const double*) {}
void AttachChannelTexture(HostSurfaceId, const char*, HostTextureId) {}
void SetSurfaceKind(HostSurfaceId, const char*) {}

HostImageId LoadImageFile(const char*) { return nullptr; }
float SampleImageGrey(HostImageId, int32_t, int32_t) { return 0.0f; }
void SampleImageRGB(HostImageId, int32_t, int32_t, float rgb[3]) { rgb[0] = rgb[1] = rgb[2] = 0.0f; }

HostImage NewImage(int32_t, int32_t, int32_t) { return nullptr; }
void FreeImage(HostImage) {}
int32_t SaveImageAs(HostImage, int32_t, const char*) { return 0; }
void PutPixel(HostImage, int32_t, int32_t, const uint8_t*) {}
void ImageGeometry(HostImage, int32_t* width, int32_t* height) { *width = *height = 0; }
int32_t SaverCount() { return 0; }
const char* SaverLabel(int32_t) { return nullptr; }

int32_t ViewportKind(int32_t) { return KAVRI_VIEWPORT_CAMERA; }
void ViewportRectangle(int32_t, int32_t* x, int32_t* y, int32_t* width, int32_t* height) {
  *x = *y = 0;
  *width = 640;
  *height = 480;
}
void ViewportEyePosition(int32_t, double eye[3]) { eye[0] = eye[1] = eye[2] = 0.0; }
void WorldToScreen(int32_t, const double*, double screen[3]) { screen[0] = screen[1] = screen[2] = 0.0; }
void ScreenToWorld(int32_t, const double*, double world[3]) { world[0] = world[1] = world[2] = 0.0; }

HostPanel MakePanel(const char*, void*) { return nullptr; }
ControlRecord* AddControl(HostPanel, const char*, ControlDescription*, const char*) { return nullptr; }
int32_t RunPanel(HostPanel, int32_t) { return 1; }
void DestroyPanel(HostPanel) {}

HostTextureId CreateTexture(int32_t, const char*, int32_t, int32_t) { return nullptr; }
HostTextureLayerId AddTextureLayer(HostTextureId, int32_t) { return nullptr; }
void SetTextureLayerParameter(HostTextureLayerId, int32_t, const void*) {}

void BeginLayer(void*, uint32_t, const char*) {}
void SetLayerPivot(void*, const float*) {}
HostPointId AddPoint(void*, const float*) { return nullptr; }
void SelectVertexMap(void*, uint32_t, int32_t, const char*) {}
void SetVertexMapValue(void*, HostPointId, const float*) {}
HostPolygonId AddPolygon(void*, uint32_t, int32_t, int32_t, const HostPointId*) { return nullptr; }
void TagPolygon(void*, HostPolygonId, uint32_t, const char*) {}
HostVertexMapHandle CurrentVertexMapHandle(void*) { return nullptr; }

}  // namespace

void InstallStandInServices(SurfaceService2015& surfaces2015, SurfaceService2020& surfaces2020,
                            ImageListService& imageList, ImageUtilityService& imageUtility, ViewportService& viewport,
                            SceneInfoService& sceneInfo, PanelServices& panel, TextureService& textures) {
  surfaces2015 = {};
  surfaces2015.CreateSurface = CreateSurface;
  surfaces2015.SetSurfaceChannel = SetSurfaceChannel;
  surfaces2015.AttachChannelTexture = AttachChannelTexture;
  surfaces2020 = {};
  surfaces2020.CreateSurface = CreateSurface;
  surfaces2020.SetSurfaceKind = SetSurfaceKind;
  surfaces2020.SetSurfaceChannel = SetSurfaceChannel;
  surfaces2020.AttachChannelTexture = AttachChannelTexture;
  imageList = {LoadImageFile, SampleImageGrey, SampleImageRGB};
  imageUtility = {NewImage, FreeImage, SaveImageAs, PutPixel, ImageGeometry, SaverCount, SaverLabel};
  viewport = {ViewportKind, ViewportRectangle, ViewportEyePosition, WorldToScreen, ScreenToWorld};
  sceneInfo = {640, 480, 1.0};
  panel = {nullptr, MakePanel, AddControl, RunPanel, DestroyPanel};
  textures = {CreateTexture, AddTextureLayer, SetTextureLayerParameter};
}

void InstallStandInObjectCallbacks(ObjectImportRecord& record) {
  record.BeginLayer = BeginLayer;
  record.SetLayerPivot = SetLayerPivot;
  record.AddPoint = AddPoint;
  record.SelectVertexMap = SelectVertexMap;
  record.SetVertexMapValue = SetVertexMapValue;
  record.AddPolygon = AddPolygon;
  record.TagPolygon = TagPolygon;
  record.CurrentVertexMapHandle = CurrentVertexMapHandle;
}

}  // namespace refhost
