// A text of fixed capacity, used for names read from a document.
#pragma once

#include <cstdint>
#include <cstring>

#include "psd/diagnostics.h"

namespace psd {

// Holds at most Capacity − 1 characters and a terminating zero. A longer text
// is reported and cut to what fits; nothing is written past the array.
template <uint64_t Capacity>
struct FixedSizeString {
  char text[Capacity];
  uint64_t length;

  void Clear() {
    text[0] = '\0';
    length = 0;
  }

  void Assign(const char* source, uint64_t sourceLength) {
    if (sourceLength >= Capacity) {
      ReportAssert("String \"%.*s\" does not fit into FixedSizeString.", static_cast<int>(sourceLength > 1u << 20 ? 1u << 20 : sourceLength), source);
      sourceLength = Capacity - 1;
    }
    std::memcpy(text, source, static_cast<size_t>(sourceLength));
    text[sourceLength] = '\0';
    length = sourceLength;
  }

  void Assign(const char* source) { Assign(source, std::strlen(source)); }

  const char* c_str() const { return text; }
};

}  // namespace psd
