// korvane.exe on a protected data file, as its own process: the login derives the keys, a
// click opens the server's password, and the connect hands it to the client protected for
// the Windows user. The file is protected here, through CNG, at the real iteration count.
#include <gtest/gtest.h>

#include "app/program.h"
#include "app_driver.h"
#include "datatool/messages.h"
#include "store/protection.h"
#include "store/schema.h"
#include "store/store.h"
#include "win32/support/test_client.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;

void Protect(const std::string& data) {
  DBConnection db;
  StoreError error;
  ASSERT_TRUE(db.OpenAccess(data, kDatabasePassword));
  ASSERT_TRUE(ProtectDataFile(db.Handle(), "登录 口令", error)) << tool::Say(error);
}

// Types the login password into the started program's login window and presses Enter; the
// password box, or null when no login window came.
HWND EnterLoginPassword(testing::AppProcess& app) {
  HWND login = app.WaitForWindow(L"Korvane      By.Oxle");
  if (login == nullptr) return nullptr;
  HWND edit = testing::ControlAt(login, L"Edit", 100, 20);
  testing::TypeInto(edit, L"登录 口令");
  testing::PostKey(edit, VK_RETURN);
  return edit;
}

TEST(ProtectedAppTest, LogInClickAServerAndConnectWithItsOpenedPassword) {
  testing::TempDir dir("korvane 保护 进程"), logDir("korvane client log"), tempDir("korvane temp");
  const std::string data = dir.File("mstsc.mdb"), log = testing::Utf8(logDir.path()) + "\\";
  testing::MakeDataFile(data, "登录 口令");
  testing::AddServer(data, "10.9.9.9", "3389", "运维", "服务器 密码 9", "机房");
  Protect(data);
  testing::EnvOverride logVariable("KORVANE_TEST_CLIENT_LOG", log), tmp("TMP", testing::Utf8(tempDir.path())),
      temp("TEMP", testing::Utf8(tempDir.path()));
  ASSERT_TRUE(CopyFileA(testing::Dos(KORVANE_TEST_CLIENT).c_str(), testing::SystemClientPath().c_str(), FALSE));
  SetCursorPos(0, 0);

  testing::AppProcess app(testing::FromBuildPath(KORVANE_EXE), dir.path());
  ASSERT_TRUE(app.started());
  ASSERT_NE(EnterLoginPassword(app), nullptr);
  HWND main = app.WaitForWindow(L"Korvane    http");
  ASSERT_NE(main, nullptr) << "no main window";
  HWND list = testing::ControlAt(main, L"SysListView32", 100, 120);
  HWND password = testing::ControlAt(main, L"Edit", 484, 233);

  // A left click as the list view takes it: press and release back to back.
  const POINT p = app.ListRowPoint(list, 0);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
  SendMessageTimeoutW(list, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
  for (int i = 0; i < 200 && testing::WindowTitle(password).empty(); ++i) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(testing::WindowTitle(password), L"服务器 密码 9");

  testing::Click(testing::ControlWithText(main, L"Button", L"连接"));
  ASSERT_TRUE(testing::WaitForClientRecord(log));
  const std::string file = testing::ReadAll(log + "text.rdp");
  const std::string key = "password 51:b:";
  const auto start = file.find(key);
  ASSERT_NE(start, std::string::npos) << file;
  const auto blob = testing::Unprotect(testing::Unhex(file.substr(start + key.size(), file.find("\r\n", start) - start - key.size())));
  // The blob holds the password as UTF-16, its terminator and one zero byte.
  ASSERT_TRUE(blob.ok && blob.data.size() % 2 == 1);
  const std::wstring opened(reinterpret_cast<const wchar_t*>(blob.data.data()), (blob.data.size() - 3) / 2);
  EXPECT_EQ(opened, L"服务器 密码 9");

  testing::WaitForClientExit(log);
  DeleteFileA(testing::SystemClientPath().c_str());
  testing::PostKey(main, VK_ESCAPE);
  EXPECT_EQ(app.WaitForExit(20s), 0u);
}

// The key derivations run in the background, so Esc pressed right after the login's Enter,
// or right after 更新 in the main window, is taken at once: the window closes and the program
// ends normally with the derivation still running. A change so cut short leaves the file alone.
class EscDuringTheDerivation : public ::testing::TestWithParam<bool> {};

TEST_P(EscDuringTheDerivation, EndsTheProgramAndChangesNothing) {
  testing::TempDir dir("korvane 保护 关闭");
  const std::string data = dir.File("mstsc.mdb");
  testing::MakeDataFile(data, "登录 口令");
  Protect(data);
  testing::AppProcess app(testing::FromBuildPath(KORVANE_EXE), dir.path());
  ASSERT_TRUE(app.started());
  HWND window = EnterLoginPassword(app);
  ASSERT_NE(window, nullptr);
  if (GetParam()) {
    ASSERT_NE(window = app.WaitForWindow(L"Korvane    http"), nullptr);
    testing::Click(testing::ControlWithText(window, L"Button", L"改密"));
    HWND box = nullptr;
    // Until 改密 has been handled, a details box stands where the new password's will be.
    for (int i = 0; i < 200 && !(testing::ControlWithText(window, L"Button", L"更新") &&
                                 (box = testing::ControlAt(window, L"Edit", 500, 188)));
         ++i)
      std::this_thread::sleep_for(50ms);
    ASSERT_NE(box, nullptr);
    testing::TypeInto(box, L"新 口令");
    testing::Click(testing::ControlWithText(window, L"Button", L"更新"));
  }
  testing::PostKey(window, VK_ESCAPE);
  EXPECT_EQ(app.WaitForExit(20s), 0u);
  DBConnection db;
  ASSERT_TRUE(db.OpenAccess(data, kDatabasePassword));
  EXPECT_TRUE(CheckLoginPassword(db.Handle(), kLoginKey, "登录 口令"));
}
INSTANTIATE_TEST_SUITE_P(ProtectedAppTest, EscDuringTheDerivation, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "OfANewLoginPassword" : "OfTheLogin"; });

}  // namespace
}  // namespace korvane
