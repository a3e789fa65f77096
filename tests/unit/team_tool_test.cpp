// The data tool's team commands on real data files and a real PostgreSQL server: what the
// members of a team share, and what stays each file's own.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <optional>
#include <sstream>

#include "app/program.h"
#include "datatool/data_tool.h"
#include "store/membership.h"
#include "store/protection.h"
#include "store/schema.h"
#include "store/store.h"
#include "store/team.h"
#include "support/data_files.h"
#include "support/test_server.h"

namespace korvane {
namespace {

using Server = std::array<std::string, 5>;  // host, port, user, password, remark
using testing::Rows;

constexpr const char* kPassphrase = "team 口令 one";
constexpr const char* kMemberPassword = "member pw";
// Few rounds of key derivation: the count changes nothing but the time.
constexpr unsigned long kFewRounds = 1000;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TeamToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_SERVER(server);
    server_ = server;
    database_.emplace(server);
    TeamStore store;
    TeamError error;
    ASSERT_TRUE(store.Connect(database_->connection(), server.password, error) &&
                store.Init(kPassphrase, error, kFewRounds))
        << error.detail;
    name_ = database_->name();
  }

  // A data file with these servers of its own, protected with the login password admin.
  std::string File(const std::string& name, const std::vector<Server>& servers, bool protect = true) {
    const std::string path = dir_.File(name);
    testing::MakeDataFile(path);
    for (const auto& s : servers) testing::AddServer(path, s[0], s[1], s[2], s[3], s[4]);
    DBConnection db;
    StoreError error;
    EXPECT_TRUE(!protect || (db.OpenAccess(path, kDatabasePassword) &&
                             ProtectDataFile(db.Handle(), "admin", error, kFewRounds)));
    return path;
  }

  // The tool with these lines on standard input: the secrets it asks for, in order.
  int Tool(const std::vector<std::string>& arguments, const std::string& lines = "admin\n") {
    out_.str("");
    err_.str("");
    std::istringstream in(lines);
    ToolInput input;
    input.lines = &in;
    return RunDataTool(arguments, input, out_, err_);
  }

  // Joins as a member's own database user, with `role` only (the editor's by default).
  int Join(const std::string& path, const std::string& passphrase = kPassphrase, std::string role = {}) {
    if (role.empty()) role = database_->roles().editor;
    return Tool({"team", "join", path, database_->AddUser(kMemberPassword, role)},
                "admin\n" + std::string(kMemberPassword) + "\n" + passphrase + "\n");
  }

  static std::optional<Membership> MembershipOf(const std::string& path) {
    DBConnection db;
    StoreError error;
    if (!db.OpenAccess(path, kDatabasePassword)) return std::nullopt;
    const auto keys = CheckLoginPassword(db.Handle(), kLoginKey, "admin");
    return keys ? ReadMembership(db.Handle(), *keys, error) : std::nullopt;
  }

  testing::TestServer server_;
  std::optional<testing::TestDatabase> database_;
  std::string name_;
  testing::TempDir dir_{"korvane team"};
  std::ostringstream out_, err_;
};

TEST_F(TeamToolTest, InitMakesATeamOnlyInAnEmptyDatabaseOfItsOwn) {
  testing::TestDatabase other(server_);
  ASSERT_TRUE(other.db().Execute("CREATE TABLE inventory (id integer)"));
  const std::string secrets = server_.password + "\n" + kPassphrase + "\n";
  const struct {
    const char* sql;  // run first, as the administrator
    std::string connection;
    int exit;
    std::string says;  // on standard output after success, else on standard error
    long long teamTables;
  } steps[] = {
      {"", other.connection() + "Pwd={x};", 1, "the connection string holds a password (Pwd=...)", 0},
      {"", other.connection(), 1, "holds 1 tables, views or sequences of its own already", 0},
      {"DROP TABLE inventory", other.connection(), 0,
       "made team " + other.name() + " on 127.0.0.1, with its own roles: " + other.name() + "_viewer may read", 1},
      {"", other.connection(), 1, "database " + other.name() + " on 127.0.0.1 holds a team already", 1},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.says);
    if (*step.sql) {
      ASSERT_TRUE(other.db().Execute(step.sql));
    }
    EXPECT_EQ(Tool({"team", "init", step.connection}, secrets), step.exit);
    EXPECT_NE((step.exit == 0 ? out_ : err_).str().find(step.says), std::string::npos) << err_.str();
    EXPECT_EQ(Rows(other.db(), "SELECT count(*) FROM pg_tables WHERE schemaname = 'korvane' AND tablename = 'team'"),
              (std::vector<std::vector<SqlValue>>{{step.teamTables}}));
  }
  TeamStore store;
  TeamError error;
  ASSERT_TRUE(store.Connect(other.connection(), server_.password, error));
  EXPECT_TRUE(store.KeyOf(kPassphrase, error)) << error.detail;
}

