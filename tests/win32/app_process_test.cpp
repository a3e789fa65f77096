// korvane.exe as the operator meets it: its own process, a data file beside it, the login
// window typed into, the main window read back.
#include <gtest/gtest.h>

#include "app/program.h"
#include "app_driver.h"
#include "login/login_controls.h"
#include "servers/editor_controls.h"
#include "servers/main_controls.h"
#include "store/store.h"
#include "ui/form.h"
#include "ui/win32/ids_win32.h"
#include "win32/support/test_client.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;
using testing::AppProcess;

constexpr wchar_t kLoginCaption[] = L"Korvane      By.Oxle";

std::wstring MainCaption() {
  const std::string address = kWebAddress;
  return L"Korvane    " + std::wstring(address.begin(), address.end());
}

HWND Control(HWND parent, ControlId id) { return GetDlgItem(parent, kControlIdBase + id); }

// A left click on a list row. The list view gives the click (NM_CLICK) when the release
// follows a press with no button-up mouse move in between; both are sent, one after the
// other, so that no move of the display's shared pointer slips between them.
void ClickRow(const AppProcess& app, HWND list, int row) {
  const POINT p = app.ListRowPoint(list, row);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
  SendMessageTimeoutW(list, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
}

// The second press of a double click on the row the first one hit.
void SecondClickOnRow(const AppProcess& app, HWND list, int row) {
  const POINT p = app.ListRowPoint(list, row);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
  SendMessageTimeoutW(list, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
}

// Waits until a window of the program shows the text; the program may still be busy with
// the previous event. A deadline for failure, not a measure of speed.
bool WaitForText(HWND hwnd, const std::wstring& text) {
  for (int i = 0; i < 200; ++i) {
    if (testing::WindowTitle(hwnd) == text) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

// Opens the list's popup menu with a right click on a row and picks the item at `index`
// (添加, 修改, 删除, 关于). The list view tracks the right button until it is released, so
// the release is queued first; the press is sent without waiting, since the menu and the
// editor that may follow keep it busy.
void ChooseFromListMenu(const AppProcess& app, HWND list, int row, int index) {
  const POINT p = app.ListRowPoint(list, row);
  PostMessageW(list, WM_RBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  SendNotifyMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(p.x, p.y));
  HWND menu = app.WaitForWindow(L"", L"#32768");
  ASSERT_NE(menu, nullptr) << "no popup menu";
  for (int i = 0; i <= index; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
}

// Answers the program's next message box of this caption with `button`; returns its text.
std::wstring Answer(const AppProcess& app, const std::wstring& caption, int button) {
  HWND box = app.WaitForWindow(caption, L"#32770");
  if (box == nullptr) return L"<no message box>";
  wchar_t text[512] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 512);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  app.WaitUntilGone(box);
  return text;
}

// Table Server of a data file, one "id host port user password remark" line per row.
std::string ServersIn(const std::string& path) {
  DBConnection db;
  RecordSet rs;
  rs.SetConnection(db);
  if (!db.OpenAccess(path, DatabasePassword()) ||
      !rs.Open("select id || ' ' || ifnull(服务器名, '-') || ' ' || ifnull(端口, '-') || ' ' || ifnull(用户名, '-') "
               "|| ' ' || ifnull(密码, '-') || ' ' || ifnull(备注, '-') as r from Server order by id", kSourceSql))
    return "<unreadable>";
  std::string rows;
  for (int i = 0; i < rs.RecordCount(); ++i, rs.MoveNext()) rows += rs.ReadText("r") + "\n";
  return rows;
}

class AppProcessTest : public ::testing::Test {
 protected:
  AppProcessTest() : dir("korvane 进程 测试") {
    testing::MakeDataFile(dir.File("mstsc.mdb"));
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
    HWND edit = Control(login, Id(LoginControl::编辑框_Pass));
    ASSERT_NE(edit, nullptr);
    testing::SetTextOf(edit, password);
    testing::PostKey(edit, VK_RETURN);
  }

  testing::TempDir dir;
  std::unique_ptr<AppProcess> app;
  HWND login = nullptr;
};

TEST_F(AppProcessTest, AGoodPasswordReplacesTheLoginWindowWithTheMainWindowAndItsServers) {
  const std::string data = dir.File("mstsc.mdb");
  testing::AddServer(data, "10.0.0.1", "3389", "Administrator", "first", "机房 一");
  testing::AddServer(data, "db.example", "3390", "运维", "密码 二", "数据库");
  testing::AddServer(data, "web", std::nullopt, "u3", "p3", std::nullopt);
  Start();

  TypePassword(L"admin");
  HWND main = app->WaitForWindow(MainCaption());
  ASSERT_NE(main, nullptr) << "no main window";
  EXPECT_TRUE(app->WaitUntilGone(login));
  EXPECT_FALSE(IsWindow(login));
  EXPECT_EQ(app->VisibleWindows(), std::vector<HWND>{main});

  HWND list = Control(Control(main, Id(MainControl::分组框1)), Id(MainControl::超级列表框1));
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(app->ListRow(list, 0, 4), (std::vector<std::wstring>{L"1", L"机房 一", L"10.0.0.1", L"3389"}));
  EXPECT_EQ(app->ListRow(list, 1, 4), (std::vector<std::wstring>{L"2", L"数据库", L"db.example", L"3390"}));
  EXPECT_EQ(app->ListRow(list, 2, 4), (std::vector<std::wstring>{L"3", L"", L"web", L""}));

  ClickRow(*app, list, 1);
  HWND details = Control(main, Id(MainControl::分组框3));
  EXPECT_TRUE(WaitForText(Control(details, Id(MainControl::编辑框_Host)), L"db.example"));
  EXPECT_EQ(testing::WindowTitle(Control(details, Id(MainControl::编辑框_端口))), L"3390");
  EXPECT_EQ(testing::WindowTitle(Control(details, Id(MainControl::编辑框_用户名))), L"运维");
  EXPECT_EQ(testing::WindowTitle(Control(details, Id(MainControl::编辑框_密码))), L"密码 二");

  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(app->WaitForExit(20s), 0u);
}

// The client records into a log folder; the stand-in sits where the system's client does.
class ConnectProcessTest : public AppProcessTest {
 protected:
  void SetUp() override {
    // The client reads its log folder through the ANSI API: keep the name ASCII.
    log = testing::Utf8(logDir.path()) + "\\";
    logVariable.emplace("KORVANE_TEST_CLIENT_LOG", log);
    ASSERT_TRUE(CopyFileA(testing::Dos(KORVANE_TEST_CLIENT).c_str(), testing::SystemClientPath().c_str(), FALSE));
  }
  void TearDown() override {
    testing::WaitForClientExit(log);
    DeleteFileA(testing::SystemClientPath().c_str());
  }

  // The file the client received, after it recorded it; the record is cleared for the next.
  std::string ReceivedFile() {
    if (!testing::WaitForClientRecord(log)) return "<no client>";
    const std::string file = testing::ReadAll(log + "text.rdp");
    testing::WaitForClientExit(log);
    for (const char* name : {"done.txt", "text.rdp", "command_line.txt", "module.txt"}) DeleteFileA((log + name).c_str());
    return file;
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
    for (size_t i = 0; i + 1 < blob.data.size(); i += 2) text += static_cast<char16_t>(blob.data[i] | blob.data[i + 1] << 8);
    return text;
  }

  testing::TempDir logDir{"korvane client log"};
  std::string log;
  std::optional<testing::EnvOverride> logVariable;
};

TEST_F(ConnectProcessTest, ConnectAndADoubleClickStartTheClientForTheChosenServer) {
  const std::string data = dir.File("mstsc.mdb");
  testing::AddServer(data, "10.0.0.1", "3389", "Administrator", "first 1", "一");
  testing::AddServer(data, "db.example", "13389", "运维", "密码 Two", "二");
  Start();
  TypePassword(L"admin");
  HWND main = app->WaitForWindow(MainCaption());
  ASSERT_NE(main, nullptr);
  HWND list = Control(Control(main, Id(MainControl::分组框1)), Id(MainControl::超级列表框1));

  ClickRow(*app, list, 0);
  PostMessageW(Control(main, Id(MainControl::按钮1)), BM_CLICK, 0, 0);
  const std::string first = ReceivedFile();
  EXPECT_NE(first.find("\r\nfull address:s:10.0.0.1:3389\r\n"), std::string::npos) << first;
  EXPECT_NE(first.find("\r\nusername:s:Administrator\r\n"), std::string::npos) << first;
  EXPECT_EQ(PasswordIn(first), std::u16string(u"first 1") + u'\0');
  EXPECT_EQ(first.find("first 1"), std::string::npos);

  // The program waits up to a second for a started client, so the first click of the double
  // click may be handled late; the second press follows once it has filled the details.
  ClickRow(*app, list, 1);
  ASSERT_TRUE(WaitForText(Control(Control(main, Id(MainControl::分组框3)), Id(MainControl::编辑框_Host)), L"db.example"));
  SecondClickOnRow(*app, list, 1);
  const std::string second = ReceivedFile();
  EXPECT_NE(second.find("\r\nfull address:s:db.example:13389\r\n"), std::string::npos) << second;
  // The user name goes into the file as code page 936 bytes.
  EXPECT_NE(second.find("\r\nusername:s:\xD4\xCB\xCE\xAC\r\n"), std::string::npos) << second;
  EXPECT_EQ(PasswordIn(second), std::u16string(u"密码 Two") + u'\0');

  testing::PostKey(main, VK_ESCAPE);
  EXPECT_EQ(app->WaitForExit(20s), 0u);
}

TEST_F(AppProcessTest, ServersAreAddedChangedAndDeletedThroughTheWindowsAndThePasswordChangeLasts) {
  const std::string data = dir.File("mstsc.mdb");
  testing::AddServer(data, "10.0.0.1", "3389", "Administrator", "first", "一");
  Start();
  TypePassword(L"admin");
  HWND main = app->WaitForWindow(MainCaption());
  ASSERT_NE(main, nullptr);
  HWND list = Control(Control(main, Id(MainControl::分组框1)), Id(MainControl::超级列表框1));
  auto editorBox = [](HWND editor, EditorControl c) { return Control(editor, Id(c)); };

  // 添加: type a server and confirm.
  ChooseFromListMenu(*app, list, 0, 0);
  HWND editor = app->WaitForWindow(L"添加服务器");
  ASSERT_NE(editor, nullptr) << "no editor";
  EXPECT_FALSE(IsWindowEnabled(main));
  testing::SetTextOf(editorBox(editor, EditorControl::编辑框_Host), L"db.example");
  testing::SetTextOf(editorBox(editor, EditorControl::编辑框_密码), L"密码 二");
  testing::SetTextOf(editorBox(editor, EditorControl::编辑框_备注), L"数据库");
  PostMessageW(editorBox(editor, EditorControl::按钮1), BM_CLICK, 0, 0);
  ASSERT_TRUE(app->WaitUntilGone(editor));
  EXPECT_TRUE(IsWindowEnabled(main));
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(app->ListRow(list, 1, 4), (std::vector<std::wstring>{L"2", L"数据库", L"db.example", L"3389"}));

  // 修改 the new one: Enter in the remark box saves.
  ClickRow(*app, list, 1);
  ChooseFromListMenu(*app, list, 1, 1);
  editor = app->WaitForWindow(L"修改服务器");
  ASSERT_NE(editor, nullptr) << "no editor";
  EXPECT_EQ(testing::WindowTitle(editorBox(editor, EditorControl::编辑框_密码)), L"密码 二");
  testing::SetTextOf(editorBox(editor, EditorControl::编辑框_端口), L"13389");
  testing::PostKey(editorBox(editor, EditorControl::编辑框_备注), VK_RETURN);
  ASSERT_TRUE(app->WaitUntilGone(editor));
  EXPECT_EQ(app->ListRow(list, 1, 4), (std::vector<std::wstring>{L"2", L"数据库", L"db.example", L"13389"}));
  EXPECT_EQ(ServersIn(data),
            "1 10.0.0.1 3389 Administrator first 一\n2 db.example 13389 Administrator 密码 二 数据库\n");

  // 删除 the first after the question.
  ClickRow(*app, list, 0);
  ChooseFromListMenu(*app, list, 0, 2);
  EXPECT_EQ(Answer(*app, L"询问", IDYES), L"确认删除服务器？");
  for (int i = 0; i < 100 && SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) != 1; ++i) std::this_thread::sleep_for(50ms);
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);
  EXPECT_EQ(app->ListRow(list, 0, 1), std::vector<std::wstring>{L"2"});
  EXPECT_EQ(ServersIn(data), "2 db.example 13389 Administrator 密码 二 数据库\n");

  // A new login password, then 退出; it holds for the next start.
  PostMessageW(Control(main, Id(MainControl::按钮4)), BM_CLICK, 0, 0);
  HWND entry = Control(main, Id(MainControl::登录密码框));
  for (int i = 0; i < 100 && !IsWindowVisible(entry); ++i) std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(IsWindowVisible(entry));
  testing::SetTextOf(entry, L"新口令 2");
  PostMessageW(Control(main, Id(MainControl::改密码按钮)), BM_CLICK, 0, 0);
  EXPECT_EQ(Answer(*app, L"信息：", IDOK), L"密码已更新");
  PostMessageW(Control(main, Id(MainControl::按钮2)), BM_CLICK, 0, 0);
  EXPECT_EQ(app->WaitForExit(20s), 0u);

  Start();
  TypePassword(L"新口令 2");
  main = app->WaitForWindow(MainCaption());
  ASSERT_NE(main, nullptr) << "the new password was not accepted";
  list = Control(Control(main, Id(MainControl::分组框1)), Id(MainControl::超级列表框1));
  EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(app->WaitForExit(20s), 0u);
}

TEST_F(AppProcessTest, ThreeWrongPasswordsEndTheProcessWithCodeZero) {
  Start();
  for (int attempt = 1; attempt <= 2; ++attempt) {
    TypePassword(L"wrong");
    const std::wstring caption = L"第" + std::to_wstring(attempt) + L"次错误";
    HWND box = app->WaitForWindow(caption, L"#32770");
    ASSERT_NE(box, nullptr) << "no message for attempt " << attempt;
    testing::PressOk(box);
    ASSERT_TRUE(app->WaitUntilGone(box));
  }
  TypePassword(L"' or ''='");
  EXPECT_EQ(app->WaitForExit(20s), 0u);
}

TEST_F(AppProcessTest, EscClosesTheLoginWindowAndEndsTheProcessWithCodeZero) {
  Start();
  testing::PostKey(Control(login, Id(LoginControl::编辑框_Pass)), VK_ESCAPE);
  EXPECT_EQ(app->WaitForExit(20s), 0u);
}

TEST_F(AppProcessTest, AMissingDataFileIsReportedAndEndsTheProcess) {
  Start();
  std::filesystem::remove(dir.path() / "mstsc.mdb");
  TypePassword(L"admin");
  HWND box = app->WaitForWindow(L"信息：", L"#32770");
  ASSERT_NE(box, nullptr);
  testing::PressOk(box);
  EXPECT_EQ(app->WaitForExit(20s), 0u);
}

}  // namespace
}  // namespace korvane
