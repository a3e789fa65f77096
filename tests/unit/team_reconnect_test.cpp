// A member's connection that its server ended (a restart, a standby taking over, sessions
// ended by the database's administrator) costs the operator nothing: the next action finds
// out first and goes on a new connection.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "store/team.h"
#include "support/team_member.h"
#include "support/test_server.h"

namespace korvane {
namespace {

TEST(TeamReconnectTest, AnActionAfterTheServerEndedTheConnectionGoesThroughOnANewOne) {
  REQUIRE_SERVER(server);
  testing::TestDatabase database(server);
  TeamStore admin, member;
  TeamError error;
  auto key = testing::MakeTeam(admin, database.connection(), server.password, "passphrase");
  const std::string user = database.AddUser("member pw", database.roles().editor);
  ASSERT_TRUE(key && member.Connect(user, "member pw", error) && member.UseKey(std::move(*key), error)) << error.detail;
  TeamServer first{0, 0, "10.1.1.1", "3389", "ops", "one", "before"};
  ASSERT_TRUE(member.Add(first, error)) << error.detail;

  const auto ended = testing::Rows(database.db(), "SELECT pg_catalog.pg_terminate_backend(pid) FROM pg_catalog.pg_stat_activity"
                                                  " WHERE usename = '" + testing::TestDatabase::UserOf(user) + "'");
  ASSERT_EQ(ended.size(), 1u);
  // The operator comes back to the window a little later.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));

  TeamServer second{0, 0, "10.1.1.2", "3389", "ops", "two", "after"};
  EXPECT_TRUE(member.Add(second, error)) << error.detail;
  first.remark = "changed after";
  EXPECT_TRUE(member.Change(first, error)) << error.detail;
  auto listed = admin.List(error);
  ASSERT_TRUE(listed) << error.detail;
  ASSERT_EQ(listed->size(), 2u);
  EXPECT_EQ((*listed)[0].remark, "changed after");
  EXPECT_EQ((*listed)[1].remark, "after");
}

}  // namespace
}  // namespace korvane