TEST_F(TeamToolTest, InitAndJoinSayWhyADatabaseCannotHoldOrBeATeam) {
  const std::string secrets = server_.password + "\n" + kPassphrase + "\n";
  // A name the team's roles cannot be named after: nothing is made, not even a role.
  testing::TestDatabase admin(server_);
  ASSERT_TRUE(admin.db().Execute("CREATE DATABASE \"Ops-Team\""));
  const std::string odd = testing::Replaced(admin.connection(), "Database=" + admin.name() + ";", "Database=Ops-Team;");
  EXPECT_EQ(Tool({"team", "init", odd}, secrets), 1);
  EXPECT_NE(err_.str().find("\"Ops-Team\" cannot name them"), std::string::npos) << err_.str();
  EXPECT_EQ(Rows(admin.db(), "SELECT count(*) FROM pg_roles WHERE rolname LIKE 'Ops-Team%'"),
            (std::vector<std::vector<SqlValue>>{{0LL}}));
  EXPECT_TRUE(admin.db().Execute("DROP DATABASE \"Ops-Team\""));
  // A team of an earlier version (its table in public) is named as such, not as no team.
  ASSERT_TRUE(admin.db().Execute("CREATE TABLE korvane_team (name text PRIMARY KEY, value text NOT NULL)"));
  EXPECT_EQ(Tool({"team", "join", File("old.mdb", {}), admin.connection()}, "admin\n" + secrets), 1);
  EXPECT_NE(err_.str().find("made by an earlier version of this program"), std::string::npos) << err_.str();
}

