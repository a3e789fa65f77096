// The private PostgreSQL that scripts/test starts for a run (scripts/lib/postgres.sh), as the
// tests reach it: natively, and under Wine through the host's driver manager.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/odbc.h"
#include "store/team_schema.h"

namespace korvane::testing {

struct TestServer {
  std::string connection;  // without the password
  std::string password;
  std::string ca;
};

// scripts/test exports these; a test program run alone, without that server, skips.
bool FindServer(TestServer& server);

#define REQUIRE_SERVER(server)                                                              \
  ::korvane::testing::TestServer server;                                                    \
  if (!::korvane::testing::FindServer(server))                                              \
  GTEST_SKIP() << "no test server: KORVANE_TEST_PG, KORVANE_TEST_PG_PASSWORD and "          \
                  "KORVANE_TEST_PG_CA are set by scripts/test, which starts a private PostgreSQL"

// The first occurrence of `from` in `text` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to);

// Every row a query gives; fails the test when the server refuses it.
std::vector<std::vector<SqlValue>> Rows(OdbcConnection& connection, const std::string& sql);

// A new empty database of its own for one test, and login roles made for it, all dropped when
// it goes. Tests of several programs run at once: each name is made unique.
class TestDatabase {
 public:
  explicit TestDatabase(const TestServer& server);
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  const std::string& name() const { return name_; }
  // The connection string to it as the superuser, without the password.
  const std::string& connection() const { return connection_; }
  // Connected to it as the superuser.
  OdbcConnection& db() { return db_; }
  // The roles a team made in it has (team init makes them; they go with the database).
  TeamRoles roles() const { return *TeamRolesFor(name_); }

  // A login role with that password and the given role, and nothing more; the connection
  // string as that user, without the password.
  std::string AddUser(const std::string& password, const std::string& grantedRole);
  // The user's name in a connection string AddUser gave.
  static std::string UserOf(const std::string& connection);

 private:
  TestServer server_;
  OdbcConnection admin_, db_;
  std::string name_, connection_;
  std::vector<std::string> users_;
};

}  // namespace korvane::testing
