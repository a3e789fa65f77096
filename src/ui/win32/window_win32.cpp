// The window class and its procedure, and the Form properties over real controls.
#include "ui/win32/window_win32.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "platform/text_win32.h"
#include "ui/win32/hyperlink_win32.h"
#include "ui/win32/ids_win32.h"

namespace korvane {
namespace {

constexpr wchar_t kClassName[] = L"KorvaneWindow";
// Fixed border with a title bar, system menu and minimise box; no maximise box.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// Unowned windows get a task-bar button anyway; the flag says that we want one.
constexpr DWORD kWindowExStyle = WS_EX_APPWINDOW;

std::vector<Win32Window*>& LiveWindows() {
  static std::vector<Win32Window*> live;
  return live;
}

std::string WindowText(HWND hwnd) {
  if (!hwnd) return {};
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  std::string utf8 = Narrow(text);
  // The text may be a password: the wide copy is wiped before its memory is freed. The
  // caller's UTF-8 copy is the caller's to wipe.
  SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
  return utf8;
}

using ListRows = std::vector<std::vector<std::string>>;

// A cell the list draws or is asked for (LVN_GETDISPINFO), cut to the list's buffer as a list
// that keeps its own text would cut it.
void FillCell(const ListRows& rows, const LVITEMW& item) {
  if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
  item.pszText[0] = L'\0';
  if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= rows.size()) return;
  const std::vector<std::string>& cells = rows[static_cast<size_t>(item.iItem)];
  if (item.iSubItem < 0 || static_cast<size_t>(item.iSubItem) >= cells.size()) return;
  lstrcpynW(item.pszText, Widen(cells[static_cast<size_t>(item.iSubItem)]).c_str(), item.cchTextMax);
}

// Typing in a list selects the next row whose first column begins with what was typed,
// ignoring case and wrapping past the end. A list that keeps no text leaves that search to
// its owner (LVN_ODFINDITEM), and without this answer typing would do nothing.
int FindRow(const ListRows& rows, const NMLVFINDITEMW& find) {
  // LVFI_SUBSTRING (0x0004, from Windows Vista on; mingw's headers lack it) means the same as
  // LVFI_PARTIAL, and a list view may ask with it alone.
  constexpr UINT kSubstring = 0x0004;
  if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL | kSubstring)) || !find.lvfi.psz) return -1;
  const bool partial = (find.lvfi.flags & (LVFI_PARTIAL | kSubstring)) != 0;
  const int wanted = lstrlenW(find.lvfi.psz);
  const int count = static_cast<int>(rows.size());
  const int start = find.iStart >= 0 && find.iStart < count ? find.iStart : 0;
  for (int n = 0; n < count; ++n) {
    if (start + n >= count && !(find.lvfi.flags & LVFI_WRAP)) break;
    const int row = (start + n) % count;
    const std::vector<std::string>& cells = rows[static_cast<size_t>(row)];
    const std::wstring text = cells.empty() ? std::wstring() : Widen(cells[0]);
    if (partial && static_cast<int>(text.size()) < wanted) continue;
    const int length = partial ? wanted : static_cast<int>(text.size());
    if (CompareStringOrdinal(text.c_str(), length, find.lvfi.psz, wanted, TRUE) == CSTR_EQUAL) return row;
  }
  return -1;
}

}  // namespace

Win32Window::Win32Window(const WindowLayout& layout) : layout_(layout), linkOpener_(OpenAddress) {}

Win32Window::~Win32Window() {
  if (hwnd_) DestroyNow();
}

std::unique_ptr<Win32Window> Win32Window::Create(const WindowLayout& layout, EventSink& sink) {
  return Create(layout, [&sink](Form&) -> EventSink& { return sink; });
}

