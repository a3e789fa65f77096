// How the program's ControlIds and menu items map onto Win32 control ids and menu commands,
// and the messages the program's windows post themselves.
#pragma once

#include <windows.h>

namespace korvane {

// Control id 0 is left out: GetDlgCtrlID returns 0 on failure.
inline constexpr int kControlIdBase = 1000;
inline constexpr int kMenuCommandBase = 5000;

// Posted to a window by the thread of its background work when the work is done; wParam
// names the work.
inline constexpr UINT kBackgroundDoneMessage = WM_APP + 1;
// The window became active again; handled once the activation is done.
inline constexpr UINT kActivatedMessage = WM_APP + 2;
// The one timer a window runs for its handlers (Form::StartTimer).
inline constexpr UINT_PTR kTimerId = 1;

}  // namespace korvane
