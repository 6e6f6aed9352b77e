#include "psd/diagnostics.h"

#include <cstdarg>
#include <cstdio>

namespace psd {

namespace {
// Layer names reach the messages, so the text buffer holds the longest of them.
constexpr int kMessageCapacity = 4096;
}

void ReportError(const char* tag, const char* format, ...) {
  char text[kMessageCapacity];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::printf("\n***ERROR*** %s %s", tag, text);
  std::fflush(stdout);
}

void ReportAssert(const char* format, ...) {
  char text[kMessageCapacity];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::printf("\n***ASSERT FAILED*** %s", text);
  std::fflush(stdout);
}

bool AssertNotNull(const void* pointer) {
  if (pointer == nullptr) {
    ReportAssert("Pointer is null.");
    return false;
  }
  return true;
}

}  // namespace psd
