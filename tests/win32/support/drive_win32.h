// Driving the program's real windows from a test thread under Wine: pumping messages the way
// the program's loop does, keys, list clicks, and answering windows that block the test
// thread (message boxes, popup menus) from a helper thread.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "ui/win32/window_win32.h"

namespace korvane::testing {

// Handles every queued message as the program's loop would. Returns true when a WM_QUIT
// was among them; it is swallowed, so one test's quit never ends the next test's loop.
inline bool Pump() {
  bool quit = false;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quit = true;
      continue;
    }
    if (TranslateProgramKeys(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return quit;
}

// Pumps for a while: for timers and for messages Wine posts late (WM_MOUSELEAVE).
inline bool PumpFor(std::chrono::milliseconds duration) {
  bool quit = false;
  const auto end = std::chrono::steady_clock::now() + duration;
  for (;;) {
    quit |= Pump();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return quit;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()), QS_ALLINPUT);
  }
}

// Posts a key press (down and up) to `target` and pumps. Posted keys do not change the
// keyboard state, so Shift is held by setting the thread's key state around the press.
inline void PressKey(HWND target, UINT key, bool shift = false) {
  BYTE saved[256];
  GetKeyboardState(saved);
  if (shift) {
    BYTE held[256];
    std::copy(std::begin(saved), std::end(saved), held);
    held[VK_SHIFT] = held[VK_LSHIFT] = 0x80;
    SetKeyboardState(held);
  }
  const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, key, 1 | (scan << 16));
  PostMessageW(target, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
  Pump();
  if (shift) SetKeyboardState(saved);
}

// A key pressed where the keyboard focus is, as the operator would.
inline void PressKey(UINT key, bool shift = false) { PressKey(GetFocus(), key, shift); }

// A point inside the first cell of a list view row, in the list's client coordinates.
inline POINT ListRowPoint(HWND list, int row) {
  RECT r{};
  ListView_GetItemRect(list, row, &r, LVIR_LABEL);
  return {r.left + 4, (r.top + r.bottom) / 2};
}

// Mouse clicks on a list row. The list view tracks the button itself once it is pressed
// (to tell a click from a drag), so the release is queued before the press is sent; the
// control then selects the row and sends NM_CLICK / NM_RCLICK / NM_DBLCLK on its own.
inline void ClickListRow(HWND list, int row) {
  const POINT p = ListRowPoint(list, row);
  PostMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  Pump();
}

inline void RightClickListRow(HWND list, int row) {
  const POINT p = ListRowPoint(list, row);
  PostMessageW(list, WM_RBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  SendMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(p.x, p.y));
  Pump();
}

// As the mouse does it: a click, then the second press arrives as WM_LBUTTONDBLCLK.
inline void DoubleClickListRow(HWND list, int row) {
  ClickListRow(list, row);
  const POINT p = ListRowPoint(list, row);
  PostMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  Pump();
}

inline std::wstring WindowTextOf(HWND hwnd) {
  wchar_t text[1024] = {};
  GetWindowTextW(hwnd, text, 1024);
  return text;
}

// The text of a message box (its static text has id 0xFFFF).
inline std::wstring MessageBoxText(HWND box) {
  wchar_t text[2048] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 2048);
  return text;
}

// True when a message box shows an icon. Its layout always has an icon control; without an
// icon the control holds none.
inline bool HasIcon(HWND box) {
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t cls[16] = {};
    GetClassNameW(child, cls, 16);
    if (lstrcmpiW(cls, L"Static") == 0 && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        SendMessageW(child, STM_GETICON, 0, 0) != 0)
      return true;
  }
  return false;
}

// Presses a message box button (IDOK, IDYES, IDNO...). Safe from any thread.
inline void PressMessageBoxButton(HWND box, int button) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

// Picks the item at `index` of an open popup menu (window class "#32768") by keys, as the
// operator would: the first Down selects the first item. Safe from any thread.
inline void ChoosePopupMenuItem(HWND menu, int index) {
  for (int i = 0; i <= index; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
}

inline void DismissPopupMenu(HWND menu) { PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0); }

// Waits on a helper thread for a visible top-level window of the given class belonging to
// the creating thread ("#32770" for a message box, "#32768" for a popup menu), then runs
// `action` on it from the helper thread, once. Create it before the call that blocks.
class WindowWatcher {
 public:
  WindowWatcher(std::wstring className, std::function<void(HWND)> action,
                std::chrono::milliseconds timeout = std::chrono::seconds(5))
      : className_(std::move(className)), action_(std::move(action)), thread_id_(GetCurrentThreadId()) {
    thread_ = std::thread([this, timeout] { Watch(timeout); });
  }
  ~WindowWatcher() {
    stop_ = true;
    thread_.join();
  }
  WindowWatcher(const WindowWatcher&) = delete;
  WindowWatcher& operator=(const WindowWatcher&) = delete;

  bool Acted() const { return acted_; }

 private:
  struct Search {
    const std::wstring* className;
    HWND found;
  };

  static BOOL CALLBACK Match(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (*search->className == cls && IsWindowVisible(hwnd)) {
      search->found = hwnd;
      return FALSE;
    }
    return TRUE;
  }

  void Watch(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!stop_ && std::chrono::steady_clock::now() < end) {
      Search search{&className_, nullptr};
      EnumThreadWindows(thread_id_, Match, reinterpret_cast<LPARAM>(&search));
      if (search.found) {
        action_(search.found);
        acted_ = true;
        return;
      }
      Sleep(10);
    }
  }

  std::wstring className_;
  std::function<void(HWND)> action_;
  DWORD thread_id_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> acted_{false};
  std::thread thread_;
};

}  // namespace korvane::testing
