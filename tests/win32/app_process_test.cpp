// korvane.exe as an operator meets it: its own process on a fresh data file, driven only
// through its windows. Windows are found by caption, controls by class and by where they lie
// or what they say, text is typed and buttons clicked, message boxes read and answered; the
// stand-in client in the system folder records what a connect hands to it.
#include <gtest/gtest.h>

#include <optional>

#include "app/program.h"
#include "app_driver.h"
#include "win32/support/test_client.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;
using testing::AppProcess;
using testing::Click;
using testing::ControlAt;
using testing::ControlWithText;
using testing::TypeInto;
using testing::WindowTitle;
using Cells = std::vector<std::wstring>;

constexpr wchar_t kLoginCaption[] = L"Korvane      By.Oxle";

std::wstring MainCaption() {
  const std::string address = kWebAddress;
  return L"Korvane    " + std::wstring(address.begin(), address.end());
}

// Where the operator finds things, in the client area of their window.
namespace at {
constexpr POINT kPassword{100, 20};  // login window
constexpr POINT kList{100, 120};
constexpr POINT kResolution{532, 40};
constexpr POINT kHost{484, 161}, kPort{484, 185}, kUser{484, 209}, kServerPassword{484, 233};
constexpr POINT kNewLoginPassword{470, 186};
// The editor.
constexpr POINT kEditHost{74, 18}, kEditPort{222, 18}, kEditUser{74, 42}, kEditPassword{74, 66}, kEditRemark{74, 90};
}  // namespace at

HWND At(HWND top, const wchar_t* className, POINT p) { return ControlAt(top, className, p.x, p.y); }

