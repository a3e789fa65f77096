// A team's list on the private PostgreSQL of the test run: the team's own rules, and the
// windows working on a team's servers through the same store as on the data file's.
#include <gtest/gtest.h>

#include "app/program.h"
#include "servers/import_layout.h"
#include "servers/import_window.h"
#include "servers/main_layout.h"
#include "servers/main_window.h"
#include "servers/team_messages.h"
#include "store/protection.h"
#include "store/schema.h"
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
using testing::TestDatabase;
constexpr ControlId kList = Id(C::超级列表框1);
// Few rounds: the tests are about the rules, not the cost of guessing.
constexpr unsigned long kRounds = 1000;

using testing::Rows;

TeamServer Server(std::string host, std::string password, std::string remark = "r") {
  return {0, 0, std::move(host), "3389", "ops", std::move(password), std::move(remark)};
}

// A team made anew in an empty database, and the members' stores connected to it.
class TeamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::FindServer(server)) GTEST_SKIP() << "no test server: scripts/test starts one";
    database = std::make_unique<TestDatabase>(server);
    TeamError error;
    ASSERT_TRUE(admin.Connect(database->connection(), server.password, error)) << error.detail;
    ASSERT_TRUE(admin.Init("passphrase one", error, kRounds)) << error.detail;
  }

  // Another member: its own connection, the key from the passphrase.
  std::unique_ptr<TeamStore> Member(std::string_view passphrase = "passphrase one") {
    auto store = std::make_unique<TeamStore>();
    TeamError error;
    EXPECT_TRUE(store->Connect(database->connection(), server.password, error)) << error.detail;
    auto key = store->KeyOf(passphrase, error);
    EXPECT_TRUE(key && store->UseKey(std::move(*key), error)) << error.detail;
    return store;
  }

  OdbcConnection& Raw() {
    if (!raw.IsConnected()) {
      EXPECT_TRUE(raw.Connect(database->connection() + "Pwd=" + server.password + ";"));
    }
    return raw;
  }

  testing::TestServer server;
  std::unique_ptr<TestDatabase> database;
  TeamStore admin;
  OdbcConnection raw;
};

TEST_F(TeamTest, PasswordsReachTheDatabaseOnlySealedAndOpenOnlyInTheirOwnRow) {
  auto member = Member();
  TeamServer a = Server("10.0.0.1", "W3b!pass"), b = Server("10.0.0.2", "另一个密码");
  TeamError error;
  ASSERT_TRUE(member->Add(a, error) && member->Add(b, error)) << error.detail;

  for (const auto& row : Rows(Raw(), "SELECT host, port, username, password, remark FROM server")) {
    const std::string password = std::get<std::string>(row[3]);
    EXPECT_EQ(password.find("W3b!pass"), std::string::npos);
    EXPECT_EQ(password.find("另一个密码"), std::string::npos);
    EXPECT_TRUE(password.starts_with("aes-256-gcm:1:")) << password;
  }
  // A sealed value copied into another row does not open there.
  ASSERT_EQ(Raw().Execute("UPDATE server SET password = (SELECT password FROM server WHERE id = ?) WHERE id = ?",
                          {a.id, b.id}),
            1);
  EXPECT_FALSE(member->Read(b.id, error));
  EXPECT_EQ(error.reason, TeamReason::kDoesNotOpen);
  EXPECT_EQ(error.row, b.id);
  auto read = member->Read(a.id, error);
  ASSERT_TRUE(read) << error.detail;
  EXPECT_EQ(read->password, "W3b!pass");
}

TEST_F(TeamTest, AChangeOrDeleteOfAnOutdatedVersionIsRefusedAndTheOtherChangeStays) {
  auto alice = Member(), bob = Member();
  TeamServer added = Server("db.corp", "old");
  TeamError error;
  ASSERT_TRUE(alice->Add(added, error)) << error.detail;
  auto seenByAlice = alice->Read(added.id, error);
  auto seenByBob = bob->Read(added.id, error);
  ASSERT_TRUE(seenByAlice && seenByBob);

  seenByBob->password = "bob's";
  ASSERT_TRUE(bob->Change(*seenByBob, error)) << error.detail;
  seenByAlice->password = "alice's";
  EXPECT_FALSE(alice->Change(*seenByAlice, error));
  EXPECT_EQ(error.reason, TeamReason::kChangedByAnother);
  EXPECT_FALSE(alice->Delete(added.id, seenByAlice->version, error));
  EXPECT_EQ(error.reason, TeamReason::kChangedByAnother);
  auto now = alice->Read(added.id, error);
  ASSERT_TRUE(now);
  EXPECT_EQ(now->password, "bob's");
  EXPECT_EQ(now->version, 2);

  // Seen as it is now, the delete goes through; a second one finds it gone and is content.
  EXPECT_TRUE(alice->Delete(added.id, now->version, error)) << error.detail;
  EXPECT_TRUE(bob->Delete(added.id, now->version, error)) << error.detail;
  seenByBob->password = "again";
  EXPECT_FALSE(bob->Change(*seenByBob, error));
  EXPECT_EQ(error.reason, TeamReason::kGone);
}

