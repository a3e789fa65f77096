// The editor over a recording form, opened from the main window's menu, on a real data file.
#include <gtest/gtest.h>

#include "app/program.h"
#include "servers/main_layout.h"
#include "servers/master_password_layout.h"
#include "servers/master_password_window.h"
#include "servers/main_window.h"
#include "store/store.h"
#include "support/data_files.h"
#include "support/fake_form.h"
#include "support/fake_platform.h"
#include "support/scripted_editor.h"

namespace korvane {
namespace {

using E = EditorControl;
using testing::AddServer;
using testing::FakeForm;
using testing::RunSql;
using Rows = std::vector<std::vector<std::string>>;
constexpr ControlId kList = Id(MainControl::超级列表框1);

class EditorTest : public ::testing::Test {
 protected:
  EditorTest() : dir("korvane 编辑") {
    SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
    testing::MakeDataFile(DataFilePath());
  }

  void Open() {
    mainForm.rect = {100, 100, 644, 336};
    main.OnMainWindowCreated();
  }
  void Menu(MainMenuItem item, int row = -1) {
    if (row >= 0) mainForm.SelectRow(kList, row);
    main.OnEvent({EventKind::MenuItem, Id(item)});
  }
  FakeForm& Editor() { return *editors.form; }
  std::vector<std::string> Boxes() {
    std::vector<std::string> texts;
    for (E e : {E::编辑框_Host, E::编辑框_端口, E::编辑框_用户名, E::编辑框_密码, E::编辑框_备注})
      texts.push_back(Editor().Text(Id(e)));
    return texts;
  }
  // Table Server as SQL quotes it, so that null and empty text differ.
  Rows Stored() {
    DBConnection db;
    RecordSet rs;
    rs.SetConnection(db);
    Rows rows;
    if (!db.OpenAccess(DataFilePath(), DatabasePassword()) ||
        !rs.Open("select id, quote(服务器名) h, quote(端口) p, quote(用户名) u, quote(密码) w, quote(备注) r "
                 "from Server order by id", kSourceSql))
      return {{"unreadable"}};
    for (int i = 0; i < rs.RecordCount(); ++i, rs.MoveNext())
      rows.push_back({rs.ReadText("id"), rs.ReadText("h"), rs.ReadText("p"), rs.ReadText("u"), rs.ReadText("w"),
                      rs.ReadText("r")});
    return rows;
  }
  std::vector<std::string> ListRow(int row) {
    std::vector<std::string> cells;
    for (int c = 0; c < 4; ++c) cells.push_back(mainForm.ListCell(kList, row, c));
    return cells;
  }

  testing::TempDir dir;
  FakeForm mainForm{MainLayout()};
  testing::FakePlatform platform;
  testing::ScriptedEditor editors{platform};
  MainWindow main{mainForm, platform, editors};
};

void Confirm(FakeForm&, EditorWindow& editor) { editor.OnEvent({EventKind::Clicked, Id(E::按钮1)}); }

TEST_F(EditorTest, AddThenConfirmStoresTheInitialTextsAndListsTheNewRow) {
  AddServer(DataFilePath(), "old", "1", "u", "p", "r");
  RunSql(DataFilePath(), "delete from Server");
  Open();
  editors.script = Confirm;
  Menu(MainMenuItem::添加);
  EXPECT_EQ(CurrentServerId, 0);
  EXPECT_EQ(Editor().caption, "添加服务器");
  EXPECT_EQ(Editor().focus, Id(E::编辑框_Host));
  // Centred on the main window, the top first.
  EXPECT_EQ(Editor().positionWrites, (std::vector<std::string>{"top", "left"}));
  EXPECT_EQ(Editor().rect.left, 289);  // 100 + 322 - 132.5, truncated
  EXPECT_EQ(Editor().rect.top, 100 + 168 - 95);
  EXPECT_TRUE(Editor().destroyed);
  EXPECT_EQ(Stored(), (Rows{{"2", "NULL", "'3389'", "'Administrator'", "NULL", "NULL"}}));
  ASSERT_EQ(mainForm.ListRowCount(kList), 1);
  EXPECT_EQ(ListRow(0), (std::vector<std::string>{"2", "", "", "3389"}));
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(EditorTest, ModifyShowsTheServerAndConfirmWithoutChangesKeepsIdAndValues) {
  AddServer(DataFilePath(), "a", "1", "u", "p", "r");
  AddServer(DataFilePath(), "10.0.0.2", "3390", "运维", "密 码", std::nullopt);
  Open();
  const Rows before = Stored();
  editors.script = [&](FakeForm& form, EditorWindow& editor) {
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"10.0.0.2", "3390", "运维", "密 码", ""}));
    EXPECT_EQ(form.caption, "修改服务器");
    editor.OnEvent({EventKind::Clicked, Id(E::按钮1)});
  };
  Menu(MainMenuItem::修改, 1);
  EXPECT_EQ(CurrentServerId, 2);
  EXPECT_TRUE(Editor().destroyed);
  EXPECT_EQ(Stored(), before);
  EXPECT_EQ(mainForm.ListRowCount(kList), 2);
  EXPECT_EQ(mainForm.ListCurrentRow(kList), -1);