std::unique_ptr<Win32Window> Win32Window::Create(const WindowLayout& layout, const SinkFactory& makeSink) {
  RegisterWindowClass();
  std::unique_ptr<Win32Window> window(new Win32Window(layout));
  // The handlers are made before the window exists, so the Created event reaches them.
  window->sink_ = &makeSink(*window);
  const int left = (GetSystemMetrics(SM_CXSCREEN) - layout.width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - layout.height) / 2;
  // WS_EX_ACCEPTFILES on the top-level window: a drop on any of its controls comes to it.
  const DWORD exStyle = kWindowExStyle | (layout.acceptsFiles ? WS_EX_ACCEPTFILES : 0);
  HWND hwnd = CreateWindowExW(exStyle, kClassName, Widen(layout.caption).c_str(), kWindowStyle, left, top,
                              layout.width, layout.height, nullptr, nullptr, GetModuleHandleW(nullptr),
                              window.get());
  if (!hwnd) return nullptr;
  // Only now is the DPI known: that of the monitor the window was made on.
  window->dpi_ = DpiOfWindow(hwnd);
  window->font_ = ControlFontForDpi(window->dpi_, window->ownedFont_);
  if (window->dpi_ != kLayoutDpi) {
    const SIZE size = OuterSizeForDpi(layout.width, layout.height, kWindowStyle, exStyle, window->dpi_);
    SetWindowPos(hwnd, nullptr, (GetSystemMetrics(SM_CXSCREEN) - size.cx) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - size.cy) / 2, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  window->BuildControls();
  window->BuildPopupMenu();
  window->Deliver({EventKind::Created});
  if (!window->hwnd_) return window;  // the Created handler destroyed it

  ShowWindow(hwnd, SW_SHOW);
  HWND focus = window->focusToRestore_;
  if (!focus || !window->Usable(focus)) focus = window->FirstUsableInTabOrder();
  if (focus) window->FocusControl(focus);
  return window;
}

void Win32Window::RegisterWindowClass() {
  static const ATOM atom = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = StaticProc;
    cls.hInstance = module;
    // The program's icon is resource 1 of the exe; test programs have none, and then
    // Windows shows its default icon.
    cls.hIcon = LoadIconW(module, MAKEINTRESOURCEW(1));
    cls.hIconSm = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                LR_DEFAULTCOLOR));
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = kClassName;
    return RegisterClassExW(&cls);
  }();
  (void)atom;
}

LRESULT CALLBACK Win32Window::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32Window* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    {
      std::lock_guard<std::mutex> lock(self->mailbox_->mutex);
      self->mailbox_->window = hwnd;
    }
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    LiveWindows().push_back(self);
  } else {
    self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->HandleMessage(message, wParam, lParam);
}

