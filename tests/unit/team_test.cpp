// A team's list on the private PostgreSQL of the test run: the team's own rules, and the
// windows working on a team's servers through the same store as on the data file's.
#include <gtest/gtest.h>

#include <map>

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

// A team made anew in an empty database by its administrator, and its members, each
// connected as a database user granted one of the team's roles and nothing more.
class TeamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::FindServer(server)) GTEST_SKIP() << "no test server: scripts/test starts one";
    database = std::make_unique<TestDatabase>(server);
    TeamError error;
    ASSERT_TRUE(admin.Connect(database->connection(), server.password, error)) << error.detail;
    ASSERT_TRUE(admin.Init("passphrase one", error, kRounds)) << error.detail;
  }

  // A member's database user with `role` (the team's editor role by default).
  std::string User(const std::string& role = {}) {
    return database->AddUser(kMemberPassword, role.empty() ? database->roles().editor : role);
  }

  // A member's store: its own user and connection, the key from the passphrase.
  std::unique_ptr<TeamStore> Member(std::string_view passphrase = "passphrase one", const std::string& role = {}) {
    auto store = std::make_unique<TeamStore>();
    TeamError error;
    EXPECT_TRUE(store->Connect(User(role), kMemberPassword, error)) << error.detail;
    auto key = store->KeyOf(passphrase, error);
    EXPECT_TRUE(key && store->UseKey(std::move(*key), error)) << error.detail;
    return store;
  }

  // The database's owner, who needs no passphrase to write any row.
  OdbcConnection& Raw() {
    if (!raw.IsConnected()) {
      EXPECT_TRUE(raw.Connect(database->connection() + "Pwd=" + server.password + ";"));
    }
    return raw;
  }

  static constexpr const char* kMemberPassword = "member pw";
  testing::TestServer server;
  std::unique_ptr<TestDatabase> database;
  TeamStore admin;
  OdbcConnection raw;
};

