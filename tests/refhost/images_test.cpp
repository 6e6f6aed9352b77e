#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/refhost/host_services.h"
#include "tests/support/test_files.h"

namespace {

std::vector<std::string> Labels(const ImageUtilityService& images) {
  std::vector<std::string> labels;
  for (int32_t i = 0; i < images.SaverCount(); ++i) labels.emplace_back(images.SaverLabel(i));
  return labels;
}

TEST(Savers, LabelsEndInTheExtensionAndTheDefaultIsNotFirst) {
  refhost::ReferenceHost host(refhost::HostSettings{});
  kavri_test::HostServices services(host);
  const std::vector<std::string> labels = Labels(*services.images);
  for (const std::string& label : labels) {
    const size_t open = label.rfind('(');
    ASSERT_NE(open, std::string::npos) << label;
    EXPECT_EQ(label.back(), ')') << label;
    EXPECT_EQ(label[open + 1], '.') << label;
  }
  const auto tga24 = std::find(labels.begin(), labels.end(), "LW_TGA24(.tga)");
  ASSERT_NE(tga24, labels.end());
  EXPECT_GT(tga24 - labels.begin(), 0);
  for (const char* wanted : {"LW_TGA32(.tga)", "LW_PNG24(.png)", "LW_PNG32(.png)"})
    EXPECT_NE(std::find(labels.begin(), labels.end(), wanted), labels.end()) << wanted;
  EXPECT_EQ(services.images->SaverLabel(services.images->SaverCount()), nullptr);
  EXPECT_EQ(services.images->SaverLabel(-1), nullptr);
}

int32_t SaverIndex(const ImageUtilityService& images, const std::string& label) {
  const std::vector<std::string> labels = Labels(images);
  return static_cast<int32_t>(std::find(labels.begin(), labels.end(), label) - labels.begin());
}

uint8_t ColourAt(int x, int y, int c) { return static_cast<uint8_t>((x * 37 + y * 11 + c * 85) & 0xFF); }
uint8_t AlphaAt(int x, int y) { return static_cast<uint8_t>((x * 29 + y * 53) & 0xFF); }

struct SaverCase {
  const char* label;
  int32_t imageType;
  bool keepsAlpha;  // what a written RGBA image's alpha reads back as
};

TEST(Savers, ALosslessFileReadBackGivesThePixelsPut) {
  const SaverCase cases[] = {
      {"LW_TGA24(.tga)", KAVRI_IMAGE_TYPE_RGBA, false}, {"LW_TGA32(.tga)", KAVRI_IMAGE_TYPE_RGBA, true},
      {"LW_PNG24(.png)", KAVRI_IMAGE_TYPE_RGBA, false}, {"LW_PNG32(.png)", KAVRI_IMAGE_TYPE_RGBA, true},
      {"LW_BMP24(.bmp)", KAVRI_IMAGE_TYPE_RGBA, false}, {"LW_TGA24(.tga)", KAVRI_IMAGE_TYPE_GREY, false},
      {"LW_TGA32(.tga)", KAVRI_IMAGE_TYPE_GREY, false}, {"LW_PNG8(.png)", KAVRI_IMAGE_TYPE_GREY, false},
      {"LW_PNG24(.png)", KAVRI_IMAGE_TYPE_GREY, false},
  };
  const int32_t width = 13, height = 7;  // odd sizes catch row padding and flips
  int serial = 0;
  for (const SaverCase& c : cases) {
    refhost::ReferenceHost host(refhost::HostSettings{});
    kavri_test::HostServices services(host);
    const ImageUtilityService& images = *services.images;
    const std::string name = c.label + std::string(c.imageType == KAVRI_IMAGE_TYPE_GREY ? " grey" : " colour");
    HostImage image = images.NewImage(width, height, c.imageType);
    ASSERT_NE(image, nullptr) << name;
    int32_t w = 0, h = 0;
    images.ImageGeometry(image, &w, &h);
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        // A grey image is written as the plug-in writes its alpha image: three equal bytes.
        const uint8_t grey = ColourAt(x, y, 0);
        const uint8_t pixel[4] = {c.imageType == KAVRI_IMAGE_TYPE_GREY ? grey : ColourAt(x, y, 0),
                                  c.imageType == KAVRI_IMAGE_TYPE_GREY ? grey : ColourAt(x, y, 1),
                                  c.imageType == KAVRI_IMAGE_TYPE_GREY ? grey : ColourAt(x, y, 2),
                                  c.imageType == KAVRI_IMAGE_TYPE_GREY ? uint8_t{0} : AlphaAt(x, y)};
        images.PutPixel(image, x, y, pixel);
      }
    }
    const std::string label = c.label;
    const std::string file = kavri_test::ScratchFolder() + "saved" + std::to_string(serial++) +
                             label.substr(label.rfind('(') + 1, 4);
    EXPECT_NE(images.SaveImageAs(image, SaverIndex(images, c.label), file.c_str()), 0) << name;
    images.FreeImage(image);
    HostImageId loaded = services.imageList->LoadImageFile(file.c_str());
    ASSERT_NE(loaded, nullptr) << name;
    const refhost::ListImage& back = host.scene().listImages.back();
    ASSERT_EQ(back.width, width);
    ASSERT_EQ(back.height, height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint8_t* p = &back.rgba[(static_cast<size_t>(y) * width + x) * 4];
        for (int ch = 0; ch < 3; ++ch) {
          const uint8_t expected = c.imageType == KAVRI_IMAGE_TYPE_GREY ? ColourAt(x, y, 0) : ColourAt(x, y, ch);
          ASSERT_EQ(p[ch], expected) << name << " at " << x << "," << y << " channel " << ch;
        }
        const uint8_t alpha = c.imageType == KAVRI_IMAGE_TYPE_RGBA && c.keepsAlpha ? AlphaAt(x, y) : 255;
        ASSERT_EQ(p[3], alpha) << name << " at " << x << "," << y;
        // Sampling gives the same values on the 0–1 scale.
        float rgb[3];
        services.imageList->SampleImageRGB(loaded, x, y, rgb);
        EXPECT_EQ(rgb[0], p[0] / 255.0f);
        if (c.imageType == KAVRI_IMAGE_TYPE_GREY)
          EXPECT_EQ(services.imageList->SampleImageGrey(loaded, x, y), p[0] / 255.0f) << name;
      }
    }
    EXPECT_TRUE(host.scene().problems.empty()) << host.scene().problems.front();
  }
}

