#pragma once

namespace korvane {

// The main window's controls, and the items of its popup menu 菜单.
enum class MainControl {
  分组框1, 超级列表框1,
  分组框2, 单选框_全屏, 单选框_窗口, 组合框_分辨率, 选择框_磁盘, 选择框_重连,
  分组框4, 单选框_真实桌面, 单选框_虚拟桌面,
  分组框3, 标签4, 编辑框_Host, 标签5, 编辑框_端口, 标签1, 编辑框_用户名, 标签2, 编辑框_密码,
  新密码标签, 登录密码框, 改密码按钮,
  按钮1, 按钮3, 按钮4, 按钮2,
};

enum class MainMenuItem { 添加 = 100, 修改, 删除, 关于, 导入 };

}  // namespace korvane
