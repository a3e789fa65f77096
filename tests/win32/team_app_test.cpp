// Two members of one team, each with a korvane.exe of their own on a data file that joined it,
// on the test run's PostgreSQL: one list, connects with the team's passwords, a change made
// meanwhile by the other refused rather than overwritten, a dropped connection made again.
#include <gtest/gtest.h>

#include "operator.h"
#include "platform/text_win32.h"
#include "servers/team_messages.h"
#include "store/team.h"
#include "support/team_member.h"
#include "support/test_server.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;
using testing::At;
using testing::Cells;
using testing::Click;
using testing::ControlWithText;
using testing::WaitForRowCount;
using testing::WaitForText;
namespace at = testing::at;

struct Member {
  explicit Member(const char* name) : dir(name) { testing::MakeDataFile(dir.File("mstsc.mdb")); }
  testing::TempDir dir;
  testing::Operator op{dir.path()};
};

// The password box shows `password` after a click; otherwise says what the program shows.
::testing::AssertionResult ShowsPassword(testing::Operator& op, const std::wstring& password) {
  if (WaitForText(At(op.main, L"Edit", at::kServerPassword), password)) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure() << "no password in the box; the program shows:";
  for (HWND w : op.app->VisibleWindows()) {
    failure << "\n  " << Narrow(testing::WindowTitle(w)) << " " << Narrow(testing::MessageText(w));
  }
  return failure;
}