TEST_F(TeamTest, RefusesAUsedDatabaseAWrongPassphraseANewerSchemaAndTheOldKeyAfterARekey) {
  TeamError error;
  EXPECT_FALSE(admin.Init("passphrase one", error, kRounds));
  EXPECT_EQ(error.reason, TeamReason::kNotEmpty);

  TeamStore stranger;
  ASSERT_TRUE(stranger.Connect(database->connection(), server.password, error));
  EXPECT_FALSE(stranger.KeyOf("passphrase two", error));
  EXPECT_EQ(error.reason, TeamReason::kWrongPassphrase);

  auto stale = Member();
  TeamServer kept = Server("10.1.1.1", "kept");
  ASSERT_TRUE(stale->Add(kept, error)) << error.detail;
  auto rekeying = Member();
  ASSERT_TRUE(rekeying->Rekey("passphrase two", error, kRounds)) << error.detail;
  // A member still holding the old key can neither add nor change: what it sealed would not
  // open for anyone else.
  TeamServer late = Server("10.1.1.2", "late");
  EXPECT_FALSE(stale->Add(late, error));
  EXPECT_EQ(error.reason, TeamReason::kKeyChanged);
  auto fresh = Member("passphrase two");
  auto read = fresh->Read(kept.id, error);
  ASSERT_TRUE(read) << error.detail;
  EXPECT_EQ(read->password, "kept");
  EXPECT_EQ(fresh->List(error)->size(), 1u);

  // A batch the database refuses part of adds none of it.
  ASSERT_TRUE(Raw().Execute("ALTER TABLE server ADD CONSTRAINT refused CHECK (host <> 'refused')"));
  std::vector<TeamServer> batch = {Server("10.1.1.3", "a"), Server("refused", "b")};
  EXPECT_FALSE(fresh->AddAll(batch, error));
  EXPECT_EQ(error.reason, TeamReason::kRefused);
  EXPECT_EQ(fresh->List(error)->size(), 1u);

  ASSERT_EQ(Raw().Execute("UPDATE korvane_team SET value = '2' WHERE name = 'schema version'"), 1);
  EXPECT_FALSE(fresh->ReadSettings(error));
  EXPECT_EQ(error.reason, TeamReason::kNewerSchema);
}

TEST_F(TeamTest, AMemberFetchesOnlyWhatChangedAndTheDatabaseSaysWhoChangedIt) {
  const std::string editorUser = database->AddUser("editor pw", kTeamEditorRole);
  TeamStore editor;
  TeamError error;
  auto key = admin.KeyOf("passphrase one", error);
  ASSERT_TRUE(editor.Connect(editorUser, "editor pw", error) && editor.UseKey(std::move(*key), error)) << error.detail;
  TeamServer kept = Server("10.2.0.1", "a"), changed = Server("10.2.0.2", "b"), deleted = Server("10.2.0.3", "c");
  ASSERT_TRUE(editor.Add(kept, error) && editor.Add(changed, error) && editor.Add(deleted, error)) << error.detail;
  const auto seen = editor.LastChange(error);
  ASSERT_TRUE(seen) << error.detail;
  const auto nothing = editor.ChangesSince(*seen, error);
  ASSERT_TRUE(nothing);
  EXPECT_TRUE(nothing->changed.empty() && nothing->deleted.empty() && nothing->upTo == *seen);

  changed.remark = "new";
  TeamServer added = Server("10.2.0.4", "d");
  ASSERT_TRUE(editor.Change(changed, error) && editor.Delete(deleted.id, deleted.version, error) &&
              editor.Add(added, error))
      << error.detail;
  const auto changes = editor.ChangesSince(*seen, error);
  ASSERT_TRUE(changes) << error.detail;
  std::vector<std::pair<long long, std::string>> rows;
  for (const TeamServer& server : changes->changed) rows.emplace_back(server.id, server.remark);
  EXPECT_EQ(rows, (std::vector<std::pair<long long, std::string>>{{changed.id, "new"}, {added.id, "r"}}));
  EXPECT_EQ(changes->deleted, std::vector<long long>{deleted.id});
  EXPECT_EQ(changes->upTo, *editor.LastChange(error));

  // Who changed a row is the database's session user, whatever the statement says.
  ASSERT_TRUE(Raw().Execute("UPDATE server SET changed_by = 'somebody else', changed_at = '2000-01-01' WHERE id = ?",
                            {kept.id}));
  const auto who = Rows(Raw(), "SELECT id, changed_by, changed_at > now() - interval '1 hour' FROM server ORDER BY id");
  ASSERT_EQ(who.size(), 3u);
  EXPECT_EQ(std::get<std::string>(who[0][1]), "postgres");
  EXPECT_EQ(std::get<std::string>(who[1][1]), testing::Replaced(editorUser.substr(editorUser.find("Uid=") + 4), ";", ""));
}

