#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "refhost/plugin_module.h"
#include "refhost/reference_host.h"
#include "tests/support/psd_bytes.h"
#include "tests/support/test_files.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

struct Release {
  HostRelease release;
  const char* label;
};

// The minimal documents of these tests have no layer and mask section.
constexpr const char* kNoLayerSection = "\n***ERROR*** [PSD] Document does not contain a layer mask section.";

void PrintTo(const Release& release, std::ostream* os) { *os << release.label; }

class Activation : public testing::TestWithParam<Release> {
 protected:
  void SetUp() override {
    const std::string path = kavri_test::ProgramFolder() + refhost::ModuleFileName(GetParam().label);
    std::string error;
    ASSERT_TRUE(refhost::LoadPluginModule(path, module_, error)) << error;
  }
  void TearDown() override { refhost::UnloadPluginModule(module_); }

  refhost::HostSettings Settings() const {
    refhost::HostSettings settings;
    settings.release = GetParam().release;
    return settings;
  }

  std::string Name(HostService service) const { return HostServiceName(service, GetParam().release); }

  std::vector<std::string> Names(const refhost::ReferenceHost& host) const {
    std::vector<std::string> names;
    for (const auto& lookup : host.lookups()) names.push_back(lookup.name);
    return names;
  }

  refhost::PluginModule module_;
};

TEST_P(Activation, DeclinesNamesThatAreNotPsdNamesBeforeAnything) {
  for (const char* name : {".psd", "x.PSD", "picture.psd.txt", "psd", ""}) {
    refhost::ReferenceHost host(Settings());
    CaptureStdout();
    EXPECT_EQ(host.ImportFile(module_, name), ResultDeclined) << name;
    EXPECT_EQ(GetCapturedStdout(), "") << name;
    EXPECT_TRUE(host.lookups().empty()) << name;
    EXPECT_FALSE(host.objectFinished());
  }
}

TEST_P(Activation, LooksUpTheReleasesServicesAndLoadsAValidFile) {
  const std::string path = kavri_test::WriteScratchFile("valid.psd", kavri_test::MinimalPsd());
  refhost::ReferenceHost host(Settings());
  CaptureStdout();
  EXPECT_EQ(host.ImportFile(module_, path), ResultLoaded);
  EXPECT_EQ(GetCapturedStdout(), kNoLayerSection);
  EXPECT_TRUE(host.objectFinished());
  const std::vector<std::string> expected = {
      Name(ServiceSurfaceFunctions), Name(ServiceImageList),     Name(ServiceInfoMessages),
      Name(ServiceImageUtility),     Name(ServiceCameraInfo),    Name(ServiceItemInfo),
      Name(ServiceInterfaceInfo),    Name(ServiceItemInfo),      Name(ServiceViewportInfo),
      Name(ServiceSceneInfo),        Name(ServiceHostDisplayInfo), Name(ServicePanelServices),
      "System ID",                   Name(ServiceTextureFunctions)};
  EXPECT_EQ(Names(host), expected);

  // A second request asks only for "System ID" and the texture service again.
  refhost::ReferenceHost second(Settings());
  EXPECT_EQ(second.ImportFile(module_, path), ResultLoaded);
  EXPECT_EQ(Names(second), (std::vector<std::string>{"System ID", Name(ServiceTextureFunctions)}));
}

TEST_P(Activation, ShortestPsdNameIsAcceptedAndAMissingFileDeclined) {
  refhost::ReferenceHost host(Settings());
  CaptureStdout();
  EXPECT_EQ(host.ImportFile(module_, "a.psd"), ResultDeclined);
  EXPECT_EQ(GetCapturedStdout(), "\n***ERROR*** [NativeFile] Cannot obtain handle for file \"a.psd\".");
  EXPECT_FALSE(host.lookups().empty());
}

