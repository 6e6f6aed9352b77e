#include "tests/support/test_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#if defined(_WIN32)
#include <process.h>
#endif

#include "refhost/plugin_module.h"

namespace kavri_test {

namespace fs = std::filesystem;

std::string ScratchFolder() {
  static const std::string folder = [] {
    fs::path base = fs::temp_directory_path() / "kavri-tests";
    fs::create_directories(base);
#if defined(_WIN32)
    // Test programs run side by side: each takes a folder no other has made.
    for (unsigned attempt = 0;; ++attempt) {
      const fs::path made = base / ("run" + std::to_string(_getpid()) + "-" + std::to_string(attempt));
      if (fs::create_directory(made)) return made.string() + "\\";
    }
#else
    const std::string templ = (base / "run").string();
    std::vector<char> name(templ.begin(), templ.end());
    name.insert(name.end(), {'X', 'X', 'X', 'X', 'X', 'X', '\0'});
    const char* made = mkdtemp(name.data());
    return std::string(made != nullptr ? made : templ.c_str()) + "/";
#endif
  }();
  return folder;
}

std::string FreshScratchFolder(const std::string& name) {
  const fs::path folder = fs::u8path(ScratchFolder() + name);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  fs::create_directories(folder);
  return ScratchFolder() + name + static_cast<char>(fs::path::preferred_separator);
}

std::string WriteScratchFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = ScratchFolder() + name;
  std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string CorpusFolder() {
#if defined(_WIN32)
  // Under Wine the build machine's root is drive Z:; the application's file
  // names use backslashes.
  std::string folder = "Z:" KAVRI_CORPUS_DIR "/";
  for (char& c : folder)
    if (c == '/') c = '\\';
  return folder;
#else
  return KAVRI_CORPUS_DIR "/";
#endif
}

std::string ProgramFolder() { return refhost::ProgramFolder(); }

std::wstring Widen(const std::string& path) {
  std::wstring wide(path.size() + 1, L'\0');
  const size_t length = std::mbstowcs(wide.data(), path.c_str(), wide.size());
  wide.resize(length == static_cast<size_t>(-1) ? 0 : length);
  return wide;
}

}  // namespace kavri_test
