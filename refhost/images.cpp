#include "refhost/images.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include "refhost/guard.h"
#include "refhost/scene.h"

namespace refhost {

namespace {

enum class Format { Png, Tga, Bmp };

struct Saver {
  const char* label;
  Format format;
  int components;  // 1 grey, 3 RGB, 4 RGBA
};

// The 24-bit TGA saver, the plug-in's default, deliberately not first.
constexpr Saver kSavers[] = {
    {"LW_PNG32(.png)", Format::Png, 4}, {"LW_PNG24(.png)", Format::Png, 3}, {"LW_PNG8(.png)", Format::Png, 1},
    {"LW_TGA32(.tga)", Format::Tga, 4}, {"LW_TGA24(.tga)", Format::Tga, 3}, {"LW_BMP24(.bmp)", Format::Bmp, 3},
};
constexpr int32_t kSaverCount = static_cast<int32_t>(sizeof(kSavers) / sizeof(kSavers[0]));

// Larger images are refused rather than allocated.
constexpr int64_t kMaxImagePixels = int64_t{1} << 28;
constexpr int32_t kMaxImageSide = 1 << 16;

uint8_t Luma(const uint8_t* rgb) { return static_cast<uint8_t>((299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2] + 500) / 1000); }

WorkImage* FindImage(Scene& scene, HostImage image, const char* operation) {
  size_t index;
  if (!IdIndex(image, IdKind::Image, scene.images.size(), index) || scene.images[index].freed) {
    scene.Problem(std::string(operation) + ": unknown image");
    return nullptr;
  }
  return &scene.images[index];
}

const ListImage* FindListImage(Scene& scene, HostImageId image, const char* operation) {
  size_t index;
  if (!IdIndex(image, IdKind::ListImage, scene.listImages.size(), index)) {
    scene.Problem(std::string(operation) + ": unknown image list id");
    return nullptr;
  }
  return &scene.listImages[index];
}

// The image's pixels laid out with the saver's components.
std::vector<uint8_t> ConvertForSaver(const WorkImage& image, int components) {
  const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  std::vector<uint8_t> out(count * static_cast<size_t>(components));
  for (size_t k = 0; k < count; ++k) {
    uint8_t rgba[4];
    if (image.type == KAVRI_IMAGE_TYPE_GREY) {
      rgba[0] = rgba[1] = rgba[2] = image.pixels[k];
      rgba[3] = 255;
    } else {
      std::memcpy(rgba, &image.pixels[4 * k], 4);
    }
    uint8_t* target = &out[k * static_cast<size_t>(components)];
    if (components == 1)
      target[0] = image.type == KAVRI_IMAGE_TYPE_GREY ? rgba[0] : Luma(rgba);
    else
      std::memcpy(target, rgba, static_cast<size_t>(components));
  }
  return out;
}

void AppendBytes(void* context, void* data, int size) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(context);
  const auto* begin = static_cast<const uint8_t*>(data);
  bytes->insert(bytes->end(), begin, begin + size);
}

std::vector<uint8_t> Encode(Format format, int32_t width, int32_t height, int components, const uint8_t* pixels) {
  std::vector<uint8_t> bytes;
  int ok = 0;
  switch (format) {
    case Format::Png:
      ok = stbi_write_png_to_func(AppendBytes, &bytes, width, height, components, pixels, width * components);
      break;
    case Format::Tga: ok = stbi_write_tga_to_func(AppendBytes, &bytes, width, height, components, pixels); break;
    case Format::Bmp: ok = stbi_write_bmp_to_func(AppendBytes, &bytes, width, height, components, pixels); break;
  }
  if (!ok) bytes.clear();
  return bytes;
}

// ---- Image utility ----

