// kavri-import: a whole PSD import through the reference host, as the
// application would run it, from the command line.
#include <clocale>
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include "refhost/plugin_module.h"
#include "refhost/reference_host.h"

namespace {

constexpr int kExitHostFailure = 2;

bool ParseRelease(const std::string& label, HostRelease& release) {
  for (int candidate = 0; candidate < HostReleaseCount; ++candidate) {
    if (label == HostReleaseLabel(static_cast<HostRelease>(candidate))) {
      release = static_cast<HostRelease>(candidate);
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // The loader converts file names in the current locale, as in the application.
  if (std::setlocale(LC_ALL, "") == nullptr) std::setlocale(LC_ALL, "C.UTF-8");

  CLI::App app{"Imports a layered PSD file through the reference host and the kavri psd import plug-in."};
  // Paths may begin with '/', also under Wine.
  app.allow_windows_style_options(false);
  std::string file;
  std::string releaseLabel = "2020";
  std::string modulePath;
  app.add_option("file", file, "The PSD file to import")->required();
  app.add_option("--release", releaseLabel, "Host SDK release to serve: 2015, 2020 or 11.6 (default 2020)")
      ->check(CLI::IsMember({"2015", "2020", "11.6"}));
  app.add_option("--module", modulePath, "Plug-in module to load (default: the release's module beside this program)");
  CLI11_PARSE(app, argc, argv);

  refhost::HostSettings settings;
  ParseRelease(releaseLabel, settings.release);
  if (modulePath.empty()) modulePath = refhost::ProgramFolder() + refhost::ModuleFileName(releaseLabel);

  refhost::PluginModule module;
  std::string error;
  if (!refhost::LoadPluginModule(modulePath, module, error)) {
    std::fprintf(stderr, "kavri-import: %s\n", error.c_str());
    return kExitHostFailure;
  }

  int32_t result;
  {
    refhost::ReferenceHost host(settings);
    std::fflush(stdout);
    result = host.ImportFile(module, file);
    std::fflush(stdout);
  }
  refhost::UnloadPluginModule(module);

  // The reader's diagnostics end without a newline; start ours on a fresh line.
  std::fprintf(stderr, "\nkavri-import: %s: %s (result %d)\n", file.c_str(), refhost::DescribeResult(result),
               static_cast<int>(result));
  if (result == ResultLoaded || result == ResultDeclined || result == ResultCancelled) return result;
  return kExitHostFailure;
}
