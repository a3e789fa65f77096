#include "login/login_window.h"

#include <memory>
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
  if (checking_) return;
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
  if (protection == FileProtection::kProtected) {
    CheckProtectedLogin();
    return;
  }
  // The key and the typed password are bound as values, never pasted into the SQL text:
  // a password full of quotes is just a wrong password.
  记录集1.OpenSql("select * from Login where \"Key\"=? and Pass=?",
                  {form_.Text(Id(LoginControl::编辑框_key)), form_.Text(Id(LoginControl::编辑框_Pass))});
  // RecordCount is -1 when the query cannot run.
  Conclude(记录集1.RecordCount() > 0, std::nullopt);
}

// The key derivation takes most of a second, on purpose. It runs in the background, so that
// the window keeps painting and answering, on copies of what it needs: the connection and the
// controls stay with the window's thread. Attempts meanwhile are ignored, not counted.
void LoginWindow::CheckProtectedLogin() {
  struct Attempt {
    StoredLogin stored;
    std::string password;
    std::optional<LoginKeys> keys;
  };
  auto attempt = std::make_shared<Attempt>();
  attempt->stored = ReadStoredLogin(数据库连接1.Handle(), form_.Text(Id(LoginControl::编辑框_key)));
  attempt->password = form_.Text(Id(LoginControl::编辑框_Pass));
  checking_ = true;
  platform_.ShowBusyPointer(true);
  form_.RunInBackground(
      [attempt] {
        attempt->keys = CheckLoginPassword(attempt->stored, attempt->password);
        crypto::Wipe(attempt->password.data(), attempt->password.size());
      },
      [this, attempt] {
        checking_ = false;
        platform_.ShowBusyPointer(false);
        const bool matched = attempt->keys.has_value();
        Conclude(matched, std::move(attempt->keys));
      });
}

void LoginWindow::Conclude(bool matched, std::optional<LoginKeys> keys) {
  if (!matched) {
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
