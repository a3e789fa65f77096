#include <gtest/gtest.h>

#include "app/data_file_failure.h"
#include "app/program.h"
#include "login/login_layout.h"
#include "login/login_window.h"
#include "support/data_files.h"
#include "support/fake_form.h"
#include "support/fake_platform.h"
#include "support/scripted_editor.h"
#include "servers/main_layout.h"
#include "servers/main_window.h"
#include "store/schema.h"

namespace korvane {
namespace {

using C = MainControl;
using testing::AddServer;
using testing::FakeForm;
using testing::FakePlatform;
using testing::RunSql;
constexpr ControlId kList = Id(C::超级列表框1);

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : dir("korvane 主窗口") {
    SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
    testing::MakeDataFile(DataFilePath());
  }

  std::vector<std::string> Row(int row) const {
    std::vector<std::string> cells;
    for (int column = 0; column < 4; ++column) cells.push_back(form.ListCell(kList, row, column));
    return cells;
  }

  std::vector<std::string> Details() const {
    return {form.Text(Id(C::编辑框_Host)), form.Text(Id(C::编辑框_端口)), form.Text(Id(C::编辑框_用户名)),
            form.Text(Id(C::编辑框_密码))};
  }

  void LeftClick(int row) {
    form.SelectRow(kList, row);
    window.OnEvent({EventKind::LeftClick, kList});
  }

  testing::TempDir dir;
  FakeForm form{MainLayout()};
  FakePlatform platform;
  testing::ScriptedEditor editors{platform};
  MainWindow window{form, platform, editors};
};

TEST_F(MainWindowTest, OpensInWindowModeWithAnEmptyListForAnEmptyTable) {
  window.OnEvent({EventKind::Created});
  EXPECT_TRUE(form.Checked(Id(C::单选框_窗口)));
  EXPECT_FALSE(form.Checked(Id(C::单选框_全屏)));
  EXPECT_TRUE(form.Enabled(Id(C::组合框_分辨率)));
  EXPECT_EQ(form.ListRowCount(kList), 0);
  EXPECT_EQ(form.ListCurrentRow(kList), -1);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(platform.endProgramCalls, 0);
}

TEST_F(MainWindowTest, ListsEveryServerInIdOrderWithNullsShownEmpty) {
  AddServer(DataFilePath(), "10.0.0.1", "3389", "Administrator", "p1", "机房 A");
  AddServer(DataFilePath(), "db.example", std::nullopt, "sa", "p2", std::nullopt);
  AddServer(DataFilePath(), "web", "13389", "运维", "p3", "");
  window.OnMainWindowCreated();
  ASSERT_EQ(form.ListRowCount(kList), 3);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"1", "机房 A", "10.0.0.1", "3389"}));
  EXPECT_EQ(Row(1), (std::vector<std::string>{"2", "", "db.example", ""}));
  EXPECT_EQ(Row(2), (std::vector<std::string>{"3", "", "web", "13389"}));
}

TEST_F(MainWindowTest, IdsKeepTheirGapsAfterDeletionsAndAreNeverReused) {
  for (int i = 1; i <= 5; ++i) AddServer(DataFilePath(), "h" + std::to_string(i), "1", "u", "p", "r");
  RunSql(DataFilePath(), "delete from Server where id in (2, 5)");
  AddServer(DataFilePath(), "h6", "1", "u", "p", "r");
  window.OnMainWindowCreated();
  ASSERT_EQ(form.ListRowCount(kList), 4);
  EXPECT_EQ(form.ListCell(kList, 0, 0), "1");
  EXPECT_EQ(form.ListCell(kList, 1, 0), "3");
  EXPECT_EQ(form.ListCell(kList, 2, 0), "4");
  EXPECT_EQ(form.ListCell(kList, 3, 0), "6");
  EXPECT_EQ(form.ListCell(kList, 3, 2), "h6");
}

TEST_F(MainWindowTest, ReloadReplacesRowsAndLeavesNoRowSelected) {
  AddServer(DataFilePath(), "a", "1", "u", "p", "r");
  window.OnMainWindowCreated();
  form.SelectRow(kList, 0);
  AddServer(DataFilePath(), "b", "2", "u", "p", "r");
  window.LoadServerList();
  EXPECT_EQ(form.ListRowCount(kList), 2);
  EXPECT_EQ(form.ListCurrentRow(kList), -1);
}

