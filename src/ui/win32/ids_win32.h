// How the program's ControlIds and menu items map onto Win32 control ids and menu commands.
#pragma once

namespace korvane {

// Control id 0 is left out: GetDlgCtrlID returns 0 on failure.
inline constexpr int kControlIdBase = 1000;
inline constexpr int kMenuCommandBase = 5000;

}  // namespace korvane