TEST_F(TeamToolTest, JoinTakesOnlyAProtectedFileAndEverySecretRight) {
  // A member's own database user, with only the role the administrator grants.
  const std::string member = database_->AddUser("member pw", database_->roles().editor);
  const std::string plain = File("plain.mdb", {}, false), file = File("mine.mdb", {{"h", "1", "u", "p", "r"}});
  const struct {
    const char* name;
    std::string path, secrets;
    int exit;
    const char* says;
    bool memberAfter;
    std::string connection = {};  // the member's own when empty
  } cases[] = {
      {"plain file", plain, "admin\nmember pw\n" + std::string(kPassphrase) + "\n", 1,
       "not protected: only a protected data file can join a team", false},
      {"wrong login password", file, "nimda\nmember pw\n" + std::string(kPassphrase) + "\n", 1,
       "that is not the login password", false},
      {"wrong database password", file, "admin\nmember\n" + std::string(kPassphrase) + "\n", 1,
       "cannot connect to the database server 127.0.0.1: ", false},
      {"wrong passphrase", file, "admin\nmember pw\nteam 口令 two\n", 1, "that is not the team's passphrase", false},
      {"no passphrase", file, "admin\nmember pw\n", 1, "no password on standard input", false},
      // The driver takes each of these passwords; the file would keep it in plain text.
      {"password in the connection", file, "admin\nmember pw\n" + std::string(kPassphrase) + "\n", 1, "(Pwd=...)",
       false, "Pwd=member pw;" + member},
      {"password after an empty pair", file, "admin\nmember pw\n" + std::string(kPassphrase) + "\n", 1, "(Pwd=...)",
       false, ";Pwd=member pw;" + member},
      {"password in libpq's options", file, "admin\nmember pw\n" + std::string(kPassphrase) + "\n", 1,
       "(password=...)", false, member + "pqopt={sslmode=prefer password='member pw'}"},
      {"all right", file, "admin\nmember pw\n" + std::string(kPassphrase) + "\n", 0, "joined team ", true},
      {"member already", file, "admin\nmember pw\n" + std::string(kPassphrase) + "\n", 1, "leave the team first",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Tool({"team", "join", c.path, c.connection.empty() ? member : c.connection}, c.secrets), c.exit);
    EXPECT_NE((c.exit == 0 ? out_ : err_).str().find(c.says), std::string::npos) << err_.str();
    DBConnection db;
    ASSERT_TRUE(db.OpenAccess(c.path, kDatabasePassword));
    EXPECT_EQ(IsTeamMember(db.Handle()), c.memberAfter);
  }
  const auto membership = MembershipOf(file);
  ASSERT_TRUE(membership);
  EXPECT_EQ(membership->connection, member);
  EXPECT_EQ(membership->name, name_);
  EXPECT_EQ(membership->password, "member pw");
  // The connection string is plain in the file; one changed behind the member's back must not
  // send the database password to another server.
  const std::string elsewhere = testing::Replaced(member, "Server=127.0.0.1;", "Server=localhost;");
  testing::RunSql(file, "UPDATE Team SET value = '" + elsewhere + "' WHERE name = 'connection'");
  EXPECT_FALSE(MembershipOf(file));
  EXPECT_EQ(Tool({"list", file}), 1);
  EXPECT_NE(err_.str().find("membership does not open"), std::string::npos) << err_.str();
  testing::RunSql(file, "UPDATE Team SET value = '" + member + "' WHERE name = 'connection'");
  // The member's user reads and writes the team's list with the role alone.
  ASSERT_EQ(Tool({"add-server", file, "10.0.0.9", "3389", "ops", "pw", "web"}), 0) << err_.str();
  ASSERT_EQ(Tool({"list", file}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "id\tremark\thost\tport\tuser\n1\tweb\t10.0.0.9\t3389\tops\n");
}

// A team the member cannot reach (here its login taken away) fails the command that needed it.
TEST_F(TeamToolTest, AddServerAndCheckFailWhenTheTeamCannotBeReached) {
  const std::string file = File("mine.mdb", {});
  ASSERT_EQ(Join(file), 0) << err_.str();
  const auto membership = MembershipOf(file);
  ASSERT_TRUE(membership);
  const std::string user = testing::TestDatabase::UserOf(membership->connection);
  ASSERT_TRUE(database_->db().Execute("ALTER ROLE \"" + user + "\" NOLOGIN"));
  for (const std::vector<std::string>& command : {std::vector<std::string>{"add-server", file, "h", "1", "u", "p", "r"},
                                                  std::vector<std::string>{"check", file}}) {
    EXPECT_EQ(Tool(command), 1) << command[0];
    EXPECT_EQ(out_.str(), "");
    EXPECT_NE(err_.str().find("cannot connect to the database server 127.0.0.1"), std::string::npos) << err_.str();
  }
  ASSERT_TRUE(database_->db().Execute("ALTER ROLE \"" + user + "\" LOGIN"));
  EXPECT_EQ(Tool({"check", file}), 0) << err_.str();
  EXPECT_NE(out_.str().find("which holds 0 servers"), std::string::npos) << out_.str();
}

TEST_F(TeamToolTest, PushSkipsOnlyServersAlikeWithTheirPassword) {
  const std::string file = File("mine.mdb", {{"h1", "3389", "u", "pw1", "mine"},
                                             {"h1", "3389", "u", "pw2", "other password"},
                                             {"h2", "22", "root", "pw3", ""}});
  ASSERT_EQ(Join(file), 0) << err_.str();
  ASSERT_EQ(Tool({"add-server", file, "h1", "3389", "u", "pw1", "the team's"}), 0) << err_.str();
  ASSERT_EQ(Tool({"team", "push", file}), 0) << err_.str();
  EXPECT_EQ(out_.str(), file + ": added 2 servers to team " + name_ +
                            " (1 already there, 1 beside a server with another password)\n");
  ASSERT_EQ(Tool({"list", "--show-passwords", file}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "id\tremark\thost\tport\tuser\tpassword\n"
                        "1\tthe team's\th1\t3389\tu\tpw1\n"
                        "2\tother password\th1\t3389\tu\tpw2\n"
                        "3\t\th2\t22\troot\tpw3\n");
  ASSERT_EQ(Tool({"team", "push", file}), 0) << err_.str();
  EXPECT_EQ(out_.str(), file + ": added 0 servers to team " + name_ + " (3 already there)\n");
}

TEST_F(TeamToolTest, LeaveNeedsTheLoginPasswordAndGivesBackTheFilesOwnServers) {
  const std::string file = File("mine.mdb", {{"own-1", "1", "u", "p1", "a"}, {"own-2", "2", "u", "p2", "b"}});
  ASSERT_EQ(Join(file), 0) << err_.str();
  ASSERT_EQ(Tool({"add-server", file, "shared", "3389", "ops", "pw", "team"}), 0) << err_.str();
  ASSERT_EQ(Tool({"list", file}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "id\tremark\thost\tport\tuser\n1\tteam\tshared\t3389\tops\n");

  EXPECT_EQ(Tool({"team", "leave", file}, "wrong\n"), 1);
  EXPECT_NE(err_.str().find("that is not the login password"), std::string::npos) << err_.str();
  EXPECT_TRUE(MembershipOf(file));
  ASSERT_EQ(Tool({"team", "leave", file}), 0) << err_.str();
  EXPECT_EQ(out_.str(), file + ": left its team; its list is its own 2 servers again\n");
  ASSERT_EQ(Tool({"list", "--show-passwords", file}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "id\tremark\thost\tport\tuser\tpassword\n1\ta\town-1\t1\tu\tp1\n2\tb\town-2\t2\tu\tp2\n");
}

TEST_F(TeamToolTest, OnlyTheAdministratorRekeysAndOtherMembersJoinAgain) {
  const std::string mine = File("mine.mdb", {}), theirs = File("theirs.mdb", {});
  ASSERT_EQ(Join(mine, kPassphrase, database_->roles().admin), 0) << err_.str();
  ASSERT_EQ(Join(theirs), 0) << err_.str();
  ASSERT_EQ(Tool({"add-server", mine, "h", "3389", "u", "secret", "r"}), 0) << err_.str();

  // An editor is told who may, and nothing changes.
  EXPECT_EQ(Tool({"team", "rekey", theirs}, "admin\nteam 口令 two\n"), 1);
  EXPECT_NE(err_.str().find("only the team's administrator (a member of the database role " + name_ + "_admin)"),
            std::string::npos)
      << err_.str();
  ASSERT_EQ(Tool({"team", "rekey", mine}, "admin\nteam 口令 two\n"), 0) << err_.str();
  EXPECT_EQ(out_.str().rfind("team " + name_ + " has a new passphrase, and " + mine + " uses it.", 0), 0u)
      << out_.str();
  EXPECT_EQ(Tool({"list", theirs}), 1);
  EXPECT_NE(err_.str().find("the team has a new passphrase since this file joined"), std::string::npos) << err_.str();
  ASSERT_EQ(Tool({"list", "--show-passwords", mine}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "id\tremark\thost\tport\tuser\tpassword\n1\tr\th\t3389\tu\tsecret\n");

  ASSERT_EQ(Tool({"team", "leave", theirs}), 0) << err_.str();
  EXPECT_EQ(Join(theirs), 1);
  EXPECT_NE(err_.str().find("that is not the team's passphrase"), std::string::npos) << err_.str();
  ASSERT_EQ(Join(theirs, "team 口令 two"), 0) << err_.str();
  EXPECT_EQ(Tool({"list", theirs}), 0) << err_.str();
}

// export, import and check on a member file: the team's servers, in the form the file's own take.
TEST_F(TeamToolTest, ExportImportAndCheckOfAMemberFileWorkOnTheTeam) {
  const std::vector<Server> servers = {{"10.0.0.1", "3389", "Administrator", "a,b\"c", "机房, 二楼"},
                                       {"=1+2", "", "", "", "'note"}};
  const std::string plain = File("plain.mdb", servers, false), member = File("member.mdb", servers);
  ASSERT_EQ(Join(member), 0) << err_.str();
  ASSERT_EQ(Tool({"team", "push", member}), 0) << err_.str();
  const std::string fromFile = dir_.File("file.csv"), fromTeam = dir_.File("team.csv");
  ASSERT_EQ(Tool({"export", plain, fromFile}), 0) << err_.str();
  ASSERT_EQ(Tool({"export", member, fromTeam}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "exported 2 servers to " + fromTeam + "\n");
  EXPECT_EQ(ReadBytes(fromTeam), ReadBytes(fromFile));

  const std::string csv = dir_.File("more.csv");
  testing::WriteBytes(csv, "host,port,user,password,remark\r\n10.0.0.1,3389,Administrator,\"a,b\"\"c\",x\r\nn,1,u,p,\r\n");
  ASSERT_EQ(Tool({"import", member, csv}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "imported 1 server from " + csv + " (1 already there)\n");
  ASSERT_EQ(Tool({"check", member}), 0) << err_.str();
  EXPECT_EQ(out_.str(), member + ": OK, a protected data file of this program with 2 servers of its own, member of team " +
                            name_ + " on 127.0.0.1, which holds 3 servers, every password of them opening\n");
  // One value that does not open: check says which, export and list go on without it.
  ASSERT_TRUE(database_->db().Execute("UPDATE korvane.server SET host = 'elsewhere' WHERE id = 1"));
  const std::string named = "team " + name_ + ": the password of 1 server does not open";
  EXPECT_EQ(Tool({"check", member}), 1);
  EXPECT_NE(err_.str().find(named), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("\n    1\t机房, 二楼\telsewhere\n"), std::string::npos) << err_.str();
  ASSERT_EQ(Tool({"export", member, dir_.File("again.csv")}), 0) << err_.str();
  EXPECT_NE(err_.str().find(named), std::string::npos) << err_.str();
  EXPECT_EQ(Tool({"list", "--show-passwords", member}), 1);
  EXPECT_NE(err_.str().find(named), std::string::npos) << err_.str();
  EXPECT_NE(out_.str().find("\n1\t机房, 二楼\telsewhere\t3389\tAdministrator\t\n2\t"), std::string::npos) << out_.str();
}

TEST_F(TeamToolTest, JoinsOverCheckedTlsAndTheLogShowsEveryConnectSinceADate) {
  // The certificate of the test server names 127.0.0.1 only.
  const std::string tls = "SSLMode=verify-full;pqopt={sslrootcert=" + server_.ca + "};";
  const std::string file = File("tls.mdb", {});
  const std::string editor = database_->AddUser(kMemberPassword, database_->roles().editor);
  const std::string secrets = "admin\n" + std::string(kMemberPassword) + "\n" + kPassphrase + "\n";
  EXPECT_EQ(Tool({"team", "join", file, testing::Replaced(editor, "Server=127.0.0.1;", "Server=localhost;") + tls}, secrets),
            1);
  EXPECT_NE(err_.str().find("does not match host name \"localhost\""), std::string::npos) << err_.str();
  ASSERT_EQ(Tool({"team", "join", file, editor + tls}, secrets), 0) << err_.str();

  ASSERT_EQ(Tool({"add-server", file, "10.0.0.7", "3389", "u", "p", "a"}), 0) << err_.str();
  ASSERT_EQ(Tool({"add-server", file, "db", "3390", "u", "p", "b"}), 0) << err_.str();
  const std::string viewer = database_->AddUser(kMemberPassword, database_->roles().viewer);
  TeamStore member;
  TeamError error;
  ASSERT_TRUE(member.Connect(viewer, kMemberPassword, error));
  ASSERT_TRUE(member.LogConnection(1, error) && member.LogConnection(2, error)) << error.detail;
  ASSERT_EQ(Tool({"team", "log", file}), 0) << err_.str();
  const std::string text = out_.str();
  const std::string who = testing::TestDatabase::UserOf(viewer);
  // The administrator's settings first, as a team made now has them.
  EXPECT_TRUE(text.starts_with("team " + name_ + ": offline copy: not allowed; history days: 90\n"
                               "time\tmember\tserver\thost\tport\n"))
      << text;
  EXPECT_NE(text.find("\t" + who + "\t1\t10.0.0.7\t3389\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\t" + who + "\t2\tdb\t3390\n"), std::string::npos) << text;
  ASSERT_EQ(Tool({"team", "log", file, "--since", "2999-01-01"}), 0) << err_.str();
  EXPECT_TRUE(out_.str().ends_with("\ntime\tmember\tserver\thost\tport\n")) << out_.str();
  EXPECT_EQ(Tool({"team", "log", file, "--since"}), 2);
}

}  // namespace
}  // namespace korvane