TEST_P(Activation, DeclinesOutsideTheLoaderComponentWithoutOpening) {
  for (uint32_t systemId : {0x10000000u, 0x80000001u, 0xF0000000u}) {
    refhost::HostSettings settings = Settings();
    settings.systemId = systemId;
    refhost::ReferenceHost host(settings);
    CaptureStdout();
    EXPECT_EQ(host.ImportFile(module_, "no-such-folder/picture.psd"), ResultDeclined);
    EXPECT_EQ(GetCapturedStdout(), "");  // the file was never opened
    const std::vector<std::string> names = Names(host);
    EXPECT_EQ(names.back(), "System ID");
  }
  // Component 0 with other bits set works.
  refhost::HostSettings settings = Settings();
  settings.systemId = 0x0FFFFFFF;
  refhost::ReferenceHost host(settings);
  const std::string path = kavri_test::WriteScratchFile("component.psd", kavri_test::MinimalPsd());
  EXPECT_EQ(host.ImportFile(module_, path), ResultLoaded);
}

TEST_P(Activation, AMissingServiceDeclinesAndIsAskedForAgainNextTime) {
  const std::string path = kavri_test::WriteScratchFile("services.psd", kavri_test::MinimalPsd());
  for (HostService withheld : {ServiceViewportInfo, ServicePanelServices, ServiceTextureFunctions}) {
    refhost::UnloadPluginModule(module_);
    SetUp();
    refhost::HostSettings settings = Settings();
    settings.withheldServices.insert(Name(withheld));
    refhost::ReferenceHost host(settings);
    CaptureStdout();
    EXPECT_EQ(host.ImportFile(module_, path), ResultDeclined) << Name(withheld);
    EXPECT_EQ(GetCapturedStdout(), "");
    refhost::ReferenceHost later(Settings());
    EXPECT_EQ(later.ImportFile(module_, path), ResultLoaded) << Name(withheld);
    const std::vector<std::string> names = Names(later);
    EXPECT_NE(std::find(names.begin(), names.end(), Name(withheld)), names.end()) << Name(withheld);
  }
}

TEST_P(Activation, DeclinesAFileWithABadHeader) {
  std::vector<uint8_t> bytes = kavri_test::MinimalPsd();
  bytes[0] = 'X';
  const std::string path = kavri_test::WriteScratchFile("bad-signature.psd", bytes);
  refhost::ReferenceHost host(Settings());
  CaptureStdout();
  EXPECT_EQ(host.ImportFile(module_, path), ResultDeclined);
  EXPECT_EQ(GetCapturedStdout(),
            "\n***ERROR*** [PsdExtract] File seems to be corrupt, signature does not match \"8BPS\".");
  EXPECT_FALSE(host.objectFinished());
}

TEST_P(Activation, ReadsTheImageResourcesAndGoesOnWhenTheyAreCorrupt) {
  // A 12-byte resources section whose one block has a wrong signature.
  kavri_test::ByteWriter w = kavri_test::PsdHeader(4, 2);
  w.U32(0).U32(12).Text("8BIX").U16(1057).U16(0).U32(0).U32(0);
  const std::string path = kavri_test::WriteScratchFile("corrupt-resources.psd", w.bytes);
  refhost::ReferenceHost host(Settings());
  CaptureStdout();
  EXPECT_EQ(host.ImportFile(module_, path), ResultLoaded);
  EXPECT_EQ(GetCapturedStdout(),
            "\n***ERROR*** [ImageResources] Image resources section seems to be corrupt, signature does not match "
            "\"8BIM\"." +
                std::string(kNoLayerSection));
  EXPECT_TRUE(host.objectFinished());
}

INSTANTIATE_TEST_SUITE_P(Releases, Activation,
                         testing::Values(Release{HostRelease2015, "2015"}, Release{HostRelease2020, "2020"},
                                         Release{HostRelease11_6, "11.6"}),
                         [](const testing::TestParamInfo<Release>& info) {
                           return std::string("release_") + (info.param.release == HostRelease11_6 ? "11_6" : info.param.label);
                         });

}  // namespace