  editors.script = [](FakeForm& form, EditorWindow& editor) {
    form.SetText(Id(E::编辑框_Host), "moved");
    form.SetText(Id(E::编辑框_备注), "机房 B");
    editor.OnEvent({EventKind::Clicked, Id(E::按钮1)});
  };
  Menu(MainMenuItem::修改, 1);
  EXPECT_EQ(Stored()[1], (std::vector<std::string>{"2", "'moved'", "'3390'", "'运维'", "'密 码'", "'机房 B'"}));
  EXPECT_EQ(ListRow(1), (std::vector<std::string>{"2", "机房 B", "moved", "3390"}));
}

TEST_F(EditorTest, OnlyEnterInTheRemarkBoxSaves) {
  Open();
  for (E box : {E::编辑框_Host, E::编辑框_端口, E::编辑框_用户名, E::编辑框_密码, E::编辑框_备注}) {
    editors.script = [box](FakeForm&, EditorWindow& editor) {
      editor.OnEvent({EventKind::KeyDown, Id(box), 'A'});
      editor.OnEvent({EventKind::KeyDown, Id(box), kKeyEnter});
    };
    Menu(MainMenuItem::添加);
    const bool saves = box == E::编辑框_备注;
    EXPECT_EQ(Editor().destroyed, saves) << Id(box);
    EXPECT_EQ(Stored().size(), saves ? 1u : 0u) << Id(box);
  }
}

// The small window an import asks an mRemoteNG master password in: typing is not an answer,
// Enter is, and 取消 gives none.
TEST_F(EditorTest, TheMasterPasswordWindowAnswersOnEnterOrOkOnly) {
  for (const bool cancel : {false, true}) {
    FakeForm form{MasterPasswordLayout()};
    std::optional<std::string> answer;
    MasterPasswordWindow window(form, main, "confCons.xml", true, answer);
    window.OnEvent({EventKind::Created});
    EXPECT_TRUE(form.Visible(Id(MasterPasswordControl::错误标签)));
    form.SetText(Id(MasterPasswordControl::密码框), "主 密码");
    window.OnEvent({EventKind::KeyDown, Id(MasterPasswordControl::密码框), 'A'});
    EXPECT_FALSE(form.destroyed);
    if (cancel) {
      window.OnEvent({EventKind::Clicked, Id(MasterPasswordControl::取消按钮)});
    } else {
      window.OnEvent({EventKind::KeyDown, Id(MasterPasswordControl::密码框), kKeyEnter});
    }
    EXPECT_TRUE(form.destroyed);
    EXPECT_EQ(answer, cancel ? std::nullopt : std::optional<std::string>("主 密码"));
  }
}

