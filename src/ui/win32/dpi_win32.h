// Display scale: the layout tables are in pixels at 96 DPI, and a window shows them at its own
// DPI. Everything here is 1:1 at 96 DPI, so a window there is exactly its table.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace korvane {

constexpr UINT kLayoutDpi = 96;

// A length of the layout table at `dpi`.
inline int ScaleToDpi(int length, UINT dpi) { return MulDiv(length, static_cast<int>(dpi), kLayoutDpi); }

// The DPI the window is shown at: GetDpiForWindow from Windows 10 1607 on; before that the
// screen's, which is the only one an older Windows scales by.
UINT DpiOfWindow(HWND hwnd);

// The outer size of a window whose table gives `width` x `height` as its outer size at 96 DPI:
// the client area of the table, scaled, with the frame Windows draws at `dpi` around it.
SIZE OuterSizeForDpi(int width, int height, DWORD style, DWORD exStyle, UINT dpi);

struct FontDeleter {
  void operator()(HFONT font) const { DeleteObject(font); }
};
using OwnedFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// The controls' font at `dpi`: the system's GUI font at the same point size. Where that is
// the stock font itself (at 96 DPI, say) `owned` stays empty; otherwise it keeps the new font.
HFONT ControlFontForDpi(UINT dpi, OwnedFont& owned);

}  // namespace korvane
