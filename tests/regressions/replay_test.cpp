// Every input a fuzz harness once failed on, kept under tests/regressions/
// HARNESS/, replayed through the same harness code in the normal suites (and
// so under the sanitizers in that build). A harness stops the program on a
// finding, so a replay that returns is a pass.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

extern "C" int ReaderHarness(const uint8_t* data, size_t size);
extern "C" int DecodersHarness(const uint8_t* data, size_t size);
#if !defined(_WIN32)
extern "C" int ImportHarness(const uint8_t* data, size_t size);
#endif

namespace {

namespace fs = std::filesystem;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

std::vector<std::string> InputsOf(const std::string& harness) {
  std::vector<std::string> paths;
#if defined(_WIN32)
  const fs::path folder = fs::u8path(std::string("Z:") + KAVRI_REGRESSIONS_DIR + "/" + harness);  // Wine's drive
#else
  const fs::path folder = fs::u8path(std::string(KAVRI_REGRESSIONS_DIR) + "/" + harness);
#endif
  if (!fs::is_directory(folder)) return paths;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file()) paths.push_back(entry.path().u8string());
  return paths;
}

void Replay(const std::string& harness, int (*run)(const uint8_t*, size_t)) {
  const std::vector<std::string> inputs = InputsOf(harness);
  for (const std::string& path : inputs) {
    SCOPED_TRACE(path);
    const std::vector<uint8_t> bytes = kavri_test::ReadWholeFile(path);
    CaptureStdout();  // the reader's diagnostics
    run(bytes.data(), bytes.size());
    GetCapturedStdout();
  }
}

TEST(FuzzRegressions, ReaderInputs) { Replay("reader", ReaderHarness); }
TEST(FuzzRegressions, DecoderInputs) { Replay("decoders", DecodersHarness); }
#if !defined(_WIN32)
TEST(FuzzRegressions, ImportInputs) { Replay("import", ImportHarness); }
#endif

}  // namespace