// A handler run from here may destroy the window and even the Win32Window: nothing touches
// a member after Deliver() returns.
LRESULT Win32Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(GET_WM_COMMAND_ID(wParam, lParam), GET_WM_COMMAND_HWND(wParam, lParam),
                GET_WM_COMMAND_CMD(wParam, lParam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_CTLCOLORSTATIC: {
      const LRESULT brush = DefWindowProcW(hwnd_, message, wParam, lParam);
      for (const auto& [id, link] : links_) {
        if (link->Handle() == reinterpret_cast<HWND>(lParam))
          SetTextColor(reinterpret_cast<HDC>(wParam), link->TextColour());
      }
      return brush;
    }
    case WM_ACTIVATE:
      // Windows gives the focus to the window itself when it is activated again (after a
      // message box, say); remember the control that had it and hand it back in WM_SETFOCUS.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) focusToRestore_ = focus;
      } else {
        // Posted, so that the activation and its focus are done before the handlers run.
        PostMessageW(hwnd_, kActivatedMessage, 0, 0);
      }
      break;
    case kActivatedMessage:
      Deliver({EventKind::Activated});
      return 0;
    case WM_TIMER:
      if (wParam != kTimerId) break;
      Deliver({EventKind::Timer});
      return 0;
    case WM_SETFOCUS: {
      HWND focus = focusToRestore_;
      if (!focus || !IsWindow(focus) || !Usable(focus)) focus = FirstUsableInTabOrder();
      if (focus) ::SetFocus(focus);
      return 0;
    }
    case WM_SETCURSOR:
      // The class's arrow would replace the busy pointer at the first move of the mouse.
      if (BusyPointerShown() && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_DPICHANGED:  // from Windows 8.1 on
      // Moved to a monitor of another scale: Windows suggests a rectangle that keeps the
      // window's place for the new DPI.
      OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case kBackgroundDoneMessage:
      OnBackgroundDone(wParam);
      return 0;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_CLOSE:
      DestroyNow();
      return 0;
    case WM_DESTROY:
      ReleaseModal();
      return 0;
    case WM_NCDESTROY: {
      HWND hwnd = hwnd_;
      OnNcDestroy();
      return DefWindowProcW(hwnd, message, wParam, lParam);
    }
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Win32Window::OnDpiChanged(UINT dpi, const RECT& suggested) {
  if (dpi == 0) return;
  dpi_ = dpi;
  // The old font stays alive until every control has the new one.
  OwnedFont previous = std::move(ownedFont_);
  font_ = ControlFontForDpi(dpi_, ownedFont_);
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  LayOutAtDpi();
}

void Win32Window::OnCommand(int id, HWND from, UINT code) {
  if (!from) {  // a menu item
    const ControlId item = id - kMenuCommandBase;
    const bool known = std::any_of(layout_.popupMenu.begin(), layout_.popupMenu.end(),
                                   [item](const MenuItemLayout& m) { return m.id == item; });
    if (known) Deliver({EventKind::MenuItem, item});
    return;
  }
  ControlId control;
  if (code != BN_CLICKED || !ControlFromHandle(from, &control)) return;
  // A link's STN_CLICKED has the same code as BN_CLICKED: only buttons count here.
  const ControlKind kind = Find(control)->kind;
  if (kind == ControlKind::RadioBox) UncheckOtherRadios(control);
  if (kind == ControlKind::Button || kind == ControlKind::RadioBox || kind == ControlKind::CheckBox)
    Deliver({EventKind::Clicked, control});
}

LRESULT Win32Window::OnNotify(const NMHDR& header) {
  ControlId control;
  if (!ControlFromHandle(header.hwndFrom, &control) || !IsKind(control, ControlKind::ListView)) return 0;
  switch (header.code) {
    case LVN_GETDISPINFOW:
      FillCell(listRows_[control], reinterpret_cast<const NMLVDISPINFOW&>(header).item);
      return 0;
    case LVN_ODFINDITEMW:
      return FindRow(listRows_[control], reinterpret_cast<const NMLVFINDITEMW&>(header));
    case NM_CLICK:
      Deliver({EventKind::LeftClick, control});
      break;
    case NM_RCLICK:
      Deliver({EventKind::RightClick, control});
      break;
    case NM_DBLCLK:
      Deliver({EventKind::DoubleClick, control});
      break;
  }
  return 0;
}

void Win32Window::OnNcDestroy() {
  {
    std::lock_guard<std::mutex> lock(mailbox_->mutex);
    mailbox_->window = nullptr;
  }
  pendingDone_.clear();
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  auto& live = LiveWindows();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
  if (popup_) DestroyMenu(popup_);
  popup_ = nullptr;
  links_.clear();  // their controls are gone already: children get WM_NCDESTROY first
  listRows_.clear();
  controls_.clear();
  focusToRestore_ = nullptr;
  hwnd_ = nullptr;
  if (live.empty()) PostQuitMessage(0);
}

void Win32Window::Deliver(const Event& event) {
  if (quiet_ == 0 && sink_) sink_->OnEvent(event);
}

Win32Window* Win32Window::FromHandle(HWND anyPart) {
  if (!anyPart) return nullptr;
  HWND root = GetAncestor(anyPart, GA_ROOT);
  for (Win32Window* window : LiveWindows())
    if (window->hwnd_ == root) return window;
  return nullptr;
}

size_t Win32Window::LiveCount() { return LiveWindows().size(); }

std::vector<HWND> Win32Window::LiveHandles() {
  std::vector<HWND> handles;
  for (Win32Window* window : LiveWindows()) handles.push_back(window->hwnd_);
  return handles;
}

const ControlLayout* Win32Window::Find(ControlId control) const {
  for (const ControlLayout& c : layout_.controls)
    if (c.id == control) return &c;
  return nullptr;
}

bool Win32Window::IsKind(ControlId control, ControlKind kind) const {
  const ControlLayout* c = Find(control);
  return c && c->kind == kind;
}

bool Win32Window::ControlFromHandle(HWND hwnd, ControlId* control) const {
  if (!hwnd) return false;
  const ControlId id = GetDlgCtrlID(hwnd) - kControlIdBase;
  const auto found = controls_.find(id);
  if (found == controls_.end() || found->second != hwnd) return false;
  *control = id;
  return true;
}

HWND Win32Window::ControlHandle(ControlId control) const {
  const auto found = controls_.find(control);
  return found == controls_.end() ? nullptr : found->second;
}

void Win32Window::SetLinkOpener(LinkOpener opener) { linkOpener_ = std::move(opener); }

COLORREF Win32Window::LinkTextColour(ControlId link) const {
  const auto found = links_.find(link);
  return found == links_.end() ? CLR_INVALID : found->second->TextColour();
}

std::string Win32Window::Text(ControlId control) const { return WindowText(ControlHandle(control)); }

void Win32Window::SetText(ControlId control, const std::string& text) {
  Quiet quiet(quiet_);
  if (HWND h = ControlHandle(control)) SetWindowTextW(h, Widen(text).c_str());
}

bool Win32Window::Visible(ControlId control) const {
  HWND h = ControlHandle(control);
  return h && (GetWindowLongPtrW(h, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32Window::SetVisible(ControlId control, bool visible) {
  Quiet quiet(quiet_);
  HWND h = ControlHandle(control);
  if (!h) return;
  HWND focus = GetFocus();
  const bool hadFocus = focus && (focus == h || IsChild(h, focus));
  ShowWindow(h, visible ? SW_SHOWNA : SW_HIDE);
  // Windows hands the focus of a control it hides to the parent; give it to the next
  // control in the Tab order instead, as if the operator had pressed Tab.
  if (!visible && hadFocus) MoveFocus(h, true);
}

bool Win32Window::Enabled(ControlId control) const {
  HWND h = ControlHandle(control);
  return h && IsWindowEnabled(h);
}

void Win32Window::SetEnabled(ControlId control, bool enabled) {
  Quiet quiet(quiet_);
  HWND h = ControlHandle(control);
  if (!h) return;
  HWND focus = GetFocus();
  const bool hadFocus = focus && (focus == h || IsChild(h, focus));
  EnableWindow(h, enabled);
  // Disabling the focused control leaves no focus at all; give it to the next control.
  if (!enabled && hadFocus) MoveFocus(h, true);
}

bool Win32Window::Checked(ControlId control) const {
  HWND h = ControlHandle(control);
  return h && Button_GetCheck(h) == BST_CHECKED;
}

void Win32Window::SetChecked(ControlId control, bool checked) {
  Quiet quiet(quiet_);
  // BM_SETCHECK changes this box only (radio boxes are not auto radio boxes) and sends no
  // BN_CLICKED.
  if (HWND h = ControlHandle(control)) Button_SetCheck(h, checked ? BST_CHECKED : BST_UNCHECKED);
}

int Win32Window::ComboIndex(ControlId control) const {
  HWND h = ControlHandle(control);
  return h ? ComboBox_GetCurSel(h) : -1;
}

std::string Win32Window::ComboText(ControlId control) const {
  HWND h = ControlHandle(control);
  const int index = h ? ComboBox_GetCurSel(h) : CB_ERR;
  if (index == CB_ERR) return {};
  const int length = ComboBox_GetLBTextLen(h, index);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  ComboBox_GetLBText(h, index, text.data());
  text.resize(static_cast<size_t>(length));
  return Narrow(text);
}

void Win32Window::ListClear(ControlId control) { ListSetRows(control, {}); }

void Win32Window::ListAppendRow(ControlId control, const std::vector<std::string>& cells) {
  Quiet quiet(quiet_);
  HWND h = ControlHandle(control);
  if (!h) return;
  ListRows& rows = listRows_[control];
  rows.push_back(cells);
  // The rows above keep their place and their selection.
  ListView_SetItemCountEx(h, static_cast<int>(rows.size()), LVSICF_NOSCROLL);
}

void Win32Window::ListSetRows(ControlId control, ListRows rows) {
  Quiet quiet(quiet_);
  HWND h = ControlHandle(control);
  if (!h) return;
  // Emptied first: that drops the selection, the focused row and the scroll position along
  // with the old rows, as deleting every row of a list that keeps its text does. Redrawing is
  // held meanwhile, so the scroll bar and the rows are worked out and drawn once, not twice.
  SetWindowRedraw(h, FALSE);
  ListView_DeleteAllItems(h);
  ListRows& stored = listRows_[control];
  stored = std::move(rows);
  ListView_SetItemCountEx(h, static_cast<int>(stored.size()), 0);
  SetWindowRedraw(h, TRUE);
}

int Win32Window::ListRowCount(ControlId control) const {
  HWND h = ControlHandle(control);
  return h ? ListView_GetItemCount(h) : 0;
}

std::string Win32Window::ListCell(ControlId control, int row, int column) const {
  const auto found = listRows_.find(control);
  if (found == listRows_.end() || row < 0 || static_cast<size_t>(row) >= found->second.size()) return {};
  const std::vector<std::string>& cells = found->second[static_cast<size_t>(row)];
  return column >= 0 && static_cast<size_t>(column) < cells.size() ? cells[static_cast<size_t>(column)] : std::string();
}

int Win32Window::ListCurrentRow(ControlId control) const {
  HWND h = ControlHandle(control);
  return h ? ListView_GetNextItem(h, -1, LVNI_SELECTED) : -1;
}

int Win32Window::ListTopRow(ControlId control) const {
  HWND h = ControlHandle(control);
  return h ? ListView_GetTopIndex(h) : 0;
}

void Win32Window::ListSetRow(ControlId control, int row, const std::vector<std::string>& cells) {
  HWND h = ControlHandle(control);
  ListRows& rows = listRows_[control];
  if (!h || row < 0 || row >= static_cast<int>(rows.size())) return;
  rows[static_cast<size_t>(row)] = cells;
  ListView_RedrawItems(h, row, row);
}

void Win32Window::ListInsertRow(ControlId control, int row, const std::vector<std::string>& cells) {
  Quiet quiet(quiet_);
  HWND h = ControlHandle(control);
  ListRows& rows = listRows_[control];
  if (!h || row < 0 || row > static_cast<int>(rows.size())) return;
  rows.insert(rows.begin() + row, cells);
  // A virtual list holds only the count: the rows from here on are drawn anew.
  ListView_SetItemCountEx(h, static_cast<int>(rows.size()), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
  ListView_RedrawItems(h, row, static_cast<int>(rows.size()) - 1);
}

void Win32Window::ListDeleteRow(ControlId control, int row) {
  Quiet quiet(quiet_);
  HWND h = ControlHandle(control);
  ListRows& rows = listRows_[control];
  if (!h || row < 0 || row >= static_cast<int>(rows.size())) return;
  rows.erase(rows.begin() + row);
  ListView_SetItemCountEx(h, static_cast<int>(rows.size()), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
  if (!rows.empty()) ListView_RedrawItems(h, std::min(row, static_cast<int>(rows.size()) - 1), static_cast<int>(rows.size()) - 1);
}

void Win32Window::StartTimer(int milliseconds) {
  if (!hwnd_) return;
  if (milliseconds <= 0) {
    KillTimer(hwnd_, kTimerId);
  } else {
    SetTimer(hwnd_, kTimerId, static_cast<UINT>(milliseconds), nullptr);
  }
}

bool Win32Window::MenuItemEnabled(ControlId item) const {
  if (!popup_) return false;
  const UINT state = GetMenuState(popup_, kMenuCommandBase + item, MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

void Win32Window::SetMenuItemEnabled(ControlId item, bool enabled) {
  if (popup_) EnableMenuItem(popup_, kMenuCommandBase + item, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void Win32Window::PopupMenuAt(int x, int y) {
  if (!popup_ || !hwnd_) return;
  // TPM_RETURNCMD: the chosen item's event runs before this returns, as callers expect;
  // a posted WM_COMMAND would run it later, from the message loop.
  const UINT command = static_cast<UINT>(
      TrackPopupMenu(popup_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, x, y, 0,
                     hwnd_, nullptr));
  if (command != 0) OnCommand(static_cast<int>(command), nullptr, 0);
}

std::string Win32Window::Caption() const { return WindowText(hwnd_); }

void Win32Window::SetCaption(const std::string& caption) {
  if (hwnd_) SetWindowTextW(hwnd_, Widen(caption).c_str());
}

Rect Win32Window::WindowRect() const {
  RECT r{};
  if (hwnd_) GetWindowRect(hwnd_, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void Win32Window::SetWindowTop(int top) {
  const Rect r = WindowRect();
  if (hwnd_) SetWindowPos(hwnd_, nullptr, r.left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::SetWindowLeft(int left) {
  const Rect r = WindowRect();
  if (hwnd_) SetWindowPos(hwnd_, nullptr, left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::SetFocus(ControlId control) {
  HWND h = ControlHandle(control);
  if (!h) return;
  // Before the window is shown, focusing a control would activate a hidden window: keep the
  // wish until Create shows it.
  if (IsWindowVisible(hwnd_))
    FocusControl(h);
  else
    focusToRestore_ = h;
}

void Win32Window::FocusControl(HWND control) {
  focusToRestore_ = control;
  ::SetFocus(control);
}

void Win32Window::Hide() {
  if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void Win32Window::Destroy() {
  if (hwnd_) DestroyNow();
}

}  // namespace korvane
