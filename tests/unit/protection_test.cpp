// Protected data files end to end through the windows' handlers and the data tool: what a
// copied file reveals, what each login opens, and that a refused change leaves the file alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/data_file_failure.h"
#include "app/program.h"
#include "login/login_layout.h"
#include "login/login_window.h"
#include "servers/editor_controls.h"
#include "servers/import_layout.h"
#include "servers/import_window.h"
#include "servers/main_layout.h"
#include "servers/main_window.h"
#include "datatool/data_tool.h"
#include "datatool/messages.h"
#include "store/protection.h"
#include "store/schema.h"
#include "support/data_files.h"
#include "support/fake_platform.h"
#include "support/scripted_editor.h"

namespace korvane {
namespace {

using C = MainControl;
using testing::RunSql;
constexpr ControlId kList = Id(C::超级列表框1);
const std::string kLogin = "门 key'1";
const std::vector<std::string> kPasswords = {"first 口令", "second-secret", ""};
std::string Host(size_t i) { return "10.0.0." + std::to_string(i + 1); }

std::string ReadBytes(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ProtectedFileTest : public ::testing::Test {
 protected:
  ProtectedFileTest() {
    SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
    testing::MakeDataFile(path, kLogin);
    for (size_t i = 0; i < kPasswords.size(); ++i) {
      testing::AddServer(path, Host(i), "3389", "u",
                         kPasswords[i].empty() ? std::nullopt : std::optional(kPasswords[i]), "r");
    }
  }

  // Few iterations: the count changes nothing but the time, which tests cannot spend at every turn.
  void Protect() {
    DBConnection db;
    StoreError error;
    ASSERT_TRUE(db.OpenAccess(path, kDatabasePassword));
    ASSERT_TRUE(ProtectDataFile(db.Handle(), kLogin, error, 1000)) << tool::Say(error);
  }
  std::optional<LoginKeys> Keys(const std::string& password) {
    DBConnection db;
    db.OpenAccess(path, kDatabasePassword);
    return CheckLoginPassword(db.Handle(), kLoginKey, password);
  }
  // Server.密码 in id order as stored; null as NULL. With `from`, each row's field instead.
  std::vector<std::string> Stored(const std::string& field = "coalesce(密码, 'NULL')", const char* from = "Server") {
    DBConnection db;
    RecordSet rows;
    rows.SetConnection(db);
    db.OpenAccess(path, kDatabasePassword);
    rows.Open("select " + field + " as v from " + from + " order by rowid", kSourceSql);
    std::vector<std::string> values;
    for (int i = 0; i < rows.RecordCount(); ++i, rows.MoveNext()) values.push_back(rows.ReadText("v"));
    return values;
  }
  int Tool(const std::vector<std::string>& arguments, const std::string& typed) {
    std::istringstream lines(typed);
    ToolInput input;
    input.lines = &lines;
    out.str("");
    err.str("");
    return RunDataTool(arguments, input, out, err);
  }

  bool LogIn(const std::string& password) {
    loginForm.SetText(Id(LoginControl::编辑框_Pass), password);
    login.CheckLogin();
    return loginForm.destroyed;
  }
  std::vector<std::string> Details(int row) {
    form.SelectRow(kList, row);
    window.OnEvent({EventKind::LeftClick, kList});
    return {form.Text(Id(C::编辑框_Host)), form.Text(Id(C::编辑框_端口)), form.Text(Id(C::编辑框_用户名)),
            form.Text(Id(C::编辑框_密码))};
  }
  std::vector<std::string> Passwords() {
    std::vector<std::string> passwords;
    for (int row = 0; row < form.ListRowCount(kList); ++row) passwords.push_back(Details(row)[3]);
    return passwords;
  }

  testing::TempDir dir{"korvane 保护"};
  const std::string path = dir.File("mstsc.mdb");
  std::ostringstream out, err;
  LoginSession session;
  struct : WindowLoader {
    bool LoadMainWindow() override { return true; }
  } loader;
  testing::FakeForm loginForm{LoginLayout()}, form{MainLayout()};
  testing::FakePlatform platform;
  LoginWindow login{loginForm, platform, loader, session};
  testing::ScriptedEditor editors{platform};
  MainWindow window{form, platform, editors, session};
};

TEST_F(ProtectedFileTest, ACopyRevealsNoPasswordAndOnlyTheLoginPasswordOpensThem) {
  ASSERT_EQ(Tool({"list", path}, ""), 0);
  const std::string listed = out.str();
  ASSERT_EQ(Tool({"protect", path}, kLogin + "\n"), 0) << err.str();
  const std::string bytes = ReadBytes(path);
  for (const std::string& secret : {kLogin, kPasswords[0], kPasswords[1]}) {
    EXPECT_EQ(bytes.find(secret), std::string::npos) << secret;
  }
  EXPECT_EQ(Stored("iterations", "Protection"), std::vector<std::string>{"600000"});
  ASSERT_EQ(Tool({"list", path}, ""), 0);
  EXPECT_EQ(out.str(), listed);

  EXPECT_FALSE(LogIn(kPasswords[0]));
  EXPECT_EQ(login.LoginFailureCount(), 1);
  ProtectionSettings settings;
  DBConnection db;
  db.OpenAccess(path, kDatabasePassword);
  ASSERT_EQ(ReadProtection(db.Handle(), &settings), FileProtection::kProtected);
  const auto wrong = LoginKeys::Derive(kPasswords[0], settings);
  const auto stored = Stored();
  for (size_t i = 0; i < 2; ++i) EXPECT_FALSE(wrong->Open(stored[i], Host(i))) << stored[i];

  ASSERT_TRUE(LogIn(kLogin));
  window.OnMainWindowCreated();
  EXPECT_EQ(Passwords(), kPasswords);
}

// An old password left in the file's free space, in pages of its own (it is long), which only
// rebuilding the file reaches: protecting rewrites just the pages that hold rows.
TEST_F(ProtectedFileTest, APasswordChangedBeforeProtectingLeavesNoTraceInTheFile) {
  const std::string old(6000, 'o');
  RunSql(path, "update Server set 密码 = '" + old + "' where id = 1");
  RunSql(path, "update Server set 密码 = 'new' where id = 1");
  ASSERT_NE(ReadBytes(path).find(old.substr(0, 1000)), std::string::npos);
  ASSERT_EQ(Tool({"protect", path}, kLogin + "\n"), 0) << err.str();
  EXPECT_EQ(ReadBytes(path).find(old.substr(0, 100)), std::string::npos);
}

TEST_F(ProtectedFileTest, ANewLoginPasswordResealsEveryPasswordAndTheOldOneOpensNothing) {
  Protect();
  const auto old = Keys(kLogin);
  ASSERT_TRUE(LogIn(kLogin));
  window.OnMainWindowCreated();
  window.OnEvent({EventKind::Clicked, Id(C::按钮4)});
  form.SetText(Id(C::登录密码框), "新的 2");
  // While the new key is derived the file is untouched, and a second 更新 or an editor waits.
  form.holdBackgroundWork = true;
  for (int click = 0; click < 2; ++click) window.OnEvent({EventKind::Clicked, Id(C::改密码按钮)});
  window.OnEvent({EventKind::MenuItem, Id(MainMenuItem::添加)});
  EXPECT_TRUE(Keys(kLogin));
  form.FinishBackgroundWork();
  EXPECT_EQ(editors.runs, 0);
  EXPECT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages.at(0).text, kPasswordChangedMessage);

  const auto after = Stored();
  for (size_t i : {0, 1}) {
    EXPECT_FALSE(old->Open(after[i], Host(i)));
    EXPECT_EQ(Keys("新的 2")->Open(after[i], Host(i)), kPasswords[i]);
  }
  EXPECT_EQ(after[2], "NULL");
  EXPECT_FALSE(Keys(kLogin));
  EXPECT_EQ(Passwords(), kPasswords);  // the session goes on with the new keys
}

TEST_F(ProtectedFileTest, APasswordThatDoesNotOpenIsReportedFillsNothingAndLeavesTheOthers) {
  Protect();
  std::string changed = Stored()[1];
  char& digit = changed[changed.size() - 3];
  digit = digit == '0' ? '1' : '0';
  RunSql(path, "update Server set 密码 = '" + changed + "' where id = 2");
  ASSERT_TRUE(LogIn(kLogin));
  window.OnMainWindowCreated();
  EXPECT_EQ(Details(0), (std::vector<std::string>{"10.0.0.1", "3389", "u", kPasswords[0]}));
  EXPECT_EQ(Details(1), (std::vector<std::string>{"", "", "", ""}));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, kSealedPasswordMessage);
  EXPECT_EQ(Details(0)[3], kPasswords[0]);

