// Images in memory, the savers that write them as files, and the image list
// that reads files back and samples them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "loader/host/services.h"

namespace refhost {

void InstallImageServices(ImageUtilityService& utility, ImageListService& list);

// The saver table, as SaverCount and SaverLabel list it.
int32_t SaverCountOfHost();
const char* SaverLabelOfHost(int32_t index);  // null past the end

// PNG bytes of pixels with 1 to 4 components, rows top first.
std::vector<uint8_t> EncodePng(int32_t width, int32_t height, int components, const uint8_t* pixels);

// Files by the narrow names the plug-in passes (the current locale's encoding).
bool WriteHostFile(const std::string& name, const std::vector<uint8_t>& bytes, std::string& error);
bool ReadHostFile(const std::string& name, std::vector<uint8_t>& bytes, std::string& error);

}  // namespace refhost
