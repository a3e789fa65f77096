#include <gtest/gtest.h>

#include "app/program.h"
#include "support/data_files.h"
#include "support/fake_form.h"
#include "support/fake_platform.h"
#include "servers/main_layout.h"
#include "servers/main_window.h"

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
  MainWindow window{form, platform};
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
  // Changed behind the list's back: the row still shows the old host, the password is fresh.
  RunSql(DataFilePath(), "update Server set 服务器名='moved', 密码='new 密码' where id=2");
  LeftClick(1);
  EXPECT_EQ(Details(), (std::vector<std::string>{"10.0.0.2", "3390", "运维员", "new 密码"}));
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

TEST(CentreOnMainWindow, TruncatesTowardZeroAndSetsTheTopFirst) {
  FakeForm mainForm{MainLayout()};
  FakePlatform platform;
  MainWindow main{mainForm, platform};
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
