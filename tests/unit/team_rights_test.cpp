// What a team's member can do with its own database password and plain SQL, outside the
// program: each attempt below is one a member made on the team's database, with the answer
// PostgreSQL's rules give (no owner's rights, no other team, no wait past the bound, no
// password sent to another host).
#include <gtest/gtest.h>

#include <thread>

#include "store/team.h"
#include "support/test_server.h"

namespace korvane {
namespace {

using testing::Rows;
using testing::TestDatabase;

constexpr unsigned long kRounds = 1000;
constexpr const char* kPassword = "member pw";

class TeamRightsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::FindServer(server)) GTEST_SKIP() << "no test server: scripts/test starts one";
    team = std::make_unique<TestDatabase>(server);
    TeamError error;
    ASSERT_TRUE(admin.Connect(team->connection(), server.password, error)) << error.detail;
    ASSERT_TRUE(admin.Init("passphrase", error, kRounds)) << error.detail;
    for (int i = 0; i < 3; ++i) {
      TeamServer added{0, 0, "10.9.0." + std::to_string(i), "3389", "ops", "pw" + std::to_string(i), "r"};
      ASSERT_TRUE(admin.Add(added, error)) << error.detail;
      ids.push_back(added.id);
    }
    editorUser = team->AddUser(kPassword, team->roles().editor);
    viewerUser = team->AddUser(kPassword, team->roles().viewer);
  }

  // A member at its own psql: connected as its user, nothing more.
  static std::unique_ptr<OdbcConnection> Psql(const std::string& user) {
    auto db = std::make_unique<OdbcConnection>();
    EXPECT_TRUE(db->Connect(user + "Pwd=" + kPassword + ";")) << db->Error().message;
    return db;
  }

  std::unique_ptr<TeamStore> Store(const std::string& user) {
    auto store = std::make_unique<TeamStore>();
    TeamError error;
    EXPECT_TRUE(store->Connect(user, kPassword, error)) << error.detail;
    auto key = store->KeyOf("passphrase", error);
    EXPECT_TRUE(key && store->UseKey(std::move(*key), error)) << error.detail;
    return store;
  }

  // The rows as the owner sees them: nothing a refused attempt did may show here.
  std::vector<std::vector<SqlValue>> Table() {
    return Rows(team->db(), "SELECT id, version, host, port, username, password, remark, change, changed_by, changed_at"
                            " FROM korvane.server ORDER BY id");
  }

  testing::TestServer server;
  std::unique_ptr<TestDatabase> team;
  TeamStore admin;
  std::vector<long long> ids;
  std::string editorUser, viewerUser;
};

