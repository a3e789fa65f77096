// A data file the program may open but not write would lose every server saved into it, so
// it is refused: one that another program holds open for reading only (Windows file sharing),
// and one in a folder nobody may write, where SQLite cannot make its journal.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

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

// Wine runs Linux programs given by their Z: path. The tests run as root, which file modes do
// not stop, so the folder is made immutable with chattr, which stops root too. Neither the exit
// code nor the end of the Linux program is reported back through Wine reliably, so this waits
// until the folder shows the change; false when it never does.
bool CanMakeFileIn(const std::filesystem::path& folder);

bool Chattr(const char* flag, const std::filesystem::path& folder) {
  using UnixName = char*(CDECL*)(LPCWSTR);
  const auto unixName =
      reinterpret_cast<UnixName>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  if (unixName == nullptr) return false;
  char* name = unixName(folder.wstring().c_str());
  if (name == nullptr) return false;
  std::string commandLine = std::string("chattr ") + flag + " \"" + name + "\"";
  HeapFree(GetProcessHeap(), 0, name);
  std::wstring wide(commandLine.begin(), commandLine.end());
  STARTUPINFOW startup{sizeof startup};
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(L"Z:\\usr\\bin\\chattr", wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  const bool wantWritable = flag[0] == '-';
  for (int i = 0; i < 400; ++i, Sleep(50))
    if (CanMakeFileIn(folder) == wantWritable) return true;
  return false;
}

// A probe made just before the folder turned immutable cannot be deleted when it closes; it is
// removed first, so that it does not make the folder look unwritable once the flag is gone.
bool CanMakeFileIn(const std::filesystem::path& folder) {
  const std::wstring probe = (folder / L"probe").wstring();
  DeleteFileW(probe.c_str());
  const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE,
                                  nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

std::string Bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(StoreOnWindows, AFileInAFolderThatCannotBeWrittenIsRefusedAndLeftAsItWas) {
  testing::TempDir dir("korvane locked folder");
  const std::string path = dir.File("mstsc.mdb");
  testing::MakeDataFile(path);
  const std::string before = Bytes(dir.path() / "mstsc.mdb");
  if (!Chattr("+i", dir.path())) GTEST_SKIP() << "chattr cannot make the folder immutable here";
  DBConnection db;
  const bool opened = db.OpenAccess(path, kDatabasePassword);
  const bool probeLeftNothing = !std::filesystem::exists(dir.path() / "mstsc.mdb-journal");
  ASSERT_TRUE(Chattr("-i", dir.path()));
  EXPECT_FALSE(opened);
  EXPECT_TRUE(probeLeftNothing);
  EXPECT_EQ(Bytes(dir.path() / "mstsc.mdb"), before);
  EXPECT_TRUE(db.OpenAccess(path, kDatabasePassword));
}

}  // namespace
}  // namespace korvane
