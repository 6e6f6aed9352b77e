// A whole import through the reference host: the plug-in's object loader
// activated on the input written as a file, with each import type in turn
// (chosen by the input's last byte), saving into a fresh folder. After each
// input every file the host was asked to write, and everything that appeared
// on disk, must lie inside that folder.
//
// The loader's code is linked into this program (the 2020 release's build of
// it) rather than loaded as a module: one address space, so coverage and the
// sanitizers reach into the plug-in without a shared sanitizer runtime.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "loader/host/module_descriptor.h"
#include "refhost/plugin_module.h"
#include "refhost/reference_host.h"
#include "tests/support/inside_folder.h"

extern "C" ModuleDescriptor _mod_descrip;

namespace fs = std::filesystem;

namespace {

struct Session {
  refhost::PluginModule module;
  fs::path root;       // holds the input file and the save folder only
  fs::path saveFolder;
  fs::path input;
};

Session* Start() {
  auto* session = new Session;
  char pattern[] = "/tmp/kavri_import_fuzz_XXXXXX";
  if (mkdtemp(pattern) == nullptr) std::abort();
  session->root = fs::canonical(pattern);
  session->saveFolder = session->root / "save";
  session->input = session->root / "input.psd";
  session->module.descriptor = &_mod_descrip;
  for (const ServerRecord* s = _mod_descrip.servers; s != nullptr && s->className != nullptr; ++s)
    if (std::strcmp(s->className, KAVRI_OBJECT_LOADER_CLASS) == 0) session->module.objectLoader = s;
  if (session->module.objectLoader == nullptr || _mod_descrip.startup() != KAVRI_MODULE_STARTUP_RESULT) std::abort();
  return session;
}


void Fail(const std::string& what) {
  std::fprintf(stderr, "import_fuzzer: %s\n", what.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Session* session = Start();
  std::error_code ignored;
  fs::create_directories(session->saveFolder);
  {
    std::ofstream out(session->input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  static const char* const kTypes[] = {"Sphere", "Flat", "DenseMesh"};
  refhost::HostSettings settings;
  settings.panel.values["Save Dir"] = session->saveFolder.string() + "/";
  settings.panel.values["Import Type"] = kTypes[size == 0 ? 0 : data[size - 1] % 3];
  {
    refhost::ReferenceHost host(settings);
    const int32_t result = host.ImportFile(session->module, session->input.string());
    if (result != ResultLoaded && result != ResultDeclined) Fail("result code " + std::to_string(result));
    for (const refhost::SavedFile& saved : host.scene().saves)
      if (!kavri_test::InsideFolder(session->saveFolder, saved.file)) Fail("a file outside the save folder: " + saved.file);
  }
  // Nothing but the input and the save folder at the top, and only plain files
  // directly in the save folder.
  for (const fs::directory_entry& entry : fs::directory_iterator(session->root))
    if (entry.path() != session->input && entry.path() != session->saveFolder)
      Fail("written outside the save folder: " + entry.path().string());
  for (const fs::directory_entry& entry : fs::directory_iterator(session->saveFolder)) {
    if (!entry.is_regular_file()) Fail("not a plain file in the save folder: " + entry.path().string());
    fs::remove(entry.path(), ignored);
  }
  return 0;
}
