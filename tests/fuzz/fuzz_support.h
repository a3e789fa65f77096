// What the fuzz targets share: a private folder for the files they make, gone at exit.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace korvane::fuzz {

// Made once per process (libFuzzer may run several at once) and removed when it exits. In
// memory where there is a memory file system: the targets write a file on every input, and
// on a disk mounted with discard each truncate or unlink costs a millisecond.
inline const std::filesystem::path& ScratchFolder() {
  // Never destroyed: the exit handler below still needs the name after static objects go.
  static const std::filesystem::path* const folder = [] {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "korvane-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return new std::filesystem::path(pattern);
  }();
  static const bool removedAtExit = std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(*folder, ignored);
  }) == 0;
  (void)removedAtExit;
  return *folder;
}

// A failed property ends the run with a crash report, which libFuzzer keeps as an artifact.
inline void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace korvane::fuzz
