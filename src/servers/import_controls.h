#pragma once

namespace korvane {

// The import preview's controls.
enum class ImportControl {
  添加标签, 添加列表, 跳过标签, 跳过列表, 进度标签, 导入按钮, 取消按钮,
};

}  // namespace korvane
