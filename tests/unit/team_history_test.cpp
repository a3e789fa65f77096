// The history of a team's list, through the data tool as members use it, on a real PostgreSQL:
// members connect as their own database users with their role alone, and try at their own psql
// what the program would never send.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <sstream>

#include "datatool/data_tool.h"
#include "app/program.h"
#include "store/protection.h"
#include "store/schema.h"
#include "store/store.h"
#include "store/team.h"
#include "support/data_files.h"
#include "support/test_server.h"

namespace korvane {
namespace {

using testing::Rows;
using Table = std::vector<std::vector<SqlValue>>;

constexpr const char* kPassphrase = "history passphrase";
constexpr const char* kMemberPassword = "member pw";

class TeamHistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_SERVER(server);
    server_ = server;
    database_.emplace(server);
    TeamStore store;
    TeamError error;
    ASSERT_TRUE(store.Connect(database_->connection(), server.password, error) && store.Init(kPassphrase, error, 1000))
        << error.detail;
    name_ = database_->name();
    editor_ = Member("editor.mdb", database_->roles().editor);
    reader_ = Member("reader.mdb", database_->roles().viewer);
    for (const char* host : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) {
      ASSERT_EQ(Tool({"add-server", editor_, host, "3389", "ops", std::string("pw of ") + host, "r"}), 0) << err_.str();
    }
  }

  // A protected data file joined as a new database user that holds `role` only.
  std::string Member(const std::string& file, const std::string& role) {
    const std::string path = dir_.File(file);
    testing::MakeDataFile(path);
    DBConnection db;
    StoreError error;
    EXPECT_TRUE(db.OpenAccess(path, kDatabasePassword) && ProtectDataFile(db.Handle(), "admin", error, 1000));
    users_[path] = database_->AddUser(kMemberPassword, role);
    EXPECT_EQ(Tool({"team", "join", path, users_[path]}, "admin\n" + std::string(kMemberPassword) + "\n" + kPassphrase + "\n"),
              0)
        << err_.str();
    return path;
  }

  int Tool(const std::vector<std::string>& arguments, const std::string& lines = "admin\n") {
    out_.str("");
    err_.str("");
    std::istringstream in(lines);
    ToolInput input;
    input.lines = &in;
    return RunDataTool(arguments, input, out_, err_);
  }

  // The member's own psql: its database user, nothing more.
  std::unique_ptr<OdbcConnection> Psql(const std::string& file) {
    auto db = std::make_unique<OdbcConnection>();
    EXPECT_TRUE(db->Connect(users_[file] + "Pwd=" + kMemberPassword + ";")) << db->Error().message;
    return db;
  }

  std::string Passwords(const std::string& file) {
    EXPECT_EQ(Tool({"list", "--show-passwords", file}), 0) << err_.str();
    return out_.str();
  }

  Table History() {
    return Rows(database_->db(), "SELECT id, server, version, host, password, replaced_by, deleted"
                                 " FROM korvane.server_history ORDER BY id");
  }

  // As the superuser, past the history's guard, for what only a broken or hostile server does.
  void Behind(const std::string& sql) {
    ASSERT_TRUE(database_->db().Execute("SET session_replication_role = replica"));
    EXPECT_TRUE(database_->db().Execute(sql)) << database_->db().Error().message;
    ASSERT_TRUE(database_->db().Execute("SET session_replication_role = origin"));
  }

  std::string Now() { return std::get<std::string>(Rows(database_->db(), "SELECT now()::text").at(0).at(0)); }

  testing::TestServer server_;
  std::optional<testing::TestDatabase> database_;
  std::string name_, editor_, reader_;
  std::map<std::string, std::string> users_;
  testing::TempDir dir_{"korvane history"};
  std::ostringstream out_, err_;
};

