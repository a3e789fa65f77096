// An import into a team's list, on the private PostgreSQL of the test run, while other members
// add servers too: what the list holds by the time of the write is not added again.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "import/server_writer.h"
#include "support/test_server.h"

namespace korvane {
namespace {

using import::ImportedServer;

class TeamImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::FindServer(server)) GTEST_SKIP() << "no test server: scripts/test starts one";
    database = std::make_unique<testing::TestDatabase>(server);
    TeamStore admin;
    ASSERT_TRUE(admin.Connect(database->connection(), server.password, error)) << error.detail;
    ASSERT_TRUE(admin.Init("passphrase", error, 1000)) << error.detail;
  }

  // A member connected as a database user of its own with the team's editor role.
  std::unique_ptr<TeamStore> Member() {
    auto store = std::make_unique<TeamStore>();
    EXPECT_TRUE(store->Connect(database->AddUser("member pw", database->roles().editor), "member pw", error));
    auto key = store->KeyOf("passphrase", error);
    EXPECT_TRUE(key && store->UseKey(std::move(*key), error)) << error.detail;
    return store;
  }

  testing::TestServer server;
  std::unique_ptr<testing::TestDatabase> database;
  TeamError error;
};

TEST_F(TeamImportTest, ServersAnotherMemberAddedSinceThePreviewAreLeftOut) {
  const std::vector<ImportedServer> rows = {{"10.0.0.7", "3389", "ops", "七 密码", "七"},
                                            {"10.0.0.8", "3389", "ops", "八 密码", "八"},
                                            {"10.0.0.8", "3389", "ops", "另一个", "八的另一个密码"}};
  auto first = Member(), second = Member();
  import::TeamServers firsts(*first), seconds(*second);
  import::Sorting preview;
  ASSERT_TRUE(SortRows(firsts, rows, preview));
  ASSERT_EQ(preview.added.size(), 3u);
  import::Addition meanwhile, addition;
  ASSERT_TRUE(seconds.AddNew({&rows[0]}, meanwhile));
  ASSERT_TRUE(firsts.AddNew(preview.added, addition));
  EXPECT_EQ(addition.there, std::vector<const ImportedServer*>{&rows[0]});
  EXPECT_EQ(addition.added, (std::vector<const ImportedServer*>{&rows[1], &rows[2]}));
  EXPECT_EQ(first->List(error)->size(), 3u);
}

// Two members who import the same servers at the same moment: each reads the list before the
// other's rows are in it, and still no server is there twice, and neither is told it failed.
TEST_F(TeamImportTest, TwoMembersImportingTheSameServersAtOnceAddThemOnce) {
  std::vector<ImportedServer> rows;
  for (int i = 0; i < 300; ++i) rows.push_back({"10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250), "3389", "ops", "pw", "r"});
  std::vector<const ImportedServer*> all;
  for (const auto& row : rows) all.push_back(&row);
  auto first = Member(), second = Member();
  import::TeamServers firsts(*first), seconds(*second);
  import::Addition one, other;
  bool oneAdded = false;
  std::thread racing([&] { oneAdded = firsts.AddNew(all, one); });
  const bool otherAdded = seconds.AddNew(all, other);
  racing.join();
  // The one refused at its commit tries again, and finds the other's servers there.
  EXPECT_TRUE(oneAdded && otherAdded) << error.detail;
  EXPECT_EQ(one.added.size() + other.added.size(), 300u);
  auto list = first->List(error);
  ASSERT_TRUE(list) << error.detail;
  std::set<std::string> hosts;
  for (const TeamServer& s : *list) hosts.insert(s.host);
  EXPECT_EQ(list->size(), 300u);
  EXPECT_EQ(hosts.size(), 300u);
}

}  // namespace
}  // namespace korvane
