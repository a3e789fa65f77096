#pragma once

namespace korvane {

// Loads the program's windows in the order the login decides; the Win32 side creates the
// real windows, tests record the call.
class WindowLoader {
 public:
  virtual ~WindowLoader() = default;
  // Loads the main window, non-modal and without an owner; its creation handler runs inside.
  // False when the system refused to create the window.
  virtual bool LoadMainWindow() = 0;
};

}  // namespace korvane