TEST_F(TeamRightsTest, NoStatementOfAMemberGetsTheOwnersRightsOrChangesWhatItMayNot) {
  const auto before = Table();
  const std::string id = std::to_string(ids[0]);
  const struct {
    const char* who;
    std::string sql;
  } attempts[] = {
      // Objects that a function running with the owner's rights would find before its own.
      {"editor", "CREATE TEMP TABLE server_deleted (id bigint PRIMARY KEY, change bigint)"},
      {"editor", "CREATE TEMP SEQUENCE korvane_change"},
      {"viewer", "CREATE FUNCTION public.nextval(text) RETURNS bigint LANGUAGE sql AS 'SELECT 1::bigint'"},
      {"viewer", "CREATE TABLE public.server (id bigint)"},
      {"editor", "CREATE TABLE korvane.server_deleted_2 (id bigint)"},
      // A server's id, version and stamps are the database's.
      {"editor", "UPDATE korvane.server SET id = 999 WHERE id = " + id},
      {"editor", "UPDATE korvane.server SET version = 1000, change = -1000000 WHERE id = " + id},
      {"editor", "UPDATE korvane.server SET changed_by = 'someone', changed_at = '2000-01-01' WHERE id = " + id},
      {"editor", "INSERT INTO korvane.server (id, host) VALUES (424242, 'planted')"},
      {"editor", "INSERT INTO korvane.server (host, change) VALUES ('planted', -1)"},
      // Whole-table locks and row operations beyond the role's.
      {"editor", "LOCK TABLE korvane.server IN ACCESS EXCLUSIVE MODE"},
      {"editor", "DELETE FROM korvane.server"},
      {"editor", "TRUNCATE korvane.server"},
      {"editor", "DELETE FROM korvane.server_deleted"},
      {"editor", "UPDATE korvane.pruned SET upto = 0"},
      {"viewer", "UPDATE korvane.server SET remark = 'x'"},
      {"viewer", "SELECT korvane.delete_server(" + id + ", 1)"},
      // Only the administrator rekeys or writes the team's settings.
      {"editor", "SELECT korvane.begin_rekey()"},
      {"editor", "UPDATE korvane.team SET value = '0' WHERE name = 'key check'"},
      // The log takes a server's id; host, port, who and when are the database's.
      {"viewer", "INSERT INTO korvane.connection_log (server, host) VALUES (" + id + ", 'made.up')"},
      {"viewer", "INSERT INTO korvane.connection_log (server, member) VALUES (" + id + ", 'someone')"},
      {"viewer", "INSERT INTO korvane.connection_log (server) VALUES (987654)"},
      {"editor", "UPDATE korvane.connection_log SET host = 'elsewhere'"},
      {"editor", "DELETE FROM korvane.connection_log"},
      // No value a connection file would split, and none of a size to burden every member.
      {"editor", "UPDATE korvane.server SET host = E'evil\\nfull address:s:10.0.0.1' WHERE id = " + id},
      {"editor", "UPDATE korvane.server SET remark = repeat('x', 1000000) WHERE id = " + id},
      // Nothing of the schema changes.
      {"editor", "ALTER TABLE korvane.server DISABLE TRIGGER server_stamp"},
      {"editor", "DROP TRIGGER server_forget ON korvane.server"},
      {"editor", "ALTER FUNCTION korvane.forget() SECURITY INVOKER"},
      {"editor", "SET session_replication_role = replica"},
  };
  auto editor = Psql(editorUser), viewer = Psql(viewerUser);
  // The administrator's writes outside a rekey are stamped as anyone's, and the key's
  // settings are not written at all.
  const std::string adminUser = team->AddUser(kPassword, team->roles().admin);
  auto administrator = Psql(adminUser);
  EXPECT_FALSE(administrator->Execute("UPDATE korvane.team SET value = 'x' WHERE name = 'key check'"));
  for (const auto& attempt : attempts) {
    OdbcConnection& db = std::string(attempt.who) == "editor" ? *editor : *viewer;
    EXPECT_FALSE(db.Execute(attempt.sql)) << attempt.who << ": " << attempt.sql;
  }
  EXPECT_EQ(Table(), before);
  ASSERT_EQ(administrator->Execute("UPDATE korvane.server SET password = 'planted' WHERE id = " + id), 1);
  const auto stamped = Rows(team->db(), "SELECT version, changed_by FROM korvane.server WHERE id = " + id);
  ASSERT_EQ(stamped.size(), 1u);
  EXPECT_EQ(std::get<long long>(stamped[0][0]), 2);
  EXPECT_EQ(std::get<std::string>(stamped[0][1]), TestDatabase::UserOf(adminUser));
  // Neither member holds the owner's role or the administrator's.
  for (const std::string& user : {editorUser, viewerUser}) {
    const auto roles = Rows(*Psql(user), "SELECT CASE WHEN pg_has_role(session_user, '" + team->roles().owner +
                                             "', 'MEMBER') OR pg_has_role(session_user, '" + team->roles().admin +
                                             "', 'MEMBER') THEN 'more' ELSE 'own' END");
    ASSERT_EQ(roles.size(), 1u);
    EXPECT_EQ(std::get<std::string>(roles[0][0]), "own") << user;
  }
}

TEST_F(TeamRightsTest, TwoTeamsOnOneServerStayApart) {
  TestDatabase other(server);
  TeamStore otherAdmin;
  TeamError error;
  ASSERT_TRUE(otherAdmin.Connect(other.connection(), server.password, error) && otherAdmin.Init("other", error, kRounds))
      << error.detail;
  EXPECT_NE(other.roles().editor, team->roles().editor);
  // A member of this team cannot even connect to the other's database, nor can anyone who is
  // not the other team's.
  OdbcConnection crossing;
  const std::string intoOther =
      testing::Replaced(editorUser, "Database=" + team->name() + ";", "Database=" + other.name() + ";");
  EXPECT_FALSE(crossing.Connect(intoOther + "Pwd=" + kPassword + ";"));
  EXPECT_NE(crossing.Error().message.find("permission denied"), std::string::npos) << crossing.Error().message;
  const std::string outsider = other.AddUser(kPassword, "pg_read_all_settings");
  OdbcConnection stranger;
  EXPECT_FALSE(stranger.Connect(outsider + "Pwd=" + kPassword + ";"));
  // The other team's own member works there as usual.
  const std::string theirs = other.AddUser(kPassword, other.roles().editor);
  TeamStore member;
  ASSERT_TRUE(member.Connect(theirs, kPassword, error)) << error.detail;
  EXPECT_TRUE(member.KeyOf("other", error)) << error.detail;
}

