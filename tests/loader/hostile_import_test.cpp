// The hostile-file table through a whole import: damaged copies of the small
// corpus files imported by the plug-in module through the reference host,
// with each import type in turn, into a save folder of their own. Each ends
// loaded or declined, and every file written lies inside that folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "refhost/plugin_module.h"
#include "refhost/reference_host.h"
#include "tests/support/inside_folder.h"
#include "tests/support/hostile_variants.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;


class HostileImport : public testing::Test {
 protected:
  void SetUp() override {
    const std::string path = kavri_test::ProgramFolder() + refhost::ModuleFileName("2020");
    std::string error;
    ASSERT_TRUE(refhost::LoadPluginModule(path, module_, error)) << error;
    root_ = fs::weakly_canonical(fs::u8path(kavri_test::ScratchFolder()) / "hostile_import");
    fs::remove_all(root_);
    save_ = root_ / "save";
    fs::create_directories(save_);
  }
  void TearDown() override { refhost::UnloadPluginModule(module_); }

  refhost::PluginModule module_;
  fs::path root_, save_;
};

TEST_F(HostileImport, DamagedCorpusFilesLoadOrDeclineAndWriteOnlyIntoTheSaveFolder) {
  static const char* const kTypes[] = {"Sphere", "Flat", "DenseMesh"};
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::u8path(kavri_test::CorpusFolder()))) {
    const std::string name = entry.path().filename().u8string();
    if (name.size() > 4 && name.substr(name.size() - 4) == ".psd" && entry.file_size() < 40000) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  ASSERT_GT(names.size(), 15u);
  size_t imports = 0;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = kavri_test::ReadWholeFile(kavri_test::CorpusFolder() + name);
    const std::vector<kavri_test::Variant> variants = kavri_test::HostileVariants(bytes, 4);
    // About twenty imports per file: each writes its layers' images.
    const size_t stride = std::max<size_t>(1, variants.size() / 20);
    for (size_t i = 0; i < variants.size(); i += stride) {
      const kavri_test::Variant& variant = variants[i];
      SCOPED_TRACE(variant.what);
      const fs::path input = root_ / "input.psd";
      {
        std::FILE* out = std::fopen(input.string().c_str(), "wb");
        ASSERT_NE(out, nullptr);
        const std::vector<uint8_t> damaged = kavri_test::Apply(bytes, variant);
        if (!damaged.empty()) std::fwrite(damaged.data(), 1, damaged.size(), out);
        std::fclose(out);
      }
      refhost::HostSettings settings;
      settings.panel.values["Save Dir"] = save_.string() + static_cast<char>(fs::path::preferred_separator);
      settings.panel.values["Import Type"] = kTypes[imports++ % 3];
      refhost::ReferenceHost host(settings);
      CaptureStdout();
      const int32_t result = host.ImportFile(module_, input.string());
      const std::string output = GetCapturedStdout();
      EXPECT_TRUE(result == ResultLoaded || result == ResultDeclined) << result;
      std::string offending;
      EXPECT_TRUE(kavri_test::OnlyReaderDiagnostics(output, &offending)) << offending;
      for (const refhost::SavedFile& saved : host.scene().saves) EXPECT_TRUE(kavri_test::InsideFolder(save_, saved.file)) << saved.file;
      for (const auto& entry : fs::directory_iterator(root_))
        EXPECT_TRUE(entry.path() == input || entry.path() == save_) << entry.path();
      for (const auto& entry : fs::directory_iterator(save_)) {
        EXPECT_TRUE(entry.is_regular_file()) << entry.path();
        fs::remove_all(entry.path());
      }
    }
  }
  EXPECT_GT(imports, 300u);
}

// Found by the import harness: documents whose merged image claims far more
// pixels than any data behind it (24 x 620757008 raw, 256 x 65536 without
// data) load with nothing built, instead of a grid of billions of points or
// a 64 MB image of nothing.
TEST_F(HostileImport, AMergedImageWithNoDataBehindItBuildsNothing) {
  static const char* const kTypes[] = {"Sphere", "Flat", "DenseMesh"};
  for (const char* name : {"merged_image_far_beyond_host_dense.psd", "merged_image_without_data_large.psd"}) {
#if defined(_WIN32)
    const std::string folder = std::string("Z:") + KAVRI_REGRESSIONS_DIR;  // the build machine's root under Wine
#else
    const std::string folder = KAVRI_REGRESSIONS_DIR;
#endif
    const std::vector<uint8_t> bytes = kavri_test::ReadWholeFile(folder + "/import/" + name);
    ASSERT_FALSE(bytes.empty()) << name;
    const std::string path = kavri_test::WriteScratchFile(name, bytes);
    for (const char* type : kTypes) {
      refhost::HostSettings settings;
      settings.panel.values["Save Dir"] = save_.string() + static_cast<char>(fs::path::preferred_separator);
      settings.panel.values["Import Type"] = type;
      refhost::ReferenceHost host(settings);
      CaptureStdout();
      EXPECT_EQ(host.ImportFile(module_, path), ResultLoaded) << name << " " << type;
      GetCapturedStdout();
      EXPECT_TRUE(host.scene().layers.empty()) << name << " " << type;
      EXPECT_TRUE(host.scene().saves.empty()) << name << " " << type;
    }
  }
}

}  // namespace