TEST_F(MainWindowTest, LeftClickFillsHostAndPortFromTheRowAndTheRestFromTheDatabase) {
  AddServer(DataFilePath(), "10.0.0.1", "3389", "Administrator", "first", "r");
  AddServer(DataFilePath(), "10.0.0.2", "3390", "运维员", "密码 二", "r");
  window.OnMainWindowCreated();
  // Changed behind the list's back: the password is read fresh.
  RunSql(DataFilePath(), "update Server set 密码='new 密码' where id=2");
  LeftClick(1);
  EXPECT_EQ(Details(), (std::vector<std::string>{"10.0.0.2", "3390", "运维员", "new 密码"}));
  EXPECT_TRUE(platform.messages.empty());
  // A host or port that moved under the row would put that password beside the old host: no
  // details then, a word why, and the list as the file holds it now.
  const std::pair<const char*, const char*> changes[] = {{"服务器名='moved'", "moved:3390"}, {"端口='1'", "moved:1"}};
  for (const auto& [change, listed] : changes) {
    RunSql(DataFilePath(), std::string("update Server set ") + change + " where id=2");
    LeftClick(1);
    EXPECT_EQ(Details(), (std::vector<std::string>{"", "", "", ""})) << change;
    ASSERT_EQ(platform.messages.size(), 1u) << change;
    EXPECT_EQ(platform.messages[0].text, kChangedFileMessage);
    EXPECT_EQ(form.ListCell(kList, 1, 2) + ":" + form.ListCell(kList, 1, 3), listed);
    platform.messages.clear();
  }
}

TEST_F(MainWindowTest, ClickOnTheEmptyAreaChangesNothing) {
  AddServer(DataFilePath(), "h", "1", "u", "p", "r");
  window.OnMainWindowCreated();
  form.SetText(Id(C::编辑框_Host), "typed by hand");
  LeftClick(-1);
  EXPECT_EQ(Details(), (std::vector<std::string>{"typed by hand", "", "", ""}));
}

TEST_F(MainWindowTest, ClickOnARowWhoseRecordIsGoneEmptiesUserAndPassword) {
  AddServer(DataFilePath(), "h", "1", "u", "p", "r");
  window.OnMainWindowCreated();
  RunSql(DataFilePath(), "delete from Server");
  LeftClick(0);
  EXPECT_EQ(Details(), (std::vector<std::string>{"h", "1", "", ""}));
}

TEST_F(MainWindowTest, RightClickSetsTheMenuByTheCurrentRowAndNeverFillsTheBoxes) {
  AddServer(DataFilePath(), "h", "1", "u", "p", "r");
  window.OnMainWindowCreated();
  platform.cursor = {321, 123};

  window.OnEvent({EventKind::RightClick, kList});
  EXPECT_FALSE(form.MenuItemEnabled(Id(MainMenuItem::修改)));
  EXPECT_FALSE(form.MenuItemEnabled(Id(MainMenuItem::删除)));
  EXPECT_TRUE(form.MenuItemEnabled(Id(MainMenuItem::添加)));
  EXPECT_TRUE(form.MenuItemEnabled(Id(MainMenuItem::关于)));
  ASSERT_EQ(form.popups.size(), 1u);
  EXPECT_EQ(form.popups[0].x, 321);
  EXPECT_EQ(form.popups[0].y, 123);

  form.SelectRow(kList, 0);
  window.OnEvent({EventKind::RightClick, kList});
  EXPECT_TRUE(form.MenuItemEnabled(Id(MainMenuItem::修改)));
  EXPECT_TRUE(form.MenuItemEnabled(Id(MainMenuItem::删除)));
  EXPECT_EQ(form.popups.size(), 2u);
  EXPECT_EQ(Details(), (std::vector<std::string>{"", "", "", ""}));
}

TEST_F(MainWindowTest, ClearThenTheSameRowRefillsAllFourBoxes) {
  AddServer(DataFilePath(), "h", "22", "u", "p", "r");
  window.OnMainWindowCreated();
  LeftClick(0);
  window.OnEvent({EventKind::Clicked, Id(C::按钮3)});
  EXPECT_EQ(Details(), (std::vector<std::string>{"", "", "", ""}));
  EXPECT_EQ(form.ListCurrentRow(kList), 0);
  LeftClick(0);
  EXPECT_EQ(Details(), (std::vector<std::string>{"h", "22", "u", "p"}));
}

