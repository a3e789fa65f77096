#include "platform/platform_win32.h"

#include <windows.h>
#include <cderr.h>  // FNERR_BUFFERTOOSMALL
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "platform/open_file_answer.h"
#include "platform/text_win32.h"
#include "ui/win32/window_win32.h"

namespace korvane {

MessageAnswer Win32Platform::ShowMessage(const std::string& text, const std::string& caption,
                                         MessageButtons buttons, MessageIcon icon) {
  // Task-modal with no owner: the box disables the program's windows on this thread while
  // it is up, whichever window happens to be active.
  UINT type = MB_TASKMODAL;
  type |= buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK;
  if (icon == MessageIcon::Question) type |= MB_ICONQUESTION;
  const std::string& shownCaption = caption.empty() ? std::string(kDefaultMessageCaption) : caption;
  const int answer = MessageBoxW(nullptr, Widen(text).c_str(), Widen(shownCaption).c_str(), type);
  if (answer == IDYES) return MessageAnswer::Yes;
  if (answer == IDNO) return MessageAnswer::No;
  return MessageAnswer::Ok;
}

void Win32Platform::OpenWithShell(const std::string& target) {
  ShellExecuteW(nullptr, L"open", Widen(target).c_str(), L"", L"", SW_SHOWNORMAL);
}

void Win32Platform::EndProgram(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

bool Win32Platform::PathExists(const std::string& path) {
  // Any entry counts, a directory included.
  return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Win32Platform::ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return Narrow(std::wstring(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}

Point Win32Platform::CursorPosition() {
  POINT p{};
  GetCursorPos(&p);
  return {p.x, p.y};
}

void Win32Platform::ShowBusyPointer(bool busy) { SetBusyPointer(busy); }

std::vector<std::string> Win32Platform::ChooseFilesToOpen(const std::string& title,
                                                          const std::vector<FileFilter>& filters) {
  // Each filter is its name and its patterns, each ended by a NUL; one more NUL ends the list.
  std::wstring filter;
  for (const FileFilter& f : filters) {
    filter.append(Widen(f.name)).push_back(L'\0');
    filter.append(Widen(f.patterns)).push_back(L'\0');
  }
  filter.push_back(L'\0');
  const std::wstring caption = Widen(title);
  // The answer is the folder and every chosen name in one buffer: room for some hundreds of
  // names. When the operator chose more than fits, Windows says so by failing, and Wine by
  // filling the buffer with the answer cut short, without its closing NULs; either way the
  // dialog is shown again with more room, and the operator chooses again.
  constexpr size_t kMostRoom = size_t{1} << 22;
  // The dialog's library is loaded when it is first wanted: linked, Wine would load it, and all
  // it brings, at every start of the program.
  static const HMODULE library = LoadLibraryW(L"comdlg32.dll");
  const auto getOpenFileName =
      library ? reinterpret_cast<BOOL(WINAPI*)(OPENFILENAMEW*)>(reinterpret_cast<void*>(GetProcAddress(library, "GetOpenFileNameW"))) : nullptr;
  const auto extendedError =
      library ? reinterpret_cast<DWORD(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(library, "CommDlgExtendedError"))) : nullptr;
  if (!getOpenFileName || !extendedError) return {};
  std::vector<wchar_t> buffer(32768);
  for (;;) {
    std::fill(buffer.begin(), buffer.end(), L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetActiveWindow();
    dialog.lpstrFilter = filters.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrTitle = caption.empty() ? nullptr : caption.c_str();
    // OFN_NOCHANGEDIR: the dialog would otherwise leave the process in the chosen folder, and
    // relative paths elsewhere in the program would move with it.
    dialog.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                   OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    size_t needed = 0;
    if (getOpenFileName(&dialog)) {
      if (std::search_n(buffer.begin(), buffer.end(), 2, L'\0') != buffer.end()) break;
    } else if (extendedError() == FNERR_BUFFERTOOSMALL) {
      // The first two bytes then hold the size needed, as far as two bytes can tell it.
      needed = static_cast<size_t>(*reinterpret_cast<const WORD*>(buffer.data())) + 1;
    } else {
      return {};  // cancelled, or the dialog could not be shown
    }
    if (buffer.size() >= kMostRoom) return {};
    buffer.resize(std::min(std::max(buffer.size() * 2, needed), kMostRoom));
  }
  std::vector<std::string> paths;
  for (const std::wstring& path : SplitOpenFileAnswer(std::wstring(buffer.data(), buffer.size())))
    paths.push_back(Narrow(path));
  return paths;
}

}  // namespace korvane
