// korvane.exe as an operator meets it: its own process on a fresh data file, driven only
// through its windows. Windows are found by caption, controls by class and by where they lie
// or what they say, text is typed and buttons clicked, message boxes read and answered; the
// stand-in client in the system folder records what a connect hands to it.
#include <gtest/gtest.h>

#include <optional>

#include "app/program.h"
#include "operator.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;
using testing::AppProcess;
using testing::Click;
using testing::ControlAt;
using testing::ControlWithText;
using testing::TypeInto;
using testing::WindowTitle;
using testing::At;
using testing::Cells;
using testing::MainCaption;
using testing::WaitForRowCount;
using testing::WaitForText;
using testing::kLoginCaption;
namespace at = testing::at;

// The program's folder, made before the operator who starts the program in it.
struct ProgramFolder {
  testing::TempDir dir{"korvane 进程 测试"};
  const std::string data = dir.File("mstsc.mdb");
};

class AppProcessTest : public ::testing::Test, protected ProgramFolder, public testing::Operator {
 protected:
  AppProcessTest() : testing::Operator(dir.path()) { testing::MakeDataFile(data); }
};

class WorkingDayTest : public AppProcessTest, public testing::StandInClient {
 protected:
  void SetUp() override { Install(); }
  void TearDown() override { Remove(); }
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