TEST_F(MainWindowTest, DataFileVanishingBeforeTheWindowOpensEndsTheProgram) {
  AddServer(DataFilePath(), "h", "1", "u", "p", "r");
  std::filesystem::remove(std::filesystem::u8path(DataFilePath()));
  window.OnEvent({EventKind::Created});
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "数据文件不存在!");
  EXPECT_EQ(platform.messages[0].caption, "信息：");
  EXPECT_EQ(platform.messages[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(platform.endProgramCalls, 1);
  EXPECT_EQ(form.ListRowCount(kList), 0);
  EXPECT_FALSE(form.Checked(Id(C::单选框_窗口)));
}

TEST_F(MainWindowTest, DataFileTheEngineRefusesSinceTheLoginIsReportedAndEndsTheProgram) {
  AddServer(DataFilePath(), "h", "1", "u", "p", "r");
  RunSql(DataFilePath(), "update Korvane set value='another' where name='database password'");
  window.OnEvent({EventKind::Created});
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, DataFilePath() + "打开失败!\r\n请系统管理员检查原因.本次运行将取消.");
  EXPECT_EQ(platform.shellTargets, std::vector<std::string>{kWebAddress});
  EXPECT_EQ(platform.endProgramCalls, 1);
  EXPECT_EQ(platform.lastExitCode, 0);
  EXPECT_EQ(form.ListRowCount(kList), 0);
}

TEST_F(MainWindowTest, UnreadableDataFileLeavesTheListEmptyWithoutAMessage) {
  RunSql(DataFilePath(), "drop table Server");
  window.OnMainWindowCreated();
  EXPECT_EQ(form.ListRowCount(kList), 0);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(platform.endProgramCalls, 0);
}

TEST_F(MainWindowTest, TheRadioPairEnablesAndDisablesTheResolutionList) {
  window.OnMainWindowCreated();
  form.SetChecked(Id(C::单选框_窗口), false);
  form.SetChecked(Id(C::单选框_全屏), true);
  window.OnEvent({EventKind::Clicked, Id(C::单选框_全屏)});
  EXPECT_FALSE(form.Enabled(Id(C::组合框_分辨率)));
  EXPECT_EQ(form.ComboText(Id(C::组合框_分辨率)), "1024*768");
  // A click on 窗口 that did not leave it checked changes nothing.
  window.OnEvent({EventKind::Clicked, Id(C::单选框_窗口)});
  EXPECT_FALSE(form.Enabled(Id(C::组合框_分辨率)));
  form.SetChecked(Id(C::单选框_全屏), false);
  form.SetChecked(Id(C::单选框_窗口), true);
  window.OnEvent({EventKind::Clicked, Id(C::单选框_窗口)});
  EXPECT_TRUE(form.Enabled(Id(C::组合框_分辨率)));
}

TEST_F(MainWindowTest, ConnectAndADoubleClickOnARowConnectToThatRow) {
  AddServer(DataFilePath(), "10.0.0.1", "3389", "u1", "p1", "r");
  AddServer(DataFilePath(), "10.0.0.2", "3390", "u2", "p2", "r");
  window.OnMainWindowCreated();
  LeftClick(0);
  window.OnEvent({EventKind::Clicked, Id(C::按钮1)});
  // The first click of a double click selects and fills; the double click then connects.
  LeftClick(1);
  window.OnEvent({EventKind::DoubleClick, kList});
  ASSERT_EQ(platform.writtenFiles.size(), 2u);
  EXPECT_NE(platform.writtenFiles[0].text.find("full address:s:10.0.0.1:3389\r\n"), std::string::npos);
  EXPECT_NE(platform.writtenFiles[1].text.find("full address:s:10.0.0.2:3390\r\n"), std::string::npos);
  EXPECT_EQ(platform.protectedPasswords, (std::vector<std::string>{"p1", "p2"}));
  EXPECT_EQ(platform.launchedCommandLines.size(), 2u);
}

// ---- Delete ------------------------------------------------------------------------------

