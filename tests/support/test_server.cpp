#include "support/test_server.h"

#include <cstdlib>
#include <random>

// The driver keeps a few bytes of a connection the server cut off until the program ends: the
// driver's, not ours, and no reason to fail a test that ends connections on purpose. (Read by
// the leak checker of the native build; every test of the server links this file.)
extern "C" const char* __lsan_default_suppressions() { return "leak:psqlodbcw.so\n"; }

namespace korvane::testing {
namespace {

std::string UniqueName(const std::string& prefix) {
  static const unsigned processUnique = std::random_device{}();
  static int counter = 0;
  return prefix + std::to_string(processUnique) + "_" + std::to_string(counter++);
}

}  // namespace

bool FindServer(TestServer& server) {
  const char* connection = std::getenv("KORVANE_TEST_PG");
  const char* password = std::getenv("KORVANE_TEST_PG_PASSWORD");
  const char* ca = std::getenv("KORVANE_TEST_PG_CA");
  if (!connection || !password || !ca) return false;
  server = {connection, password, ca};
  return true;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  auto at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::vector<std::vector<SqlValue>> Rows(OdbcConnection& connection, const std::string& sql) {
  OdbcStatement select(connection);
  EXPECT_TRUE(select.Prepare(sql) && select.Execute({})) << select.Error().message;
  std::vector<std::vector<SqlValue>> rows;
  std::vector<SqlValue> row;
  while (select.Fetch(row) == OdbcStatement::Fetched::kRow) rows.push_back(row);
  EXPECT_TRUE(select.Error().empty()) << select.Error().message;
  return rows;
}

TestDatabase::TestDatabase(const TestServer& server) : server_(server), name_(UniqueName("korvane_test_")) {
  EXPECT_TRUE(admin_.Connect(server.connection + "Pwd=" + server.password + ";")) << admin_.Error().message;
  EXPECT_TRUE(admin_.Execute("CREATE DATABASE " + name_)) << admin_.Error().message;
  connection_ = Replaced(server.connection, "Database=postgres;", "Database=" + name_ + ";");
  EXPECT_TRUE(db_.Connect(connection_ + "Pwd=" + server.password + ";")) << db_.Error().message;
}

TestDatabase::~TestDatabase() {
  db_.Disconnect();
  admin_.Execute("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
  for (const auto& user : users_) admin_.Execute("DROP ROLE IF EXISTS " + user);
  const TeamRoles team = roles();
  for (const std::string* role : {&team.admin, &team.editor, &team.viewer, &team.owner}) {
    admin_.Execute("DROP ROLE IF EXISTS " + *role);
  }
}

std::string TestDatabase::AddUser(const std::string& password, const std::string& grantedRole) {
  const std::string user = UniqueName("korvane_user_");
  users_.push_back(user);
  EXPECT_TRUE(admin_.Execute("CREATE ROLE " + user + " LOGIN PASSWORD '" + password + "' IN ROLE " + grantedRole))
      << admin_.Error().message;
  return Replaced(connection_, "Uid=postgres;", "Uid=" + user + ";");
}

std::string TestDatabase::UserOf(const std::string& connection) {
  const auto at = connection.find("Uid=") + 4;
  return connection.substr(at, connection.find(';', at) - at);
}

}  // namespace korvane::testing
