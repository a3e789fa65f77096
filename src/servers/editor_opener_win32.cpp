#include "servers/editor_opener_win32.h"

#include <memory>

#include "servers/editor_layout.h"
#include "ui/win32/window_win32.h"

namespace korvane {

void Win32EditorOpener::RunEditor(MainWindow& main) {
  // Declared before the window, so the handlers outlive it: a handler that destroys its own
  // window is still running when the window goes.
  std::unique_ptr<EditorWindow> handlers;
  std::unique_ptr<Win32Window> window = Win32Window::Create(EditorLayout(), [&](Form& form) -> EventSink& {
    handlers = std::make_unique<EditorWindow>(form, main, platform_);
    return *handlers;
  });
  if (window) window->RunModal();
}

}  // namespace korvane
