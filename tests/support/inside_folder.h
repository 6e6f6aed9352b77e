// Whether a written file lies inside a folder, after resolving "..", links and
// separators: the check every import of an untrusted file must pass.
#pragma once

#include <filesystem>

namespace kavri_test {

inline bool InsideFolder(const std::filesystem::path& folder, const std::filesystem::path& path) {
  const std::filesystem::path normal = std::filesystem::weakly_canonical(path);
  auto f = folder.begin();
  auto p = normal.begin();
  for (; f != folder.end(); ++f, ++p)
    if (p == normal.end() || *f != *p) return false;
  return p != normal.end();
}

}  // namespace kavri_test
