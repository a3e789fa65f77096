#include "servers/master_password_layout.h"

namespace korvane {

const WindowLayout& MasterPasswordLayout() {
  using C = MasterPasswordControl;
  using K = ControlKind;
  static const WindowLayout layout = [] {
    WindowLayout w;
    w.caption = "mRemoteNG 主密码";
    w.width = 316;
    w.height = 170;
    w.controls = {
        // Labels keep to one line: the file's name, then what to type.
        {.id = Id(C::提示标签), .name = "提示标签", .kind = K::Label, .left = 10, .top = 8, .width = 280,
         .height = 18},
        {.id = Id(C::说明标签), .name = "说明标签", .kind = K::Label, .left = 10, .top = 26, .width = 280,
         .height = 18, .text = "请输入它的主密码："},
        {.id = Id(C::密码框), .name = "密码框", .kind = K::Edit, .left = 10, .top = 48, .width = 280, .height = 20,
         .flags = kTabStop | kPassword},
        {.id = Id(C::错误标签), .name = "错误标签", .kind = K::Label, .left = 10, .top = 74, .width = 280,
         .height = 18, .text = "主密码不对，请重新输入。", .flags = kHidden},
        {.id = Id(C::确定按钮), .name = "确定按钮", .kind = K::Button, .left = 134, .top = 98, .width = 74,
         .height = 24, .text = "确定", .flags = kTabStop},
        {.id = Id(C::取消按钮), .name = "取消按钮", .kind = K::Button, .left = 216, .top = 98, .width = 74,
         .height = 24, .text = "取消", .flags = kTabStop},
    };
    w.tabOrder = {Id(C::密码框), Id(C::确定按钮), Id(C::取消按钮)};
    w.defaultButton = Id(C::确定按钮);
    return w;
  }();
  return layout;
}

}  // namespace korvane