TEST(ImageList, SamplesClampAtTheEdgesAndWhiteIsExactlyOne) {
  refhost::ReferenceHost host(refhost::HostSettings{});
  kavri_test::HostServices services(host);
  const ImageUtilityService& images = *services.images;
  HostImage image = images.NewImage(3, 2, KAVRI_IMAGE_TYPE_RGBA);
  const uint8_t white[4] = {255, 255, 255, 255}, red[4] = {255, 0, 0, 255}, dark[4] = {10, 20, 30, 255};
  images.PutPixel(image, 0, 0, white);
  images.PutPixel(image, 2, 0, red);
  images.PutPixel(image, 2, 1, dark);
  const std::string file = kavri_test::ScratchFolder() + "clamp.png";
  ASSERT_NE(images.SaveImageAs(image, SaverIndex(images, "LW_PNG24(.png)"), file.c_str()), 0);
  HostImageId id = services.imageList->LoadImageFile(file.c_str());
  EXPECT_EQ(services.imageList->SampleImageGrey(id, 0, 0), 1.0f);
  EXPECT_EQ(services.imageList->SampleImageGrey(id, -5, -9), 1.0f);
  float rgb[3];
  services.imageList->SampleImageRGB(id, 99, -1, rgb);
  EXPECT_EQ((std::vector<float>{rgb[0], rgb[1], rgb[2]}), (std::vector<float>{1.0f, 0.0f, 0.0f}));
  services.imageList->SampleImageRGB(id, 7, 7, rgb);
  EXPECT_EQ((std::vector<float>{rgb[0], rgb[1], rgb[2]}), (std::vector<float>{10 / 255.0f, 20 / 255.0f, 30 / 255.0f}));
  // Grey of a colour pixel is its luminance: red is darker than white, not 1/3.
  EXPECT_NEAR(services.imageList->SampleImageGrey(id, 2, 0), 0.299f, 1e-6);
}

TEST(Images, RefusesWhatCannotBeDoneWithoutFailing) {
  refhost::ReferenceHost host(refhost::HostSettings{});
  kavri_test::HostServices services(host);
  const ImageUtilityService& images = *services.images;
  EXPECT_EQ(images.NewImage(0, 5, KAVRI_IMAGE_TYPE_RGBA), nullptr);
  EXPECT_EQ(images.NewImage(5, 5, 3), nullptr);
  EXPECT_EQ(images.NewImage(100000, 100000, KAVRI_IMAGE_TYPE_RGBA), nullptr);
  HostImage image = images.NewImage(2, 2, KAVRI_IMAGE_TYPE_RGBA);
  const uint8_t pixel[4] = {1, 2, 3, 4};
  images.PutPixel(image, 2, 0, pixel);    // outside
  images.PutPixel(nullptr, 0, 0, pixel);  // no image
  const std::string folderless = kavri_test::ScratchFolder() + "no-such-folder/x.tga";
  EXPECT_EQ(images.SaveImageAs(image, SaverIndex(images, "LW_TGA24(.tga)"), folderless.c_str()), 0);
  EXPECT_EQ(images.SaveImageAs(image, images.SaverCount(), (kavri_test::ScratchFolder() + "y.tga").c_str()), 0);
  images.FreeImage(image);
  images.FreeImage(image);  // stale
  int32_t w = 7, h = 7;
  images.ImageGeometry(image, &w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(services.imageList->LoadImageFile(folderless.c_str()), nullptr);
  const std::string notImage = kavri_test::WriteScratchFile("not-an-image.png", {1, 2, 3, 4, 5});
  EXPECT_EQ(services.imageList->LoadImageFile(notImage.c_str()), nullptr);
  EXPECT_EQ(services.imageList->LoadImageFile(nullptr), nullptr);
  EXPECT_EQ(services.imageList->SampleImageGrey(nullptr, 0, 0), 0.0f);
  // An image utility image is not an image list id.
  EXPECT_EQ(services.imageList->SampleImageGrey(reinterpret_cast<HostImageId>(image), 0, 0), 0.0f);
  EXPECT_GE(host.scene().problems.size(), 8u);
  ASSERT_EQ(host.scene().saves.size(), 2u);
  EXPECT_FALSE(host.scene().saves[0].written);
}

}  // namespace
