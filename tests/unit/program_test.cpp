#include <gtest/gtest.h>

#include "app/program.h"

namespace korvane {
namespace {

#ifdef _WIN32
constexpr const char* kExe = "C:\\Program Files\\运维 工具\\korvane.exe";
constexpr const char* kDir = "C:\\Program Files\\运维 工具";
constexpr const char* kData = "C:\\Program Files\\运维 工具\\mstsc.mdb";
#else
constexpr const char* kExe = "/opt/运维 工具/korvane.exe";
constexpr const char* kDir = "/opt/运维 工具";
constexpr const char* kData = "/opt/运维 工具/mstsc.mdb";
#endif

TEST(ProgramValues, DirectoryIsTheExecutablesFolderWithoutTrailingSeparator) {
  SetProgramDirectoryFromExecutable(kExe);
  EXPECT_EQ(ProgramDirectory(), kDir);
  EXPECT_EQ(DataFilePath(), kData);
}

TEST(ProgramValues, DatabasePasswordIsFixed) { EXPECT_EQ(DatabasePassword(), "qomr.nel"); }

}  // namespace
}  // namespace korvane
