// A list view's selection set from code: it moves without the list telling the handlers.
#include "ui/win32/window_win32.h"

#include <commctrl.h>

#include <algorithm>

namespace korvane {

void Win32Window::ListShowAt(ControlId control, int currentRow, int topRow) {
  Quiet quiet(quiet_);
  HWND h = ControlHandle(control);
  if (!h) return;
  const int count = ListView_GetItemCount(h);
  // The selection and the focus move to the row the handler names, and the view scrolls by
  // whole rows until `topRow` leads it.
  ListView_SetItemState(h, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  if (currentRow >= 0 && currentRow < count) {
    ListView_SetItemState(h, currentRow, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  if (count > 0) {
    RECT row{};
    ListView_GetItemRect(h, 0, &row, LVIR_BOUNDS);
    const int shift = std::clamp(topRow, 0, count - 1) - ListView_GetTopIndex(h);
    if (shift != 0 && row.bottom > row.top) ListView_Scroll(h, 0, shift * (row.bottom - row.top));
  }
}

}  // namespace korvane
