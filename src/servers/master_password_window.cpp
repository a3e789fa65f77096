#include "servers/master_password_window.h"

#include "servers/main_window.h"
#include "text/bilingual.h"

namespace korvane {

using C = MasterPasswordControl;

MasterPasswordWindow::MasterPasswordWindow(Form& form, MainWindow& main, std::string file, bool wrong,
                                           std::optional<std::string>& answer)
    : form_(form), main_(main), file_(std::move(file)), wrong_(wrong), answer_(answer) {}

void MasterPasswordWindow::OnEvent(const Event& event) {
  switch (event.kind) {
    case EventKind::Created:
      form_.SetText(Id(C::提示标签), FillIn(kMasterPasswordPrompt, {file_}));
      form_.SetVisible(Id(C::错误标签), wrong_);
      main_.CentreOnMainWindow(form_);
      form_.SetFocus(Id(C::密码框));
      break;
    case EventKind::Clicked:
      if (event.control == Id(C::确定按钮)) Accept();
      if (event.control == Id(C::取消按钮)) form_.Destroy();
      break;
    case EventKind::KeyDown:
      if (event.control == Id(C::密码框) && event.key == kKeyEnter) Accept();
      break;
    default:
      break;
  }
}

void MasterPasswordWindow::Accept() {
  answer_ = form_.Text(Id(C::密码框));
  form_.Destroy();
}

}  // namespace korvane
