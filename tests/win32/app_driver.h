// Drives korvane.exe as its own process: a private folder with the exe and a data file,
// its windows found by caption, text typed and keys posted, the list read through memory
// in the program's own process (a list view's item messages carry pointers).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/data_files.h"

namespace korvane::testing {

// A path the build gave as a Unix path, as Wine sees it.
inline std::filesystem::path FromBuildPath(const std::string& unixPath) {
  std::string path = unixPath;
  if (!path.empty() && path[0] == '/') {
    path = "Z:" + path;
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
  }
  return std::filesystem::u8path(path);
}

inline std::wstring WindowTitle(HWND hwnd) {
  wchar_t text[512] = {};
  // WM_GETTEXT crosses processes; a timeout keeps a hung program from hanging the test.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &ignored);
  return text;
}

inline std::wstring ClassOf(HWND hwnd) {
  wchar_t name[128] = {};
  GetClassNameW(hwnd, name, 128);
  return name;
}

class AppProcess {
 public:
  // Copies the program into `folder` and starts it there.
  AppProcess(const std::filesystem::path& exe, const std::filesystem::path& folder) {
    const auto target = folder / "korvane.exe";
    std::filesystem::copy_file(exe, target, std::filesystem::copy_options::overwrite_existing);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring commandLine = L"\"" + target.wstring() + L"\"";
    started_ = CreateProcessW(target.wstring().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              folder.wstring().c_str(), &si, &info_) != FALSE;
    if (started_) WaitForInputIdle(info_.hProcess, 10000);
  }
  ~AppProcess() {
    if (!started_) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(info_.hProcess, 99);
      WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  AppProcess(const AppProcess&) = delete;
  AppProcess& operator=(const AppProcess&) = delete;

  bool started() const { return started_; }

  // The exit code once the process ended within the time, or STILL_ACTIVE.
  DWORD WaitForExit(std::chrono::milliseconds timeout) {
    if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

  // The program's visible top-level windows.
  std::vector<HWND> VisibleWindows() const {
    struct Search {
      DWORD pid;
      std::vector<HWND> found;
    } search{info_.dwProcessId, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM context) -> BOOL {
          auto* s = reinterpret_cast<Search*>(context);
          DWORD pid = 0;
          GetWindowThreadProcessId(hwnd, &pid);
          if (pid == s->pid && IsWindowVisible(hwnd)) s->found.push_back(hwnd);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  // Waits for a visible window of the program whose caption starts with `prefix` and whose
  // class is `className` (any class when empty).
  HWND WaitForWindow(const std::wstring& prefix, const std::wstring& className = L"",
                     std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    do {
      for (HWND hwnd : VisibleWindows()) {
        if (WindowTitle(hwnd).rfind(prefix, 0) == 0 && (className.empty() || ClassOf(hwnd) == className)) {
          return hwnd;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < end);
    return nullptr;
  }

  bool WaitUntilGone(HWND hwnd, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
      if (!IsWindow(hwnd) || !IsWindowVisible(hwnd)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  // Reads a list view row's cells through memory in the program's process.
  std::vector<std::wstring> ListRow(HWND list, int row, int columns) const {
    std::vector<std::wstring> cells;
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, info_.dwProcessId);
    if (process == nullptr) return cells;
    constexpr SIZE_T kTextChars = 512;
    void* remote = VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t),
                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    auto* remoteText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
    for (int column = 0; column < columns; ++column) {
      LVITEMW item{};
      item.iSubItem = column;
      item.pszText = remoteText;
      item.cchTextMax = kTextChars;
      WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
      SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
      wchar_t text[kTextChars] = {};
      ReadProcessMemory(process, remoteText, text, sizeof text - sizeof(wchar_t), nullptr);
      cells.emplace_back(text);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return cells;
  }

  // A point inside a list view row, in the list's client coordinates.
  POINT ListRowPoint(HWND list, int row) const {
    RECT rect{LVIR_LABEL, 0, 0, 0};
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, info_.dwProcessId);
    void* remote = VirtualAllocEx(process, nullptr, sizeof rect, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    WriteProcessMemory(process, remote, &rect, sizeof rect, nullptr);
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
    ReadProcessMemory(process, remote, &rect, sizeof rect, nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return {rect.left + 4, (rect.top + rect.bottom) / 2};
  }

 private:
  PROCESS_INFORMATION info_{};
  bool started_ = false;
};

// The children of a window, in creation order, that satisfy `keep`.
inline std::vector<HWND> Children(HWND parent, const std::function<bool(HWND)>& keep) {
  struct Search {
    const std::function<bool(HWND)>* keep;
    std::vector<HWND> found;
  } search{&keep, {}};
  EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM context) -> BOOL {
        auto* s = reinterpret_cast<Search*>(context);
        if ((*s->keep)(hwnd)) s->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The program's control of `className` (Edit, Button, ComboBox, SysListView32...) under the
// point (x, y) of `top`'s client area, found as a person finds it: by what it is and where it
// lies. The smallest match wins, so a radio box beats the group box around it. Only visible
// controls count.
inline HWND ControlAt(HWND top, const std::wstring& className, int x, int y) {
  POINT at{x, y};
  ClientToScreen(top, &at);
  HWND best = nullptr;
  LONG bestArea = 0;
  for (HWND child : Children(top, [&](HWND h) { return ClassOf(h) == className && IsWindowVisible(h); })) {
    RECT r{};
    GetWindowRect(child, &r);
    const LONG area = (r.right - r.left) * (r.bottom - r.top);
    if (PtInRect(&r, at) && (best == nullptr || area < bestArea)) {
      best = child;
      bestArea = area;
    }
  }
  return best;
}

// The visible control of `className` whose caption is `text`, such as a button.
inline HWND ControlWithText(HWND top, const std::wstring& className, const std::wstring& text) {
  auto found = Children(top, [&](HWND h) { return ClassOf(h) == className && IsWindowVisible(h) && WindowTitle(h) == text; });
  return found.empty() ? nullptr : found.front();
}

// Types text into a control as the keyboard would, one character message at a time, after
// selecting what is there (as Tab into an edit box does), so the typing replaces it.
inline void TypeInto(HWND edit, const std::wstring& text) {
  PostMessageW(edit, EM_SETSEL, 0, -1);
  if (text.empty()) PostMessageW(edit, WM_CHAR, VK_BACK, 0);
  for (wchar_t c : text) PostMessageW(edit, WM_CHAR, c, 1);
}

// The text of a message box (its static text has id 0xFFFF).
inline std::wstring MessageText(HWND box) {
  wchar_t text[2048] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 2048);
  return text;
}

// Runs a console program with these arguments and gives its exit code and what it wrote to
// standard output.
struct ToolRun {
  DWORD exitCode = STILL_ACTIVE;
  std::string out;
};
inline ToolRun RunTool(const std::filesystem::path& exe, const std::wstring& arguments) {
  ToolRun run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return run;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  std::wstring commandLine = L"\"" + exe.wstring() + L"\" " + arguments;
  const BOOL started = CreateProcessW(exe.wstring().c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &si, &pi);
  CloseHandle(write);
  if (started) {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n > 0) run.out.append(buffer, n);
    WaitForSingleObject(pi.hProcess, 20000);
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(read);
  return run;
}

inline void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

inline void SetTextOf(HWND hwnd, const std::wstring& text) {
  SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// A key press as the program's message loop receives it.
inline void PostKey(HWND target, UINT key) {
  const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, key, 1 | (scan << 16));
  PostMessageW(target, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
}

// Presses a message box's OK (or any single) button.
inline void PressOk(HWND box) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

}  // namespace korvane::testing
