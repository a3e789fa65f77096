#include "servers/editor_layout.h"

namespace korvane {

const WindowLayout& EditorLayout() {
  using C = EditorControl;
  using K = ControlKind;
  static const WindowLayout layout = [] {
    WindowLayout w;
    // The caption says which of the two jobs the window does; the creation handler sets it.
    w.width = 265;
    w.height = 190;
    w.controls = {
        {.id = Id(C::标签1), .name = "标签1", .kind = K::Label, .left = 8, .top = 8, .width = 50, .height = 20,
         .text = "主机Host:"},
        {.id = Id(C::编辑框_Host), .name = "编辑框_Host", .kind = K::Edit, .left = 64, .top = 8, .width = 104,
         .height = 20, .flags = kTabStop},
        {.id = Id(C::标签2), .name = "标签2", .kind = K::Label, .left = 180, .top = 8, .width = 28, .height = 20,
         .text = "端口:"},
        {.id = Id(C::编辑框_端口), .name = "编辑框_端口", .kind = K::Edit, .left = 212, .top = 8, .width = 38,
         .height = 20, .text = "3389", .flags = kTabStop | kCentreText},
        {.id = Id(C::标签3), .name = "标签3", .kind = K::Label, .left = 8, .top = 32, .width = 50, .height = 20,
         .text = "用户名:"},
        {.id = Id(C::编辑框_用户名), .name = "编辑框_用户名", .kind = K::Edit, .left = 64, .top = 32, .width = 184,
         .height = 20, .text = "Administrator", .flags = kTabStop},
        {.id = Id(C::标签4), .name = "标签4", .kind = K::Label, .left = 8, .top = 56, .width = 50, .height = 20,
         .text = "密  码:"},
        // Shown as typed: the operator reads back the password being stored.
        {.id = Id(C::编辑框_密码), .name = "编辑框_密码", .kind = K::Edit, .left = 64, .top = 56, .width = 184,
         .height = 20, .flags = kTabStop},
        {.id = Id(C::标签5), .name = "标签5", .kind = K::Label, .left = 8, .top = 80, .width = 48, .height = 24,
         .text = "备  注:"},
        {.id = Id(C::编辑框_备注), .name = "编辑框_备注", .kind = K::Edit, .left = 64, .top = 80, .width = 184,
         .height = 20, .flags = kTabStop},
        {.id = Id(C::按钮1), .name = "按钮1", .kind = K::Button, .left = 48, .top = 120, .width = 60, .height = 22,
         .text = "确认", .flags = kTabStop},
        {.id = Id(C::按钮2), .name = "按钮2", .kind = K::Button, .left = 152, .top = 120, .width = 60, .height = 22,
         .text = "取消", .flags = kTabStop},
    };
    w.tabOrder = {Id(C::编辑框_Host), Id(C::编辑框_端口), Id(C::编辑框_用户名), Id(C::编辑框_密码),
                  Id(C::编辑框_备注), Id(C::按钮1), Id(C::按钮2)};
    return w;
  }();
  return layout;
}

}  // namespace korvane
