// The editor as a real modal window.
#pragma once

#include "platform/platform.h"
#include "servers/editor_window.h"

namespace korvane {

class Win32EditorOpener : public EditorOpener {
 public:
  explicit Win32EditorOpener(Platform& platform) : platform_(platform) {}
  // Makes the window and its handlers, runs it modally and returns once it is destroyed.
  void RunEditor(MainWindow& main) override;

 private:
  Platform& platform_;
};

}  // namespace korvane