TEST_F(TeamRightsTest, OldTombstonesArePrunedAndAMemberThatAskedBeforeThemListsAnew) {
  auto member = Store(editorUser);
  TeamError error;
  const auto mark = member->LastChange(error);
  ASSERT_TRUE(mark) << error.detail;
  ASSERT_TRUE(member->Delete(ids[0], 1, error)) << error.detail;
  // Deleted 31 days ago, as far as the database knows; the next deletion prunes it.
  ASSERT_TRUE(team->db().Execute("UPDATE korvane.server_deleted SET deleted_at = now() - interval '31 days'"));
  const auto aged = Rows(team->db(), "SELECT change FROM korvane.server_deleted");
  ASSERT_EQ(aged.size(), 1u);
  ASSERT_TRUE(member->Delete(ids[1], 1, error)) << error.detail;
  const auto kept = Rows(team->db(), "SELECT id FROM korvane.server_deleted");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(std::get<long long>(kept[0][0]), ids[1]);
  EXPECT_EQ(Rows(team->db(), "SELECT upto FROM korvane.pruned"), (std::vector<std::vector<SqlValue>>{{aged[0][0]}}));
  // Asked from before the pruned deletion: the whole list comes, without the deleted servers.
  const auto changes = member->ChangesSince(*mark, error);
  ASSERT_TRUE(changes) << error.detail;
  EXPECT_TRUE(changes->complete);
  ASSERT_EQ(changes->changed.size(), 1u);
  EXPECT_EQ(changes->changed[0].id, ids[2]);

  // A double click logs one connect, not two.
  auto viewer = Store(viewerUser);
  ASSERT_TRUE(viewer->LogConnection(ids[2], error) && viewer->LogConnection(ids[2], error)) << error.detail;
  EXPECT_EQ(viewer->ConnectionLog("", error)->size(), 1u);
}

TEST_F(TeamRightsTest, AMemberHoldingLocksHoldsUpNoOneElseMoreThanTheBound) {
  // A member opens a transaction that changes one server and never ends it; no advisory lock
  // is needed by anyone, so it needs none of its own to block with.
  auto holder = Psql(editorUser);
  ASSERT_TRUE(holder->Execute("SELECT pg_advisory_lock(hashtext('korvane_change'))"));
  ASSERT_TRUE(holder->SetAutoCommit(false));
  ASSERT_EQ(holder->Execute("UPDATE korvane.server SET remark = 'held' WHERE id = ?", {ids[0]}), 1);

  auto other = Store(editorUser);
  TeamError error;
  // Every other server, and new ones, go ahead at once.
  auto second = other->Read(ids[1], error);
  ASSERT_TRUE(second) << error.detail;
  second->remark = "changed meanwhile";
  EXPECT_TRUE(other->Change(*second, error)) << error.detail;
  TeamServer added{0, 0, "10.9.1.1", "3389", "ops", "pw", "added meanwhile"};
  EXPECT_TRUE(other->Add(added, error)) << error.detail;
  auto changes = other->ChangesSince(0, error);
  EXPECT_TRUE(changes) << error.detail;
  // The held server is refused after the lock bound, as a timeout, not waited for.
  auto first = other->Read(ids[0], error);
  ASSERT_TRUE(first) << error.detail;
  first->remark = "mine";
  EXPECT_FALSE(other->Change(*first, error));
  EXPECT_EQ(error.reason, TeamReason::kTimedOut);
  EXPECT_EQ(error.detail, std::to_string(kTeamLockSeconds));
  // So is the administrator's rekey, which changes nothing.
  auto administrator = Store(team->AddUser(kPassword, team->roles().admin));
  const auto before = Table();
  EXPECT_FALSE(administrator->Rekey("another passphrase", error, kRounds));
  EXPECT_EQ(error.reason, TeamReason::kTimedOut);
  holder->Rollback();
  EXPECT_EQ(Table(), before);
  EXPECT_TRUE(other->KeyOf("passphrase", error)) << error.detail;
}

}  // namespace
}  // namespace korvane
