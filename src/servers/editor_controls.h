#pragma once

namespace korvane {

// The editor window's controls.
enum class EditorControl {
  标签1, 编辑框_Host, 标签2, 编辑框_端口, 标签3, 编辑框_用户名, 标签4, 编辑框_密码, 标签5, 编辑框_备注,
  按钮1, 按钮2,
};

}  // namespace korvane
