// A data file the program may open but not write would lose every server saved into it, so
// it is refused. Another program that holds the file open for reading, sharing it only for
// reading, makes it so; that needs Windows file sharing, so this runs under Wine only.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/program.h"
#include "store/schema.h"
#include "store/store.h"
#include "support/data_files.h"

namespace korvane {
namespace {

TEST(StoreOnWindows, AFileThatCannotBeWrittenIsRefused) {
  testing::TempDir dir("korvane 只读");
  const std::string path = dir.File("mstsc.mdb");
  testing::MakeDataFile(path);
  const std::wstring wide = (dir.path() / "mstsc.mdb").wstring();

  HANDLE reader = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  DBConnection db;
  EXPECT_FALSE(db.OpenAccess(path, kDatabasePassword));
  EXPECT_FALSE(db.IsOpen());

  CloseHandle(reader);
  EXPECT_TRUE(db.OpenAccess(path, kDatabasePassword));
}

}  // namespace
}  // namespace korvane
