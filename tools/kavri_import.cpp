// kavri-import: a whole PSD import through the reference host, as the
// application would run it, from the command line.
#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "refhost/gltf_export.h"
#include "refhost/images.h"
#include "refhost/plugin_module.h"
#include "refhost/reference_host.h"
#include "refhost/scene_json.h"
#include "tools/import_report.h"

namespace {

constexpr int kExitHostFailure = 2;
constexpr size_t kProblemsShown = 10;

bool ParseRelease(const std::string& label, HostRelease& release) {
  for (int candidate = 0; candidate < HostReleaseCount; ++candidate) {
    if (label == HostReleaseLabel(static_cast<HostRelease>(candidate))) {
      release = static_cast<HostRelease>(candidate);
      return true;
    }
  }
  return false;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

bool ParseInt(const std::string& text, int32_t& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  value = static_cast<int32_t>(parsed);
  return true;
}

bool ParseDouble(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return *end == '\0';
}

bool ParseSize(const std::string& text, int32_t& width, int32_t& height) {
  const std::vector<std::string> parts = Split(text, 'x');
  return parts.size() == 2 && ParseInt(parts[0], width) && ParseInt(parts[1], height) && width > 0 && height > 0;
}

bool ParseTriple(const std::string& text, std::array<double, 3>& values) {
  const std::vector<std::string> parts = Split(text, ',');
  if (parts.size() != 3) return false;
  for (size_t i = 0; i < 3; ++i)
    if (!ParseDouble(parts[i], values[i])) return false;
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A saver named by its label (any case) or its index.
std::string CheckSaver(const std::string& answer) {
  int32_t index;
  if (ParseInt(answer, index) && index >= 0 && index < refhost::SaverCountOfHost()) return "";
  for (int32_t i = 0; i < refhost::SaverCountOfHost(); ++i)
    if (Lower(refhost::SaverLabelOfHost(i)) == Lower(answer)) return "";
  return "no saver \"" + answer + "\" (see --list-savers)";
}

CLI::Validator Check(const char* description, std::function<std::string(std::string&)> check) {
  return CLI::Validator(std::move(check), description);
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
  std::string gltfPath, jsonPath;
  bool listSavers = false;
  refhost::HostSettings settings;
  std::map<std::string, std::string>& answers = settings.panel.values;
  auto answer = [&answers](const char* label) {
    return [&answers, label](const std::string& value) { answers[label] = value; };
  };

  app.add_option("file", file, "The PSD file to import");
  app.add_option("--release", releaseLabel, "Host SDK release to serve: 2015, 2020 or 11.6 (default 2020)")
      ->check(CLI::IsMember({"2015", "2020", "11.6"}));
  app.add_option("--module", modulePath, "Plug-in module to load (default: the release's module beside this program)");

  app.add_option_function<std::string>("--type", answer("Import Type"), "Panel answer: import type Sphere, Flat or DenseMesh")
      ->check(CLI::IsMember({"Sphere", "Flat", "DenseMesh"}, CLI::ignore_case));
  app.add_option_function<std::string>("--subdivisions", answer("Subdivisions"), "Panel answer: Sphere subdivisions N")
      ->check(CLI::Number);
  app.add_option_function<std::string>("--min-distance", answer("Minimum Distance"), "Panel answer: distance D of the last layer")
      ->check(CLI::Number);
  app.add_option_function<std::string>("--max-distance", answer("Maximum Distance"), "Panel answer: distance D of the first layer")
      ->check(CLI::Number);
  app.add_option_function<std::string>("--save-dir", answer("Save Dir"), "Panel answer: folder DIR the images are written to, taken as typed (end it with a separator)");
  app.add_option_function<std::string>("--color-format", answer("Color Format"), "Panel answer: saver for colour images, by LABEL or INDEX")
      ->check(Check("LABEL|INDEX", CheckSaver));
  app.add_option_function<std::string>("--alpha-format", answer("Alpha Format"), "Panel answer: saver for alpha images, by LABEL or INDEX")
      ->check(Check("LABEL|INDEX", CheckSaver));
  app.add_option_function<std::string>("--premultiply", answer("Premultiply Alpha"), "Panel answer: premultiply colours by alpha, on or off")
      ->check(CLI::IsMember({"on", "off"}, CLI::ignore_case));
  app.add_flag("--cancel", settings.panel.cancel, "Panel answer: close the panel with Cancel");

  app.add_option_function<std::string>(
         "--viewport", [&](const std::string& v) { ParseSize(v, settings.viewport.width, settings.viewport.height); },
         "Viewport 0 size in pixels, WxH (default 800x600)")
      ->check(Check("WxH", [](std::string& v) {
        int32_t w, h;
        return ParseSize(v, w, h) ? std::string() : "expected WxH with positive whole numbers, e.g. 800x600";
      }));
  app.add_option("--viewport-kind", settings.viewport.kind, "Viewport 0 kind K: 9 camera view (default), other kinds span the viewport");
  app.add_option_function<std::string>(
         "--frame", [&](const std::string& v) { ParseSize(v, settings.frame.width, settings.frame.height); },
         "Render frame size in pixels, WxH (default 640x480)")
      ->check(Check("WxH", [](std::string& v) {
        int32_t w, h;
        return ParseSize(v, w, h) ? std::string() : "expected WxH with positive whole numbers, e.g. 1920x1080";
      }));
  app.add_option("--pixel-aspect", settings.frame.pixelAspect, "Pixel aspect ratio A of the render frame (default 1)")
      ->check(CLI::PositiveNumber);
  auto triple = [](std::array<double, 3>& target) {
    return [&target](const std::string& v) { ParseTriple(v, target); };
  };
  auto tripleCheck = [](const char* name) {
    return Check(name, [](std::string& v) {
      std::array<double, 3> values;
      return ParseTriple(v, values) ? std::string() : "expected three numbers separated by commas";
    });
  };
  app.add_option_function<std::string>("--camera-position", triple(settings.camera.position), "Camera position X,Y,Z (default 0,0,0)")
      ->check(tripleCheck("X,Y,Z"));
  app.add_option_function<std::string>("--camera-rotation", triple(settings.camera.rotation), "Camera heading, pitch, bank in degrees H,P,B (default 0,0,0: looking along +Z)")
      ->check(tripleCheck("H,P,B"));
  app.add_option("--camera-fov", settings.camera.horizontalFov, "Camera's horizontal field of view across the frame, in DEGREES (default 60)")
      ->check(Check("DEGREES", [](std::string& v) {
        double degrees;
        return ParseDouble(v, degrees) && degrees > 0.0 && degrees < 180.0 ? std::string()
                                                                           : "expected degrees above 0 and below 180";
      }));
  app.add_option("--gltf", gltfPath, "Write the imported scene as a glTF 2.0 binary OUT.glb");
  app.add_option("--scene-json", jsonPath, "Write everything the host kept, with the camera model, as OUT.json");
  app.add_flag("--list-savers", listSavers, "List the host's image savers with their indices and exit");
  CLI11_PARSE(app, argc, argv);

  if (listSavers) {
    for (int32_t i = 0; i < refhost::SaverCountOfHost(); ++i) std::printf("%d: %s\n", i, refhost::SaverLabelOfHost(i));
    return 0;
  }
  if (file.empty()) {
    std::fprintf(stderr, "kavri-import: a PSD file is required\nRun with --help for more information.\n");
    return kExitHostFailure;
  }
  ParseRelease(releaseLabel, settings.release);
  const std::string viewError = refhost::CheckViewSettings(settings);
  if (!viewError.empty()) {
    std::fprintf(stderr, "kavri-import: %s\n", viewError.c_str());
    return kExitHostFailure;
  }
  if (modulePath.empty()) modulePath = refhost::ProgramFolder() + refhost::ModuleFileName(releaseLabel);

  refhost::PluginModule module;
  std::string error;
  if (!refhost::LoadPluginModule(modulePath, module, error)) {
    std::fprintf(stderr, "kavri-import: %s\n", error.c_str());
    return kExitHostFailure;
  }

  int32_t result;
  bool outputsWritten = true;
  {
    refhost::ReferenceHost host(settings);
    std::fflush(stdout);
    result = host.ImportFile(module, file);
    std::fflush(stdout);
    // The reader's diagnostics end without a newline; start ours on a fresh line.
    std::fprintf(stderr, "\n");
    const refhost::Scene& scene = host.scene();
    if (!answers.empty() && scene.panels.empty())
      std::fprintf(stderr, "kavri-import: the plug-in showed no panel; the panel answers were not used\n");
    for (const std::string& note : scene.panelNotes) std::fprintf(stderr, "kavri-import: panel: %s\n", note.c_str());
    for (size_t i = 0; i < scene.problems.size() && i < kProblemsShown; ++i)
      std::fprintf(stderr, "kavri-import: host: %s\n", scene.problems[i].c_str());
    const size_t problems = scene.problems.size() + scene.problemsNotKept;
    if (problems > kProblemsShown)
      std::fprintf(stderr, "kavri-import: host: %zu more calls the host could not carry out\n", problems - kProblemsShown);
    if (result == ResultLoaded) kavri_import::PrintImportReport(kavri_import::BuildImportReport(file, scene));
    if (!gltfPath.empty()) {
      if (refhost::WriteGltf(scene, gltfPath, error)) {
        std::fprintf(stderr, "kavri-import: glTF: wrote %s\n", gltfPath.c_str());
      } else {
        std::fprintf(stderr, "kavri-import: cannot write %s: %s\n", gltfPath.c_str(), error.c_str());
        outputsWritten = false;
      }
    }
    if (!jsonPath.empty()) {
      if (refhost::WriteSceneJson(host, jsonPath, error)) {
        std::fprintf(stderr, "kavri-import: scene JSON: wrote %s\n", jsonPath.c_str());
      } else {
        std::fprintf(stderr, "kavri-import: cannot write %s: %s\n", jsonPath.c_str(), error.c_str());
        outputsWritten = false;
      }
    }
  }
  refhost::UnloadPluginModule(module);

  std::fprintf(stderr, "kavri-import: %s: %s (result %d)\n", file.c_str(), refhost::DescribeResult(result),
               static_cast<int>(result));
  if (!outputsWritten) return kExitHostFailure;
  if (result == ResultLoaded || result == ResultDeclined || result == ResultCancelled) return result;
  return kExitHostFailure;
}
