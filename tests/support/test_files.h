// Files for tests: a scratch folder, writing bytes, and where the corpus lives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavri_test {

// A fresh folder for this test program's files, with a trailing separator.
std::string ScratchFolder();

// An empty folder ScratchFolder() + name, with a trailing separator.
std::string FreshScratchFolder(const std::string& name);

// Writes bytes to ScratchFolder() + name and returns the full path.
std::string WriteScratchFile(const std::string& name, const std::vector<uint8_t>& bytes);

std::vector<uint8_t> ReadWholeFile(const std::string& path);

// The folder of PSD files made by other tools, with a trailing separator.
std::string CorpusFolder();

// The folder of the programs and plug-in modules of this build.
std::string ProgramFolder();

// The wide form of a narrow path, as the loader makes it.
std::wstring Widen(const std::string& path);

}  // namespace kavri_test
