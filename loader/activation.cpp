#include "loader/activation.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "loader/host/object_import.h"
#include "loader/import_driver.h"
#include "loader/options_panel.h"
#include "loader/service_cache.h"
#include "psd/document_info.h"
#include "psd/image_resources.h"
#include "psd/native_file.h"

namespace kavri {

namespace {

bool IsPsdName(const char* name) {
  if (name == nullptr) return false;
  const size_t length = std::strlen(name);
  return length > 4 && std::memcmp(name + length - 4, ".psd", 4) == 0;
}

// The top bits of "System ID" name the host component; the loader works in 0 only.
bool InLoaderComponent(GlobalLookupFunc globalLookup) {
  const auto systemId =
      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(globalLookup(HostServiceName(ServiceSystemId, kRelease), 0)));
  return (systemId & KAVRI_SYSTEM_ID_COMPONENT_MASK) == 0;
}

// Asks for the options and imports an opened document; returns the request's
// result code and leaves the file closed.
int32_t ImportDocument(psd::DocumentInfo* document, psd::Allocator& allocator, psd::NativeFile& file,
                       ObjectImportRecord* record) {
  // Nothing of the image resources is used by the import, and a failure to
  // read them does not stop it.
  psd::ImageResourceRecord* resources = psd::ReadImageResources(document, &file, &allocator);
  ImportSettings settings{};
  PrepareDefaultSettings(record->fileName, settings);
  if (ShowImportPanel(document, record, settings) == 0) {
    record->result = ResultCancelled;
    file.Close();
    psd::ReleaseImageResources(resources, &allocator);
    return ResultCancelled;
  }
  psd::NativeFile driverFile = file;
  ImportLayers(document, &allocator, &driverFile, record, settings);
  record->result = ResultLoaded;
  record->FinishObject(record->hostData);
  file.Close();
  psd::ReleaseImageResources(resources, &allocator);
  return ResultLoaded;
}

}  // namespace

wchar_t* ToWidePath(const char* name) {
  const size_t length = std::mbstowcs(nullptr, name, 0);
  if (length == static_cast<size_t>(-1)) return nullptr;
  auto* wide = static_cast<wchar_t*>(std::malloc((length + 1) * sizeof(wchar_t)));
  if (wide == nullptr) return nullptr;
  std::mbstowcs(wide, name, length + 1);
  wide[length] = L'\0';
  return wide;
}

void DefaultSaveDir(const char* fileName, char* saveDir, size_t capacity) {
  saveDir[0] = '\0';
  const char* separator = std::strrchr(fileName, kPathSeparator);
  if (separator == nullptr || separator == fileName) return;
  const size_t folderLength = static_cast<size_t>(separator - fileName);
  // A folder that does not fit with its separator and terminator is not cut
  // short into another folder: the default stays empty instead.
  if (folderLength + 2 > capacity) return;
  std::memcpy(saveDir, fileName, folderLength);
  saveDir[folderLength] = kPathSeparator;
  saveDir[folderLength + 1] = '\0';
}

int ActivateLoader(long version, GlobalLookupFunc globalLookup, void* local, void* serverData) {
  (void)version;
  (void)serverData;
  auto* record = static_cast<ObjectImportRecord*>(local);
  if (!IsPsdName(record->fileName)) {
    record->result = ResultDeclined;
    return 0;
  }

  AcquireCachedServices(globalLookup);
  if (!InLoaderComponent(globalLookup)) {
    record->result = ResultDeclined;
    return 0;
  }
  // A host that lacks a service would be called through a null record later:
  // decline now, and keep the slot null so the next activation asks again.
  if (!ImportServicesPresent()) {
    record->result = ResultDeclined;
    return 0;
  }
  gServices.panelServices->globalLookup = globalLookup;
  gServices.textureFunctions =
      static_cast<TextureService*>(globalLookup(HostServiceName(ServiceTextureFunctions, kRelease), 0));
  if (gServices.textureFunctions == nullptr) {
    record->result = ResultDeclined;
    return 0;
  }

  record->result = ResultUnderWay;
  psd::MallocAllocator allocator;
  psd::NativeFile file(&allocator);
  wchar_t* widePath = ToWidePath(record->fileName);
  const bool opened = widePath != nullptr && file.OpenForRead(widePath);
  std::free(widePath);
  if (!opened) {
    record->result = ResultDeclined;
    return 0;
  }

  psd::DocumentInfo* document = psd::ReadDocumentInfo(&file, &allocator);
  if (document == nullptr) {
    file.Close();
    record->result = ResultDeclined;
    return 0;
  }
  record->result = ImportDocument(document, allocator, file, record);
  allocator.ReleaseBlock(document);
  return 0;
}

}  // namespace kavri
