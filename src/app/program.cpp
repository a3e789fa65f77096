#include "app/program.h"

namespace korvane {
namespace {

// Windows paths use the backslash. The native build (tests only) runs the same code on
// POSIX paths, so there the separator is the slash.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

std::string& ProgramDirectoryStorage() {
  static std::string directory;
  return directory;
}

}  // namespace

const std::string& ProgramDirectory() { return ProgramDirectoryStorage(); }

void SetProgramDirectoryFromExecutable(const std::string& executablePath) {
  // Cut before the last separator: "C:\a\korvane.exe" gives "C:\a".
  const auto cut = executablePath.find_last_of(kPathSeparator);
  ProgramDirectoryStorage() = cut == std::string::npos ? std::string() : executablePath.substr(0, cut);
}

std::string ProgramFilePath(const std::string& fileName) {
  return ProgramDirectory() + kPathSeparator + fileName;
}

std::string DataFilePath() { return ProgramFilePath(kDataFileName); }

}  // namespace korvane