TEST_F(MainWindowTest, DeleteAsksAndOnlyYesDeletesTheCurrentRowsRecord) {
  for (int i = 1; i <= 3; ++i) AddServer(DataFilePath(), "h" + std::to_string(i), "1", "u", "p" + std::to_string(i), "r");
  window.OnMainWindowCreated();
  LeftClick(1);
  CurrentServerId = 3;

  platform.answers = {MessageAnswer::No};
  window.OnEvent({EventKind::MenuItem, Id(MainMenuItem::删除)});
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "确认删除服务器？");
  EXPECT_EQ(platform.messages[0].caption, "询问");
  EXPECT_EQ(platform.messages[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(platform.messages[0].icon, MessageIcon::Question);
  EXPECT_EQ(form.ListRowCount(kList), 3);
  EXPECT_EQ(form.ListCurrentRow(kList), 1);

  window.OnEvent({EventKind::MenuItem, Id(MainMenuItem::删除)});  // answered Yes
  EXPECT_EQ(platform.messages.size(), 2u);
  ASSERT_EQ(form.ListRowCount(kList), 2);
  EXPECT_EQ(form.ListCell(kList, 0, 0), "1");
  EXPECT_EQ(form.ListCell(kList, 1, 0), "3");
  EXPECT_EQ(form.ListCurrentRow(kList), -1);
  // The details and the editor's id stay; a connect still uses the deleted server's values.
  EXPECT_EQ(Details(), (std::vector<std::string>{"h2", "1", "u", "p2"}));
  EXPECT_EQ(CurrentServerId, 3);
  window.OnEvent({EventKind::Clicked, Id(C::按钮1)});
  ASSERT_EQ(platform.writtenFiles.size(), 1u);
  EXPECT_NE(platform.writtenFiles[0].text.find("full address:s:h2:1\r\n"), std::string::npos);

  // No current row: the question is asked, then nothing happens.
  window.OnEvent({EventKind::MenuItem, Id(MainMenuItem::删除)});
  EXPECT_EQ(platform.messages.size(), 3u);  // only the question; the connect showed nothing
  EXPECT_EQ(form.ListRowCount(kList), 2);
}

TEST_F(MainWindowTest, ARefusedDeleteIsReportedAndTheListShowsTheTable) {
  AddServer(DataFilePath(), "h", "1", "u", "p", "r");
  RunSql(DataFilePath(), "create trigger keep before delete on Server begin select raise(abort, 'no'); end");
  window.OnMainWindowCreated();
  AddServer(DataFilePath(), "added elsewhere", "1", "u", "p", "r");
  LeftClick(0);
  window.OnEvent({EventKind::MenuItem, Id(MainMenuItem::删除)});
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[1].text, "删除失败!服务器仍在列表中.");
  EXPECT_EQ(platform.messages[1].caption, "信息：");
  EXPECT_EQ(form.ListRowCount(kList), 2);
}

// ---- Login password, about, exit ----------------------------------------------------------

class PasswordChangeTest : public MainWindowTest {
 protected:
  bool DetailsShown() const {
    return form.Visible(Id(C::分组框3)) && !form.Visible(Id(C::登录密码框)) && !form.Visible(Id(C::新密码标签)) &&
           !form.Visible(Id(C::改密码按钮));
  }
  bool EntryShown() const {
    return !form.Visible(Id(C::分组框3)) && form.Visible(Id(C::登录密码框)) && form.Visible(Id(C::新密码标签)) &&
           form.Visible(Id(C::改密码按钮));
  }
  void Change(const std::string& password) {
    window.OnEvent({EventKind::Clicked, Id(C::按钮4)});
    form.SetText(Id(C::登录密码框), password);
    window.OnEvent({EventKind::Clicked, Id(C::改密码按钮)});
  }
  // A fresh login window's verdict on a password.
  bool LoginAccepts(const std::string& password) {
    struct Loader : WindowLoader {
      bool LoadMainWindow() override { return true; }
    } loader;
    FakeForm loginForm{LoginLayout()};
    FakePlatform loginPlatform;
    LoginWindow login{loginForm, loginPlatform, loader};
    loginForm.SetText(Id(LoginControl::编辑框_Pass), password);
    login.CheckLogin();
    return loginForm.destroyed;
  }
  std::string StoredPass(const std::string& key) {
    DBConnection db;
    RecordSet rs;
    rs.SetConnection(db);
    db.OpenAccess(DataFilePath(), DatabasePassword());
    rs.OpenSql("select quote(Pass) p from Login where \"Key\"=?", {key});
    return rs.ReadText("p");
  }
};

TEST_F(PasswordChangeTest, ChangeSwapsTheDetailsForTheEntryAndUpdateStoresTheNewPassword) {
  window.OnMainWindowCreated();
  EXPECT_TRUE(DetailsShown());
  window.OnEvent({EventKind::Clicked, Id(C::按钮4)});
  EXPECT_TRUE(EntryShown());
  window.OnEvent({EventKind::Clicked, Id(C::按钮4)});
  EXPECT_TRUE(EntryShown());
  EXPECT_TRUE(form.Visible(Id(C::按钮4)));

  form.SetText(Id(C::登录密码框), "新 口令'1");
  window.OnEvent({EventKind::Clicked, Id(C::改密码按钮)});
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "密码已更新");
  EXPECT_EQ(platform.messages[0].caption, "信息：");
  EXPECT_TRUE(DetailsShown());
  EXPECT_EQ(form.Text(Id(C::登录密码框)), "新 口令'1");
  EXPECT_TRUE(LoginAccepts("新 口令'1"));
  EXPECT_FALSE(LoginAccepts("admin"));
}

