// The message loop and the program's own keys: Esc closes a window, Tab follows the
// layout's order across group boxes, arrow keys move a radio box's check within its
// container. Enter is left to the focused control: no window-wide meaning, no default button.
#include "ui/win32/window_win32.h"

#include <commctrl.h>
#include <windowsx.h>

namespace korvane {
namespace {

void Dispatch(MSG& msg) {
  if (TranslateProgramKeys(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace

int RunMessageLoop() {
  if (Win32Window::LiveCount() == 0) return 0;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
  return 0;
}

bool TranslateProgramKeys(MSG& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  Win32Window* window = Win32Window::FromHandle(msg.hwnd);
  return window && window->HandleProgramKey(msg);
}

bool Win32Window::HandleProgramKey(const MSG& msg) {
  switch (msg.wParam) {
    case VK_ESCAPE:
      // An open drop-down list takes Esc for itself: it closes, the window stays.
      for (HWND h = msg.hwnd; h && h != hwnd_; h = GetParent(h)) {
        ControlId control;
        if (ControlFromHandle(h, &control) && IsKind(control, ControlKind::ComboList) && ComboBox_GetDroppedState(h))
          return false;
      }
      // Closing as the close box does: its SC_CLOSE ends in this same WM_CLOSE.
      PostMessageW(hwnd_, WM_CLOSE, 0, 0);
      return true;
    case VK_TAB:
      MoveFocus(GetFocus(), GetKeyState(VK_SHIFT) >= 0);
      return true;
    case VK_RETURN: {
      // Only a window with a default button answers Enter here, as a dialog would: the
      // focused button is pressed, else the default one. An edit box keeps Enter for its own
      // handler (KeyDown).
      if (layout_.defaultButton == kWindowItself) return false;
      ControlId control = layout_.defaultButton;
      ControlId focused;
      if (ControlFromHandle(msg.hwnd, &focused)) {
        if (IsKind(focused, ControlKind::Edit)) return false;
        if (IsKind(focused, ControlKind::Button)) control = focused;
      }
      HWND button = ControlHandle(control);
      // BM_CLICK reports the click as the mouse would, and does nothing for a disabled button.
      if (Usable(button)) SendMessageW(button, BM_CLICK, 0, 0);
      return true;
    }
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: {
      ControlId control;
      if (!ControlFromHandle(msg.hwnd, &control) || !IsKind(control, ControlKind::RadioBox)) return false;
      MoveRadioCheck(control, msg.wParam == VK_RIGHT || msg.wParam == VK_DOWN);
      return true;
    }
  }
  return false;
}

// Usable for the keyboard: the control and every group box around it are shown and enabled.
// The top-level window itself is not asked, so this also holds before it is first shown.
bool Win32Window::Usable(HWND control) const {
  if (!control) return false;
  for (HWND h = control; h && h != hwnd_; h = GetParent(h)) {
    const LONG_PTR style = GetWindowLongPtrW(h, GWL_STYLE);
    if (!(style & WS_VISIBLE) || (style & WS_DISABLED)) return false;
  }
  return true;
}

HWND Win32Window::FirstUsableInTabOrder() const {
  for (ControlId control : layout_.tabOrder)
    if (HWND h = ControlHandle(control); Usable(h)) return h;
  return nullptr;
}

// Moves the focus to the next usable control after `from` in the Tab order (the first one
// when `from` is not in it). The order is the layout's list, not WS_TABSTOP: Windows itself
// sets and clears WS_TABSTOP on radio boxes whenever their check changes.
void Win32Window::MoveFocus(HWND from, bool forward) {
  const auto& order = layout_.tabOrder;
  const int count = static_cast<int>(order.size());
  int current = -1;
  for (int i = 0; i < count && from; ++i) {
    HWND h = ControlHandle(order[i]);
    if (h && (h == from || IsChild(h, from))) {
      current = i;
      break;
    }
  }
  for (int step = 1; step <= count; ++step) {
    int index;
    if (current < 0)
      index = forward ? step - 1 : count - step;
    else
      index = ((current + (forward ? step : -step)) % count + count) % count;
    HWND h = ControlHandle(order[index]);
    if (!Usable(h)) continue;
    FocusControl(h);
    // As in dialogs: an edit box entered by Tab has its text selected, ready to retype.
    if (IsKind(order[index], ControlKind::Edit)) Edit_SetSel(h, 0, -1);
    return;
  }
}

// The next radio box of the same container, in table order and wrapping, gets the check
// and the focus; BM_CLICK makes it report the click as the mouse would.
void Win32Window::MoveRadioCheck(ControlId radio, bool forward) {
  const ControlId container = Find(radio)->container;
  std::vector<ControlId> group;
  for (const ControlLayout& c : layout_.controls)
    if (c.kind == ControlKind::RadioBox && c.container == container) group.push_back(c.id);
  const int count = static_cast<int>(group.size());
  int current = 0;
  while (group[current] != radio) ++current;
  for (int step = 1; step <= count; ++step) {
    const int index = ((current + (forward ? step : -step)) % count + count) % count;
    HWND h = ControlHandle(group[index]);
    if (!Usable(h)) continue;
    FocusControl(h);
    SendMessageW(h, BM_CLICK, 0, 0);
    return;
  }
}

// An operator's click on a radio box checks it and clears the others of its container,
// hidden and disabled ones included.
void Win32Window::UncheckOtherRadios(ControlId radio) {
  const ControlId container = Find(radio)->container;
  for (const ControlLayout& c : layout_.controls) {
    if (c.kind != ControlKind::RadioBox || c.container != container) continue;
    if (HWND h = ControlHandle(c.id)) Button_SetCheck(h, c.id == radio ? BST_CHECKED : BST_UNCHECKED);
  }
}

void Win32Window::RunModal() {
  if (!hwnd_) return;
  HWND self = hwnd_;
  HWND previous = GetActiveWindow();
  std::vector<HWND> others;
  for (HWND other : LiveHandles())
    if (other != self && IsWindowEnabled(other)) others.push_back(other);
  for (HWND other : others) EnableWindow(other, FALSE);
  disabledByModal_ = others;

  // `this` may be deleted by a handler while the loop runs: only locals from here on.
  MSG msg;
  while (IsWindow(self)) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // WM_QUIT belongs to the outer loop: put it back for it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    Dispatch(msg);
  }
  for (HWND other : others)
    if (IsWindow(other)) EnableWindow(other, TRUE);
  if (previous && previous != self && IsWindow(previous) && IsWindowVisible(previous)) SetActiveWindow(previous);
}

// Enables the windows a modal run disabled. Done before the window goes away, so that
// Windows can activate one of them instead of some other program's window.
void Win32Window::ReleaseModal() {
  for (HWND other : disabledByModal_)
    if (IsWindow(other)) EnableWindow(other, TRUE);
  disabledByModal_.clear();
}

void Win32Window::DestroyNow() {
  ReleaseModal();
  DestroyWindow(hwnd_);
}

}  // namespace korvane
