#include "login/login_window.h"

#include <string>

#include "app/data_file_failure.h"
#include "app/program.h"

namespace korvane {
namespace {
constexpr int kFatalFailureCount = 3;
}

LoginWindow::LoginWindow(Form& form, Platform& platform, WindowLoader& loader, LoginSession& session)
    : form_(form), platform_(platform), loader_(loader), session_(session) {}

void LoginWindow::OnEvent(const Event& event) {
  if (event.kind == EventKind::Clicked && event.control == Id(LoginControl::按钮1)) {
    CheckLogin();
  } else if (event.kind == EventKind::KeyDown && event.control == Id(LoginControl::编辑框_Pass)) {
    OnPasswordKeyDown(event.key);
  }
}

void LoginWindow::OnPasswordKeyDown(int keyCode) {
  if (keyCode == kKeyEnter) CheckLogin();
}

void LoginWindow::CheckLogin() {
  // Every attempt starts afresh, so a data file that vanished since the last one is reported.
  记录集1.SetConnection(数据库连接1);
  const std::string path = DataFilePath();
  if (!platform_.PathExists(path)) {
    EndAfterDataFileFailure(platform_, MissingDataFileMessage(path));
    return;
  }
  if (!数据库连接1.OpenAccess(path, DatabasePassword())) {
    EndAfterDataFileFailure(platform_, UnopenableDataFileMessage(path));
    return;
  }

  // A protected file holds a verifier derived from the password, not the password itself.
  const FileProtection protection = ReadProtection(数据库连接1.Handle());
  if (protection == FileProtection::kUnusable) {
    EndAfterDataFileFailure(platform_, UnopenableDataFileMessage(path));
    return;
  }
  std::optional<LoginKeys> keys;
  int matches = 0;
  if (protection == FileProtection::kProtected) {
    // The key derivation takes most of a second, on purpose.
    platform_.ShowBusyPointer(true);
    keys = CheckLoginPassword(数据库连接1.Handle(), form_.Text(Id(LoginControl::编辑框_key)),
                              form_.Text(Id(LoginControl::编辑框_Pass)));
    platform_.ShowBusyPointer(false);
    matches = keys ? 1 : 0;
  } else {
    // The key and the typed password are bound as values, never pasted into the SQL text:
    // a password full of quotes is just a wrong password.
    记录集1.OpenSql("select * from Login where \"Key\"=? and Pass=?",
                    {form_.Text(Id(LoginControl::编辑框_key)), form_.Text(Id(LoginControl::编辑框_Pass))});
    matches = 记录集1.RecordCount();  // -1 when the query cannot run
  }
  if (matches <= 0) {
    ++loginFailureCount_;
    if (loginFailureCount_ == kFatalFailureCount) {
      platform_.EndProgram();
      return;
    }
    platform_.ShowMessage("密码错误！请仔细检查后再次登陆", "第" + std::to_string(loginFailureCount_) + "次错误",
                          MessageButtons::Ok, MessageIcon::None);
    return;
  }

  // The main window reads the session as it opens.
  session_.Start(std::move(keys));
  // The main window is loaded before this one is destroyed, so the program never passes
  // through a moment without a window.
  记录集1.Close();
  数据库连接1.Close();
  form_.Hide();
  if (!loader_.LoadMainWindow()) {
    // Without a main window the program would live on with no window at all.
    platform_.ShowMessage(kNoMainWindowMessage, kDefaultMessageCaption, MessageButtons::Ok, MessageIcon::None);
    platform_.EndProgram(kExitNoMainWindow);
    return;
  }
  form_.Destroy();
}

}  // namespace korvane
