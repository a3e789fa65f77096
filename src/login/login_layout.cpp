#include "login/login_layout.h"

#include "app/program.h"

namespace korvane {

const WindowLayout& LoginLayout() {
  using C = LoginControl;
  static const WindowLayout layout = [] {
    WindowLayout w;
    w.caption = "Korvane      By.Oxle";
    w.width = 380;
    w.height = 105;
    w.controls = {
        {.id = Id(C::标签1), .name = "标签1", .kind = ControlKind::Label,
         .left = 16, .top = 14, .width = 64, .height = 24, .text = "请键入密码："},
        {.id = Id(C::编辑框_Pass), .name = "编辑框_Pass", .kind = ControlKind::Edit,
         .left = 89, .top = 9, .width = 184, .height = 32, .flags = kTabStop},
        {.id = Id(C::按钮1), .name = "按钮1", .kind = ControlKind::Button,
         .left = 288, .top = 8, .width = 72, .height = 32, .text = "登陆", .flags = kTabStop},
        {.id = Id(C::超级链接框1), .name = "超级链接框1", .kind = ControlKind::Hyperlink,
         .left = 272, .top = 48, .width = 96, .height = 24, .text = kWebAddress},
        // The key lies below the client area and is never shown; the login query reads it.
        {.id = Id(C::编辑框_key), .name = "编辑框_key", .kind = ControlKind::Edit,
         .left = 24, .top = 88, .width = 80, .height = 32, .text = "By.Oxle", .flags = kHidden},
    };
    w.tabOrder = {Id(C::编辑框_Pass), Id(C::按钮1)};
    return w;
  }();
  return layout;
}

}  // namespace korvane
