// The login window's handlers: the password check that guards the server list.
#pragma once

#include "app/windows.h"
#include "login/login_controls.h"
#include "platform/platform.h"
#include "store/protection.h"
#include "store/store.h"
#include "ui/form.h"

namespace korvane {

inline constexpr const char* kNoMainWindowMessage = "主窗口无法创建，本次运行将取消.";
// The exit code when the main window could not be made: not a normal end.
inline constexpr int kExitNoMainWindow = 1;

class LoginWindow : public EventSink {
 public:
  // The session learns whether the file is protected and, if so, the keys the good password
  // gave; the main window reads it. Without one the login keeps its own.
  LoginWindow(Form& form, Platform& platform, WindowLoader& loader, LoginSession& session);
  LoginWindow(Form& form, Platform& platform, WindowLoader& loader)
      : LoginWindow(form, platform, loader, ownSession_) {}

  void OnEvent(const Event& event) override;

  // Checks the typed password against the data file. A good one opens the main window and
  // destroys this one; the third wrong one ends the program. On a protected file the check
  // ends later, in the background; until then further attempts are ignored.
  void CheckLogin();
  void OnPasswordKeyDown(int keyCode);

  int LoginFailureCount() const { return loginFailureCount_; }

 private:
  void CheckProtectedLogin();
  // What a finished check found: the attempt's verdict and, on a protected file, the keys.
  void Conclude(bool matched, std::optional<LoginKeys> keys);

  Form& form_;
  Platform& platform_;
  WindowLoader& loader_;
  LoginSession ownSession_;
  LoginSession& session_;
  DBConnection 数据库连接1;
  RecordSet 记录集1;
  int loginFailureCount_ = 0;
  bool checking_ = false;
};

}  // namespace korvane