  // The editor shows the rest, with the password box left for a new one.
  form.SelectRow(kList, 1);
  window.OpenEditorForModify();
  EXPECT_EQ(editors.form->Text(Id(EditorControl::编辑框_Host)), "10.0.0.2");
  EXPECT_EQ(editors.form->Text(Id(EditorControl::编辑框_密码)), "");
  EXPECT_EQ(platform.messages.size(), 2u);

  // Each command that needs it names it; export writes no CSV with that password left blank.
  const std::string csv = dir.File("servers.csv");
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"check", path}, {"list", "--show-passwords", path}, {"export", path, csv}}) {
    EXPECT_EQ(Tool(command, kLogin + "\n"), 1) << command[0];
    EXPECT_NE(err.str().find("the password of server 2 (r, host 10.0.0.2) does not open"), std::string::npos) << err.str();
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(csv)));
}

// A file changed behind the operator's back must not send one server's password to another
// host: neither a host changed under a sealed password nor a sealed password copied to
// another server opens.
TEST_F(ProtectedFileTest, APasswordOpensOnlyForTheHostItWasSealedFor) {
  Protect();
  RunSql(path, "update Server set 密码 = (select 密码 from Server where id = 1) where id = 2");
  RunSql(path, "update Server set 服务器名 = 'elsewhere' where id = 1");
  ASSERT_TRUE(LogIn(kLogin));
  window.OnMainWindowCreated();
  for (int row : {0, 1}) EXPECT_EQ(Details(row), (std::vector<std::string>{"", "", "", ""}));
  EXPECT_EQ(platform.messages.size(), 2u);
  // Every seal has a nonce of its own: two seals of one password differ.
  const auto keys = Keys(kLogin);
  EXPECT_NE(keys->Seal("same", "h"), keys->Seal("same", "h"));
}

