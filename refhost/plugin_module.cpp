#include "refhost/plugin_module.h"

#include <cstring>
#include <vector>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace refhost {

namespace {

#if defined(_WIN32)
std::wstring Widen(const std::string& text) {
  const int count = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(count > 0 ? count : 1, L'\0');
  if (count > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), count);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}
#endif

void* OpenLibrary(const std::string& path, std::string& error) {
#if defined(_WIN32)
  HMODULE library = LoadLibraryW(Widen(path).c_str());
  if (library == nullptr) error = "cannot load module \"" + path + "\" (error " + std::to_string(GetLastError()) + ")";
  return reinterpret_cast<void*>(library);
#else
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) error = "cannot load module \"" + path + "\": " + dlerror();
  return library;
#endif
}

void* FindSymbol(void* library, const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(library), name));
#else
  return dlsym(library, name);
#endif
}

void CloseLibrary(void* library) {
#if defined(_WIN32)
  FreeLibrary(reinterpret_cast<HMODULE>(library));
#else
  dlclose(library);
#endif
}

}  // namespace

bool LoadPluginModule(const std::string& path, PluginModule& module, std::string& error) {
  module = PluginModule{};
  void* library = OpenLibrary(path, error);
  if (library == nullptr) return false;
  auto* descriptor = static_cast<ModuleDescriptor*>(FindSymbol(library, KAVRI_MODULE_DESCRIPTOR_SYMBOL));
  const ServerRecord* loader = nullptr;
  if (descriptor == nullptr) {
    error = "module \"" + path + "\" exports no " KAVRI_MODULE_DESCRIPTOR_SYMBOL;
  } else if (descriptor->syncWord != KAVRI_MODULE_SYNC_WORD) {
    error = "module \"" + path + "\" has a descriptor with a wrong synchronisation word";
  } else if (descriptor->moduleVersion != KAVRI_MODULE_VERSION) {
    error = "module \"" + path + "\" has descriptor version " + std::to_string(descriptor->moduleVersion) +
            ", not " + std::to_string(KAVRI_MODULE_VERSION);
  } else {
    for (const ServerRecord* server = descriptor->servers; server != nullptr && server->className != nullptr;
         ++server) {
      if (std::strcmp(server->className, KAVRI_OBJECT_LOADER_CLASS) == 0 && server->activate != nullptr) {
        loader = server;
        break;
      }
    }
    if (loader == nullptr) error = "module \"" + path + "\" has no server of class \"" KAVRI_OBJECT_LOADER_CLASS "\"";
  }
  if (loader == nullptr) {
    CloseLibrary(library);
    return false;
  }
  if (descriptor->startup != nullptr) {
    const int started = descriptor->startup();
    if (started == 0) {
      error = "module \"" + path + "\" refused to start";
      CloseLibrary(library);
      return false;
    }
  }
  module.library = library;
  module.descriptor = descriptor;
  module.objectLoader = loader;
  module.path = path;
  return true;
}

void UnloadPluginModule(PluginModule& module) {
  if (module.library == nullptr) return;
  if (module.descriptor->shutdown != nullptr) module.descriptor->shutdown();
  CloseLibrary(module.library);
  module = PluginModule{};
}

std::string ProgramFolder() {
#if defined(_WIN32)
  std::vector<wchar_t> buffer(32768);
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  std::wstring wide(buffer.data(), length);
  const size_t slash = wide.find_last_of(L"\\/");
  wide = slash == std::wstring::npos ? L"" : wide.substr(0, slash + 1);
  const int count = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string folder(count > 0 ? count : 1, '\0');
  if (count > 0) WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, folder.data(), count, nullptr, nullptr);
  folder.resize(std::strlen(folder.c_str()));
  return folder;
#else
  std::vector<char> buffer(4096);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return "./";
  std::string path(buffer.data(), static_cast<size_t>(length));
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
#endif
}

std::string ModuleFileName(const std::string& releaseLabel) {
  const std::string suffix = releaseLabel == "11.6" ? "lw116" : releaseLabel;
#if defined(_WIN32)
  return "kavri_Quor_64_" + suffix + ".dll";
#else
  return "kavri_Quor_64_" + suffix + ".so";
#endif
}

}  // namespace refhost
