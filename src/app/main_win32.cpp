// Program entry: fixes the program's directory, opens the login window and runs the message
// loop until the last window of the program is gone.
#include <windows.h>
#include <objbase.h>

#include <memory>

#include "app/program.h"
#include "app/windows.h"
#include "login/login_layout.h"
#include "login/login_window.h"
#include "platform/platform_win32.h"
#include "servers/editor_opener_win32.h"
#include "servers/main_layout.h"
#include "servers/main_window.h"
#include "text/bilingual.h"
#include "ui/win32/window_win32.h"

namespace korvane {
namespace {

// Owns every window of the program and its handlers. A window's objects live until the
// program ends, even after the window itself is destroyed, so a handler that destroys its own
// window can still return safely.
class Program : public WindowLoader {
 public:
  void Start() {
    SetProgramDirectoryFromExecutable(platform_.ExecutablePath());
    // The program speaks Chinese; the readers of other tools' files, shared with korvane-data,
    // speak the language they are told.
    SetLanguage(Language::kChinese);
    loginWindow_ = Win32Window::Create(LoginLayout(), [this](Form& form) -> EventSink& {
      login_ = std::make_unique<LoginWindow>(form, platform_, *this, session_);
      return *login_;
    });
  }

  bool LoadMainWindow() override {
    mainWindow_ = Win32Window::Create(MainLayout(), [this](Form& form) -> EventSink& {
      main_ = std::make_unique<MainWindow>(form, platform_, editors_, session_);
      return *main_;
    });
    return mainWindow_ != nullptr;
  }

 private:
  Win32Platform platform_;
  Win32EditorOpener editors_{platform_};
  // What the login learnt of the data file's protection, for the main window and its editor.
  LoginSession session_;
  std::unique_ptr<LoginWindow> login_;
  std::unique_ptr<Win32Window> loginWindow_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<Win32Window> mainWindow_;
};

}  // namespace
}  // namespace korvane

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The shell may hand a web address to handlers that are COM objects; they need this thread
  // in a single-threaded apartment before any window exists.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  static korvane::Program program;
  program.Start();
  return korvane::RunMessageLoop();
}
