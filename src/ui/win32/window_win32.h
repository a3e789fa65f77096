// The program's windows over Win32: one window class, controls built from a WindowLayout,
// the program's own keyboard handling (Esc, Tab order, radio arrows), the message loop and
// work run in the background.
//
// Deliberately not a dialog: IsDialogMessage would give Enter and Esc dialog meanings and
// would take the Tab order from the z-order of each container, while our windows follow the
// order written in their layout across all containers.
#pragma once

#include <windows.h>
#include <shellapi.h>  // HDROP

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/form.h"
#include "ui/layout.h"
#include "ui/win32/dpi_win32.h"

namespace korvane {

class Hyperlink;

class Win32Window : public Form {
 public:
  using LinkOpener = std::function<bool(const std::string&)>;

  // Creates the top-level window from the layout, centred on the screen, with all its
  // controls; then delivers Created to the sink and, if the window still exists, shows it
  // and focuses the first usable control of the Tab order (or the control the Created
  // handler asked for). Returns nullptr only if Windows refused to create the window.
  static std::unique_ptr<Win32Window> Create(const WindowLayout& layout, EventSink& sink);
  // The same, for handlers that need the window as their Form: the factory makes them from
  // the window before any event is delivered.
  using SinkFactory = std::function<EventSink&(Form&)>;
  static std::unique_ptr<Win32Window> Create(const WindowLayout& layout, const SinkFactory& makeSink);
  ~Win32Window() override;  // destroys the window if it still exists
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  HWND Handle() const { return hwnd_; }
  HWND ControlHandle(ControlId control) const;
  bool Alive() const { return hwnd_ != nullptr; }

  // Runs the window modally: disables the program's other windows and runs a nested
  // message loop (with the same key handling as RunMessageLoop) until this window is
  // destroyed, then enables them again.
  void RunModal();

  // What a hyperlink click calls with the address; true when it opened. Defaults to
  // OpenAddress (hyperlink_win32.h).
  void SetLinkOpener(LinkOpener opener);
  // The colour the link draws its text in right now; CLR_INVALID for other controls.
  COLORREF LinkTextColour(ControlId link) const;

  // Form. Visible() and Enabled() report the control's own state (its WS_VISIBLE and
  // WS_DISABLED styles), not that of its group box or of the window; the Tab order looks
  // at the containers as well.
  std::string Text(ControlId control) const override;
  void SetText(ControlId control, const std::string& text) override;
  bool Visible(ControlId control) const override;
  void SetVisible(ControlId control, bool visible) override;
  bool Enabled(ControlId control) const override;
  void SetEnabled(ControlId control, bool enabled) override;
  bool Checked(ControlId control) const override;
  void SetChecked(ControlId control, bool checked) override;
  int ComboIndex(ControlId control) const override;
  std::string ComboText(ControlId control) const override;
  void ListClear(ControlId control) override;
  void ListAppendRow(ControlId control, const std::vector<std::string>& cells) override;
  void ListSetRows(ControlId control, std::vector<std::vector<std::string>> rows) override;
  int ListRowCount(ControlId control) const override;
  std::string ListCell(ControlId control, int row, int column) const override;
  int ListCurrentRow(ControlId control) const override;
  int ListTopRow(ControlId control) const override;
  void ListSetRow(ControlId control, int row, const std::vector<std::string>& cells) override;
  void ListInsertRow(ControlId control, int row, const std::vector<std::string>& cells) override;
  void ListDeleteRow(ControlId control, int row) override;
  void ListShowAt(ControlId control, int currentRow, int topRow) override;
  void StartTimer(int milliseconds) override;
  bool MenuItemEnabled(ControlId item) const override;
  void SetMenuItemEnabled(ControlId item, bool enabled) override;
  // Tracks the menu with its top-left corner at (x, y) and delivers MenuItem for the item
  // chosen before returning.
  void PopupMenuAt(int x, int y) override;
  std::string Caption() const override;
  void SetCaption(const std::string& caption) override;
  Rect WindowRect() const override;
  void SetWindowTop(int top) override;
  void SetWindowLeft(int left) override;
  void SetFocus(ControlId control) override;
  void Hide() override;
  void Destroy() override;
  std::vector<std::string> DroppedFiles() const override { return dropped_; }
  // The work runs on a thread of its own, which posts the window a message when it ends; the
  // window then runs `done`. Without a thread to be had the work runs here and now.
  void RunInBackground(std::function<void()> work, std::function<void()> done) override;

