// Files dragged from the shell and dropped on a window whose layout accepts them.
#include <string>
#include <vector>

#include "platform/text_win32.h"
#include "ui/win32/window_win32.h"

namespace korvane {

void Win32Window::OnDropFiles(HDROP drop) {
  constexpr UINT kCountThem = 0xFFFFFFFF;
  const UINT count = DragQueryFileW(drop, kCountThem, nullptr, 0);
  std::vector<std::string> paths;
  paths.reserve(count);
  for (UINT i = 0; i < count; ++i) {
    // Asked for its length first: a path may be longer than MAX_PATH (\\?\ paths, long
    // folders on shares), and a fixed buffer would cut it off.
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    if (length == 0) continue;
    std::wstring path(static_cast<size_t>(length) + 1, L'\0');
    const UINT copied = DragQueryFileW(drop, i, path.data(), length + 1);
    path.resize(copied);
    if (!path.empty()) paths.push_back(Narrow(path));
  }
  // The drop's memory is ours to free, whatever the handlers do next.
  DragFinish(drop);
  if (paths.empty()) return;
  dropped_ = std::move(paths);
  Deliver({EventKind::FilesDropped});
}

}  // namespace korvane
