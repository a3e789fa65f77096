// A window as its handlers see it: named controls and their properties. The Win32 side
// implements it over real windows; tests implement it with a small recorder.
//
// Controls are addressed by their window's enum (LoginControl, MainControl, ...), which
// converts to a ControlId. Menu items are addressed the same way.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace korvane {

using ControlId = int;

template <typename E>
constexpr ControlId Id(E control) {
  return static_cast<ControlId>(control);
}

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

class Form {
 public:
  virtual ~Form() = default;

  virtual std::string Text(ControlId control) const = 0;
  virtual void SetText(ControlId control, const std::string& text) = 0;
  virtual bool Visible(ControlId control) const = 0;
  virtual void SetVisible(ControlId control, bool visible) = 0;
  virtual bool Enabled(ControlId control) const = 0;
  virtual void SetEnabled(ControlId control, bool enabled) = 0;
  // Radio and check boxes. Setting the state from code runs no bound event and leaves the
  // other radio boxes of the container alone.
  virtual bool Checked(ControlId control) const = 0;
  virtual void SetChecked(ControlId control, bool checked) = 0;

  // Combo box: the current item's index (-1 when none) and text.
  virtual int ComboIndex(ControlId control) const = 0;
  virtual std::string ComboText(ControlId control) const = 0;

  // List view in report mode.
  virtual void ListClear(ControlId control) = 0;
  virtual void ListAppendRow(ControlId control, const std::vector<std::string>& cells) = 0;
  // Replaces every row at once, leaving no row selected: a list of thousands fills in one
  // step, where appending would cost the list its bookkeeping once per row.
  virtual void ListSetRows(ControlId control, std::vector<std::vector<std::string>> rows) = 0;
  virtual int ListRowCount(ControlId control) const = 0;
  virtual std::string ListCell(ControlId control, int row, int column) const = 0;
  // The first selected row, -1 when none.
  virtual int ListCurrentRow(ControlId control) const = 0;

  // The window's popup menu.
  virtual bool MenuItemEnabled(ControlId item) const = 0;
  virtual void SetMenuItemEnabled(ControlId item, bool enabled) = 0;
  // Shows the popup menu with its top-left corner at the screen point; returns after the
  // operator chose an item (whose event has then run) or dismissed it.
  virtual void PopupMenuAt(int x, int y) = 0;

  // The first row the list shows at its top (0 when empty).
  virtual int ListTopRow(ControlId control) const = 0;
  // One row changed, put in or taken out where it stands; the other rows keep their cells.
  // Nothing else moves: ListShowAt then puts the selection and the view where they belong.
  virtual void ListSetRow(ControlId control, int row, const std::vector<std::string>& cells) = 0;
  virtual void ListInsertRow(ControlId control, int row, const std::vector<std::string>& cells) = 0;
  virtual void ListDeleteRow(ControlId control, int row) = 0;
  // Selects `currentRow` (-1: none) and scrolls so that `topRow` is the first row shown, as far
  // as the rows allow, without an event: the operator's place kept while rows change under it.
  virtual void ListShowAt(ControlId control, int currentRow, int topRow) = 0;

  // A Timer event every `milliseconds`, from the window's message loop, for as long as the
  // window lives (0 stops it).
  virtual void StartTimer(int milliseconds) = 0;

  // The window itself. Rectangles are outer rectangles in screen pixels.
  virtual std::string Caption() const = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual Rect WindowRect() const = 0;
  virtual void SetWindowTop(int top) = 0;
  virtual void SetWindowLeft(int left) = 0;
  virtual void SetFocus(ControlId control) = 0;
  virtual void Hide() = 0;
  virtual void Destroy() = 0;
  // The full paths (UTF-8) of what the last FilesDropped brought, files and folders alike, in
  // the order the system gave them.
  virtual std::vector<std::string> DroppedFiles() const = 0;

  // Runs `work` on a thread of its own, so that the window keeps painting and answering
  // meanwhile, then `done` on the window's thread, from its message loop. When the window is
  // destroyed first, `done` never runs. `work` must touch nothing that the window's thread
  // uses meanwhile: it works on copies and leaves its result where `done` will look.
  virtual void RunInBackground(std::function<void()> work, std::function<void()> done) = 0;
};

// What happened on a window, as its handlers receive it.
enum class EventKind {
  Created,      // the window and all its controls exist; control is kWindowItself
  Clicked,      // a button, radio or check box was clicked (radio also by arrow keys)
  LeftClick,    // the list view's own left-click notification
  RightClick,   // the list view's own right-click notification
  DoubleClick,  // the list view's double click
  KeyDown,      // a key went down in an edit box; key holds the virtual key code
  MenuItem,     // a popup-menu item was chosen; control holds the item
  Timer,        // the window's timer (StartTimer) came round
  Activated,    // the window became the active one again
  FilesDropped, // files were dropped on a window whose layout accepts them; see DroppedFiles
};

inline constexpr ControlId kWindowItself = -1;
inline constexpr int kKeyEnter = 13;

struct Event {
  EventKind kind;
  ControlId control = kWindowItself;
  int key = 0;
};

// A window's handlers: the window forwards every event here; the implementation's bindings
// decide which handler, if any, runs.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void OnEvent(const Event& event) = 0;
};

}  // namespace korvane