// Protected or unprotected by the data tool while the program runs: the session's idea of the
// file no longer holds, so nothing is shown from it and nothing written into it.
TEST_F(ProtectedFileTest, AFileWhoseProtectionChangedSinceTheLoginIsNeitherShownNorWritten) {
  ASSERT_TRUE(LogIn(kLogin));
  window.OnMainWindowCreated();
  editors.script = [&](testing::FakeForm& editor, EditorWindow& handlers) {
    ASSERT_EQ(Tool({"protect", path}, kLogin + "\n"), 0) << err.str();
    editor.SetText(Id(EditorControl::编辑框_密码), "typed");
    handlers.SaveServer();
  };
  window.OpenEditorForAdd();
  EXPECT_EQ(platform.messages.at(0).text, kSaveFailedMessage);
  EXPECT_EQ(Stored().size(), 3u);
  EXPECT_EQ(Details(0), (std::vector<std::string>{"", "", "", ""}));
  EXPECT_EQ(platform.messages.at(1).text, kChangedFileMessage);
  window.OpenEditorForModify();
  EXPECT_EQ(editors.runs, 1);
  form.SetText(Id(C::登录密码框), "plain new");
  window.ChangeLoginPassword();
  EXPECT_EQ(platform.messages.back().text, kPasswordChangeFailedMessage);
  EXPECT_TRUE(Keys(kLogin));

  // The other way round: protected at the login, plain now.
  window.session().Start(Keys(kLogin));
  ASSERT_EQ(Tool({"unprotect", path}, kLogin + "\n"), 0) << err.str();
  platform.messages.clear();
  EXPECT_EQ(Details(1), (std::vector<std::string>{"", "", "", ""}));
  EXPECT_EQ(platform.messages.at(0).text, kChangedFileMessage);
}