TEST_F(TeamTest, AReaderReadsAndLogsButChangesNothingAndTheLogOnlyGrows) {
  const std::string viewerUser = database->AddUser("viewer pw", kTeamViewerRole);
  auto editor = Member();
  TeamServer server = Server("10.3.0.1", "pw");
  TeamError error;
  ASSERT_TRUE(editor->Add(server, error)) << error.detail;
  TeamStore viewer;
  auto key = admin.KeyOf("passphrase one", error);
  ASSERT_TRUE(viewer.Connect(viewerUser, "viewer pw", error) && viewer.UseKey(std::move(*key), error)) << error.detail;

  EXPECT_EQ(viewer.MayChange(error), false);
  EXPECT_EQ(editor->MayChange(error), true);
  EXPECT_EQ(viewer.Read(server.id, error)->password, "pw");
  TeamServer attempt = *viewer.Read(server.id, error);
  attempt.remark = "changed by a reader";
  EXPECT_FALSE(viewer.Change(attempt, error));
  EXPECT_FALSE(viewer.Delete(server.id, server.version, error));
  TeamServer added = Server("10.3.0.2", "x");
  EXPECT_FALSE(viewer.Add(added, error));
  EXPECT_EQ(editor->Read(server.id, error)->remark, "r");

  ASSERT_TRUE(viewer.LogConnection(server.id, server.host, server.port, error)) << error.detail;
  ASSERT_TRUE(editor->LogConnection(server.id, server.host, server.port, error)) << error.detail;
  const auto log = viewer.ConnectionLog("", error);
  ASSERT_TRUE(log && log->size() == 2) << error.detail;
  EXPECT_EQ((*log)[0].member, testing::Replaced(viewerUser.substr(viewerUser.find("Uid=") + 4), ";", ""));
  EXPECT_EQ((*log)[1].member, "postgres");
  EXPECT_EQ((*log)[0].host, "10.3.0.1");
  EXPECT_EQ(viewer.ConnectionLog("2999-01-01", error)->size(), 0u);
  // Members add lines; nobody but the owner changes or removes one.
  for (const std::string& user : {viewerUser, database->AddUser("editor pw", kTeamEditorRole)}) {
    OdbcConnection member;
    const std::string password = user == viewerUser ? "viewer pw" : "editor pw";
    ASSERT_TRUE(member.Connect(user + "Pwd=" + password + ";")) << member.Error().message;
    EXPECT_FALSE(member.Execute("UPDATE connection_log SET host = 'elsewhere'"));
    EXPECT_FALSE(member.Execute("DELETE FROM connection_log"));
    EXPECT_FALSE(member.Execute("TRUNCATE server"));
  }
}

// The server a message names, whatever else the connection string holds.
TEST(TeamServerNameTest, IsTheServerKeysValueOutsideEveryBracedValue) {
  const std::pair<const char*, const char*> cases[] = {
      {"Driver={PostgreSQL Unicode};Server=db.corp.example;Port=5432;", "db.corp.example"},
      {"Driver={No Such Driver;Server=elsewhere};SERVERNAME=10.0.0.5", "10.0.0.5"},
      {"Driver={No Such Driver};pqopt={sslrootcert=C:\\ca.crt};Server={db;1}}};Port=1", "db;1}"},
      {"Driver={No Such Driver};Database=ops;", ""},
  };
  for (const auto& [connection, expected] : cases) {
    TeamStore store;
    TeamError error;
    EXPECT_FALSE(store.Connect(connection, "pw", error));
    EXPECT_EQ(store.ServerName(), expected) << connection;
  }
}

