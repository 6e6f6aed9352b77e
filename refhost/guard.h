// Service functions are called across the plug-in boundary: nothing may throw
// through them. Run a body and turn any exception into a recorded problem.
#pragma once

#include <exception>
#include <string>

#include "refhost/scene.h"

namespace refhost {

template <typename Result, typename Body>
Result Guarded(const char* operation, Result fallback, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& error) {
    try {
      if (Scene* scene = ActiveScene()) scene->Problem(std::string(operation) + ": " + error.what());
    } catch (...) {
    }
  } catch (...) {
  }
  return fallback;
}

template <typename Body>
void GuardedVoid(const char* operation, Body&& body) noexcept {
  Guarded(operation, 0, [&] {
    body();
    return 0;
  });
}

}  // namespace refhost
