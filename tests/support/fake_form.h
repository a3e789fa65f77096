// A Form that keeps control state in memory, starting from a window's layout table, and
// records what the handlers did to the window. No events run from it: a test calls the
// handler it means to test.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/form.h"
#include "platform/platform.h"
#include "ui/layout.h"

namespace korvane::testing {

class FakeForm : public Form {
 public:
  explicit FakeForm(const WindowLayout& layout);

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
  void StartTimer(int milliseconds) override { timerMilliseconds = milliseconds; }
  int timerMilliseconds = 0;
  bool MenuItemEnabled(ControlId item) const override;
  void SetMenuItemEnabled(ControlId item, bool enabled) override;
  void PopupMenuAt(int x, int y) override;
  std::string Caption() const override { return caption; }
  void SetCaption(const std::string& text) override { caption = text; }
  Rect WindowRect() const override { return rect; }
  void SetWindowTop(int top) override;
  void SetWindowLeft(int left) override;
  void SetFocus(ControlId control) override { focus = control; }
  void Hide() override { hidden = true; }
  void Destroy() override { destroyed = true; }
  std::vector<std::string> DroppedFiles() const override { return dropped; }
  // Runs at once unless the test holds background work back, to act while it would still run.
  void RunInBackground(std::function<void()> work, std::function<void()> done) override;
  // Finishes the held work, as the window would: `done` only while the window exists.
  void FinishBackgroundWork();

  // What the operator does.
  void SelectRow(ControlId list, int row);
  // As the operator's scrolling leaves it: `row` first in view.
  void ScrollTo(ControlId list, int row);
  void SetComboIndex(ControlId combo, int index);

  struct Control {
    std::string text;
    bool visible = true;
    bool enabled = true;
    bool checked = false;
    std::vector<std::string> items;
    int currentItem = -1;
    std::vector<std::vector<std::string>> rows;
    int currentRow = -1;
    int topRow = 0;
  };
  const Control& At(ControlId control) const;

  std::string caption;
  Rect rect;
  ControlId focus = kWindowItself;
  bool hidden = false;
  bool destroyed = false;
  // What a test drops on the window before it calls the FilesDropped handler.
  std::vector<std::string> dropped;
  std::map<ControlId, bool> menuEnabled;
  std::vector<Point> popups;
  // Order in which the window's position was set: "top", "left".
  std::vector<std::string> positionWrites;
  bool holdBackgroundWork = false;
  std::vector<std::pair<std::function<void()>, std::function<void()>>> heldWork;

 private:
  Control& Mutable(ControlId control);
  std::map<ControlId, Control> controls_;
};

}  // namespace korvane::testing