TEST(TeamAppTest, TwoMembersShareOneListAndNeitherOverwritesTheOthersChange) {
  REQUIRE_SERVER(server);
  testing::TestDatabase database(server);
  TeamStore admin;
  TeamError error;
  ASSERT_TRUE(admin.Connect(database.connection(), server.password, error) && admin.Init("团队 口令", error, 1000))
      << error.detail;
  auto key = admin.KeyOf("团队 口令", error);
  TeamServer shared{0, 0, "10.9.9.9", "3389", "运维", "服务器 密码 9", "机房"};
  ASSERT_TRUE(key && admin.Add(shared, error)) << error.detail;
  // Each member's own database user, with the team's editor role and nothing more.
  Member alice("korvane 团队 甲"), bob("korvane 团队 乙");
  const std::string aliceUser = database.AddUser("alice pw", database.roles().editor);
  const std::string bobUser = database.AddUser("bob pw", database.roles().editor);
  testing::JoinTeam(alice.dir.File("mstsc.mdb"), aliceUser, "alice pw", *key, database.name());
  testing::JoinTeam(bob.dir.File("mstsc.mdb"), bobUser, "bob pw", *key, database.name());
  testing::StandInClient client;
  client.Install();
  ASSERT_FALSE(::testing::Test::HasFatalFailure());

  // The team's list, under the team's name; a click opens its password, 连接 hands it on.
  testing::Operator& a = alice.op;
  a.LogIn(L"admin");
  ASSERT_NE(a.list, nullptr);
  EXPECT_NE(ControlWithText(a.main, L"Button", Widen(kTeamListCaption + database.name())), nullptr);
  EXPECT_EQ(a.app->ListRow(a.list, 0, 4), (Cells{std::to_wstring(shared.id), L"机房", L"10.9.9.9", L"3389"}));
  // Now and then (about one run in five) the first synthetic click after the window appears
  // does not reach the list view as a click under Wine; an operator would click again.
  a.ClickRow(0);
  if (!WaitForText(At(a.main, L"Edit", at::kServerPassword), L"服务器 密码 9")) a.ClickRow(0);
  ASSERT_TRUE(ShowsPassword(a, L"服务器 密码 9"));
  Click(ControlWithText(a.main, L"Button", L"连接"));
  const auto received = client.ReceivedByClient();
  EXPECT_NE(received.file.find("full address:s:10.9.9.9:3389\r\n"), std::string::npos) << received.file;
  EXPECT_EQ(testing::StandInClient::PasswordIn(received.file), u"服务器 密码 9");
  // The team's log has the connect, under the database's name for Alice.
  const auto log = admin.ConnectionLog("", error);
  ASSERT_TRUE(log && log->size() == 1) << error.detail;
  EXPECT_EQ((*log)[0].member, testing::TestDatabase::UserOf(aliceUser));
  EXPECT_EQ((*log)[0].host, "10.9.9.9");
  EXPECT_EQ((*log)[0].server, shared.id);

  a.ChooseFromListMenu(-1, 0);
  a.Edit(L"添加服务器", Cells{L"10.9.9.10", L"3390", L"CORP\\ops", L"新 密码", L"网站"});
  ASSERT_TRUE(WaitForRowCount(a.list, 2));

  testing::Operator& b = bob.op;
  b.LogIn(L"admin");
  ASSERT_NE(b.list, nullptr);
  EXPECT_EQ(b.app->ListRow(b.list, 1, 4)[1], L"网站");

  // Alice has the first server open in the editor while Bob changes it.
  a.ClickRow(0);
  a.ChooseFromListMenu(0, 1);
  HWND editor = a.app->WaitForWindow(L"修改服务器");
  ASSERT_NE(editor, nullptr);
  b.ClickRow(0);
  b.ChooseFromListMenu(0, 1);
  b.Edit(L"修改服务器", Cells{L"10.9.9.9", L"3389", L"运维", L"服务器 密码 9", L"乙 改的"});
  testing::TypeInto(At(editor, L"Edit", at::kEditRemark), L"甲 改的");
  ASSERT_TRUE(WaitForText(At(editor, L"Edit", at::kEditRemark), L"甲 改的"));
  Click(ControlWithText(editor, L"Button", L"确认"));
  // Bob's remark is named beside hers; the fields he left as she has them are not.
  const std::wstring conflict = a.Answer(L"信息：", IDOK);
  EXPECT_NE(conflict.find(L"备注：现为“乙 改的”"), std::wstring::npos) << Narrow(conflict);
  EXPECT_EQ(conflict.find(L"主机："), std::wstring::npos) << Narrow(conflict);
  EXPECT_EQ(conflict.find(L"密码："), std::wstring::npos) << Narrow(conflict);
  // Still open with what she typed, over the list as the team holds it now.
  EXPECT_EQ(testing::WindowTitle(At(editor, L"Edit", at::kEditRemark)), L"甲 改的");
  Click(ControlWithText(editor, L"Button", L"取消"));
  ASSERT_TRUE(a.app->WaitUntilGone(editor));
  EXPECT_EQ(a.app->ListRow(a.list, 0, 4)[1], L"乙 改的");
  EXPECT_EQ(admin.Read(shared.id, error)->remark, "乙 改的");

  // Bob adds a server: Alice's list shows it within a few seconds, her selection kept.
  a.ClickRow(1);
  b.ChooseFromListMenu(-1, 0);
  b.Edit(L"添加服务器", Cells{L"10.9.9.11", L"3389", L"ops", L"第三", L"乙 加的"});
  ASSERT_TRUE(WaitForRowCount(a.list, 3));
  EXPECT_EQ(a.app->ListRow(a.list, 2, 4)[1], L"乙 加的");
  EXPECT_EQ(SendMessageW(a.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);

  // Alice has the first server's details up when Bob changes its port, user and password:
  // within a refresh her details are the new ones, and 连接 goes with them.
  a.ClickRow(0);
  ASSERT_TRUE(ShowsPassword(a, L"服务器 密码 9"));
  b.ClickRow(0);
  b.ChooseFromListMenu(0, 1);
  b.Edit(L"修改服务器", Cells{L"10.9.9.9", L"4002", L"运维二", L"密码 二", L"乙 改的"});
  EXPECT_TRUE(WaitForText(At(a.main, L"Edit", at::kPort), L"4002"));
  EXPECT_EQ(a.Details(), (Cells{L"10.9.9.9", L"4002", L"运维二", L"密码 二"}));
  // A change the refresh has not brought yet: 连接 reads the server again before it goes.
  TeamStore bobStore;
  ASSERT_TRUE(bobStore.Connect(bobUser, "bob pw", error)) << error.detail;
  auto bobKey = bobStore.KeyOf("团队 口令", error);
  ASSERT_TRUE(bobKey && bobStore.UseKey(std::move(*bobKey), error)) << error.detail;
  TeamServer now = *bobStore.Read(shared.id, error);
  now.port = "4003";
  now.password = "密码 三";
  ASSERT_TRUE(bobStore.Change(now, error)) << error.detail;
  Click(ControlWithText(a.main, L"Button", L"连接"));
  const auto changed = client.ReceivedByClient();
  EXPECT_NE(changed.file.find("full address:s:10.9.9.9:4003\r\n"), std::string::npos) << changed.file;
  EXPECT_EQ(testing::StandInClient::PasswordIn(changed.file), u"密码 三");
  EXPECT_EQ(a.Details(), (Cells{L"10.9.9.9", L"4003", L"运维二", L"密码 三"}));

  // Bob deletes the server Alice has up: her list and details let it go.
  b.ClickRow(0);
  b.ChooseFromListMenu(0, 2);
  EXPECT_EQ(b.Answer(L"询问", IDYES), L"确认删除服务器？");
  ASSERT_TRUE(WaitForRowCount(b.list, 2));
  EXPECT_EQ(admin.Read(shared.id, error), std::nullopt);
  ASSERT_TRUE(WaitForRowCount(a.list, 2));
  EXPECT_TRUE(WaitForText(At(a.main, L"Edit", at::kHost), L""));

  // The server drops every member's connection and takes no new one for a while: the next
  // action says so and changes nothing, the one after it connects again.
  OdbcConnection superuser;
  ASSERT_TRUE(superuser.Connect(server.connection + "Pwd=" + server.password + ";"));
  const std::string allow = "ALTER DATABASE " + database.name() + " WITH ALLOW_CONNECTIONS ";
  ASSERT_TRUE(superuser.Execute(allow + "false")) << superuser.Error().message;
  testing::Rows(superuser, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" +
                               database.name() + "'");
  a.ClickRow(0);
  const std::wstring failure = a.Answer(L"信息：", IDOK);
  EXPECT_EQ(failure.rfind(L"团队服务器列表（127.0.0.1）操作失败：", 0), 0u) << Narrow(failure);
  ASSERT_TRUE(superuser.Execute(allow + "true")) << superuser.Error().message;
  a.ClickRow(0);
  EXPECT_TRUE(ShowsPassword(a, L"新 密码"));

  // Carol's database user may only read: 添加 tells her so, and no editor opens.
  Member carol("korvane 团队 丙");
  const std::string viewer = database.AddUser("viewer pw", database.roles().viewer);
  testing::JoinTeam(carol.dir.File("mstsc.mdb"), viewer, "viewer pw", *key, database.name());
  testing::Operator& c = carol.op;
  c.LogIn(L"admin");
  ASSERT_NE(c.list, nullptr);
  c.ChooseFromListMenu(-1, 0);
  EXPECT_EQ(c.Answer(L"信息：", IDOK), Widen(kReadOnlyMemberMessage));
  EXPECT_EQ(c.app->VisibleWindows(), std::vector<HWND>{c.main});

  for (testing::Operator* op : {&a, &b, &c}) {
    testing::PostKey(op->main, VK_ESCAPE);
    EXPECT_EQ(op->app->WaitForExit(20s), 0u);
  }
  client.Remove();
}

}  // namespace
}  // namespace korvane