// A protected file whose marker was removed holds sealed text where passwords were: a plain
// login must never take that text for a password.
TEST_F(ProtectedFileTest, SealedTextInAPlainFileIsNeverTakenForAPassword) {
  Protect();
  RunSql(path, "drop table Protection; update Login set Pass = 'admin'");
  ASSERT_TRUE(LogIn("admin"));
  window.OnMainWindowCreated();
  EXPECT_EQ(Details(0), (std::vector<std::string>{"", "", "", ""}));
  EXPECT_EQ(platform.messages.at(0).text, kSealedPasswordMessage);
  form.SelectRow(kList, 1);
  window.OpenEditorForModify();
  EXPECT_EQ(editors.form->Text(Id(EditorControl::编辑框_密码)), "");
}

TEST_F(ProtectedFileTest, AChangeOfLoginPasswordTheFileRefusesSaysWhy) {
  Protect();
  ASSERT_TRUE(LogIn(kLogin));
  window.OnMainWindowCreated();
  // The data tool gave the file another login password meanwhile: the session's keys no
  // longer fit, and the tool's password must stay the one that works.
  ASSERT_EQ(Tool({"set-login-password", path}, kLogin + "\ntool's\n"), 0) << err.str();
  form.SetText(Id(C::登录密码框), "mine");
  window.ChangeLoginPassword();
  EXPECT_EQ(platform.messages.at(0).text, kPasswordChangeFailedMessage);
  EXPECT_TRUE(Keys("tool's"));

  // Passwords that do not open stand in the way; the operator is told which servers hold them.
  window.session().Start(Keys("tool's"));
  RunSql(path, "update Server set 服务器名 = 'elsewhere', 备注 = '机房 A' where id = 1");
  RunSql(path, "update Server set 密码 = (select 密码 from Server where id = 1) where id = 2");
  window.ChangeLoginPassword();
  EXPECT_EQ(platform.messages.at(1).text, std::string(kPasswordChangeFailedMessage) + "\r\n" +
                                              kUnopenedServersIntro + "\r\n机房 A（elsewhere）\r\nr（10.0.0.2）");
  EXPECT_TRUE(Keys("tool's"));
}

// The login takes any row with the key, as the plain login's query does: a file with two
// (one added by hand, say) opens with the password of each, whichever row is read last.
TEST_F(ProtectedFileTest, ThePasswordOfEveryLoginRowOpens) {
  Protect();
  const auto other = LoginKeys::Derive("其他 row", Keys(kLogin)->settings());
  RunSql(path, "insert into Login (\"Key\", Pass) values ('By.Oxle', '" + other->VerifierText() + "')");
  for (const std::string& password : {kLogin, std::string("其他 row")}) EXPECT_TRUE(Keys(password)) << password;
  EXPECT_FALSE(Keys("neither"));
  // A new login password from the first row's old one replaces both.
  ASSERT_EQ(Tool({"set-login-password", path}, kLogin + "\nnew\n"), 0) << err.str();
  EXPECT_FALSE(Keys("其他 row"));
  EXPECT_TRUE(LogIn("new"));
}

TEST_F(ProtectedFileTest, TheEditorSealsWhatItSavesAndOpensWhatItShows) {
  Protect();
  ASSERT_TRUE(LogIn(kLogin));
  window.OnMainWindowCreated();
  editors.script = [](testing::FakeForm& editor, EditorWindow& handlers) {
    editor.SetText(Id(EditorControl::编辑框_Host), "new host");
    editor.SetText(Id(EditorControl::编辑框_密码), "新 password");
    handlers.SaveServer();
  };
  window.OpenEditorForAdd();
  EXPECT_TRUE(LooksSealed(Stored()[3]));
  EXPECT_EQ(Keys(kLogin)->Open(Stored()[3], "new host"), "新 password");

  editors.script = nullptr;
  form.SelectRow(kList, 0);
  window.OpenEditorForModify();
  EXPECT_EQ(editors.form->Text(Id(EditorControl::编辑框_密码)), kPasswords[0]);
}

