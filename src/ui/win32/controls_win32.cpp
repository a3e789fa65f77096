// Builds a window's controls and popup menu from its layout table.
#include "ui/win32/window_win32.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <set>

#include "platform/text_win32.h"
#include "ui/win32/hyperlink_win32.h"
#include "ui/win32/ids_win32.h"

namespace korvane {
namespace {

constexpr UINT_PTR kSubclassId = 1;

// A single-line edit box must show a whole line of its font inside its sunken border.
int MinimumEditHeight(HFONT font) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return metrics.tmHeight + 2 * GetSystemMetrics(SM_CYEDGE);
}

void SetUpCombo(HWND combo, const ControlLayout& c) {
  for (const std::string& item : c.items) ComboBox_AddString(combo, Widen(item).c_str());
  ComboBox_SetCurSel(combo, c.currentItem);
}

// Heights after WM_SETFONT, which recomputes them, so again after each new font.
void FitCombo(HWND combo, int height, UINT dpi) {
  // Wine's combo box ignores CB_SETITEMHEIGHT for the items of a list that is not
  // owner-drawn, so ask the list itself.
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (GetComboBoxInfo(combo, &info) && info.hwndList) {
    const auto itemHeight = SendMessageW(info.hwndList, LB_GETITEMHEIGHT, 0, 0);
    SendMessageW(info.hwndList, LB_SETITEMHEIGHT, 0, itemHeight + ScaleToDpi(1, dpi));
  }
  // The closed box is its selection field (CB_SETITEMHEIGHT -1) plus borders and padding that
  // differ between Windows and Wine: adjust the field until the box has the table's height.
  int field = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
  for (int attempt = 0; attempt < 3; ++attempt) {
    RECT r;
    GetWindowRect(combo, &r);
    const int error = height - (r.bottom - r.top);
    if (error == 0 || field + error <= 0) break;
    field += error;
    SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
  }
}

void SetUpList(HWND list, const ControlLayout& c) {
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  for (size_t i = 0; i < c.columns.size(); ++i) {
    std::wstring header = Widen(c.columns[i].header);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = c.columns[i].width;
    column.pszText = header.data();
    column.iSubItem = static_cast<int>(i);
    ListView_InsertColumn(list, static_cast<int>(i), &column);
  }
}

}  // namespace

void Win32Window::BuildControls() {
  // A control needs its group box to exist first; the table normally lists group boxes
  // before their contents, and the passes below cope when it does not.
  std::vector<bool> built(layout_.controls.size(), false);
  std::set<ControlId> containersStarted;
  for (bool progress = true; progress;) {
    progress = false;
    for (size_t i = 0; i < layout_.controls.size(); ++i) {
      const ControlLayout& c = layout_.controls[i];
      if (built[i]) continue;
      HWND parent = hwnd_;
      if (c.container != kWindowItself) {
        if (!IsKind(c.container, ControlKind::GroupBox)) continue;
        parent = ControlHandle(c.container);
        if (!parent) continue;
      }
      // WS_GROUP on the first control of each container makes each container one group for
      // Windows as well.
      const bool first = containersStarted.insert(c.container).second;
      if (HWND h = BuildControl(c, parent, first)) controls_[c.id] = h;
      built[i] = true;
      progress = true;
    }
  }
}

