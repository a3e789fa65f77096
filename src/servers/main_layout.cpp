#include "servers/main_layout.h"

#include "app/program.h"

namespace korvane {

const WindowLayout& MainLayout() {
  using C = MainControl;
  using K = ControlKind;
  static const WindowLayout layout = [] {
    WindowLayout w;
    w.caption = std::string("Korvane    ") + kWebAddress;
    w.width = 644;
    w.height = 336;
    const ControlId g1 = Id(C::分组框1), g2 = Id(C::分组框2), g3 = Id(C::分组框3), g4 = Id(C::分组框4);
    w.controls = {
        // Server list.
        {.id = g1, .name = "分组框1", .kind = K::GroupBox, .left = 4, .top = 15, .width = 404, .height = 280,
         .text = "服务器列表"},
        {.id = Id(C::超级列表框1), .name = "超级列表框1", .kind = K::ListView, .container = g1,
         .left = 7, .top = 14, .width = 389, .height = 258, .flags = kTabStop,
         .columns = {{"序号", 40}, {"名称", 150}, {"IP地址", 110}, {"端口号", 70}}},
        // Options. 全屏 overlaps the first pixels of 窗口; that is how the row is laid out.
        {.id = g2, .name = "分组框2", .kind = K::GroupBox, .left = 418, .top = 15, .width = 208, .height = 67,
         .text = "选项"},
        {.id = Id(C::单选框_全屏), .name = "单选框_全屏", .kind = K::RadioBox, .container = g2,
         .left = 8, .top = 18, .width = 57, .height = 16, .text = "全屏", .flags = kTabStop},
        {.id = Id(C::单选框_窗口), .name = "单选框_窗口", .kind = K::RadioBox, .container = g2,
         .left = 56, .top = 18, .width = 48, .height = 16, .text = "窗口", .flags = kTabStop},
        {.id = Id(C::组合框_分辨率), .name = "组合框_分辨率", .kind = K::ComboList, .container = g2,
         .left = 104, .top = 15, .width = 100, .height = 20, .flags = kTabStop,
         .items = {"800*600", "1024*768", "1280*800", "1280*1024", "1440*900", "1680*1050"},
         .currentItem = 1, .dropDownHeight = 160},
        {.id = Id(C::选择框_磁盘), .name = "选择框_磁盘", .kind = K::CheckBox, .container = g2,
         .left = 8, .top = 39, .width = 96, .height = 24, .text = "映射本地磁盘", .flags = kTabStop},
        {.id = Id(C::选择框_重连), .name = "选择框_重连", .kind = K::CheckBox, .container = g2,
         .left = 112, .top = 39, .width = 80, .height = 24, .text = "断线重连", .flags = kTabStop | kChecked},
        {.id = g4, .name = "分组框4", .kind = K::GroupBox, .left = 418, .top = 86, .width = 208, .height = 46,
         .text = "远程桌面选项"},
        {.id = Id(C::单选框_真实桌面), .name = "单选框_真实桌面", .kind = K::RadioBox, .container = g4,
         .left = 16, .top = 20, .width = 80, .height = 18, .text = "真实桌面", .flags = kTabStop},
        {.id = Id(C::单选框_虚拟桌面), .name = "单选框_虚拟桌面", .kind = K::RadioBox, .container = g4,
         .left = 104, .top = 20, .width = 80, .height = 18, .text = "虚拟桌面", .flags = kTabStop | kChecked},
        // Details of the chosen server.
        {.id = g3, .name = "分组框3", .kind = K::GroupBox, .left = 418, .top = 135, .width = 208, .height = 120,
         .text = "详细"},
        {.id = Id(C::标签4), .name = "标签4", .kind = K::Label, .container = g3,
         .left = 8, .top = 16, .width = 48, .height = 20, .text = "主  机:"},
        {.id = Id(C::编辑框_Host), .name = "编辑框_Host", .kind = K::Edit, .container = g3,
         .left = 56, .top = 16, .width = 136, .height = 20, .flags = kTabStop},
        {.id = Id(C::标签5), .name = "标签5", .kind = K::Label, .container = g3,
         .left = 8, .top = 40, .width = 48, .height = 20, .text = "端  口:"},
        {.id = Id(C::编辑框_端口), .name = "编辑框_端口", .kind = K::Edit, .container = g3,
         .left = 56, .top = 40, .width = 80, .height = 20, .flags = kTabStop},
        {.id = Id(C::标签1), .name = "标签1", .kind = K::Label, .container = g3,
         .left = 8, .top = 64, .width = 48, .height = 20, .text = "用户名:"},
        {.id = Id(C::编辑框_用户名), .name = "编辑框_用户名", .kind = K::Edit, .container = g3,
         .left = 56, .top = 64, .width = 136, .height = 20, .flags = kTabStop},
        {.id = Id(C::标签2), .name = "标签2", .kind = K::Label, .container = g3,
         .left = 8, .top = 88, .width = 48, .height = 20, .text = "密  码:"},
        {.id = Id(C::编辑框_密码), .name = "编辑框_密码", .kind = K::Edit, .container = g3,
         .left = 56, .top = 88, .width = 136, .height = 20, .flags = kTabStop | kPassword},
        // The login-password change, shown in place of the details while it is in progress.
        {.id = Id(C::新密码标签), .name = "新密码标签", .kind = K::Label,
         .left = 472, .top = 144, .width = 104, .height = 24, .text = "请在此键入新密码", .flags = kHidden},
        {.id = Id(C::登录密码框), .name = "登录密码框", .kind = K::Edit,
         .left = 456, .top = 176, .width = 144, .height = 24, .flags = kHidden | kTabStop},
        {.id = Id(C::改密码按钮), .name = "改密码按钮", .kind = K::Button,
         .left = 488, .top = 208, .width = 64, .height = 24, .text = "更新", .flags = kHidden | kTabStop},
        // Buttons.
        {.id = Id(C::按钮1), .name = "按钮1", .kind = K::Button,
         .left = 418, .top = 271, .width = 46, .height = 23, .text = "连接", .flags = kTabStop},
        {.id = Id(C::按钮3), .name = "按钮3", .kind = K::Button,
         .left = 474, .top = 271, .width = 46, .height = 23, .text = "清除", .flags = kTabStop},
        {.id = Id(C::按钮4), .name = "按钮4", .kind = K::Button,
         .left = 529, .top = 271, .width = 46, .height = 23, .text = "改密", .flags = kTabStop},
        {.id = Id(C::按钮2), .name = "按钮2", .kind = K::Button,
         .left = 582, .top = 271, .width = 46, .height = 23, .text = "退出", .flags = kTabStop},
    };
    w.tabOrder = {Id(C::超级列表框1), Id(C::单选框_全屏), Id(C::单选框_窗口), Id(C::组合框_分辨率),
                  Id(C::选择框_磁盘), Id(C::选择框_重连), Id(C::编辑框_Host), Id(C::单选框_真实桌面),
                  Id(C::单选框_虚拟桌面), Id(C::按钮4), Id(C::登录密码框), Id(C::改密码按钮),
                  Id(C::编辑框_端口), Id(C::编辑框_用户名), Id(C::编辑框_密码), Id(C::按钮1),
                  Id(C::按钮3), Id(C::按钮2)};
    w.popupMenu = {{Id(MainMenuItem::添加), "添加"}, {Id(MainMenuItem::修改), "修改"},
                   {Id(MainMenuItem::删除), "删除"}, {Id(MainMenuItem::关于), "关于"},
                   {Id(MainMenuItem::导入), "导入…"}};
    // Server lists dragged from Explorer (files or folders) are imported; see ImportFiles.
    w.acceptsFiles = true;
    return w;
  }();
  return layout;
}

}  // namespace korvane