TEST_F(EditorTest, CancelWritesNothing) {
  AddServer(DataFilePath(), "a", "1", "u", "p", "r");
  Open();
  editors.script = [](FakeForm& form, EditorWindow& editor) {
    form.SetText(Id(E::编辑框_Host), "changed");
    editor.OnEvent({EventKind::Clicked, Id(E::按钮2)});
  };
  const Rows before = Stored();
  Menu(MainMenuItem::修改, 0);
  EXPECT_TRUE(Editor().destroyed);
  EXPECT_EQ(Stored(), before);
  EXPECT_EQ(ListRow(0), (std::vector<std::string>{"1", "r", "a", "1"}));
}

TEST_F(EditorTest, ModifyOfAServerDeletedMeanwhileOpensEmptyAndAddsANewRow) {
  AddServer(DataFilePath(), "a", "1", "u", "p", "r");
  Open();
  RunSql(DataFilePath(), "delete from Server where id=1");
  editors.script = [&](FakeForm& form, EditorWindow& editor) {
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"", "", "", "", ""}));
    form.SetText(Id(E::编辑框_Host), "back");
    editor.OnEvent({EventKind::Clicked, Id(E::按钮1)});
  };
  Menu(MainMenuItem::修改, 0);
  EXPECT_EQ(Stored(), (Rows{{"2", "'back'", "NULL", "NULL", "NULL", "NULL"}}));
}

TEST_F(EditorTest, ARefusedSaveIsReportedAndKeepsTheEditorOpenWithItsTexts) {
  AddServer(DataFilePath(), "a", "1", "u", "p", "r");
  RunSql(DataFilePath(), "create trigger no_add before insert on Server begin select raise(abort, 'no'); end");
  RunSql(DataFilePath(), "create trigger no_change before update on Server begin select raise(abort, 'no'); end");
  Open();
  const Rows before = Stored();
  for (int row : {-1, 0}) {  // an add, then a change
    platform.messages.clear();
    editors.script = [](FakeForm& form, EditorWindow& editor) {
      form.SetText(Id(E::编辑框_Host), "typed");
      form.SetText(Id(E::编辑框_密码), "secret");
      editor.OnEvent({EventKind::Clicked, Id(E::按钮1)});
    };
    Menu(row < 0 ? MainMenuItem::添加 : MainMenuItem::修改, row);
    ASSERT_EQ(platform.messages.size(), 1u) << row;
    EXPECT_EQ(platform.messages[0].text, "保存失败!服务器信息未写入数据文件.");
    EXPECT_EQ(platform.messages[0].caption, "信息：");
    EXPECT_FALSE(Editor().destroyed);
    EXPECT_EQ(Editor().Text(Id(E::编辑框_Host)), "typed");
    EXPECT_EQ(Editor().Text(Id(E::编辑框_密码)), "secret");
    EXPECT_EQ(Stored(), before);
  }
  // The operator may try again once the file takes writes.
  RunSql(DataFilePath(), "drop trigger no_change");
  Confirm(Editor(), *editors.editor);
  EXPECT_TRUE(Editor().destroyed);
  EXPECT_EQ(Stored()[0][1], "'typed'");
}

// A field the table lacks refuses the save half-way: what was written before it must not
// reach the file with the next use of the shared record set.
TEST_F(EditorTest, ASaveRefusedHalfWayLeavesNoPartOfItBehind) {
  AddServer(DataFilePath(), "a", "1", "u", "p", "r");
  RunSql(DataFilePath(), "alter table Server drop column 密码");
  Open();
  editors.script = [](FakeForm& form, EditorWindow& editor) {
    form.SetText(Id(E::编辑框_Host), "half");
    editor.SaveServer();
  };
  Menu(MainMenuItem::修改, 0);
  EXPECT_EQ(platform.messages.at(0).text, kSaveFailedMessage);
  mainForm.SelectRow(kList, 0);
  main.OnEvent({EventKind::LeftClick, kList});
  EXPECT_EQ(ListRow(0), (std::vector<std::string>{"1", "r", "a", "1"}));
  EXPECT_EQ(mainForm.Text(Id(MainControl::编辑框_Host)), "a");
}

}  // namespace
}  // namespace korvane