TEST_F(TeamHistoryTest, AServerDeletedAtAnEditorsPsqlComesBackWithItsPasswordButNotForAReader) {
  // Another server on the same host, at another port: not the deleted one.
  ASSERT_EQ(Tool({"add-server", editor_, "10.0.0.2", "3390", "ops", "pw at 3390", "r"}), 0) << err_.str();
  const std::string before = Passwords(editor_);
  auto psql = Psql(editor_);
  EXPECT_FALSE(psql->Execute("DELETE FROM korvane.server"));
  EXPECT_NE(psql->Error().message.find("permission denied for table server"), std::string::npos);
  EXPECT_EQ(Rows(*psql, "SELECT korvane.delete_server(2, 1)"), (Table{{1LL}}));

  EXPECT_EQ(Tool({"team", "restore", reader_, "2"}), 1);
  EXPECT_NE(err_.str().find("may only read the list"), std::string::npos) << err_.str();
  EXPECT_EQ(Tool({"team", "restore", editor_, "7"}), 1);
  EXPECT_NE(err_.str().find("no version of server 7"), std::string::npos) << err_.str();

  ASSERT_EQ(Tool({"team", "history", reader_, "2"}), 0) << err_.str();
  const std::string who = testing::TestDatabase::UserOf(users_[editor_]);
  EXPECT_NE(out_.str().find("\t" + who + "\tdeleted\t2\t1\t10.0.0.2\t3389\tops\tr\topens\n"), std::string::npos)
      << out_.str();
  EXPECT_EQ(out_.str().find("pw of"), std::string::npos) << out_.str();

  ASSERT_EQ(Tool({"team", "restore", editor_, "2"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "team " + name_ + ": server 2 came back from change 1 as server 5\n");
  const std::string restored = testing::Replaced(before, "2\tr\t10.0.0.2\t3389\tops\tpw of 10.0.0.2\n", "") +
                               "5\tr\t10.0.0.2\t3389\tops\tpw of 10.0.0.2\n";
  EXPECT_EQ(Passwords(editor_), restored);
  // Restored again (a second operator, the same instruction): once is enough.
  ASSERT_EQ(Tool({"team", "restore", editor_, "2"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "team " + name_ + ": the list holds server 2 as change 1 kept it already, as server 5; nothing changed\n");
  EXPECT_EQ(Passwords(editor_), restored);

  // In place, at the version read: what it overwrites is kept in turn, and can come back.
  ASSERT_TRUE(psql->Execute("UPDATE korvane.server SET remark = 'renamed' WHERE id = 1"));
  ASSERT_EQ(Tool({"team", "restore", editor_, "1"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "team " + name_ + ": server 1 has the values of change 2 again\n");
  EXPECT_EQ(Rows(database_->db(), "SELECT remark, version FROM korvane.server WHERE id = 1"), (Table{{"r", 3LL}}));
  ASSERT_EQ(Tool({"team", "restore", editor_, "1", "3"}), 0) << err_.str();
  EXPECT_EQ(Rows(database_->db(), "SELECT remark FROM korvane.server WHERE id = 1"), (Table{{"renamed"}}));
}

TEST_F(TeamHistoryTest, NoMemberWritesOrLocksTheHistoryButThroughTheList) {
  ASSERT_EQ(Rows(*Psql(editor_), "SELECT korvane.delete_server(1, 1)"), (Table{{1LL}}));
  const std::string admin = Member("admin.mdb", database_->roles().admin);
  const Table kept = History();
  ASSERT_EQ(kept.size(), 1u);
  constexpr const char* kDenied = "permission denied";
  const struct {
    std::string file;
    const char* sql;
    const char* says;
    bool inTransaction = false;  // LOCK TABLE is refused outside one whatever the rights
  } attempts[] = {
      {editor_, "INSERT INTO korvane.server_history (server, version, host, port, username, password, remark,"
                " changed_by, changed_at, replaced_by, replaced_at, deleted)"
                " VALUES (2, 1, 'x', '1', 'u', '', 'lie', 'boss', now(), 'boss', now(), true)", kDenied},
      {editor_, "UPDATE korvane.server_history SET replaced_by = 'boss'", kDenied},
      {editor_, "DELETE FROM korvane.server_history", kDenied},
      {editor_, "TRUNCATE korvane.server_history", kDenied},
      {editor_, "SELECT korvane.prune_history()", kDenied},
      {editor_, "SELECT korvane.set_setting('history days', '1')", kDenied},
      {reader_, "SELECT id FROM korvane.server_history FOR UPDATE", kDenied},
      {editor_, "LOCK TABLE korvane.server_history IN SHARE MODE", kDenied, true},
      // The administrator reseals kept passwords in a rekey, and changes nothing else ever.
      {admin, "UPDATE korvane.server_history SET password = ''", "only its seals, and only in a rekey"},
      {admin, "LOCK TABLE korvane.server_history IN SHARE MODE", kDenied, true},
      {admin, "UPDATE korvane.team SET value = '1' WHERE name = 'schema version'", "change only in a rekey"},
      {admin, "SELECT korvane.set_setting('schema version', '9')", "no setting schema version"},
      {admin, "SELECT korvane.set_setting('history days', '0')", "no setting history days"},
  };
  for (const auto& attempt : attempts) {
    SCOPED_TRACE(attempt.sql);
    auto psql = Psql(attempt.file);
    ASSERT_TRUE(!attempt.inTransaction || psql->SetAutoCommit(false));
    EXPECT_FALSE(psql->Execute(attempt.sql));
    EXPECT_NE(psql->Error().message.find(attempt.says), std::string::npos) << psql->Error().message;
  }
  EXPECT_EQ(History(), kept);
  EXPECT_EQ(Rows(database_->db(), "SELECT value FROM korvane.team WHERE name IN ('history days', 'schema version')"),
            (Table{{"3"}}));
}

// A change made late in a transaction that a member opened early is stamped when it was made,
// and so is the end of the version it replaced: the history says when values were there, not
// when their writer began.
TEST_F(TeamHistoryTest, AChangeIsStampedWhenItIsMadeNotWhenItsTransactionBegan) {
  auto psql = Psql(editor_);
  const Table began = Rows(*psql, "SELECT clock_timestamp()::text");
  ASSERT_EQ(began.size(), 1u);
  const std::string after = "'" + std::get<std::string>(began[0][0]) + "'::timestamptz + interval '1 second'";
  ASSERT_TRUE(psql->SetAutoCommit(false));
  ASSERT_TRUE(psql->Execute("SELECT pg_sleep(1)"));
  ASSERT_TRUE(psql->Execute("UPDATE korvane.server SET remark = 'late' WHERE id = 1"));
  ASSERT_TRUE(psql->Commit());
  EXPECT_EQ(Rows(database_->db(), "SELECT count(*) FROM korvane.server s JOIN korvane.server_history h ON h.server = s.id"
                                  " WHERE s.id = 1 AND s.changed_at >= " + after + " AND h.replaced_at = s.changed_at"),
            (Table{{1LL}}));
}

TEST_F(TeamHistoryTest, RestoreBeforeATimeBringsTheWholeListBackOrNothing) {
  const std::string then = Passwords(editor_);
  const std::string time = Now();
  auto psql = Psql(editor_);
  ASSERT_TRUE(psql->Execute("UPDATE korvane.server SET remark = 'later' WHERE id = 1"));
  ASSERT_EQ(Rows(*psql, "SELECT korvane.delete_server(3, 1)"), (Table{{1LL}}));
  ASSERT_EQ(Tool({"add-server", editor_, "10.0.0.4", "3389", "ops", "pw4", "new"}), 0) << err_.str();
  const std::string now = Passwords(editor_);

  // The deleted server's kept password spoiled: it comes after server 1's change, which the
  // transaction takes back with the rest.
  const Table sealed = Rows(database_->db(), "SELECT password FROM korvane.server_history WHERE server = 3");
  ASSERT_EQ(sealed.size(), 1u);
  Behind("UPDATE korvane.server_history SET password = 'spoiled' WHERE server = 3");
  EXPECT_EQ(Tool({"team", "restore", editor_, "--before", time}), 1);
  EXPECT_NE(err_.str().find("the password of team server 3 does not open"), std::string::npos) << err_.str();
  EXPECT_EQ(Passwords(editor_), now);

  Behind("UPDATE korvane.server_history SET password = '" + std::get<std::string>(sealed[0][0]) + "' WHERE server = 3");
  ASSERT_EQ(Tool({"team", "restore", editor_, "--before", time}), 0) << err_.str();
  EXPECT_NE(out_.str().find(": 1 server came back, 1 server changed back, 1 server deleted\n"), std::string::npos)
      << out_.str();
  EXPECT_EQ(Passwords(editor_), testing::Replaced(then, "3\tr\t10.0.0.3\t3389\tops\tpw of 10.0.0.3\n", "") + "5\tr\t10.0.0.3\t3389\tops\tpw of 10.0.0.3\n");
  // The server added since is in the history too, and a second restore changes nothing.
  EXPECT_EQ(Rows(database_->db(), "SELECT count(*) FROM korvane.server_history WHERE server = 4 AND deleted"),
            (Table{{1LL}}));
  ASSERT_EQ(Tool({"team", "restore", editor_, "--before", time}), 0) << err_.str();
  EXPECT_NE(out_.str().find(": 0 servers came back, 0 servers changed back, 0 servers deleted\n"), std::string::npos);

  EXPECT_EQ(Tool({"team", "restore", editor_, "--before", "2001-01-01"}), 1);
  EXPECT_NE(err_.str().find("and 2001-01-01 is before that; nothing changed"), std::string::npos) << err_.str();
}

TEST_F(TeamHistoryTest, KeptPasswordsStillOpenAfterARekeyWhichAddsNoHistory) {
  const std::string admin = Member("admin.mdb", database_->roles().admin);
  ASSERT_TRUE(Psql(editor_)->Execute("UPDATE korvane.server SET remark = 'x' WHERE id = 2"));
  const std::size_t kept = History().size();
  ASSERT_EQ(Tool({"team", "rekey", admin}, "admin\nnew passphrase\n"), 0) << err_.str();
  EXPECT_EQ(History().size(), kept);
  ASSERT_EQ(Tool({"team", "history", admin, "2"}), 0) << err_.str();
  EXPECT_TRUE(out_.str().ends_with("\tchanged\t2\t1\t10.0.0.2\t3389\tops\tr\topens\n")) << out_.str();
  ASSERT_EQ(Tool({"team", "restore", admin, "2"}), 0) << err_.str();
  EXPECT_NE(Passwords(admin).find("\n2\tr\t10.0.0.2\t3389\tops\tpw of 10.0.0.2\n"), std::string::npos);
}

TEST_F(TeamHistoryTest, TheAdministratorsDaysPruneTheHistoryAndOneServerKeepsAHundredVersions) {
  EXPECT_EQ(Tool({"team", "set", editor_, "history-days", "1"}), 1);
  EXPECT_NE(err_.str().find("only the team's administrator (a member of the database role " + name_ + "_admin)"),
            std::string::npos);
  const std::string admin = Member("admin.mdb", database_->roles().admin);
  ASSERT_EQ(Tool({"team", "set", admin, "history-days", "1"}), 0) << err_.str();
  ASSERT_EQ(Tool({"team", "set", admin, "offline-copy", "on"}), 0) << err_.str();
  ASSERT_EQ(Tool({"team", "check", reader_}), 0) << err_.str();
  EXPECT_NE(out_.str().find(": offline copy: allowed; history days: 1\n"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("on this one server only (synchronous_standby_names is empty)"), std::string::npos);

  // A loop of changes to one server at an editor's psql.
  auto psql = Psql(editor_);
  for (int i = 0; i < 105; ++i) ASSERT_TRUE(psql->Execute("UPDATE korvane.server SET remark = 'loop' WHERE id = 1"));
  // A hundred, and among them still the values from before the loop: the loop cannot push out
  // what it overwrote.
  EXPECT_EQ(Rows(database_->db(), "SELECT count(*), min(version) FROM korvane.server_history WHERE server = 1"),
            (Table{{100LL, 1LL}}));
  EXPECT_EQ(Rows(database_->db(), "SELECT remark FROM korvane.server_history WHERE server = 1 AND version = 1"),
            (Table{{"r"}}));
  Behind("UPDATE korvane.server_history SET replaced_at = now() - interval '25 hours' WHERE version <= 50");
  ASSERT_TRUE(psql->Execute("UPDATE korvane.server SET remark = 'once more' WHERE id = 2"));
  EXPECT_EQ(Rows(database_->db(), "SELECT count(*), min(version) FROM korvane.server_history"), (Table{{56LL, 1LL}}));
}

TEST_F(TeamHistoryTest, ATeamMadeAtVersionTwoWorksAndItsMakerUpgradesItOnce) {
  // What version 2 made: no history, no settings' function.
  ASSERT_TRUE(database_->db().Execute(
      "DROP TABLE korvane.server_history; DROP FUNCTION korvane.keep_history, korvane.prune_history,"
      " korvane.guard_history, korvane.set_setting CASCADE; DELETE FROM korvane.team WHERE name = 'history since';"
      " UPDATE korvane.team SET value = '2' WHERE name = 'schema version'"));
  ASSERT_EQ(Tool({"add-server", editor_, "10.0.0.9", "3389", "ops", "pw9", "v2"}), 0) << err_.str();
  EXPECT_EQ(Tool({"team", "history", editor_}), 1);
  EXPECT_NE(err_.str().find("korvane-data team upgrade CONNECTION"), std::string::npos) << err_.str();

  const std::string admin = Member("admin.mdb", database_->roles().admin);
  EXPECT_EQ(Tool({"team", "upgrade", users_[admin]}, std::string(kMemberPassword) + "\n"), 1);
  EXPECT_NE(err_.str().find("(a member of the database role " + name_ + "_owner)"), std::string::npos) << err_.str();
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(Tool({"team", "upgrade", database_->connection()}, server_.password + "\n"), 0) << err_.str();
  }
  EXPECT_EQ(out_.str(), "team " + name_ + " on 127.0.0.1: schema version 3 already; nothing done\n");
  ASSERT_EQ(Rows(*Psql(editor_), "SELECT korvane.delete_server(4, 1)"), (Table{{1LL}}));
  ASSERT_EQ(Tool({"team", "restore", editor_, "4"}), 0) << err_.str();
  EXPECT_NE(Passwords(reader_).find("\n5\tv2\t10.0.0.9\t3389\tops\tpw9\n"), std::string::npos);
}

// What PostgreSQL's documentation says of synchronous_commit: only on, remote_write and
// remote_apply wait for a synchronous standby, and only when synchronous_standby_names names one.
TEST(TeamDurability, OnlyAWaitingCommitWithANamedStandbyCountsAsOnTheStandby) {
  EXPECT_TRUE((TeamDurability{"korvane_standby", "on"}.OnStandby()));
  EXPECT_TRUE((TeamDurability{"ANY 1 (a, b)", "remote_write"}.OnStandby()));
  EXPECT_TRUE((TeamDurability{"*", "remote_apply"}.OnStandby()));
  EXPECT_FALSE((TeamDurability{"korvane_standby", "local"}.OnStandby()));
  EXPECT_FALSE((TeamDurability{"korvane_standby", "off"}.OnStandby()));
  EXPECT_FALSE((TeamDurability{"", "on"}.OnStandby()));
}

}  // namespace
}  // namespace korvane