// Waits until a control shows the text; the program may still be busy with earlier input.
// A deadline for failure, not a measure of speed.
bool WaitForText(HWND hwnd, const std::wstring& text) {
  for (int i = 0; i < 200; ++i) {
    if (WindowTitle(hwnd) == text) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

bool WaitForRowCount(HWND list, int count) {
  for (int i = 0; i < 200; ++i) {
    if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == count) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

class AppProcessTest : public ::testing::Test {
 protected:
  AppProcessTest() : dir("korvane 进程 测试") {
    testing::MakeDataFile(data);
    // The pointer is shared by every test on the display. Over the program's list, its real
    // moves would make the list take the tests' clicks for drags; park it in the corner,
    // away from the centred windows, before the program starts.
    SetCursorPos(0, 0);
    Sleep(100);
  }

  void Start() {
    app = std::make_unique<AppProcess>(testing::FromBuildPath(KORVANE_EXE), dir.path());
    ASSERT_TRUE(app->started());
    login = app->WaitForWindow(kLoginCaption);
    ASSERT_NE(login, nullptr) << "no login window";
  }

  void TypePassword(const std::wstring& password) {
    HWND edit = At(login, L"Edit", at::kPassword);
    ASSERT_NE(edit, nullptr);
    TypeInto(edit, password);
    testing::PostKey(edit, VK_RETURN);
  }

  // Logs in and finds the main window and its list.
  void LogIn(const std::wstring& password) {
    Start();
    TypePassword(password);
    main = app->WaitForWindow(MainCaption());
    ASSERT_NE(main, nullptr) << "no main window";
    EXPECT_TRUE(app->WaitUntilGone(login));
    EXPECT_EQ(app->VisibleWindows(), std::vector<HWND>{main});
    list = At(main, L"SysListView32", at::kList);
    ASSERT_NE(list, nullptr);
  }

  // Answers the program's next message box of this caption; returns its text.
  std::wstring Answer(const std::wstring& caption, int button) {
    HWND box = app->WaitForWindow(caption, L"#32770");
    if (box == nullptr) return L"<no message box " + caption + L">";
    const std::wstring text = testing::MessageText(box);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    app->WaitUntilGone(box);
    return text;
  }

  // A left click on a row. The list view gives the click (NM_CLICK) when the release follows
  // the press with no move of the shared pointer between them, so both are sent back to back.
  void ClickRow(int row) {
    const POINT p = app->ListRowPoint(list, row);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
    SendMessageTimeoutW(list, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
  }

  // The second press of a double click on the row the first one hit.
  void SecondClickOnRow(int row) {
    const POINT p = app->ListRowPoint(list, row);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
    SendMessageTimeoutW(list, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
  }

  // A right click on a row (or below the rows) and the menu item at `index` (添加, 修改, 删除,
  // 关于). Press and release are both posted, in that order: the list view tracks the button
  // after the press and takes the release from the queue. Nothing here waits for the program,
  // which the menu and the editor after it keep busy.
  void ChooseFromListMenu(int row, int index) {
    const POINT p = row >= 0 ? app->ListRowPoint(list, row) : POINT{40, 200};
    PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(p.x, p.y));
    PostMessageW(list, WM_RBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    HWND menu = app->WaitForWindow(L"", L"#32768");
    ASSERT_NE(menu, nullptr) << "no popup menu";
    for (int i = 0; i <= index; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
  }

  // Fills the editor that opened with this caption and confirms with 确认 (or Enter in the
  // remark box); the values shown when it opened come back.
  Cells Edit(const std::wstring& caption, const std::optional<Cells>& values, bool enterInRemark = false) {
    HWND editor = app->WaitForWindow(caption);
    if (editor == nullptr) return {L"<no editor " + caption + L">"};
    EXPECT_FALSE(IsWindowEnabled(main));
    const POINT boxes[] = {at::kEditHost, at::kEditPort, at::kEditUser, at::kEditPassword, at::kEditRemark};
    Cells shown;
    for (size_t i = 0; i < 5; ++i) {
      HWND box = At(editor, L"Edit", boxes[i]);
      shown.push_back(WindowTitle(box));
      if (values) {
        TypeInto(box, (*values)[i]);
        EXPECT_TRUE(WaitForText(box, (*values)[i]));
      }
    }
    if (enterInRemark) {
      testing::PostKey(At(editor, L"Edit", at::kEditRemark), VK_RETURN);
    } else {
      Click(ControlWithText(editor, L"Button", L"确认"));
    }
    EXPECT_TRUE(app->WaitUntilGone(editor));
    EXPECT_TRUE(IsWindowEnabled(main));
    return shown;
  }

  Cells Details() {
    Cells texts;
    for (POINT p : {at::kHost, at::kPort, at::kUser, at::kServerPassword}) texts.push_back(WindowTitle(At(main, L"Edit", p)));
    return texts;
  }

  testing::TempDir dir;
  const std::string data = dir.File("mstsc.mdb");
  std::unique_ptr<AppProcess> app;
  HWND login = nullptr, main = nullptr, list = nullptr;
};

// The stand-in client sits where the system's client does and records into a log folder.
class WorkingDayTest : public AppProcessTest {
 protected:
  void SetUp() override {
    // The client reads its log folder through the ANSI API: keep the name ASCII.
    log = testing::Utf8(logDir.path()) + "\\";
    logVariable.emplace("KORVANE_TEST_CLIENT_LOG", log);
    // The program's temporary folder, where it writes the connection file.
    tmpVariable.emplace("TMP", testing::Utf8(tempDir.path()));
    tempVariable.emplace("TEMP", testing::Utf8(tempDir.path()));
    ASSERT_TRUE(CopyFileA(testing::Dos(KORVANE_TEST_CLIENT).c_str(), testing::SystemClientPath().c_str(), FALSE));
  }
  void TearDown() override {
    testing::WaitForClientExit(log);
    DeleteFileA(testing::SystemClientPath().c_str());
  }

  struct Received {
    std::string commandLine, file;
  };
  // What the client received, once it recorded it; the record is cleared for the next.
  Received ReceivedByClient() {
    if (!testing::WaitForClientRecord(log)) return {"<no client>", ""};
    Received got{testing::ReadAll(log + "command_line.txt"), testing::ReadAll(log + "text.rdp")};
    testing::WaitForClientExit(log);
    for (const char* name : {"done.txt", "text.rdp", "command_line.txt", "module.txt"}) DeleteFileA((log + name).c_str());
    return got;
  }

  // The password that the file's protected blob turns back into.
  static std::u16string PasswordIn(const std::string& file) {
    const std::string key = "password 51:b:";
    const auto start = file.find(key);
    if (start == std::string::npos) return u"<no password line>";
    const auto end = file.find("\r\n", start);
    const auto blob = testing::Unprotect(testing::Unhex(file.substr(start + key.size(), end - start - key.size())));
    if (!blob.ok || blob.data.size() % 2 != 1) return u"<not protected>";
    std::u16string text;
    for (size_t i = 0; i + 3 < blob.data.size(); i += 2) text += static_cast<char16_t>(blob.data[i] | blob.data[i + 1] << 8);
    return text;
  }

  static std::string Lines(const std::string& file, const std::string& from, size_t count) {
    size_t start = file.find(from);
    if (start == std::string::npos) return "<no " + from + ">";
    size_t end = start;
    for (size_t i = 0; i < count && end != std::string::npos; ++i) end = file.find("\r\n", end + 1);
    return file.substr(start, end == std::string::npos ? std::string::npos : end - start);
  }

  testing::TempDir logDir{"korvane client log"};
  testing::TempDir tempDir{"korvane temp"};
  std::string log;
  std::optional<testing::EnvOverride> logVariable, tmpVariable, tempVariable;
};

TEST_F(WorkingDayTest, AnOperatorsWholeDay) {
  // Three wrong passwords end the program; the first two are answered by a message.
  Start();
  for (int attempt = 1; attempt <= 2; ++attempt) {
    TypePassword(L"wrong");
    EXPECT_EQ(Answer(L"第" + std::to_wstring(attempt) + L"次错误", IDOK), L"密码错误！请仔细检查后再次登陆");
  }
  TypePassword(L"' or ''='");
  EXPECT_EQ(app->WaitForExit(20s), 0u);

  // Log in to an empty list and add three servers through the editor.
  LogIn(L"admin");
  EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
  const std::vector<Cells> servers = {
      {L"10.0.0.1", L"3389", L"Administrator", L"first 1", L"机房 一"},
      {L"db.example", L"13389", L"运维", L"密码 Two", L"数据库"},
      {L"web", L"3390", L"u3", L"p3", L""},
  };
  for (size_t i = 0; i < servers.size(); ++i) {
    ChooseFromListMenu(-1, 0);
    EXPECT_EQ(Edit(L"添加服务器", servers[i]), (Cells{L"", L"3389", L"Administrator", L"", L""}));
    ASSERT_TRUE(WaitForRowCount(list, static_cast<int>(i) + 1));
  }
  EXPECT_EQ(app->ListRow(list, 1, 4), (Cells{L"2", L"数据库", L"db.example", L"13389"}));

  // Change the third, pressing Enter in its remark box; delete the first after the question.
  ClickRow(2);
  ChooseFromListMenu(2, 1);
  EXPECT_EQ(Edit(L"修改服务器", Cells{L"web.example", L"3390", L"u3", L"p3", L"网站"}, /*enterInRemark=*/true),
            servers[2]);
  ASSERT_TRUE(WaitForText(At(main, L"Edit", at::kHost), L"web"));  // the click's details stay
  for (int i = 0; i < 100 && app->ListRow(list, 2, 4)[1] != L"网站"; ++i) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(app->ListRow(list, 2, 4), (Cells{L"3", L"网站", L"web.example", L"3390"}));
  ClickRow(0);
  ChooseFromListMenu(0, 2);
  EXPECT_EQ(Answer(L"询问", IDYES), L"确认删除服务器？");
  ASSERT_TRUE(WaitForRowCount(list, 2));
  EXPECT_EQ(app->ListRow(list, 0, 4), (Cells{L"2", L"数据库", L"db.example", L"13389"}));

  // A click on a row fills the details; 连接 hands the client the file.
  ClickRow(0);
  ASSERT_TRUE(WaitForText(At(main, L"Edit", at::kHost), L"db.example"));
  EXPECT_EQ(Details(), (Cells{L"db.example", L"13389", L"运维", L"密码 Two"}));
  Click(ControlWithText(main, L"Button", L"连接"));
  Received first = ReceivedByClient();
  const std::string rdp = testing::Utf8(tempDir.path()) + "\\text.rdp";
  EXPECT_EQ(first.commandLine, "mstsc \"" + rdp + "\"");
  EXPECT_EQ(first.file, testing::ReadAll(rdp));
  EXPECT_EQ(Lines(first.file, "screen mode", 3), "screen mode id:i:1\r\ndesktopwidth:i:1024\r\ndesktopheight:i:768");
  // The user name goes into the file as code page 936 bytes.
  EXPECT_EQ(Lines(first.file, "full address", 3),
            "full address:s:db.example:13389\r\nautoreconnection enabled:i:1\r\nusername:s:\xD4\xCB\xCE\xAC");
  EXPECT_EQ(PasswordIn(first.file), u"密码 Two");
  EXPECT_EQ(first.file.find("Two"), std::string::npos);

  // Another resolution, then full screen, disk mapping and the real desktop; a double click
  // on the other row connects to it.
  HWND resolution = At(main, L"ComboBox", at::kResolution);
  for (int i = 0; i < 3; ++i) testing::PostKey(resolution, VK_DOWN);
  for (const wchar_t* option : {L"全屏", L"映射本地磁盘", L"真实桌面"}) Click(ControlWithText(main, L"Button", option));
  for (int i = 0; i < 100 && IsWindowEnabled(resolution); ++i) std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(IsWindowEnabled(resolution));
  ClickRow(1);
  ASSERT_TRUE(WaitForText(At(main, L"Edit", at::kHost), L"web.example"));
  SecondClickOnRow(1);
  Received second = ReceivedByClient();
  EXPECT_EQ(second.commandLine, "mstsc \"" + rdp + "\" /admin");
  EXPECT_EQ(Lines(second.file, "screen mode", 3), "screen mode id:i:0\r\ndesktopwidth:i:1440\r\ndesktopheight:i:900");
  EXPECT_EQ(Lines(second.file, "full address", 5),
            "full address:s:web.example:3390\r\ndrivestoredirect:s:*\r\ndevicestoredirect:s:*\r\n"
            "redirectsmartcards:i:1 \r\nautoreconnection enabled:i:1");
  EXPECT_EQ(PasswordIn(second.file), u"p3");

  // A new login password, then 退出.
  Click(ControlWithText(main, L"Button", L"改密"));
  HWND newPassword = nullptr;
  // Until 改密 has been handled, a details box stands where the new password's will be.
  for (int i = 0; i < 100 && !(ControlWithText(main, L"Button", L"更新") && (newPassword = At(main, L"Edit", at::kNewLoginPassword)));
       ++i)
    std::this_thread::sleep_for(50ms);
  ASSERT_NE(newPassword, nullptr) << "no box for the new password";
  EXPECT_EQ(At(main, L"Edit", at::kHost), nullptr);  // the details give way to it
  TypeInto(newPassword, L"新口令 2");
  ASSERT_TRUE(WaitForText(newPassword, L"新口令 2"));
  Click(ControlWithText(main, L"Button", L"更新"));
  EXPECT_EQ(Answer(L"信息：", IDOK), L"密码已更新");
  Click(ControlWithText(main, L"Button", L"退出"));
  EXPECT_EQ(app->WaitForExit(20s), 0u);

  // The next day: the old password is refused, the new one opens what was left.
  Start();
  TypePassword(L"admin");
  EXPECT_EQ(Answer(L"第1次错误", IDOK), L"密码错误！请仔细检查后再次登陆");
  PostMessageW(login, WM_CLOSE, 0, 0);
  EXPECT_EQ(app->WaitForExit(20s), 0u);
  LogIn(L"新口令 2");
  ASSERT_TRUE(WaitForRowCount(list, 2));
  EXPECT_EQ(app->ListRow(list, 0, 4), (Cells{L"2", L"数据库", L"db.example", L"13389"}));
  EXPECT_EQ(app->ListRow(list, 1, 4), (Cells{L"3", L"网站", L"web.example", L"3390"}));
  testing::PostKey(main, VK_ESCAPE);
  EXPECT_EQ(app->WaitForExit(20s), 0u);

  // The project's own tool finds the file sound and holding what the list showed.
  const auto tool = testing::FromBuildPath(KORVANE_DATA_EXE);
  const std::wstring file = L"\"" + std::filesystem::u8path(data).wstring() + L"\"";
  const testing::ToolRun check = testing::RunTool(tool, L"check " + file);
  EXPECT_EQ(check.exitCode, 0u) << check.out;
  const testing::ToolRun listed = testing::RunTool(tool, L"list " + file + L" --show-passwords");
  EXPECT_EQ(listed.exitCode, 0u);
  EXPECT_NE(listed.out.find("2\t数据库\tdb.example\t13389\t运维\t密码 Two"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("3\t网站\tweb.example\t3390\tu3\tp3"), std::string::npos) << listed.out;
  EXPECT_EQ(listed.out.find("10.0.0.1"), std::string::npos) << listed.out;
}

TEST_F(AppProcessTest, EscClosesTheLoginWindowAndEndsTheProcessWithCodeZero) {
  Start();
  testing::PostKey(At(login, L"Edit", at::kPassword), VK_ESCAPE);
  EXPECT_EQ(app->WaitForExit(20s), 0u);
}

TEST_F(AppProcessTest, AMissingDataFileIsReportedAndEndsTheProcess) {
  Start();
  std::filesystem::remove(dir.path() / "mstsc.mdb");
  TypePassword(L"admin");
  EXPECT_EQ(Answer(L"信息：", IDOK), std::filesystem::u8path(data).wstring() + L"失踪!\r\n请检查系统的完整性!本次运行将取消.");
  EXPECT_EQ(app->WaitForExit(20s), 0u);
}

}  // namespace
}  // namespace korvane