HostImage NewImage(int32_t width, int32_t height, int32_t typeCode) {
  return Guarded("NewImage", HostImage{}, [&]() -> HostImage {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return nullptr;
    if (typeCode != KAVRI_IMAGE_TYPE_GREY && typeCode != KAVRI_IMAGE_TYPE_RGBA) {
      scene->Problem("NewImage: unknown image type " + std::to_string(typeCode));
      return nullptr;
    }
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide ||
        int64_t{width} * height > kMaxImagePixels) {
      scene->Problem("NewImage: no image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
      return nullptr;
    }
    WorkImage image;
    image.width = width;
    image.height = height;
    image.type = typeCode;
    const size_t bytesPerPixel = typeCode == KAVRI_IMAGE_TYPE_GREY ? 1 : 4;
    image.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * bytesPerPixel, 0);
    scene->images.push_back(std::move(image));
    return MakeId(IdKind::Image, scene->images.size() - 1);
  });
}

void FreeImage(HostImage image) {
  GuardedVoid("FreeImage", [&] {
    Scene* scene = ActiveScene();
    if (scene == nullptr || image == nullptr) return;
    if (WorkImage* found = FindImage(*scene, image, "FreeImage")) {
      found->freed = true;
      std::vector<uint8_t>().swap(found->pixels);
    }
  });
}

int32_t SaveImageAs(HostImage image, int32_t saverIndex, const char* fileName) {
  return Guarded("SaveImageAs", int32_t{0}, [&]() -> int32_t {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return 0;
    SavedFile saved;
    saved.saver = saverIndex;
    saved.file = fileName != nullptr ? fileName : "";
    size_t index = 0;
    const WorkImage* found = FindImage(*scene, image, "SaveImageAs");
    if (found != nullptr) IdIndex(image, IdKind::Image, scene->images.size(), index);
    saved.image = index;
    if (found == nullptr) {
      saved.error = "unknown image";
    } else if (saverIndex < 0 || saverIndex >= kSaverCount) {
      saved.error = "no saver " + std::to_string(saverIndex);
    } else if (fileName == nullptr || fileName[0] == '\0') {
      saved.error = "no file name";
    } else {
      const Saver& saver = kSavers[saverIndex];
      saved.label = saver.label;
      const std::vector<uint8_t> pixels = ConvertForSaver(*found, saver.components);
      const std::vector<uint8_t> bytes =
          Encode(saver.format, found->width, found->height, saver.components, pixels.data());
      if (bytes.empty())
        saved.error = "the image could not be encoded";
      else
        saved.written = WriteHostFile(saved.file, bytes, saved.error);
    }
    if (!saved.written) scene->Problem("SaveImageAs \"" + saved.file + "\": " + saved.error);
    scene->saves.push_back(saved);
    return saved.written ? 1 : 0;
  });
}

void PutPixel(HostImage image, int32_t x, int32_t y, const uint8_t rgba[4]) {
  GuardedVoid("PutPixel", [&] {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return;
    WorkImage* found = FindImage(*scene, image, "PutPixel");
    if (found == nullptr || rgba == nullptr) return;
    if (x < 0 || y < 0 || x >= found->width || y >= found->height) {
      scene->Problem("PutPixel: (" + std::to_string(x) + ", " + std::to_string(y) + ") lies outside the image");
      return;
    }
    const size_t k = static_cast<size_t>(y) * static_cast<size_t>(found->width) + static_cast<size_t>(x);
    if (found->type == KAVRI_IMAGE_TYPE_GREY)
      found->pixels[k] = Luma(rgba);
    else
      std::memcpy(&found->pixels[4 * k], rgba, 4);
  });
}

void ImageGeometry(HostImage image, int32_t* width, int32_t* height) {
  GuardedVoid("ImageGeometry", [&] {
    int32_t w = 0, h = 0;
    if (Scene* scene = ActiveScene()) {
      if (const WorkImage* found = FindImage(*scene, image, "ImageGeometry")) {
        w = found->width;
        h = found->height;
      }
    }
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
  });
}

int32_t SaverCount() { return kSaverCount; }
const char* SaverLabel(int32_t index) { return SaverLabelOfHost(index); }

// ---- Image list ----

