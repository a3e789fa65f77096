// Program-wide values shared by the windows.
#pragma once

#include <string>

namespace korvane {

// The data file's fixed name and its database password. The password is a gate kept in the
// file and checked on open, not encryption.
inline constexpr const char* kDataFileName = "mstsc.mdb";
inline constexpr const char* kDatabasePassword = "qomr.nel";
// The program's web address: shown by the login link and the main window's caption, opened
// after a database failure at login and by 关于.
// Short enough to show whole in the login window's link; .test is a name reserved for tests and
// documentation, to be replaced by the real home page when there is one.
inline constexpr const char* kWebAddress = "http://oxle.test/";

// The directory of the running executable without a trailing backslash. Fixed at start.
const std::string& ProgramDirectory();
void SetProgramDirectoryFromExecutable(const std::string& executablePath);

// A file in the program's directory: ProgramDirectory() + "\" + fileName.
std::string ProgramFilePath(const std::string& fileName);

// ProgramDirectory() + "\mstsc.mdb", built afresh on every call.
std::string DataFilePath();

inline const std::string& DatabasePassword() {
  static const std::string password = kDatabasePassword;
  return password;
}

}  // namespace korvane
