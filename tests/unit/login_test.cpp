#include <gtest/gtest.h>

#include "app/program.h"
#include "datatool/messages.h"
#include "login/login_layout.h"
#include "login/login_window.h"
#include "store/protection.h"
#include "support/data_files.h"
#include "support/fake_form.h"
#include "support/fake_platform.h"

namespace korvane {
namespace {

using testing::FakeForm;
using testing::FakePlatform;
using testing::RunSql;

// Records the main window's load and what the login window looked like at that moment.
struct RecordingLoader : WindowLoader {
  explicit RecordingLoader(const FakeForm& login) : login(login) {}
  bool LoadMainWindow() override {
    ++loads;
    loginHiddenAtLoad = login.hidden;
    loginDestroyedAtLoad = login.destroyed;
    return created;
  }
  const FakeForm& login;
  bool created = true;
  int loads = 0;
  bool loginHiddenAtLoad = false;
  bool loginDestroyedAtLoad = true;
};

class LoginTest : public ::testing::Test {
 protected:
  LoginTest() : dir("korvane 登录 测试") {
    SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
    platform.executablePath = dir.File("korvane.exe");
  }

  void MakeData(const std::string& password = "admin") { testing::MakeDataFile(DataFilePath(), password); }

  void Attempt(const std::string& password) {
    form.SetText(Id(LoginControl::编辑框_Pass), password);
    login.CheckLogin();
  }

  bool LoggedIn() const { return loader.loads == 1 && form.destroyed; }

  testing::TempDir dir;
  FakeForm form{LoginLayout()};
  FakePlatform platform;
  RecordingLoader loader{form};
  LoginWindow login{form, platform, loader};
};

TEST_F(LoginTest, GoodPasswordHidesLoadsMainWindowThenDestroys) {
  MakeData("s3cret 口令");
  Attempt("s3cret 口令");
  EXPECT_TRUE(LoggedIn());
  EXPECT_TRUE(loader.loginHiddenAtLoad);
  EXPECT_FALSE(loader.loginDestroyedAtLoad);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(platform.endProgramCalls, 0);
}

TEST_F(LoginTest, AMainWindowThatCannotBeMadeIsReportedAndEndsWithAFailureCode) {
  MakeData();
  loader.created = false;
  Attempt("admin");
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "主窗口无法创建，本次运行将取消.");
  EXPECT_EQ(platform.endProgramCalls, 1);
  EXPECT_NE(platform.lastExitCode, 0);
}

TEST_F(LoginTest, WrongPasswordsAreCountedAndTheThirdEndsWithoutAMessage) {
  MakeData();
  Attempt("wrong");
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "密码错误！请仔细检查后再次登陆");
  EXPECT_EQ(platform.messages[0].caption, "第1次错误");
  EXPECT_EQ(platform.messages[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(platform.messages[0].icon, MessageIcon::None);
  EXPECT_FALSE(form.hidden);
  EXPECT_EQ(form.Text(Id(LoginControl::编辑框_Pass)), "wrong");

  Attempt("Admin");
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[1].caption, "第2次错误");
  EXPECT_EQ(platform.endProgramCalls, 0);

  Attempt("admin ");
  EXPECT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.endProgramCalls, 1);
  EXPECT_EQ(loader.loads, 0);
}

TEST_F(LoginTest, EnterAndClickShareOneCountAndOtherKeysDoNothing) {
  MakeData();
  form.SetText(Id(LoginControl::编辑框_Pass), "bad");
  login.OnEvent({EventKind::KeyDown, Id(LoginControl::编辑框_Pass), 'A'});
  login.OnEvent({EventKind::KeyDown, Id(LoginControl::编辑框_Pass), 9});
  EXPECT_EQ(login.LoginFailureCount(), 0);
  login.OnEvent({EventKind::KeyDown, Id(LoginControl::编辑框_Pass), kKeyEnter});
  login.OnEvent({EventKind::Clicked, Id(LoginControl::按钮1)});
  EXPECT_EQ(login.LoginFailureCount(), 2);
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[1].caption, "第2次错误");
  form.SetText(Id(LoginControl::编辑框_Pass), "admin");
  login.OnEvent({EventKind::KeyDown, Id(LoginControl::编辑框_Pass), kKeyEnter});
  EXPECT_TRUE(LoggedIn());
}