TEST_F(TeamTest, PasswordsReachTheDatabaseOnlySealedAndOpenOnlyForTheirRowHostPortAndUser) {
  auto member = Member();
  TeamServer a = Server("10.0.0.1", "W3b!pass"), b = Server("10.0.0.2", "另一个密码"), c = Server("10.0.0.3", "third");
  TeamError error;
  ASSERT_TRUE(member->Add(a, error) && member->Add(b, error) && member->Add(c, error)) << error.detail;

  for (const auto& row : Rows(Raw(), "SELECT host, port, username, password, remark FROM korvane.server")) {
    const std::string password = std::get<std::string>(row[3]);
    EXPECT_EQ(password.find("W3b!pass"), std::string::npos);
    EXPECT_EQ(password.find("另一个密码"), std::string::npos);
    EXPECT_TRUE(password.starts_with("aes-256-gcm:1:")) << password;
  }
  // Whoever can write the table, without the passphrase: a sealed value copied into another
  // row, a row sent to another host and user, another port.
  ASSERT_EQ(Raw().Execute("UPDATE korvane.server SET password = (SELECT password FROM korvane.server WHERE id = ?)"
                          " WHERE id = ?",
                          {a.id, b.id}),
            1);
  ASSERT_EQ(Raw().Execute("UPDATE korvane.server SET host = 'rdp.evil.example', username = 'evil' WHERE id = ?", {a.id}), 1);
  ASSERT_EQ(Raw().Execute("UPDATE korvane.server SET port = '3390' WHERE id = ?", {c.id}), 1);
  for (long long id : {a.id, b.id, c.id}) {
    auto read = member->Read(id, error);
    ASSERT_TRUE(read) << error.detail;
    EXPECT_FALSE(read->passwordOpens) << id;
    EXPECT_EQ(read->password, "") << id;
  }
  // The list goes on past them, each named and without a password.
  TeamServer d = Server("10.0.0.4", "fourth");
  ASSERT_TRUE(member->Add(d, error)) << error.detail;
  auto all = member->ListWithPasswords(error);
  ASSERT_TRUE(all) << error.detail;
  ASSERT_EQ(all->size(), 4u);
  for (const TeamServer& server : *all) {
    EXPECT_EQ(server.passwordOpens, server.id == d.id) << server.id;
    EXPECT_EQ(server.password, server.id == d.id ? "fourth" : "") << server.id;
  }
  // A change of host, port or user seals the password anew for where it now goes.
  auto moved = member->Read(d.id, error);
  ASSERT_TRUE(moved) << error.detail;
  moved->host = "10.0.0.44";
  moved->user = "admin2";
  ASSERT_TRUE(member->Change(*moved, error)) << error.detail;
  EXPECT_EQ(member->Read(d.id, error)->password, "fourth");
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
  ASSERT_TRUE(stranger.Connect(User(), kMemberPassword, error));
  EXPECT_FALSE(stranger.KeyOf("passphrase two", error));
  EXPECT_EQ(error.reason, TeamReason::kWrongPassphrase);

  auto stale = Member();
  TeamServer kept = Server("10.1.1.1", "kept"), broken = Server("10.1.1.9", "broken");
  ASSERT_TRUE(stale->Add(kept, error) && stale->Add(broken, error)) << error.detail;
  // An editor about to be shut out spoils one value; the rekey goes on past it and names it.
  OdbcConnection spoiler;
  const std::string spoilerUser = User();
  ASSERT_TRUE(spoiler.Connect(spoilerUser + "Pwd=" + kMemberPassword + ";")) << spoiler.Error().message;
  ASSERT_EQ(spoiler.Execute("UPDATE korvane.server SET password = 'x' WHERE id = ?", {broken.id}), 1);
  const auto stampsBefore = Rows(Raw(), "SELECT id, version, change, changed_by, changed_at FROM korvane.server ORDER BY id");

  // Only the team's administrator rekeys; an editor is told so and nothing changes.
  EXPECT_FALSE(stale->Rekey("passphrase two", error, kRounds));
  EXPECT_EQ(error.reason, TeamReason::kNotAdministrator);
  EXPECT_EQ(error.detail, database->roles().admin);
  auto rekeying = Member("passphrase one", database->roles().admin);
  std::vector<TeamServer> unopened;
  ASSERT_TRUE(rekeying->Rekey("passphrase two", error, kRounds, &unopened)) << error.detail;
  ASSERT_EQ(unopened.size(), 1u);
  EXPECT_EQ(unopened[0].id, broken.id);
  EXPECT_EQ(unopened[0].host, "10.1.1.9");
  // Who changed each server last, and when, stays as it was.
  EXPECT_EQ(Rows(Raw(), "SELECT id, version, change, changed_by, changed_at FROM korvane.server ORDER BY id"),
            stampsBefore);

  // A member still holding the old key can neither add nor change: what it sealed would not
  // open for anyone else.
  TeamServer late = Server("10.1.1.2", "late");
  EXPECT_FALSE(stale->Add(late, error));
  EXPECT_EQ(error.reason, TeamReason::kKeyChanged);
  EXPECT_FALSE(stale->Read(kept.id, error));
  EXPECT_EQ(error.reason, TeamReason::kKeyChanged);
  auto fresh = Member("passphrase two");
  auto read = fresh->Read(kept.id, error);
  ASSERT_TRUE(read) << error.detail;
  EXPECT_EQ(read->password, "kept");
  read->remark = "after the rekey";
  EXPECT_TRUE(fresh->Change(*read, error)) << error.detail;
  EXPECT_EQ(fresh->List(error)->size(), 2u);

  // A batch the database refuses part of adds none of it.
  ASSERT_TRUE(Raw().Execute("ALTER TABLE korvane.server ADD CONSTRAINT refused CHECK (host <> 'refused')"));
  std::vector<TeamServer> batch = {Server("10.1.1.3", "a"), Server("refused", "b")};
  EXPECT_FALSE(fresh->AddAll(batch, error));
  EXPECT_EQ(error.reason, TeamReason::kRefused);
  EXPECT_EQ(fresh->List(error)->size(), 2u);

  ASSERT_EQ(Raw().Execute("UPDATE korvane.team SET value = '" + std::to_string(kTeamSchemaVersion + 1) +
                          "' WHERE name = 'schema version'"),
            1);
  EXPECT_FALSE(fresh->ReadSettings(error));
  EXPECT_EQ(error.reason, TeamReason::kNewerSchema);
}

