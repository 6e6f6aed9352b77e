// Loading a plug-in module as the application does: map it, find and check its
// descriptor, call its startup; and unloading it again.
#pragma once

#include <string>

#include "loader/host/module_descriptor.h"

namespace refhost {

struct PluginModule {
  void* library = nullptr;  // dlopen / LoadLibraryW handle
  ModuleDescriptor* descriptor = nullptr;
  const ServerRecord* objectLoader = nullptr;  // the server of class "ObjectLoader"
  std::string path;
};

// False with a reason in error when the module does not load or its descriptor
// is not one the host accepts.
bool LoadPluginModule(const std::string& path, PluginModule& module, std::string& error);

// Calls the module's shutdown and unmaps it.
void UnloadPluginModule(PluginModule& module);

// The folder of the running program, with a trailing separator.
std::string ProgramFolder();

// The file name of a release's module, as built beside the host ("kavri_Quor_64_2020.so").
std::string ModuleFileName(const std::string& releaseLabel);

}  // namespace refhost