// Clicks and keys while a protected file's check runs in the background neither start a second
// check nor count; the check keeps the password typed when it began.
TEST_F(LoginTest, AttemptsWhileAProtectedCheckRunsAreIgnored) {
  MakeData();
  {
    DBConnection db;
    StoreError error;
    ASSERT_TRUE(db.OpenAccess(DataFilePath(), kDatabasePassword));
    ASSERT_TRUE(ProtectDataFile(db.Handle(), "admin", error, 1000)) << tool::Say(error);
  }
  form.holdBackgroundWork = true;
  Attempt("wrong");
  form.SetText(Id(LoginControl::编辑框_Pass), "admin");
  login.OnEvent({EventKind::Clicked, Id(LoginControl::按钮1)});
  login.OnEvent({EventKind::KeyDown, Id(LoginControl::编辑框_Pass), kKeyEnter});
  EXPECT_EQ(login.LoginFailureCount(), 0);
  form.FinishBackgroundWork();
  EXPECT_EQ(login.LoginFailureCount(), 1);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].caption, "第1次错误");

  Attempt("admin");
  form.FinishBackgroundWork();
  EXPECT_TRUE(LoggedIn());
}

TEST_F(LoginTest, GoodPasswordAfterTwoWrongOnesIsAccepted) {
  MakeData();
  Attempt("x");
  Attempt("y");
  Attempt("admin");
  EXPECT_TRUE(LoggedIn());
  EXPECT_EQ(platform.endProgramCalls, 0);
}

TEST_F(LoginTest, EmptyPasswordMatchesOnlyAnEmptyPassNeverANullOne) {
  MakeData();
  RunSql(DataFilePath(), "update Login set Pass=NULL");
  Attempt("");
  EXPECT_EQ(login.LoginFailureCount(), 1);
  RunSql(DataFilePath(), "update Login set Pass=''");
  Attempt("");
  EXPECT_TRUE(LoggedIn());
}

TEST_F(LoginTest, TheRowMustCarryTheLoginKey) {
  MakeData();
  RunSql(DataFilePath(), "update Login set \"Key\"='by.oxle'");
  Attempt("admin");
  EXPECT_EQ(login.LoginFailureCount(), 1);
  EXPECT_EQ(loader.loads, 0);
}

TEST_F(LoginTest, MissingDataFileIsReportedThenTheWebPageOpensAndTheProgramEnds) {
  Attempt("admin");
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, DataFilePath() + "失踪!\r\n请检查系统的完整性!本次运行将取消.");
  EXPECT_EQ(platform.messages[0].caption, "信息：");
  EXPECT_EQ(platform.messages[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(platform.shellTargets, std::vector<std::string>{kWebAddress});
  EXPECT_EQ(platform.endProgramCalls, 1);
  EXPECT_EQ(loader.loads, 0);
}

TEST_F(LoginTest, FileWithoutLoginTableCountsEveryAttemptAsWrong) {
  MakeData();
  RunSql(DataFilePath(), "drop table Login");
  Attempt("admin");
  Attempt("admin");
  EXPECT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[1].caption, "第2次错误");
  Attempt("admin");
  EXPECT_EQ(platform.endProgramCalls, 1);
  EXPECT_EQ(loader.loads, 0);
}

TEST_F(LoginTest, SqlInjectionNeverLogsIn) {
  MakeData();
  const char* attacks[] = {
      "' or ''='",
      "' or '1'='1",
      "' or 1=1 --",
      "' or 1=1/*",
      "admin' --",
      "admin'--",
      "' or \"Key\"='By.Oxle' --",
      "x' or Pass like '%",
      "' union select * from Login --",
      "' union select 'By.Oxle','x' --",
      "'; drop table Login; --",
      "'; update Login set Pass='x'; --",
      "') or ('a'='a",
      "' or Pass is not null or '",
      "' or 'x'<>'",
      "' or length(Pass)>0 or '",
      "%",
      "_____",
      "admin'",
      "'admin",
      "' || Pass || '",
      "\" or \"\"=\"",
      "' or Pass glob '*",
      "x' or exists(select 1 from Login) or 'x'='",
  };
  for (const char* attack : attacks) {
    SCOPED_TRACE(attack);
    FakeForm freshForm{LoginLayout()};
    FakePlatform freshPlatform;
    RecordingLoader freshLoader{freshForm};
    LoginWindow fresh{freshForm, freshPlatform, freshLoader};
    freshForm.SetText(Id(LoginControl::编辑框_Pass), attack);
    fresh.CheckLogin();
    EXPECT_EQ(freshLoader.loads, 0);
    EXPECT_EQ(fresh.LoginFailureCount(), 1);
    ASSERT_EQ(freshPlatform.messages.size(), 1u);
    EXPECT_EQ(freshPlatform.messages[0].caption, "第1次错误");
  }
  // The table came through unharmed: the real password still works.
  Attempt("admin");
  EXPECT_TRUE(LoggedIn());
}

}  // namespace
}  // namespace korvane