TEST_F(TeamTest, AMemberFetchesWhatChangedAndTheDatabaseSaysWhoChangedIt) {
  const std::string editorUser = User();
  TeamStore editor;
  TeamError error;
  auto key = admin.KeyOf("passphrase one", error);
  ASSERT_TRUE(editor.Connect(editorUser, kMemberPassword, error) && editor.UseKey(std::move(*key), error)) << error.detail;
  TeamServer kept = Server("10.2.0.1", "a"), changed = Server("10.2.0.2", "b"), deleted = Server("10.2.0.3", "c");
  ASSERT_TRUE(editor.Add(kept, error) && editor.Add(changed, error) && editor.Add(deleted, error)) << error.detail;
  const auto seen = editor.LastChange(error);
  ASSERT_TRUE(seen) << error.detail;
  std::map<long long, long long> listed;
  const auto list = editor.List(error);
  ASSERT_TRUE(list) << error.detail;
  for (const TeamServer& server : *list) listed[server.id] = server.version;
  // What came since, less what the list shows already (a change still uncommitted elsewhere on
  // the server when the mark was taken comes again).
  auto news = [&](const TeamChanges& changes) {
    std::vector<std::pair<long long, std::string>> rows;
    for (const TeamServer& server : changes.changed) {
      if (listed.count(server.id) == 0 || listed[server.id] != server.version) rows.emplace_back(server.id, server.remark);
    }
    return rows;
  };
  const auto nothing = editor.ChangesSince(*seen, error);
  ASSERT_TRUE(nothing) << error.detail;
  EXPECT_TRUE(news(*nothing).empty() && nothing->deleted.empty() && !nothing->complete);

  changed.remark = "new";
  TeamServer added = Server("10.2.0.4", "d");
  ASSERT_TRUE(editor.Change(changed, error) && editor.Delete(deleted.id, deleted.version, error) &&
              editor.Add(added, error))
      << error.detail;
  const auto changes = editor.ChangesSince(*seen, error);
  ASSERT_TRUE(changes) << error.detail;
  EXPECT_EQ(news(*changes), (std::vector<std::pair<long long, std::string>>{{changed.id, "new"}, {added.id, "r"}}));
  EXPECT_EQ(changes->deleted, std::vector<long long>{deleted.id});
  // The mark never goes back (it stays where it was while a transaction elsewhere on the
  // server is still open).
  EXPECT_GE(changes->upTo, *seen);

  // A change begun before the mark and committed after it is fetched from the next mark on.
  OdbcConnection slow;
  const std::string slowUser = User();
  ASSERT_TRUE(slow.Connect(slowUser + "Pwd=" + kMemberPassword + ";"));
  ASSERT_TRUE(slow.SetAutoCommit(false));
  ASSERT_EQ(slow.Execute("UPDATE korvane.server SET remark = 'late' WHERE id = ?", {kept.id}), 1);
  const auto before = editor.ChangesSince(changes->upTo, error);
  ASSERT_TRUE(before) << error.detail;
  ASSERT_TRUE(slow.Commit());
  const auto after = editor.ChangesSince(before->upTo, error);
  ASSERT_TRUE(after) << error.detail;
  bool late = false;
  for (const TeamServer& server : after->changed) late = late || (server.id == kept.id && server.remark == "late");
  EXPECT_TRUE(late);

  // Who changed a row is the database's session user, whatever the statement says; a member
  // may not even name the stamps.
  EXPECT_FALSE(slow.Execute("UPDATE korvane.server SET changed_by = 'somebody else' WHERE id = ?", {kept.id}));
  slow.Rollback();
  ASSERT_TRUE(Raw().Execute("UPDATE korvane.server SET changed_by = 'somebody else', changed_at = '2000-01-01' WHERE id = ?",
                            {changed.id}));
  const auto who = Rows(Raw(), "SELECT id, changed_by, changed_at > now() - interval '1 hour' FROM korvane.server ORDER BY id");
  ASSERT_EQ(who.size(), 3u);
  EXPECT_EQ(std::get<std::string>(who[0][1]), TestDatabase::UserOf(slowUser));
  EXPECT_EQ(std::get<std::string>(who[1][1]), "postgres");
  EXPECT_EQ(std::get<std::string>(who[2][1]), TestDatabase::UserOf(editorUser));
}