TEST_F(PasswordChangeTest, AnEmptyOrRefusedPasswordWritesNothing) {
  window.OnMainWindowCreated();
  Change("");
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "新密码为空，密码未更改。");
  EXPECT_TRUE(DetailsShown());
  EXPECT_EQ(StoredPass(kLoginKey), "'admin'");

  RunSql(DataFilePath(), "create trigger keep before update on Login begin select raise(abort, 'no'); end");
  Change("other");
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[1].text, "密码更新失败，原密码仍然有效!");
  EXPECT_TRUE(EntryShown());
  EXPECT_EQ(StoredPass(kLoginKey), "'admin'");
  EXPECT_TRUE(LoginAccepts("admin"));
}

TEST_F(PasswordChangeTest, TheChangeWritesEveryRowTheLoginReads) {
  RunSql(DataFilePath(), "delete from Login");
  RunSql(DataFilePath(), "insert into Login (\"Key\", Pass) values ('someone else', 'x'), ('By.Oxle', 'admin'), "
                         "('By.Oxle', 'admin')");
  window.OnMainWindowCreated();
  Change("second");
  EXPECT_EQ(StoredPass("someone else"), "'x'");
  EXPECT_TRUE(LoginAccepts("second"));
  EXPECT_FALSE(LoginAccepts("admin"));
}

// The change opens the file anew. One that no longer opens would leave a window whose every
// later save fails: the program ends with the login's report instead.
TEST_F(PasswordChangeTest, AFileThatNoLongerOpensEndsTheProgram) {
  window.OnMainWindowCreated();
  testing::WriteBytes(DataFilePath(), "not a data file");
  Change("other");
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, UnopenableDataFileMessage(DataFilePath()));
  EXPECT_EQ(platform.endProgramCalls, 1);
}

TEST_F(MainWindowTest, ADropWhileThePreviewOrTheEditorIsOpenIsRefusedWithAWord) {
  window.OnEvent({EventKind::Created});
  auto drop = [&](std::string path) {
    form.dropped = {std::move(path)};
    window.OnEvent({EventKind::FilesDropped});
  };
  // The window is disabled under the preview, yet Windows still hands it the second drop.
  editors.duringImport = [&] { drop("Z:\\second.rdg"); };
  drop("Z:\\first.rdg");
  editors.script = [&](FakeForm&, EditorWindow&) { drop("Z:\\third.rdg"); };
  window.OnEvent({EventKind::MenuItem, Id(MainMenuItem::添加)});
  ASSERT_EQ(platform.messages.size(), 2u);
  for (const auto& message : platform.messages) EXPECT_EQ(message.text, kDropWhileOpenMessage);
  // Once they are closed, a drop opens the preview again.
  drop("Z:\\fourth.rdg");
  EXPECT_EQ(editors.importedPaths, (std::vector<std::vector<std::string>>{{"Z:\\first.rdg"}, {"Z:\\fourth.rdg"}}));
}

TEST_F(MainWindowTest, AboutOpensTheWebAddressAndExitEndsWithCodeZero) {
  window.OnMainWindowCreated();
  window.OnEvent({EventKind::MenuItem, Id(MainMenuItem::关于)});
  EXPECT_EQ(platform.shellTargets, std::vector<std::string>{kWebAddress});
  EXPECT_EQ(platform.endProgramCalls, 0);
  window.OnEvent({EventKind::Clicked, Id(C::按钮2)});
  EXPECT_EQ(platform.endProgramCalls, 1);
  EXPECT_EQ(platform.lastExitCode, 0);
}

TEST(CentreOnMainWindow, TruncatesTowardZeroAndSetsTheTopFirst) {
  FakeForm mainForm{MainLayout()};
  FakePlatform platform;
  testing::ScriptedEditor editors{platform};
  MainWindow main{mainForm, platform, editors};
  mainForm.rect = {100, 50, 501, 336};
  FakeForm editor{WindowLayout{.caption = "", .width = 300, .height = 190}};
  main.CentreOnMainWindow(editor);
  EXPECT_EQ(editor.rect.left, 200);  // 100 + 250.5 - 150
  EXPECT_EQ(editor.rect.top, 123);   // 50 + 168 - 95
  EXPECT_EQ(editor.positionWrites, (std::vector<std::string>{"top", "left"}));

  // Negative results truncate toward zero, not downward.
  mainForm.rect = {-400, -300, 101, 51};
  main.CentreOnMainWindow(editor);
  EXPECT_EQ(editor.rect.left, -499);  // -400 + 50.5 - 150 = -499.5
  EXPECT_EQ(editor.rect.top, -369);   // -300 + 25.5 - 95 = -369.5
}

}  // namespace
}  // namespace korvane