TEST_F(ProtectedFileTest, AnImportSealsThePasswordsItWrites) {
  Protect();
  ASSERT_TRUE(LogIn(kLogin));
  window.OnMainWindowCreated();
  const std::string csv = dir.File("servers.csv");
  testing::WriteBytes(csv, "host,port,user,password,remark\r\n10.0.0.1,3389,u,first 口令,same\r\n"
                           "10.0.0.9,3390,ops,新 口令,机房 B\r\n");
  testing::FakeForm preview{ImportLayout()};
  std::vector<long long> added;
  ImportWindow import(preview, window, platform, {csv}, {}, added);
  import.OnEvent({EventKind::Created});
  // The first row is the file's first server, whose password opened to the same one.
  ASSERT_EQ(preview.ListRowCount(Id(ImportControl::添加列表)), 1);
  EXPECT_EQ(preview.ListCell(Id(ImportControl::跳过列表), 0, 0), "same");
  import.OnEvent({EventKind::Clicked, Id(ImportControl::导入按钮)});
  ASSERT_EQ(added.size(), 1u);
  const std::string stored = Stored().back();
  EXPECT_EQ(stored.find("新 口令"), std::string::npos);
  EXPECT_EQ(Keys(kLogin)->Open(stored, "10.0.0.9"), "新 口令");
}

TEST_F(ProtectedFileTest, ProtectThenUnprotectGivesBackTheSameFile) {
  const std::string row = "quote(服务器名)||quote(端口)||quote(用户名)||quote(密码)||quote(备注)";
  const auto servers = Stored(row);
  Protect();
  EXPECT_EQ(Tool({"unprotect", path}, "wrong\n"), 1);
  EXPECT_EQ(Tool({"unprotect", path}, kLogin + "\n"), 0) << err.str();
  EXPECT_EQ(Stored(row), servers);
  EXPECT_EQ(Stored("Pass", "Login"), std::vector<std::string>{kLogin});
  EXPECT_EQ(Stored("name", "sqlite_master where name = 'Protection'"), std::vector<std::string>{});
}

TEST_F(ProtectedFileTest, AConversionRefusedHalfWayLeavesTheFileAsItWas) {
  const std::string refuse =
      "create trigger refuse before update of 密码 on Server when old.id = 2 begin select raise(abort, 'no'); end";
  RunSql(path, refuse);
  const auto unchanged = [&](const char* what, const std::function<void()>& attempt) {
    SCOPED_TRACE(what);
    const std::string before = ReadBytes(path);
    attempt();
    EXPECT_EQ(ReadBytes(path), before);
  };
  unchanged("protect", [&] { EXPECT_EQ(Tool({"protect", path}, kLogin + "\n"), 1); });
  RunSql(path, "drop trigger refuse");
  Protect();
  RunSql(path, refuse);
  unchanged("unprotect", [&] { EXPECT_EQ(Tool({"unprotect", path}, kLogin + "\n"), 1); });
  unchanged("set-login-password", [&] { EXPECT_EQ(Tool({"set-login-password", path}, kLogin + "\nnew\n"), 1); });
  ASSERT_TRUE(LogIn(kLogin));
  window.OnMainWindowCreated();
  unchanged("the main window", [&] {
    form.SetText(Id(C::登录密码框), "new");
    window.ChangeLoginPassword();
    EXPECT_EQ(platform.messages.at(0).text, kPasswordChangeFailedMessage);
  });
  EXPECT_EQ(Passwords(), kPasswords);
}