// The main window over a protected data file that belongs to the team.
class TeamWindowTest : public TeamTest {
 protected:
  TeamWindowTest() : dir("korvane 团队") {
    SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
    testing::MakeDataFile(DataFilePath());
  }

  void Join(const std::string& connection) {
    TeamError error;
    auto key = admin.KeyOf("passphrase one", error);
    ASSERT_TRUE(key) << error.detail;
    session.Start(testing::JoinTeam(DataFilePath(), connection, server.password, *key, database->name()));
  }

  std::vector<std::string> Row(int row) const {
    std::vector<std::string> cells;
    for (int column = 0; column < 4; ++column) cells.push_back(form.ListCell(kList, row, column));
    return cells;
  }

  testing::TempDir dir;
  testing::FakeForm form{MainLayout()};
  testing::FakePlatform platform;
  testing::ScriptedEditor editors{platform};
  LoginSession session;
  MainWindow window{form, platform, editors, session};
};

TEST_F(TeamWindowTest, AnImportAddsToTheTeamsListWhereAnotherMemberReadsIt) {
  Join(database->connection());
  window.OnMainWindowCreated();
  const std::string csv = dir.File("servers.csv");
  testing::WriteBytes(csv, "host,port,user,password,remark\r\n10.0.0.9,3389,ops,团队 口令,机房 C\r\n");
  testing::FakeForm preview{ImportLayout()};
  std::vector<long long> added;
  ImportWindow import(preview, window, platform, {csv}, {}, added);
  import.OnEvent({EventKind::Created});
  import.OnEvent({EventKind::Clicked, Id(ImportControl::导入按钮)});
  ASSERT_EQ(added.size(), 1u);
  TeamError error;
  auto servers = Member()->ListWithPasswords(error);
  ASSERT_TRUE(servers) << error.detail;
  ASSERT_EQ(servers->size(), 1u);
  EXPECT_EQ(servers->front().id, added[0]);
  EXPECT_EQ(servers->front().password, "团队 口令");
}

TEST_F(TeamWindowTest, ListsChangesAndRefusesAnOutdatedChangeOfTheTeamsServers) {
  Join(database->connection());
  auto other = Member();
  TeamServer first = Server("10.0.0.7", "W3b!pass", "机房 A");
  TeamError error;
  ASSERT_TRUE(other->Add(first, error));

  window.OnMainWindowCreated();
  ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;
  EXPECT_EQ(form.Text(Id(C::分组框1)), std::string(kTeamListCaption) + database->name());
  ASSERT_EQ(form.ListRowCount(kList), 1);
  EXPECT_EQ(Row(0), (std::vector<std::string>{std::to_string(first.id), "机房 A", "10.0.0.7", "3389"}));
  form.SelectRow(kList, 0);
  window.OnEvent({EventKind::LeftClick, kList});
  EXPECT_EQ(form.Text(Id(C::编辑框_密码)), "W3b!pass");

  // Added through the editor: in the team's database, sealed, for the other member to read.
  editors.script = [](testing::FakeForm& editor, EditorWindow& window) {
    editor.SetText(Id(EditorControl::编辑框_Host), "10.0.0.8");
    editor.SetText(Id(EditorControl::编辑框_端口), "3390");
    editor.SetText(Id(EditorControl::编辑框_用户名), "CORP\\ops");
    editor.SetText(Id(EditorControl::编辑框_密码), "新密码");
    editor.SetText(Id(EditorControl::编辑框_备注), "web");
    window.SaveServer();
  };
  window.OpenEditorForAdd();
  ASSERT_EQ(form.ListRowCount(kList), 2);
  auto all = other->ListWithPasswords(error);
  ASSERT_TRUE(all && all->size() == 2);
  EXPECT_EQ((*all)[1].user, "CORP\\ops");
  EXPECT_EQ((*all)[1].password, "新密码");

  // The other member changes the first server while this one has it open in the editor.
  form.SelectRow(kList, 0);
  editors.script = [&](testing::FakeForm& editor, EditorWindow& window) {
    auto theirs = other->Read(first.id, error);
    theirs->remark = "theirs";
    ASSERT_TRUE(other->Change(*theirs, error));
    editor.SetText(Id(EditorControl::编辑框_备注), "mine");
    window.SaveServer();
  };
  window.OpenEditorForModify();
  ASSERT_FALSE(platform.messages.empty());
  EXPECT_EQ(platform.messages.back().text, kChangedByAnotherMessage);
  EXPECT_EQ(Row(0)[1], "theirs");
  EXPECT_EQ(other->Read(first.id, error)->remark, "theirs");
}

