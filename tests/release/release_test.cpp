// The release zip's files, unpacked by release.unpack into an empty folder. The program runs
// in place, from another current folder: it must find its data file beside itself, and the
// zip's data file is a fresh one, opened by the first password on an empty list.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <regex>

#include "app/program.h"
#include "win32/app_driver.h"

namespace korvane {
namespace {

const std::filesystem::path kFolder = testing::FromBuildPath(KORVANE_RELEASE_FOLDER);

HWND WaitForWindowOf(DWORD process, const std::wstring& caption) {
  for (int i = 0; i < 400; ++i, Sleep(50)) {
    HWND hwnd = FindWindowW(nullptr, caption.c_str());
    DWORD owner = 0;
    if (hwnd && GetWindowThreadProcessId(hwnd, &owner) && owner == process && IsWindowVisible(hwnd)) return hwnd;
  }
  return nullptr;
}

TEST(Release, TheUnpackedProgramLogsInWithTheFirstPasswordToAnEmptyList) {
  const std::string address = kWebAddress;
  const std::wstring exe = (kFolder / "korvane.exe").wstring();
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup{.cb = sizeof(STARTUPINFOW)};
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup,
                             &process));
  CloseHandle(process.hThread);
  // A failed step leaves no program behind.
  std::unique_ptr<void, void (*)(HANDLE)> ender(process.hProcess, [](HANDLE h) {
    TerminateProcess(h, 99);
    WaitForSingleObject(h, 5000);
    CloseHandle(h);
  });

  HWND login = WaitForWindowOf(process.dwProcessId, L"Korvane      By.Oxle");
  ASSERT_NE(login, nullptr) << "no login window";
  HWND password = testing::ControlAt(login, L"Edit", 100, 20);
  testing::TypeInto(password, L"admin");
  testing::PostKey(password, VK_RETURN);
  HWND main = WaitForWindowOf(process.dwProcessId, L"Korvane    " + std::wstring(address.begin(), address.end()));
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
// bare line feeds as one long line. The Chinese guide is opened by its own name, as Windows
// gives it after unpacking.
TEST(Release, TheGuidesAreUtf8WithAByteOrderMarkAndWindowsLineEnds) {
  for (const wchar_t* name : {L"README.txt", L"使用说明.txt"}) {
    SCOPED_TRACE(name);
    std::ifstream file(kFolder / name, std::ios::binary);
    ASSERT_TRUE(file) << "not in the folder";
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u);
    EXPECT_FALSE(std::regex_search(text, std::regex("(^|[^\r])\n|\r([^\n]|$)"))) << "a line end that is not CR LF";
  }
}

}  // namespace
}  // namespace korvane