TEST_F(TeamTest, AReaderReadsAndLogsButChangesNothingAndTheLogOnlyGrows) {
  const std::string viewerUser = User(database->roles().viewer);
  auto editor = Member();
  TeamServer server = Server("10.3.0.1", "pw");
  TeamError error;
  ASSERT_TRUE(editor->Add(server, error)) << error.detail;
  TeamStore viewer;
  auto key = admin.KeyOf("passphrase one", error);
  ASSERT_TRUE(viewer.Connect(viewerUser, kMemberPassword, error) && viewer.UseKey(std::move(*key), error)) << error.detail;

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

  // The log names the server's host and port as its row has them, and only a server there is.
  ASSERT_TRUE(viewer.LogConnection(server.id, error)) << error.detail;
  ASSERT_TRUE(editor->LogConnection(server.id, error)) << error.detail;
  EXPECT_FALSE(editor->LogConnection(server.id + 100, error));
  const auto log = viewer.ConnectionLog("", error);
  ASSERT_TRUE(log && log->size() == 2) << error.detail;
  EXPECT_EQ((*log)[0].member, TestDatabase::UserOf(viewerUser));
  EXPECT_EQ((*log)[0].host, "10.3.0.1");
  EXPECT_EQ((*log)[0].port, "3389");
  EXPECT_EQ(viewer.ConnectionLog("2999-01-01", error)->size(), 0u);
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

  // The data file joins as a member's own database user.
  void Join(const std::string& connection) {
    TeamError error;
    auto key = admin.KeyOf("passphrase one", error);
    ASSERT_TRUE(key) << error.detail;
    session.Start(testing::JoinTeam(DataFilePath(), connection, kMemberPassword, *key, database->name()));
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
  Join(User());
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
  Join(User());
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
    // Refused, with what they saved named beside what was typed, which stays.
    ASSERT_FALSE(platform.messages.empty());
    EXPECT_NE(platform.messages.back().text.find("备注：现为“theirs”"), std::string::npos);
    EXPECT_EQ(platform.messages.back().text.find("主机："), std::string::npos);
    EXPECT_EQ(Row(0)[1], "theirs");
    EXPECT_EQ(other->Read(first.id, error)->remark, "theirs");
    // The second 确认 is the operator's choice, made knowing: it writes over theirs.
    window.SaveServer();
  };
  window.OpenEditorForModify();
  EXPECT_EQ(Row(0)[1], "mine");
  EXPECT_EQ(other->Read(first.id, error)->remark, "mine");

  // The other member changes the server again: 删除 of what this one saw is refused, and
  // the server stays.
  auto again = other->Read(first.id, error);
  again->remark = "theirs again";
  ASSERT_TRUE(other->Change(*again, error)) << error.detail;
  form.SelectRow(kList, 0);
  platform.answers.push_back(MessageAnswer::Yes);
  window.OnEvent({EventKind::MenuItem, Id(MainMenuItem::删除)});
  EXPECT_EQ(platform.messages.back().text, kChangedByAnotherMessage);
  EXPECT_EQ(other->List(error)->size(), 2u);

  // The database's owner points the server at another user: its password no longer opens,
  // the details say so with an empty password box, and 修改 stores one typed anew.
  ASSERT_EQ(Raw().Execute("UPDATE korvane.server SET username = 'evil' WHERE id = ?", {first.id}), 1);
  const std::size_t before = platform.messages.size();
  form.SelectRow(kList, 0);
  window.OnEvent({EventKind::LeftClick, kList});
  ASSERT_EQ(platform.messages.size(), before + 1);
  EXPECT_EQ(platform.messages.back().text, kTeamPasswordDoesNotOpenMessage);
  EXPECT_EQ(form.Text(Id(C::编辑框_用户名)), "evil");
  EXPECT_EQ(form.Text(Id(C::编辑框_密码)), "");
  editors.script = [](testing::FakeForm& editor, EditorWindow& window) {
    editor.SetText(Id(EditorControl::编辑框_用户名), "ops");
    editor.SetText(Id(EditorControl::编辑框_密码), "typed again");
    window.SaveServer();
  };
  window.OpenEditorForModify();
  EXPECT_EQ(other->Read(first.id, error)->password, "typed again");
}

