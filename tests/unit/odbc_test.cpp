// The ODBC layer against a real PostgreSQL server: the private one scripts/test starts for
// the run, natively and under Wine (whose odbc32 hands every call to the host's driver).
#include "store/odbc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_server.h"

namespace korvane {
namespace {

using testing::Replaced;
using testing::Rows;

TEST(OdbcTest, ConnectionsSucceedOrFailWithTheDriversReason) {
  REQUIRE_SERVER(server);
  const std::string tls = "SSLMode=verify-full;pqopt={sslrootcert=" + server.ca + "};";
  struct Case {
    const char* name;
    std::string connection;
    std::string password;
    const char* refusal;  // a piece of the driver's message; nullptr when it connects
  } cases[] = {
      {"right password", server.connection, server.password, nullptr},
      {"wrong password", server.connection, server.password + "x", "password authentication failed"},
      {"TLS, certificate checked", server.connection + tls, server.password, nullptr},
      // The certificate names 127.0.0.1 only; localhost reaches the same server.
      {"TLS, host the certificate does not name",
       Replaced(server.connection, "Server=127.0.0.1;", "Server=localhost;") + tls,
       server.password, "does not match host name \"localhost\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OdbcConnection connection;
    bool connected = connection.Connect(c.connection + "Pwd=" + c.password + ";");
    if (!c.refusal) {
      ASSERT_TRUE(connected) << connection.Error().sqlstate << " " << connection.Error().message;
      bool tls_expected = c.connection.find("SSLMode") != std::string::npos;
      auto rows = Rows(connection, "select count(*) from pg_stat_ssl where pid = pg_backend_pid() and ssl");
      EXPECT_EQ(rows, (std::vector<std::vector<SqlValue>>{{tls_expected ? 1LL : 0LL}}));
      continue;
    }
    EXPECT_FALSE(connected);
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_EQ(connection.Error().sqlstate.size(), 5u) << connection.Error().sqlstate;
    EXPECT_NE(connection.Error().message.find(c.refusal), std::string::npos) << connection.Error().message;
  }
}

TEST(OdbcTest, BoundValuesRoundTripAndARolledBackTransactionLeavesNothing) {
  REQUIRE_SERVER(server);
  OdbcConnection connection;
  ASSERT_TRUE(connection.Connect(server.connection + "Pwd=" + server.password + ";"))
      << connection.Error().message;
  ASSERT_TRUE(connection.Execute("create temporary table servers (id integer, host text, remark text)"))
      << connection.Error().message;

  // Longer than one piece of SQLGetData, with characters outside the BMP on the way.
  std::string long_remark;
  for (int i = 0; i < 1500; ++i) long_remark += "机房😀";
  const std::vector<std::vector<SqlValue>> kept = {
      {1LL, std::string("北京主服务器"), SqlValue{}},
      {2LL, std::string(), long_remark},
      {3LL, std::string("it's \"quoted\"; --"), std::string("Ørsted")},
  };
  OdbcStatement insert(connection);
  ASSERT_TRUE(insert.Prepare("insert into servers (id, host, remark) values (?, ?, ?)"))
      << insert.Error().message;
  for (const auto& row : kept) {
    EXPECT_TRUE(insert.Execute(row)) << insert.Error().message;
    EXPECT_EQ(insert.RowCount(), 1);
  }
  // Too big for the column: refused with the server's reason, never wrapped.
  EXPECT_FALSE(insert.Execute({3000000000LL, SqlValue{}, SqlValue{}}));
  EXPECT_EQ(insert.Error().sqlstate, "22003") << insert.Error().message;

  ASSERT_TRUE(connection.SetAutoCommit(false)) << connection.Error().message;
  EXPECT_EQ(connection.Execute("delete from servers where id = ?", {1LL}), 1);
  EXPECT_TRUE(insert.Execute({4LL, std::string("回滚"), SqlValue{}})) << insert.Error().message;
  ASSERT_TRUE(connection.Rollback()) << connection.Error().message;
  ASSERT_TRUE(connection.SetAutoCommit(true)) << connection.Error().message;

  EXPECT_EQ(Rows(connection, "select id, host, remark from servers order by id"),
            kept);
  EXPECT_EQ(connection.Execute("update servers set remark = ? where id = ?", {std::string("x"), 99LL}), 0)
      << connection.Error().message;
}

}  // namespace
}  // namespace korvane
