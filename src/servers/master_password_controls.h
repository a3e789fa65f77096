#pragma once

namespace korvane {

// The mRemoteNG master password window's controls.
enum class MasterPasswordControl {
  提示标签, 说明标签, 密码框, 错误标签, 确定按钮, 取消按钮,
};

}  // namespace korvane