TEST_F(TeamWindowTest, ATeamOutOfReachEndsTheRunNamingTheServerAndWritesNothing) {
  // Nothing listens on port 1.
  const std::string unreachable = testing::Replaced(User(), "Port=", "Port=1;Unused=");
  Join(unreachable);
  window.OnMainWindowCreated();
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_TRUE(platform.messages[0].text.starts_with("无法打开团队服务器列表（127.0.0.1）：无法连接："))
      << platform.messages[0].text;
  EXPECT_EQ(platform.endProgramCalls, 1);
  EXPECT_EQ(form.ListRowCount(kList), 0);
}

TEST_F(TeamWindowTest, AnotherMembersChangesReachTheListWithoutMovingTheOperatorsPlace) {
  Join(User());
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

  // The details follow the server they show when another member changes it, and 连接 reads it
  // again: a change the refresh has not brought yet still reaches the connection file.
  window.OnEvent({EventKind::LeftClick, kList});
  auto details = [&] { return form.Text(Id(C::编辑框_端口)) + " " + form.Text(Id(C::编辑框_密码)); };
  EXPECT_EQ(details(), "3389 p");
  servers[3].port = "4002";
  servers[3].password = "new";
  ASSERT_TRUE(other->Change(servers[3], error)) << error.detail;
  window.OnEvent({EventKind::Timer});
  EXPECT_EQ(details(), "4002 new");
  servers[3].port = "4003";
  ASSERT_TRUE(other->Change(servers[3], error)) << error.detail;
  form.SetComboIndex(Id(C::组合框_分辨率), 0);
  window.OnEvent({EventKind::Clicked, Id(C::按钮1)});  // 连接
  ASSERT_EQ(platform.writtenFiles.size(), 1u) << (platform.messages.empty() ? "" : platform.messages[0].text);
  EXPECT_NE(platform.writtenFiles[0].text.find("full address:s:10.4.0.3:4003\r\n"), std::string::npos);
  EXPECT_EQ(Row(form.ListCurrentRow(kList))[3], "4003");
  // What the operator typed over the details is theirs: a refresh leaves it.
  form.SetText(Id(C::编辑框_端口), "5000");
  servers[3].remark = "r3 again";
  ASSERT_TRUE(other->Change(servers[3], error)) << error.detail;
  window.OnEvent({EventKind::Timer});
  EXPECT_EQ(details(), "5000 new");
  // A server deleted under details that are its own takes them with it.
  form.SetText(Id(C::编辑框_端口), "4003");
  ASSERT_TRUE(other->Delete(servers[3].id, servers[3].version, error)) << error.detail;
  window.OnEvent({EventKind::Timer});
  EXPECT_EQ(details(), " ");
  EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
}

TEST_F(TeamWindowTest, AReaderIsToldBeforeAnyEditorAndEveryConnectIsLogged) {
  const std::string viewer = User(database->roles().viewer);
  Join(viewer);
  TeamError error;
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
  EXPECT_EQ((*log)[0].member, TestDatabase::UserOf(viewer));
}

}  // namespace
}  // namespace korvane