TEST_F(ProtectedFileTest, TheDataToolAsksForTheLoginPasswordAndSealsWhatItWrites) {
  Protect();
  const std::string csv = dir.File("servers.csv"), typed = kLogin + "\n";
  EXPECT_EQ(Tool({"export", path, csv}, "wrong\n"), 1);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(csv)));
  ASSERT_EQ(Tool({"export", path, csv}, typed), 0) << err.str();
  EXPECT_NE(ReadBytes(csv).find("\"" + kPasswords[1] + "\""), std::string::npos);
  // The servers that are still there are not added again; the two deleted come back sealed.
  RunSql(path, "delete from Server where id > 1");
  ASSERT_EQ(Tool({"import", path, csv}, typed), 0) << err.str();
  EXPECT_NE(out.str().find("imported 2 servers from " + csv + " (1 already there)"), std::string::npos) << out.str();
  ASSERT_EQ(Tool({"add-server", path, "h", "1", "u", "added pw", "r"}, typed), 0) << err.str();
  ASSERT_EQ(Tool({"set-login-password", path}, typed + "next\n"), 0) << err.str();
  EXPECT_EQ(Tool({"check", path}, "next\n"), 0) << out.str();
  EXPECT_NE(out.str().find("OK, a protected data file of this program with 4 servers"), std::string::npos);
  ASSERT_EQ(Tool({"list", "--show-passwords", path}, "next\n"), 0) << err.str();
  EXPECT_NE(out.str().find("4\tr\t10.0.0.2\t3389\tu\t" + kPasswords[1] + "\n5\tr\t10.0.0.3\t3389\tu\t\n6\tr\th\t1\tu\tadded pw\n"),
            std::string::npos) << out.str();
  EXPECT_EQ(ReadBytes(path).find(kPasswords[1]), std::string::npos);
  EXPECT_EQ(ReadBytes(path).find("added pw"), std::string::npos);
}

TEST_F(ProtectedFileTest, ADamagedProtectionRowEndsTheLoginAndCheckNamesIt) {
  Protect();
  RunSql(path, "update Protection set iterations = 0");
  EXPECT_FALSE(LogIn(kLogin));
  EXPECT_EQ(platform.messages.at(0).text, UnopenableDataFileMessage(DataFilePath()));
  EXPECT_EQ(platform.endProgramCalls, 1);
  EXPECT_EQ(Tool({"check", path}, ""), 1);
  EXPECT_NE(err.str().find("table Protection has no row this program can derive keys from"), std::string::npos);
}

// The same file made by each back end: its login password and its sealed value.
TEST(ProtectedFixtureTest, AFileProtectedByEitherBackEndOpensWithThisOne) {
  const struct {
    // login password "fixture 口令", sealed "密码 fixture" for the host "h"
    const char *madeBy, *salt, *verifier, *sealed;
  } cases[] = {
      {"libcrypto", "fe16ba35e7c89fc4ddd98d0373889482", "7c055f8338ba7be3189b7040bcde3ea2b116e498a3fd269b88b2a4c33e2e5ec7",
       "aes-256-gcm:1:93f6c0ed99160eaee03da0d6:0ef69a6d6a507247ac1d73a1491488e856e378666453588744610677b5bd"},
      {"CNG", "894291ec53dac84a830ec20fafbd698a", "af7cd1104dc6d26c6ce25f6627a8e3d8082618f729ec29eea00005dbf43784d7",
       "aes-256-gcm:1:eea32f0e77b4c6d209375310:917d97a3703ba1c73b4e76a2fbc15c6d128d70539fcb129e375c5eed4c2e"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.madeBy) + " made it, " + crypto::BackendName() + " opens it");
    testing::TempDir dir;
    const std::string path = dir.File("mstsc.mdb");
    testing::MakeDataFile(path);
    testing::AddServer(path, "h", "1", "u", c.sealed, "r");
    RunSql(path, std::string("create table Protection (version INTEGER, derivation TEXT, iterations INTEGER, salt TEXT);"
                             "insert into Protection values (1, 'PBKDF2-HMAC-SHA256', 600000, '") + c.salt + "');" +
                     "update Login set Pass = '" + c.verifier + "'");
    DBConnection db;
    ASSERT_TRUE(db.OpenAccess(path, kDatabasePassword));
    const auto keys = CheckLoginPassword(db.Handle(), kLoginKey, "fixture 口令");
    ASSERT_TRUE(keys);
    EXPECT_EQ(keys->Open(c.sealed, "h"), "密码 fixture");
  }
}

}  // namespace
}  // namespace korvane
