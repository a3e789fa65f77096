// The handlers of the window that asks for an mRemoteNG file's master password during an
// import.
#pragma once

#include <optional>
#include <string>

#include "servers/master_password_controls.h"
#include "ui/form.h"

namespace korvane {

class MainWindow;

inline constexpr const char* kMasterPasswordPrompt = "“{0}”受 mRemoteNG 主密码保护。";

class MasterPasswordWindow : public EventSink {
 public:
  // `file` is named in the prompt; `wrong` says that the password given last did not open it.
  // `answer` gets what was typed on 确定 or Enter, and stays empty on 取消, Esc or the close box.
  MasterPasswordWindow(Form& form, MainWindow& main, std::string file, bool wrong,
                       std::optional<std::string>& answer);

  void OnEvent(const Event& event) override;

 private:
  void Accept();

  Form& form_;
  MainWindow& main_;
  std::string file_;
  bool wrong_;
  std::optional<std::string>& answer_;
};

}  // namespace korvane
