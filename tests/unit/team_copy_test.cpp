// A member's copy of the team's list in its data file: kept while the team's database answers,
// shown (and only shown) while it does not, gone from the file's bytes once the team stops
// allowing it. On the private PostgreSQL of the test run.
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <sstream>

#include "app/program.h"
#include "servers/main_layout.h"
#include "servers/main_window.h"
#include "servers/team_messages.h"
#include "store/membership.h"
#include "store/sqlite_util.h"
#include "store/team.h"
#include "support/data_files.h"
#include "support/fake_form.h"
#include "support/fake_platform.h"
#include "support/scripted_editor.h"
#include "support/team_member.h"
#include "support/test_server.h"

namespace korvane {
namespace {

using C = MainControl;
constexpr ControlId kList = Id(C::超级列表框1);
constexpr const char* kPassphrase = "副本 口令";

std::string FileBytes(const std::string& path) {
  std::ifstream in(sqlite::PathFromUtf8(path), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> Column(const std::string& path, const std::string& sql) {
  sqlite3* raw = nullptr;
  sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  sqlite::DatabasePtr db(raw);
  std::vector<std::string> values;
  auto statement = sqlite::Prepare(db.get(), sql);
  while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) values.push_back(sqlite::ColumnText(statement.get(), 0));
  return values;
}

// The main window of one run of the program, over the member's file in the program's folder.
struct ProgramRun {
  explicit ProgramRun(LoginSession& session) : window(form, platform, editors, session) { window.OnMainWindowCreated(); }
  // One tick of the refresh timer, with its answer merged as it comes.
  void Refresh(int times = 1) {
    for (int i = 0; i < times; ++i) window.OnEvent({EventKind::Timer});
  }
  // The first refresh after the login leaves the copy alone; the second brings it up to date.
  void RefreshCopy() { Refresh(2); }
  std::vector<std::string> Row(int row) const {
    std::vector<std::string> cells;
    for (int column = 0; column < 4; ++column) cells.push_back(form.ListCell(kList, row, column));
    return cells;
  }
  std::string Caption() const { return form.Text(Id(C::分组框1)); }
  testing::FakeForm form{MainLayout()};
  testing::FakePlatform platform;
  testing::ScriptedEditor editors{platform};
  MainWindow window;
};

class TeamCopyTest : public ::testing::Test {
 protected:
  TeamCopyTest() : dir("korvane 团队 副本") {}

  void SetUp() override {
    if (!testing::FindServer(server)) GTEST_SKIP() << "no test server: scripts/test starts one";
    database = std::make_unique<testing::TestDatabase>(server);
    TeamError error;
    ASSERT_TRUE(admin.Connect(database->connection(), server.password, error) && admin.Init(kPassphrase, error, 1000))
        << error.detail;
    key = admin.KeyOf(kPassphrase, error);
    ASSERT_TRUE(key) << error.detail;
    for (int i = 1; i <= 3; ++i) {
      servers.push_back({0, 0, "10.6.0." + std::to_string(i), "3389", "运维" + std::to_string(i),
                         "副本密码-" + std::to_string(i), "机房甲-" + std::to_string(i)});
    }
    ASSERT_TRUE(admin.AddAll(servers, error)) << error.detail;
    SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
    testing::MakeDataFile(DataFilePath());
    const std::string member = database->AddUser("member pw", database->roles().editor);
    session.Start(testing::JoinTeam(DataFilePath(), member, "member pw", *key, database->name()));
    ASSERT_TRUE(superuser.Connect(server.connection + "Pwd=" + server.password + ";"));
  }

  void TearDown() override {
    if (superuser.IsConnected()) AllowConnections(true);
  }

  // As the team's administrator sets it with the data tool.
  void AllowCopies(bool allowed) {
    TeamError error;
    // Its own connection may be one that AllowConnections ended: the first call finds that out.
    const char* value = allowed ? "on" : "off";
    ASSERT_TRUE(admin.SetSetting(TeamSetting::kOfflineCopy, value, error) ||
                admin.SetSetting(TeamSetting::kOfflineCopy, value, error))
        << error.detail;
  }

  // The team's database takes no connection, and drops the ones it has: out of reach.
  void AllowConnections(bool allowed) {
    ASSERT_TRUE(superuser.Execute("ALTER DATABASE " + database->name() + " WITH ALLOW_CONNECTIONS " +
                                  (allowed ? "true" : "false")))
        << superuser.Error().message;
    if (!allowed) {
      testing::Rows(superuser, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" +
                                   database->name() + "'");
    }
  }

  // What must never be in the file's bytes in clear: each server's host, password and remark.
  ::testing::AssertionResult NothingInClear() {
    const std::string bytes = FileBytes(DataFilePath());
    for (const TeamServer& s : servers) {
      for (const std::string* secret : {&s.host, &s.password, &s.remark}) {
        if (bytes.find(*secret) != std::string::npos) return ::testing::AssertionFailure() << *secret << " in clear";
      }
    }
    return ::testing::AssertionSuccess();
  }

  testing::TestServer server;
  std::unique_ptr<testing::TestDatabase> database;
  TeamStore admin;
  std::optional<TeamKey> key;
  std::vector<TeamServer> servers;
  testing::TempDir dir;
  LoginSession session;
  OdbcConnection superuser;
};

// A moment of the local calendar, in seconds since 1970.
long long Local(int year, int month, int day, int hour, int minute) {
  std::tm at{};
  at.tm_year = year - 1900;
  at.tm_mon = month - 1;
  at.tm_mday = day;
  at.tm_hour = hour;
  at.tm_min = minute;
  at.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&at));
}

TEST(TeamCopyCaptionTest, NamesTheCopysTimeAndItsDayWhenThatIsNotToday) {
  const long long copied = Local(2026, 12, 7, 14, 2);
  EXPECT_EQ(TeamOfflineCaption("运维", copied, Local(2026, 12, 7, 23, 59)),
            "服务器列表 — 团队 运维（离线，14:02 的副本）");
  EXPECT_EQ(TeamOfflineCaption("运维", copied, Local(2026, 12, 8, 0, 1)),
            "服务器列表 — 团队 运维（离线，12-07 14:02 的副本）");
  // The same day of another year is another day.
  EXPECT_EQ(TeamOfflineCaption("运维", copied, Local(2027, 12, 7, 15, 0)),
            "服务器列表 — 团队 运维（离线，12-07 14:02 的副本）");
}

TEST_F(TeamCopyTest, ACopyKeptLiveIsShownAndOnlyShownWhileTheDatabaseIsOutOfReach) {
  AllowCopies(true);
  TeamError error;
  {
    ProgramRun live(session);
    ASSERT_TRUE(live.platform.messages.empty()) << live.platform.messages[0].text;
    live.Refresh();
    // Another member changes one server's password, deletes one and adds one: the copy follows.
    servers[1].password = "改过的密码";
    ASSERT_TRUE(admin.Change(servers[1], error)) << error.detail;
    ASSERT_TRUE(admin.Delete(servers[2].id, servers[2].version, error)) << error.detail;
    servers.push_back({0, 0, "10.6.0.4", "3390", "运维4", "副本密码-4", "机房甲-4"});
    ASSERT_TRUE(admin.Add(servers.back(), error)) << error.detail;
    live.Refresh();
    live.Refresh();
    ASSERT_EQ(live.form.ListRowCount(kList), 3);
    EXPECT_TRUE(live.platform.messages.empty()) << live.platform.messages[0].text;
  }
  EXPECT_TRUE(NothingInClear());
  EXPECT_EQ(Column(DataFilePath(), "SELECT id FROM TeamCopy ORDER BY id"),
            (std::vector<std::string>{std::to_string(servers[0].id), std::to_string(servers[1].id),
                                      std::to_string(servers[3].id)}));
  // Changed while nobody runs the program: the copy does not know it yet.
  servers[0].remark = "后来改的";
  ASSERT_TRUE(admin.Change(servers[0], error)) << error.detail;

  AllowConnections(false);
  ProgramRun offline(session);
  ASSERT_EQ(offline.platform.messages.size(), 1u);
  const std::string& said = offline.platform.messages[0].text;
  EXPECT_TRUE(said.starts_with("团队服务器列表（127.0.0.1）现在打不开：无法连接：")) << said;
  EXPECT_NE(said.find("离线副本"), std::string::npos) << said;
  EXPECT_EQ(offline.platform.endProgramCalls, 0);
  const std::string caption = offline.Caption();
  EXPECT_TRUE(caption.starts_with(kTeamListCaption + database->name() + "（离线，")) << caption;
  EXPECT_TRUE(caption.ends_with(" 的副本）")) << caption;
  ASSERT_EQ(offline.form.ListRowCount(kList), 3);
  EXPECT_EQ(offline.Row(0), (std::vector<std::string>{std::to_string(servers[0].id), "机房甲-1", "10.6.0.1", "3389"}));
  EXPECT_EQ(offline.Row(2), (std::vector<std::string>{std::to_string(servers[3].id), "机房甲-4", "10.6.0.4", "3390"}));
  // The details come from the copy, with the password as changed before; the program under
  // Wine shows 连接, 添加, 修改 and 删除 on it, and the list going live again.
  offline.form.SelectRow(kList, 1);
  offline.window.OnEvent({EventKind::LeftClick, kList});
  EXPECT_EQ(offline.form.Text(Id(C::编辑框_密码)), "改过的密码");
  // An import dropped on the window says the list is offline, and no preview opens.
  const std::string csv = dir.File("servers.csv");
  testing::WriteBytes(csv, "host,port,user,password,remark\r\n10.6.0.9,3389,ops,pw,dropped\r\n");
  offline.window.ImportFiles({csv});
  EXPECT_EQ(offline.platform.messages.back().text, kTeamOfflineRefusal);
  EXPECT_EQ(offline.editors.runs, 0);
  AllowConnections(true);
  for (int i = 0; i < 3 && offline.Caption() != kTeamListCaption + database->name(); ++i) offline.Refresh();
  EXPECT_EQ(offline.Row(0)[1], "后来改的");
}

TEST_F(TeamCopyTest, ATeamThatStopsAllowingACopyLeavesNoTraceOfItInTheFile) {
  AllowCopies(true);
  {
    ProgramRun live(session);
    live.RefreshCopy();
  }
  const auto sealedRows = Column(DataFilePath(), "SELECT server FROM TeamCopy");
  ASSERT_EQ(sealedRows.size(), servers.size());
  EXPECT_TRUE(NothingInClear());
  const std::string before = FileBytes(DataFilePath());
  for (const std::string& row : sealedRows) ASSERT_NE(before.find(row), std::string::npos);

  AllowCopies(false);
  {
    ProgramRun live(session);
    live.RefreshCopy();
    EXPECT_TRUE(live.platform.messages.empty()) << live.platform.messages[0].text;
    EXPECT_EQ(live.form.ListRowCount(kList), 3);
  }
  // Not a byte of any sealed row, nor the tables' names, anywhere in the file.
  const std::string after = FileBytes(DataFilePath());
  for (const std::string& row : sealedRows) {
    // The nonce alone (the first 24 hex digits after the format) is unique to each row.
    EXPECT_EQ(after.find(row.substr(14, 24)), std::string::npos);
  }
  EXPECT_EQ(after.find("TeamCopy"), std::string::npos);

  // Without a copy, a database out of reach ends the run as it always did.
  AllowConnections(false);
  {
    ProgramRun offline(session);
    ASSERT_EQ(offline.platform.messages.size(), 1u);
    EXPECT_TRUE(offline.platform.messages[0].text.starts_with("无法打开团队服务器列表（127.0.0.1）："))
        << offline.platform.messages[0].text;
    EXPECT_EQ(offline.platform.endProgramCalls, 1);
  }

  // A file that leaves the team keeps no copy of its list either.
  AllowConnections(true);
  AllowCopies(true);
  {
    ProgramRun live(session);
    live.RefreshCopy();
  }
  const auto kept = Column(DataFilePath(), "SELECT server FROM TeamCopy");
  ASSERT_EQ(kept.size(), servers.size());
  {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(DataFilePath().c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    StoreError error;
    EXPECT_TRUE(RemoveMembership(raw, error));
    sqlite3_close(raw);
  }
  const std::string left = FileBytes(DataFilePath());
  for (const std::string& row : kept) EXPECT_EQ(left.find(row.substr(14, 24)), std::string::npos);
  EXPECT_EQ(left.find("TeamCopy"), std::string::npos);
}

TEST_F(TeamCopyTest, ACopyThatDoesNotOpenAsWrittenIsNeverShownAndIsMadeGoodAtTheNextLiveRun) {
  AllowCopies(true);
  {
    ProgramRun live(session);
    live.RefreshCopy();
  }
  // One row's sealed value put over another's in the file: it does not open in that place,
  // and a copy of which any part is suspect is no copy.
  testing::RunSql(DataFilePath(),
                  "UPDATE TeamCopy SET server = (SELECT server FROM TeamCopy AS o WHERE o.id <> TeamCopy.id "
                  "ORDER BY o.id LIMIT 1) WHERE id = (SELECT max(id) FROM TeamCopy)");
  AllowConnections(false);
  {
    ProgramRun offline(session);
    EXPECT_EQ(offline.platform.endProgramCalls, 1);
  }
  // The live run finds the row within a few refreshes and writes it anew.
  AllowConnections(true);
  {
    ProgramRun live(session);
    for (int i = 0; i < 3; ++i) live.Refresh();
  }
  AllowConnections(false);
  {
    ProgramRun offline(session);
    EXPECT_EQ(offline.platform.endProgramCalls, 0);
    ASSERT_EQ(offline.form.ListRowCount(kList), 3);
    offline.form.SelectRow(kList, 2);
    offline.window.OnEvent({EventKind::LeftClick, kList});
    EXPECT_EQ(offline.form.Text(Id(C::编辑框_密码)), "副本密码-3");
  }

  // A new login password: the copy sealed under the old key does not open with the new one;
  // the run goes on making it anew under the new key, and it is shown again.
  AllowConnections(true);
  std::optional<LoginKeys> next = DeriveNewLoginKeys("新的登录密码", 1000);
  {
    ProgramRun live(session);
    ASSERT_TRUE(next && session.ChangeLoginPassword(live.window.connection().Handle(), std::move(*next)));
    live.RefreshCopy();
  }
  EXPECT_TRUE(NothingInClear());
  AllowConnections(false);
  ProgramRun offline(session);
  EXPECT_EQ(offline.platform.endProgramCalls, 0);
  ASSERT_EQ(offline.form.ListRowCount(kList), 3);
  offline.form.SelectRow(kList, 0);
  offline.window.OnEvent({EventKind::LeftClick, kList});
  EXPECT_EQ(offline.form.Text(Id(C::编辑框_密码)), "副本密码-1");
}

}  // namespace
}  // namespace korvane
