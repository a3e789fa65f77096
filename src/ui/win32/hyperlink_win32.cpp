#include "ui/win32/hyperlink_win32.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <vector>

#include "platform/text_win32.h"
#include "ui/link_command.h"

namespace korvane {
namespace {

constexpr UINT_PTR kSubclassId = 1;

// The default value of a key under HKEY_CLASSES_ROOT. RRF_RT_REG_SZ alone also takes a
// REG_EXPAND_SZ value and expands it; adding RRF_RT_REG_EXPAND_SZ without RRF_NOEXPAND is
// refused as an invalid parameter (by Wine and by Windows before 8.1).
std::wstring ClassesRootDefault(const std::wstring& key) {
  DWORD bytes = 0;
  const DWORD types = RRF_RT_REG_SZ;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, types, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
    return {};
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1);
  bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, types, nullptr, buffer.data(), &bytes) !=
      ERROR_SUCCESS)
    return {};
  return std::wstring(buffer.data());
}

}  // namespace

bool RunHtmOpenCommand(const std::string& address) {
  const std::wstring fileClass = ClassesRootDefault(L".htm");
  if (fileClass.empty()) return false;
  const std::wstring registered = ClassesRootDefault(fileClass + L"\\shell\\open\\command");
  const std::string command = CommandToOpenAddress(Narrow(registered), address);
  if (command.empty()) return false;

  std::wstring commandLine = Widen(command);  // CreateProcessW may write into it
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool OpenAddress(const std::string& address) {
  const std::wstring wide = Widen(address);
  // ShellExecute reports success as a fake instance handle greater than 32.
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result > 32) return true;
  return RunHtmOpenCommand(address);
}

Hyperlink::Hyperlink(HWND control, std::string address, const Opener* opener)
    : hwnd_(control), address_(std::move(address)), opener_(opener) {
  SetWindowSubclass(hwnd_, Proc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

Hyperlink::~Hyperlink() {
  if (hwnd_) RemoveWindowSubclass(hwnd_, Proc, kSubclassId);
}

COLORREF Hyperlink::TextColour() const {
  if (hover_) return kHoverColour;
  return opened_ ? kOpenedColour : kNormalColour;
}

void Hyperlink::SetHover(bool hover) {
  if (hover_ == hover) return;
  hover_ = hover;
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void Hyperlink::Open() {
  if (!opener_ || !*opener_) return;
  if ((*opener_)(address_)) {
    opened_ = true;
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
}

LRESULT CALLBACK Hyperlink::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR data) {
  auto* self = reinterpret_cast<Hyperlink*>(data);
  switch (message) {
    case WM_SETCURSOR:
      SetCursor(LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    case WM_MOUSEMOVE:
      if (!self->hover_) {
        // Ask for WM_MOUSELEAVE, since no message says the mouse went elsewhere.
        TRACKMOUSEEVENT track{};
        track.cbSize = sizeof track;
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = hwnd;
        TrackMouseEvent(&track);
        self->SetHover(true);
      }
      break;
    case WM_MOUSELEAVE:
      self->SetHover(false);
      break;
    case WM_LBUTTONDOWN:
      // Captured, so the release comes here even off the link and a press that ends
      // elsewhere cannot leave the link armed for a later release.
      self->pressed_ = true;
      SetCapture(hwnd);
      break;
    case WM_CAPTURECHANGED:
      self->pressed_ = false;
      break;
    case WM_LBUTTONUP: {
      // A click is a press and a release on the link, as with a button.
      RECT client;
      GetClientRect(hwnd, &client);
      const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      const bool click = self->pressed_ && PtInRect(&client, at);
      self->pressed_ = false;
      if (GetCapture() == hwnd) ReleaseCapture();
      if (click) self->Open();
      break;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, Proc, kSubclassId);
      self->hwnd_ = nullptr;
      break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace korvane
