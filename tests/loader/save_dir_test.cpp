#include <gtest/gtest.h>

#include <string>

#include "loader/activation.h"
#include "loader/release.h"

namespace {

// Written with '|' for the platform's folder separator.
std::string Native(std::string text) {
  for (char& c : text)
    if (c == '|') c = kavri::kPathSeparator;
  return text;
}

std::string SaveDirOf(const std::string& name, size_t capacity = 300) {
  std::string buffer(capacity, 'x');
  kavri::DefaultSaveDir(name.c_str(), buffer.data(), capacity);
  return buffer.c_str();
}

TEST(DefaultSaveDir, IsTheFolderWithOneSeparator) {
  const struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"C:|dir|file.psd", "C:|dir|"},
      {"file.psd", ""},
      {"|file.psd", ""},  // the only separator is the first character
      {"a|b|c|d.psd", "a|b|c|"},
      {"dir||file.psd", "dir||"},
  };
  for (const auto& c : cases) EXPECT_EQ(SaveDirOf(Native(c.name)), Native(c.expected)) << c.name;
}

TEST(DefaultSaveDir, AFolderThatDoesNotFitLeavesItEmpty) {
  const std::string folder(298, 'f');
  EXPECT_EQ(SaveDirOf(folder + Native("|a.psd")), folder + Native("|"));  // 298 + separator + zero = 300
  const std::string longer(299, 'f');
  EXPECT_EQ(SaveDirOf(longer + Native("|a.psd")), "");
  const std::string veryLong(5000, 'g');
  EXPECT_EQ(SaveDirOf(veryLong + Native("|a.psd")), "");
}

TEST(ToWidePath, CopiesWithTheTerminator) {
  wchar_t* wide = kavri::ToWidePath("dir/file.psd");
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(std::wstring(wide), L"dir/file.psd");
  std::free(wide);
}

}  // namespace
