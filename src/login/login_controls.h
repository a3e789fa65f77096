#pragma once

namespace korvane {

// The login window's controls.
enum class LoginControl { 标签1, 编辑框_Pass, 按钮1, 超级链接框1, 编辑框_key };

}  // namespace korvane