TEST_F(TeamWindowTest, ATeamOutOfReachEndsTheRunNamingTheServerAndWritesNothing) {
  // Nothing listens on port 1.
  const std::string unreachable = testing::Replaced(database->connection(), "Port=", "Port=1;Unused=");
  Join(unreachable);
  window.OnMainWindowCreated();
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_TRUE(platform.messages[0].text.starts_with("无法打开团队服务器列表（127.0.0.1）：无法连接："))
      << platform.messages[0].text;
  EXPECT_EQ(platform.endProgramCalls, 1);
  EXPECT_EQ(form.ListRowCount(kList), 0);
}

TEST_F(TeamWindowTest, AnotherMembersChangesReachTheListWithoutMovingTheOperatorsPlace) {
  Join(database->connection());
  auto other = Member();
  std::vector<TeamServer> servers;
  TeamError error;
  for (int i = 0; i < 6; ++i) servers.push_back(Server("10.4.0." + std::to_string(i), "p", "r" + std::to_string(i)));
  ASSERT_TRUE(other->AddAll(servers, error)) << error.detail;
  window.OnMainWindowCreated();
  EXPECT_EQ(form.timerMilliseconds, kTeamRefreshMilliseconds);
  form.SelectRow(kList, 3);
  form.ScrollTo(kList, 2);
  window.OnEvent({EventKind::Timer});  // nothing changed: nothing moves
  EXPECT_EQ(form.ListCurrentRow(kList), 3);

  // Above the selection one server goes and one changes; below it one comes.
  ASSERT_TRUE(other->Delete(servers[1].id, servers[1].version, error));
  servers[2].remark = "changed";
  ASSERT_TRUE(other->Change(servers[2], error));
  TeamServer added = Server("10.4.0.9", "p", "added");
  ASSERT_TRUE(other->Add(added, error));
  window.OnEvent({EventKind::Timer});
  std::vector<std::string> remarks;
  for (int i = 0; i < form.ListRowCount(kList); ++i) remarks.push_back(Row(i)[1]);
  EXPECT_EQ(remarks, (std::vector<std::string>{"r0", "changed", "r3", "r4", "r5", "added"}));
  EXPECT_EQ(Row(form.ListCurrentRow(kList))[1], "r3");
  EXPECT_EQ(Row(form.ListTopRow(kList))[1], "changed");
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(TeamWindowTest, AReaderIsToldBeforeAnyEditorAndEveryConnectIsLogged) {
  const std::string viewer = database->AddUser("viewer pw", kTeamViewerRole);
  TeamError error;
  auto key = admin.KeyOf("passphrase one", error);
  ASSERT_TRUE(key);
  session.Start(testing::JoinTeam(DataFilePath(), viewer, "viewer pw", *key, database->name()));
  TeamServer shared = Server("10.5.0.1", "pw");
  ASSERT_TRUE(admin.Add(shared, error));
  window.OnMainWindowCreated();
  form.SelectRow(kList, 0);
  window.OnEvent({EventKind::LeftClick, kList});
  for (MainMenuItem item : {MainMenuItem::添加, MainMenuItem::修改, MainMenuItem::删除}) {
    window.OnEvent({EventKind::MenuItem, Id(item)});
    ASSERT_FALSE(platform.messages.empty());
    EXPECT_EQ(platform.messages.back().text, kReadOnlyMemberMessage);
  }
  EXPECT_EQ(editors.runs, 0);
  EXPECT_EQ(admin.List(error)->size(), 1u);

  window.OnEvent({EventKind::Clicked, Id(C::按钮1)});  // 连接
  const auto log = admin.ConnectionLog("", error);
  ASSERT_TRUE(log && log->size() == 1) << error.detail;
  EXPECT_EQ((*log)[0].server, shared.id);
  EXPECT_EQ((*log)[0].host, "10.5.0.1");
  EXPECT_EQ((*log)[0].member, testing::Replaced(viewer.substr(viewer.find("Uid=") + 4), ";", ""));
}

}  // namespace
}  // namespace korvane
