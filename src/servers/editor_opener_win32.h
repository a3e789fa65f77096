// The editor and the import preview as real modal windows (the import's in
// import_opener_win32.cpp).
#pragma once

#include "platform/platform.h"
#include "servers/editor_window.h"

namespace korvane {

class Win32EditorOpener : public EditorOpener {
 public:
  explicit Win32EditorOpener(Platform& platform) : platform_(platform) {}
  // Makes the window and its handlers, runs it modally and returns once it is destroyed.
  void RunEditor(MainWindow& main) override;
  void RunImport(MainWindow& main, const std::vector<std::string>& paths, std::vector<long long>& added) override;

 private:
  Platform& platform_;
};

}  // namespace korvane
