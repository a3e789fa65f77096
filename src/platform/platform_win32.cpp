#include "platform/platform_win32.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

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

}  // namespace korvane