  // For the message loop: the program's window that `anyPart` (the window or one of its
  // controls) belongs to, or nullptr.
  static Win32Window* FromHandle(HWND anyPart);
  // The program's key handling for a WM_KEYDOWN aimed at this window; true when consumed.
  bool HandleProgramKey(const MSG& msg);
  static size_t LiveCount();
  static std::vector<HWND> LiveHandles();

 private:
  explicit Win32Window(const WindowLayout& layout);

  static void RegisterWindowClass();
  static LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(int id, HWND from, UINT code);
  LRESULT OnNotify(const NMHDR& header);
  void OnNcDestroy();

  // controls_win32.cpp
  void BuildControls();
  HWND BuildControl(const ControlLayout& control, HWND parent, bool firstInContainer);
  // Where the control goes at the window's DPI, in its container's client area, and what
  // follows from the font and the DPI once it is there (column widths, combo box heights).
  RECT PlaceAtDpi(const ControlLayout& control) const;
  void FitToDpi(HWND hwnd, const ControlLayout& control);
  // Places every control again and gives it the font of the window's DPI.
  void LayOutAtDpi();
  void BuildPopupMenu();
  static LRESULT CALLBACK GroupBoxProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

  // message_loop_win32.cpp
  bool Usable(HWND control) const;
  void MoveFocus(HWND from, bool forward);
  void FocusControl(HWND control);
  HWND FirstUsableInTabOrder() const;
  void MoveRadioCheck(ControlId radio, bool forward);
  void UncheckOtherRadios(ControlId radio);
  void ReleaseModal();
  void DestroyNow();

  // background_win32.cpp
  void OnBackgroundDone(WPARAM job);
  static bool BusyPointerShown();

  // drop_files_win32.cpp
  void OnDropFiles(HDROP drop);

  const ControlLayout* Find(ControlId control) const;
  bool IsKind(ControlId control, ControlKind kind) const;
  bool ControlFromHandle(HWND hwnd, ControlId* control) const;
  void Deliver(const Event& event);

  WindowLayout layout_;
  EventSink* sink_ = nullptr;
  HWND hwnd_ = nullptr;
  HMENU popup_ = nullptr;
  // The DPI the window is laid out for, and the controls' font for it.
  UINT dpi_ = kLayoutDpi;
  HFONT font_ = nullptr;
  OwnedFont ownedFont_;
  std::map<ControlId, HWND> controls_;
  std::map<ControlId, std::unique_ptr<Hyperlink>> links_;
  // The rows of each list view. The lists are virtual (LVS_OWNERDATA): they hold only a count
  // and the selection, and ask for the text of the cells they draw.
  std::map<ControlId, std::vector<std::vector<std::string>>> listRows_;
  LinkOpener linkOpener_;
  // Setters run with this raised so that nothing they cause reaches the sink.
  int quiet_ = 0;
  // Raises quiet_ for the life of a setter.
  class Quiet {
   public:
    explicit Quiet(int& counter) : counter_(counter) { ++counter_; }
    ~Quiet() { --counter_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

   private:
    int& counter_;
  };
  // The paths of the last drop that delivered FilesDropped.
  std::vector<std::string> dropped_;
  // The control to focus when the window is next activated: the one that had the focus when
  // it was deactivated, or the one a handler asked for before the window was shown.
  HWND focusToRestore_ = nullptr;
  // Windows this window disabled while it runs modally.
  std::vector<HWND> disabledByModal_;
  // Shared with the threads of background work: where a finished one reports, the window's
  // handle until it is destroyed, so that a thread ending later posts to no window at all
  // (not to another that was given the same handle since).
  struct Mailbox {
    std::mutex mutex;
    HWND window = nullptr;
  };
  std::shared_ptr<Mailbox> mailbox_ = std::make_shared<Mailbox>();
  // What each background work still running does when it ends; only this thread touches it.
  std::map<WPARAM, std::function<void()>> pendingDone_;
  WPARAM nextJob_ = 0;
};

// The busy pointer over the client area of the program's windows, from now until it is
// turned off again, also while the message loop runs.
void SetBusyPointer(bool busy);

// Runs the message loop until no window of the program is left; returns 0. Returns at once
// when there is none.
int RunMessageLoop();

// One step of the program's key handling; true when it consumed the message, which must
// then not be translated or dispatched. Every loop that serves the program's windows (the
// main loop, RunModal, tests that pump messages) calls it first.
bool TranslateProgramKeys(MSG& msg);

}  // namespace korvane
