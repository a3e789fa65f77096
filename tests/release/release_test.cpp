// The program from the release zip, unpacked by release.unpack, started in place. Its current
// folder is another one: the data file must be found beside the program. The zip's data file
// is a fresh one, so the first password opens it on an empty list.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>

#include "win32/app_driver.h"

namespace korvane {
namespace {

// The process's visible window whose caption starts with `prefix`, once it is there.
HWND WaitForWindowOf(DWORD process, const std::wstring& prefix) {
  struct Search {
    DWORD process;
    const std::wstring& prefix;
    HWND found = nullptr;
  } search{process, prefix};
  for (int i = 0; i < 400 && search.found == nullptr; ++i) {
    Sleep(50);
    EnumWindows(
        [](HWND hwnd, LPARAM context) -> BOOL {
          auto* s = reinterpret_cast<Search*>(context);
          DWORD owner = 0;
          GetWindowThreadProcessId(hwnd, &owner);
          if (owner == s->process && IsWindowVisible(hwnd) && testing::WindowTitle(hwnd).rfind(s->prefix, 0) == 0)
            s->found = hwnd;
          return s->found == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
  }
  return search.found;
}

TEST(Release, TheUnpackedProgramLogsInWithTheFirstPasswordToAnEmptyList) {
  const std::wstring exe = (testing::FromBuildPath(KORVANE_RELEASE_FOLDER) / "korvane.exe").wstring();
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup{.cb = sizeof(STARTUPINFOW)};
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup,
                             &process));
  struct Ender {  // a failed step leaves no program behind
    HANDLE process;
    ~Ender() {
      TerminateProcess(process, 99);
      WaitForSingleObject(process, 5000);
      CloseHandle(process);
    }
  } ender{process.hProcess};
  CloseHandle(process.hThread);

  HWND login = WaitForWindowOf(process.dwProcessId, L"Korvane      By.Oxle");
  ASSERT_NE(login, nullptr) << "no login window";
  HWND password = testing::ControlAt(login, L"Edit", 100, 20);
  ASSERT_NE(password, nullptr);
  testing::TypeInto(password, L"admin");
  testing::PostKey(password, VK_RETURN);
  HWND main = WaitForWindowOf(process.dwProcessId, L"Korvane    http");
  ASSERT_NE(main, nullptr) << "no main window";
  HWND list = testing::ControlAt(main, L"SysListView32", 100, 120);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);  // filled before the window shows

  PostMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process.hProcess, &code);
  EXPECT_EQ(code, 0u);
}

// Notepad reads a file without the byte order mark in the ANSI code page, and older ones show
// bare line feeds as one long line.
TEST(Release, TheReadmeIsUtf8WithAByteOrderMarkAndWindowsLineEnds) {
  std::ifstream file(testing::FromBuildPath(KORVANE_RELEASE_FOLDER) / "README.txt", std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u);
  EXPECT_FALSE(std::regex_search(text, std::regex("(^|[^\r])\n|\r([^\n]|$)"))) << "a line end that is not CR LF";
}

}  // namespace
}  // namespace korvane
