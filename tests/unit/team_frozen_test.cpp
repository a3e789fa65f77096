// A team's database server that stops answering, as one whose processes were stopped: the
// window's refresh does not wait for it, the login and the next action say within seconds that
// it did not answer, and once it answers again the next action works.
#include <gtest/gtest.h>

#include "app/program.h"
#include "servers/main_layout.h"
#include "servers/main_window.h"
#include "support/data_files.h"
#include "support/fake_form.h"
#include "support/fake_platform.h"
#include "support/freezing_proxy.h"
#include "support/scripted_editor.h"
#include "support/team_member.h"
#include "support/test_server.h"

namespace korvane {
namespace {

constexpr ControlId kList = Id(MainControl::超级列表框1);

class FrozenTeamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::FindServer(server)) GTEST_SKIP() << "no test server: scripts/test starts one";
    database = std::make_unique<testing::TestDatabase>(server);
    TeamError error;
    ASSERT_TRUE(admin.Connect(database->connection(), server.password, error)) << error.detail;
    ASSERT_TRUE(admin.Init("passphrase", error, 1000)) << error.detail;
    for (const char* remark : {"a", "b"}) {
      TeamServer added{0, 0, "10.0.0.1", "3389", "ops", "pw", remark};
      ASSERT_TRUE(admin.Add(added, error)) << error.detail;
      ids.push_back(added.id);
    }
    // The window reaches the database through the proxy, the administrator directly; the window
    // as a member's own database user with the editor's role.
    std::string connection = database->AddUser("member pw", database->roles().editor);
    const auto port = connection.find("Port=") + 5;
    proxy = std::make_unique<testing::FreezingProxy>(std::stoi(connection.substr(port)));
    ASSERT_NE(proxy->port(), 0);
    connection.replace(port, connection.find(';', port) - port, std::to_string(proxy->port()));
    SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
    testing::MakeDataFile(DataFilePath());
    auto key = admin.KeyOf("passphrase", error);
    ASSERT_TRUE(key) << error.detail;
    session.Start(testing::JoinTeam(DataFilePath(), connection, "member pw", *key, database->name()));
  }

  std::vector<std::string> Remarks() const {
    std::vector<std::string> remarks;
    for (int row = 0; row < form.ListRowCount(kList); ++row) remarks.push_back(form.ListCell(kList, row, 1));
    return remarks;
  }

  testing::TestServer server;
  std::unique_ptr<testing::TestDatabase> database;
  TeamStore admin;
  std::vector<long long> ids;
  std::unique_ptr<testing::FreezingProxy> proxy;
  testing::TempDir dir{"korvane 冻结"};
  testing::FakeForm form{MainLayout()};
  testing::FakePlatform platform;
  testing::ScriptedEditor editors{platform};
  LoginSession session;
  MainWindow window{form, platform, editors, session};
};

TEST_F(FrozenTeamTest, TheRefreshDoesNotWaitAndTheNextActionSaysTheDatabaseDidNotAnswer) {
  window.OnMainWindowCreated();
  ASSERT_EQ(Remarks(), (std::vector<std::string>{"a", "b"}));
  // The refresh's wait runs on a thread of its own: held back here, so that what the window's
  // own thread does is seen alone.
  form.holdBackgroundWork = true;
  proxy->Freeze();
  TeamError error;
  TeamServer changed = *admin.Read(ids[1], error);
  changed.remark = "b changed";
  ASSERT_TRUE(admin.Change(changed, error)) << error.detail;

  window.OnEvent({EventKind::Timer});
  EXPECT_EQ(Remarks(), (std::vector<std::string>{"a", "b"}));
  form.SelectRow(kList, 0);
  // The first waits behind the refresh's question; the second tries a new connection.
  window.OnEvent({EventKind::MenuItem, Id(MainMenuItem::删除)});
  window.OnEvent({EventKind::MenuItem, Id(MainMenuItem::删除)});
  EXPECT_FALSE(proxy->ThawedByItself()) << "the window waited for the database";
  ASSERT_EQ(platform.messages.size(), 2u);  // and no question whether to delete
  for (const auto& message : platform.messages) {
    EXPECT_NE(message.text.find("（127.0.0.1）"), std::string::npos) << message.text;
    EXPECT_NE(message.text.find("没有回答"), std::string::npos) << message.text;
  }
  EXPECT_EQ(admin.List(error)->size(), 2u);

  // Answering again: the next action connects anew and works, and so does the refresh.
  proxy->Thaw();
  window.OnEvent({EventKind::MenuItem, Id(MainMenuItem::删除)});
  EXPECT_EQ(platform.messages.back().caption, "询问");
  EXPECT_EQ(Remarks(), (std::vector<std::string>{"b changed"}));
  form.holdBackgroundWork = false;
  form.FinishBackgroundWork();
  TeamServer added{0, 0, "10.0.0.2", "3389", "ops", "pw", "c"};
  ASSERT_TRUE(admin.Add(added, error)) << error.detail;
  window.OnEvent({EventKind::Timer});
  EXPECT_EQ(Remarks(), (std::vector<std::string>{"b changed", "c"}));
}

TEST_F(FrozenTeamTest, TheLoginSaysTheDatabaseDidNotAnswer) {
  proxy->Freeze();
  window.OnMainWindowCreated();
  EXPECT_FALSE(proxy->ThawedByItself()) << "the login waited for the database";
  ASSERT_EQ(platform.messages.size(), 1u);
  const std::string& text = platform.messages[0].text;
  EXPECT_TRUE(text.starts_with("无法打开团队服务器列表（127.0.0.1）：") && text.find("没有回答") != std::string::npos) << text;
  EXPECT_EQ(platform.endProgramCalls, 1);
}

}  // namespace
}  // namespace korvane
