// A member's korvane.exe on a team whose database server keeps a standby: the server killed
// under the running program and the standby promoted in its place, the program goes on with
// the standby as if nothing had happened. Needs the pair that
// tests/scripts/team_failover_wine.sh starts, which also does the kill when the test asks.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "operator.h"
#include "platform/text_win32.h"
#include "store/team.h"
#include "support/team_member.h"
#include "support/test_server.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;
using testing::Cells;
using testing::WaitForRowCount;

// The script's folder, a Linux path, as this program sees it.
std::string Windows(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return "Z:" + path;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Asks the script for a step (a file named `request`) and waits for its answer.
bool Ask(const std::string& folder, const std::string& request, const std::string& answer) {
  std::ofstream(folder + "\\" + request) << "now\n";
  const auto deadline = std::chrono::steady_clock::now() + 90s;
  while (!Exists(folder + "\\" + answer) && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(100ms);
  return Exists(folder + "\\" + answer);
}

// The list's remark in `row` comes to be `remark` within a few refreshes.
::testing::AssertionResult RemarkShows(testing::Operator& op, int row, const std::wstring& remark) {
  std::wstring shown;
  for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(50ms)) {
    shown = op.app->ListRow(op.list, row, 4)[1];
    if (shown == remark) return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "the list shows " << Narrow(shown);
}

TEST(TeamFailoverTest, TheNextChangeAfterTheStandbyTakesOverGoesThroughAndTheListStaysLive) {
  REQUIRE_SERVER(server);
  const char* control = std::getenv("KORVANE_TEST_FAILOVER");
  if (control == nullptr) GTEST_SKIP() << "needs a server with a standby: tests/scripts/team_failover_wine.sh";
  const std::string folder = Windows(control);
  testing::TestDatabase database(server);
  TeamStore admin;
  TeamError error;
  auto key = testing::MakeTeam(admin, database.connection(), server.password, "团队 口令");
  ASSERT_TRUE(key);
  TeamServer first{0, 0, "10.9.9.9", "3389", "运维", "服务器 密码 9", "机房"};
  ASSERT_TRUE(key && admin.Add(first, error)) << error.detail;
  // The member's file names both servers and takes the writable one, as the README's set-up has it.
  testing::TempDir dir("korvane 备用");
  testing::MakeDataFile(dir.File("mstsc.mdb"));
  const std::string alice = database.AddUser("alice pw", database.roles().editor);
  const std::string bobUser = database.AddUser("bob pw", database.roles().editor);
  ASSERT_NE(alice.find("Server=127.0.0.1,127.0.0.2;"), std::string::npos) << alice;
  testing::JoinTeam(dir.File("mstsc.mdb"), alice, "alice pw", *key, database.name());
  ASSERT_FALSE(::testing::Test::HasFatalFailure());

  testing::Operator a{dir.path()};
  a.LogIn(L"admin");
  ASSERT_NE(a.list, nullptr);
  a.ChooseFromListMenu(-1, 0);
  a.Edit(L"添加服务器", Cells{L"10.9.9.10", L"3389", L"运维", L"第二", L"杀掉之前"});
  ASSERT_TRUE(WaitForRowCount(a.list, 2));

  // A change the server commits without waiting for the standby, which never gets it: the
  // list shows it, and it dies with the server.
  ASSERT_TRUE(Ask(folder, "hold", "held")) << "the server did not stop sending to the standby";
  ASSERT_TRUE(database.db().Execute("SET synchronous_commit = local")) << database.db().Error().message;
  ASSERT_TRUE(database.db().Execute("UPDATE korvane.server SET remark = '只在旧服务器上' WHERE id = " +
                                    std::to_string(first.id)))
      << database.db().Error().message;
  EXPECT_TRUE(RemarkShows(a, 0, L"只在旧服务器上"));

  // The server is killed, and the standby promoted, while the program sits idle.
  ASSERT_TRUE(Ask(folder, "kill", "promoted")) << "the standby was not promoted";

  // The operator's next click reads from the standby, and from then on the live list is the
  // standby's: the change lost with the old server goes from it too.
  a.ClickRow(1);
  if (!testing::WaitForText(testing::At(a.main, L"Edit", testing::at::kServerPassword), L"第二")) a.ClickRow(1);
  EXPECT_TRUE(testing::WaitForText(testing::At(a.main, L"Edit", testing::at::kServerPassword), L"第二"));
  EXPECT_EQ(a.app->VisibleWindows(), std::vector<HWND>{a.main});
  EXPECT_TRUE(RemarkShows(a, 0, L"机房"));
  // So does the next change, with no message in between.
  a.ChooseFromListMenu(-1, 0);
  a.Edit(L"添加服务器", Cells{L"10.9.9.11", L"3389", L"运维", L"第三", L"杀掉之后"});
  ASSERT_TRUE(WaitForRowCount(a.list, 3));
  EXPECT_EQ(a.app->VisibleWindows(), std::vector<HWND>{a.main});
  EXPECT_EQ(a.app->ListRow(a.list, 2, 4)[1], L"杀掉之后");

  // The standby has all three, and a change another member makes there reaches the list.
  TeamStore bob;
  ASSERT_TRUE(bob.Connect(bobUser, "bob pw", error)) << error.detail;
  auto bobKey = bob.KeyOf("团队 口令", error);
  ASSERT_TRUE(bobKey && bob.UseKey(std::move(*bobKey), error)) << error.detail;
  auto listed = bob.List(error);
  ASSERT_TRUE(listed) << error.detail;
  EXPECT_EQ(listed->size(), 3u);
  TeamServer changed = *bob.Read(first.id, error);
  changed.remark = "备用 上改的";
  ASSERT_TRUE(bob.Change(changed, error)) << error.detail;
  EXPECT_TRUE(RemarkShows(a, 0, L"备用 上改的"));

  testing::PostKey(a.main, VK_ESCAPE);
  EXPECT_EQ(a.app->WaitForExit(20s), 0u);
}

}  // namespace
}  // namespace korvane
