#include "servers/import_layout.h"

namespace korvane {

const WindowLayout& ImportLayout() {
  using C = ImportControl;
  using K = ControlKind;
  static const WindowLayout layout = [] {
    WindowLayout w;
    w.caption = "导入服务器";
    w.width = 646;
    w.height = 420;
    w.controls = {
        {.id = Id(C::添加标签), .name = "添加标签", .kind = K::Label, .left = 10, .top = 10, .width = 610,
         .height = 18, .text = "将添加的服务器："},
        {.id = Id(C::添加列表), .name = "添加列表", .kind = K::ListView, .left = 10, .top = 30, .width = 610,
         .height = 170, .flags = kTabStop,
         .columns = {{"名称", 210}, {"主机", 170}, {"端口", 60}, {"用户", 148}}},
        {.id = Id(C::跳过标签), .name = "跳过标签", .kind = K::Label, .left = 10, .top = 210, .width = 610,
         .height = 18, .text = "不导入或需要留意的："},
        {.id = Id(C::跳过列表), .name = "跳过列表", .kind = K::ListView, .left = 10, .top = 230, .width = 610,
         .height = 110, .flags = kTabStop, .columns = {{"名称", 210}, {"原因", 378}}},
        // While the files are read: which one, and how far the passwords have been opened.
        {.id = Id(C::进度标签), .name = "进度标签", .kind = K::Label, .left = 10, .top = 352, .width = 432,
         .height = 20},
        {.id = Id(C::导入按钮), .name = "导入按钮", .kind = K::Button, .left = 458, .top = 350, .width = 76,
         .height = 24, .text = "导入", .flags = kTabStop | kDisabled},
        {.id = Id(C::取消按钮), .name = "取消按钮", .kind = K::Button, .left = 544, .top = 350, .width = 76,
         .height = 24, .text = "取消", .flags = kTabStop},
    };
    w.tabOrder = {Id(C::添加列表), Id(C::跳过列表), Id(C::导入按钮), Id(C::取消按钮)};
    w.defaultButton = Id(C::导入按钮);
    return w;
  }();
  return layout;
}

}  // namespace korvane