HWND Win32Window::BuildControl(const ControlLayout& c, HWND parent, bool firstInContainer) {
  DWORD style = WS_CHILD;
  DWORD exStyle = 0;
  if (!(c.flags & kHidden)) style |= WS_VISIBLE;
  if (c.flags & kDisabled) style |= WS_DISABLED;
  if ((c.flags & kTabStop) && c.kind != ControlKind::Hyperlink) style |= WS_TABSTOP;
  if (firstInContainer) style |= WS_GROUP;
  std::wstring text = Widen(c.text);
  const wchar_t* cls = WC_STATICW;

  switch (c.kind) {
    case ControlKind::Label:
      // SS_CENTERIMAGE centres a single line of text vertically.
      style |= SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX;
      break;
    case ControlKind::Hyperlink:
      // SS_NOTIFY: without it a static lets the mouse through to its parent.
      style |= SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | SS_NOTIFY;
      break;
    case ControlKind::Edit:
      cls = WC_EDITW;
      style |= ES_AUTOHSCROLL | ((c.flags & kCentreText) ? ES_CENTER : ES_LEFT);
      if (c.flags & kPassword) style |= ES_PASSWORD;
      exStyle |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::Button:
      cls = WC_BUTTONW;
      style |= BS_PUSHBUTTON;
      break;
    case ControlKind::RadioBox:
      // Not BS_AUTORADIOBUTTON: Wine's common controls 6 uncheck an auto radio box's group
      // even on BM_SETCHECK, and a check set from code must leave the others alone. The
      // window checks the clicked box and clears its container's others itself.
      cls = WC_BUTTONW;
      style |= BS_RADIOBUTTON;
      break;
    case ControlKind::CheckBox:
      cls = WC_BUTTONW;
      style |= BS_AUTOCHECKBOX;
      break;
    case ControlKind::GroupBox:
      cls = WC_BUTTONW;
      // Its controls are its children: clip them out of its painting.
      style |= BS_GROUPBOX | WS_CLIPCHILDREN;
      exStyle |= WS_EX_CONTROLPARENT;
      break;
    case ControlKind::ComboList:
      cls = WC_COMBOBOXW;
      style |= CBS_DROPDOWNLIST | WS_VSCROLL;
      text.clear();
      break;
    case ControlKind::ListView:
      cls = WC_LISTVIEWW;
      // LVS_OWNERDATA: the window keeps the rows and the list asks for the cells it shows. A
      // list that keeps its own text takes an insert and a set of bookkeeping per row, which
      // for the thousands of servers some operators keep is seconds per fill; this one is filled
      // by setting its count. Selection, clicks and focus stay the list's own.
      style |= LVS_REPORT | LVS_SINGLESEL | LVS_NOSORTHEADER | LVS_OWNERDATA;
      exStyle |= WS_EX_STATICEDGE;
      text.clear();
      break;
  }

  const RECT place = PlaceAtDpi(c);
  HWND h = CreateWindowExW(exStyle, cls, text.c_str(), style, place.left, place.top, place.right - place.left,
                           place.bottom - place.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlIdBase + c.id)),
                           GetModuleHandleW(nullptr), nullptr);
  if (!h) return nullptr;
  SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

  switch (c.kind) {
    case ControlKind::Edit:
      // Common controls 6 would mask with a bullet; the program shows "*".
      if (c.flags & kPassword) Edit_SetPasswordChar(h, L'*');
      SetWindowSubclass(h, EditProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
      break;
    case ControlKind::RadioBox:
    case ControlKind::CheckBox:
      if (c.flags & kChecked) Button_SetCheck(h, BST_CHECKED);
      break;
    case ControlKind::GroupBox:
      // The button's own procedure is kept in the box's user data, for GroupBoxProc to call.
      SetWindowLongPtrW(h, GWLP_USERDATA,
                        SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GroupBoxProc)));
      break;
    case ControlKind::ComboList:
      SetUpCombo(h, c);
      break;
    case ControlKind::ListView:
      SetUpList(h, c);
      break;
    case ControlKind::Hyperlink:
      links_[c.id] = std::make_unique<Hyperlink>(h, c.text, &linkOpener_);
      break;
    default:
      break;
  }
  FitToDpi(h, c);
  return h;
}

RECT Win32Window::PlaceAtDpi(const ControlLayout& c) const {
  const int left = ScaleToDpi(c.left, dpi_), top = ScaleToDpi(c.top, dpi_);
  int height = ScaleToDpi(c.height, dpi_);
  // A drop-down combo box's window height is the closed box plus its list.
  if (c.kind == ControlKind::ComboList) height = std::max(height, ScaleToDpi(c.dropDownHeight, dpi_));
  if (c.kind == ControlKind::Edit) height = std::max(height, MinimumEditHeight(font_));
  return {left, top, left + ScaleToDpi(c.width, dpi_), top + height};
}

void Win32Window::FitToDpi(HWND h, const ControlLayout& c) {
  if (c.kind == ControlKind::ComboList) FitCombo(h, ScaleToDpi(c.height, dpi_), dpi_);
  if (c.kind == ControlKind::ListView) {
    for (size_t i = 0; i < c.columns.size(); ++i)
      ListView_SetColumnWidth(h, static_cast<int>(i), ScaleToDpi(c.columns[i].width, dpi_));
  }
}

void Win32Window::LayOutAtDpi() {
  for (const ControlLayout& c : layout_.controls) {
    HWND h = ControlHandle(c.id);
    if (!h) continue;
    // The font first: an edit box's least height and a combo box's heights follow from it.
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    const RECT place = PlaceAtDpi(c);
    SetWindowPos(h, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    FitToDpi(h, c);
  }
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void Win32Window::BuildPopupMenu() {
  if (layout_.popupMenu.empty()) return;
  popup_ = CreatePopupMenu();
  for (const MenuItemLayout& item : layout_.popupMenu)
    AppendMenuW(popup_, MF_STRING, static_cast<UINT_PTR>(kMenuCommandBase + item.id), Widen(item.caption).c_str());
}

// Controls inside a group box report to it; the window is the one that listens. Subclassed by
// swapping the window procedure rather than with SetWindowSubclass, which looks its data up
// with GetProp on every message: under Wine that is a call to the server, some 40 us, and the
// list view inside sends a notification for every cell it draws.
LRESULT CALLBACK Win32Window::GroupBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return SendMessageW(GetParent(hwnd), message, wParam, lParam);
  }
  const auto buttonProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return buttonProc ? CallWindowProcW(buttonProc, hwnd, message, wParam, lParam)
                    : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Win32Window::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR data) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {  // a key held with Alt comes as a system key; Alt+Enter is Enter too
      auto* self = reinterpret_cast<Win32Window*>(data);
      ControlId control;
      if (self->ControlFromHandle(hwnd, &control))
        self->Deliver({EventKind::KeyDown, control, static_cast<int>(wParam)});
      // The handler may have destroyed the window, this edit box with it.
      if (!IsWindow(hwnd)) return 0;
      break;
    }
    case WM_CHAR:
      // A single-line edit box beeps at a line break it cannot insert; Enter is the
      // handlers' business, not a mistake.
      if (wParam == L'\r' || wParam == L'\n') return 0;
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, EditProc, kSubclassId);
      break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace korvane
