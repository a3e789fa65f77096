#include "ui/win32/dpi_win32.h"

#include <cstdlib>

namespace korvane {
namespace {

// The program targets Windows 7, whose user32 lacks the per-monitor functions: look them up.
template <typename Function>
Function FromUser32(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

UINT ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kLayoutDpi;
}

// The frame around a client area at `dpi`: how much wider and higher the window is.
SIZE FrameAt(DWORD style, DWORD exStyle, UINT dpi) {
  static const auto adjustForDpi = FromUser32<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  RECT r{0, 0, 0, 0};
  if (adjustForDpi) {
    adjustForDpi(&r, style, FALSE, exStyle, dpi);
    return {r.right - r.left, r.bottom - r.top};
  }
  // Without it the system metrics are those of the screen's DPI, the one DPI an older Windows
  // shows the program at: scale them for the frame at any other.
  AdjustWindowRectEx(&r, style, FALSE, exStyle);
  const UINT screen = ScreenDpi();
  return {MulDiv(r.right - r.left, static_cast<int>(dpi), static_cast<int>(screen)),
          MulDiv(r.bottom - r.top, static_cast<int>(dpi), static_cast<int>(screen))};
}

}  // namespace

UINT DpiOfWindow(HWND hwnd) {
  static const auto getDpiForWindow = FromUser32<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow) {
    if (const UINT dpi = getDpiForWindow(hwnd)) return dpi;
  }
  return ScreenDpi();
}

SIZE OuterSizeForDpi(int width, int height, DWORD style, DWORD exStyle, UINT dpi) {
  if (dpi == kLayoutDpi) return {width, height};
  const SIZE frame96 = FrameAt(style, exStyle, kLayoutDpi);
  const SIZE frame = FrameAt(style, exStyle, dpi);
  return {ScaleToDpi(width - frame96.cx, dpi) + frame.cx, ScaleToDpi(height - frame96.cy, dpi) + frame.cy};
}

HFONT ControlFontForDpi(UINT dpi, OwnedFont& owned) {
  const auto stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  owned.reset();
  LOGFONTW font{};
  if (!GetObjectW(stock, sizeof font, &font)) return stock;
  // The stock font is a whole number of points (8), its pixel height rounded for the screen.
  // Scaling that height would carry the rounding along (11 pixels at 96 DPI are 8.25 points)
  // and give Chinese text a pixel more per character than its control grew. Wine makes its
  // stock font that way for the screen (14 pixels at 120 DPI, 17 at 144): there it is not used
  // either. Half a point rounds down, as 17 pixels at 144 DPI are Wine's 8 points, not 9.
  const int screen = static_cast<int>(ScreenDpi());
  const int points = (std::abs(font.lfHeight) * 72 + screen / 2 - 1) / screen;
  const int height = -MulDiv(points, static_cast<int>(dpi), 72);
  if (height == font.lfHeight) return stock;
  font.lfHeight = height;
  font.lfWidth = 0;
  owned.reset(CreateFontIndirectW(&font));
  return owned ? owned.get() : stock;
}

}  // namespace korvane