HostImageId LoadImageFile(const char* fileName) {
  return Guarded("LoadImageFile", HostImageId{}, [&]() -> HostImageId {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return nullptr;
    const std::string name = fileName != nullptr ? fileName : "";
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadHostFile(name, bytes, error)) {
      scene->Problem("LoadImageFile \"" + name + "\": " + error);
      return nullptr;
    }
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) {
      scene->Problem("LoadImageFile \"" + name + "\": file too large");
      return nullptr;
    }
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels =
        stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 4);
    if (pixels == nullptr) {
      scene->Problem("LoadImageFile \"" + name + "\": " + stbi_failure_reason());
      return nullptr;
    }
    ListImage image;
    image.file = name;
    image.width = width;
    image.height = height;
    image.channels = channels;
    try {
      image.rgba.assign(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    } catch (...) {
      stbi_image_free(pixels);
      throw;
    }
    stbi_image_free(pixels);
    scene->listImages.push_back(std::move(image));
    return MakeId(IdKind::ListImage, scene->listImages.size() - 1);
  });
}

const uint8_t* SampleAt(const ListImage& image, int32_t x, int32_t y) {
  x = std::clamp(x, 0, image.width - 1);
  y = std::clamp(y, 0, image.height - 1);
  return &image.rgba[(static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) * 4];
}

float SampleImageGrey(HostImageId id, int32_t x, int32_t y) {
  return Guarded("SampleImageGrey", 0.0f, [&]() -> float {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return 0.0f;
    const ListImage* image = FindListImage(*scene, id, "SampleImageGrey");
    if (image == nullptr) return 0.0f;
    const uint8_t* p = SampleAt(*image, x, y);
    // Exactly 1 for white, exactly value / 255 for grey pixels.
    return static_cast<float>((299.0 * p[0] + 587.0 * p[1] + 114.0 * p[2]) / 255000.0);
  });
}

void SampleImageRGB(HostImageId id, int32_t x, int32_t y, float rgb[3]) {
  GuardedVoid("SampleImageRGB", [&] {
    if (rgb == nullptr) return;
    rgb[0] = rgb[1] = rgb[2] = 0.0f;
    Scene* scene = ActiveScene();
    if (scene == nullptr) return;
    const ListImage* image = FindListImage(*scene, id, "SampleImageRGB");
    if (image == nullptr) return;
    const uint8_t* p = SampleAt(*image, x, y);
    for (int c = 0; c < 3; ++c) rgb[c] = p[c] / 255.0f;
  });
}

}  // namespace

int32_t SaverCountOfHost() { return kSaverCount; }

const char* SaverLabelOfHost(int32_t index) {
  return index >= 0 && index < kSaverCount ? kSavers[index].label : nullptr;
}

std::vector<uint8_t> EncodePng(int32_t width, int32_t height, int components, const uint8_t* pixels) {
  return Encode(Format::Png, width, height, components, pixels);
}

namespace {
std::FILE* OpenHostFile(const std::string& name, bool write) {
#if defined(_WIN32)
  std::wstring wide(name.size() + 1, L'\0');
  const size_t length = std::mbstowcs(wide.data(), name.c_str(), wide.size());
  if (length == static_cast<size_t>(-1)) return nullptr;
  wide.resize(length);
  return _wfopen(wide.c_str(), write ? L"wb" : L"rb");
#else
  return std::fopen(name.c_str(), write ? "wb" : "rb");
#endif
}
}  // namespace

bool WriteHostFile(const std::string& name, const std::vector<uint8_t>& bytes, std::string& error) {
  std::FILE* file = OpenHostFile(name, true);
  if (file == nullptr) {
    error = std::string("cannot create the file: ") + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) error = "cannot write the file";
  return written && closed;
}

bool ReadHostFile(const std::string& name, std::vector<uint8_t>& bytes, std::string& error) {
  std::FILE* file = OpenHostFile(name, false);
  if (file == nullptr) {
    error = std::string("cannot open the file: ") + std::strerror(errno);
    return false;
  }
  bytes.clear();
  uint8_t buffer[1 << 16];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + count);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) error = "cannot read the file";
  return !failed;
}

void InstallImageServices(ImageUtilityService& utility, ImageListService& list) {
  utility = {NewImage, FreeImage, SaveImageAs, PutPixel, ImageGeometry, SaverCount, SaverLabel};
  list = {LoadImageFile, SampleImageGrey, SampleImageRGB};
}

}  // namespace refhost
