// A window that uses every kind of control the toolkit builds, for the toolkit's own tests:
// two group boxes of radio boxes, edit boxes of each sort, a combo list, a list view, hidden
// and disabled buttons, a label, a link and a popup menu. The tests check the real windows
// against the numbers written here, typed again in the tests.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <memory>

#include "ui/layout.h"
#include "ui/win32/window_win32.h"
#include "win32/support/common_controls6.h"
#include "win32/support/drive_win32.h"
#include "win32/support/recording_sink.h"

namespace korvane::testing {

enum class Toolkit {
  GroupA, RadioA1, RadioA2, CheckA,
  GroupB, RadioB1, RadioB2,
  Edit, Password, ShortEdit, CentreEdit,
  Combo, List, HiddenButton, DisabledButton, Button, Label, Link,
};

enum class ToolkitMenu { One = 100, Two, Three };

inline WindowLayout ToolkitLayout() {
  using T = Toolkit;
  WindowLayout w;
  w.caption = "Toolkit 测试";
  w.width = 500;
  w.height = 320;
  auto add = [&w](T id, ControlKind kind, ControlId container, int l, int t, int wd, int h, std::string text,
                  unsigned flags) {
    ControlLayout c{Id(id), "", kind};
    c.container = container;
    c.left = l, c.top = t, c.width = wd, c.height = h;
    c.text = std::move(text);
    c.flags = flags;
    w.controls.push_back(c);
    return &w.controls.back();
  };
  constexpr ControlId window = kWindowItself;
  const ControlId groupA = Id(T::GroupA), groupB = Id(T::GroupB);
  add(T::GroupA, ControlKind::GroupBox, window, 10, 10, 200, 70, "A", 0);
  add(T::RadioA1, ControlKind::RadioBox, groupA, 8, 18, 60, 16, "a1", kTabStop | kChecked);
  add(T::RadioA2, ControlKind::RadioBox, groupA, 70, 18, 60, 16, "a2", kTabStop);
  add(T::CheckA, ControlKind::CheckBox, groupA, 8, 40, 100, 20, "check", kTabStop);
  add(T::GroupB, ControlKind::GroupBox, window, 220, 10, 200, 46, "B", 0);
  add(T::RadioB1, ControlKind::RadioBox, groupB, 16, 20, 80, 18, "b1", kTabStop);
  add(T::RadioB2, ControlKind::RadioBox, groupB, 104, 20, 80, 18, "b2", kTabStop | kChecked);
  add(T::Edit, ControlKind::Edit, window, 10, 90, 120, 20, "hello", kTabStop);
  add(T::Password, ControlKind::Edit, window, 140, 90, 120, 20, "", kTabStop | kPassword);
  add(T::ShortEdit, ControlKind::Edit, window, 270, 90, 100, 8, "", kTabStop);
  add(T::CentreEdit, ControlKind::Edit, window, 380, 90, 60, 20, "3389", kTabStop | kCentreText);
  ControlLayout* combo = add(T::Combo, ControlKind::ComboList, window, 10, 120, 100, 20, "", kTabStop);
  combo->items = {"800*600", "1024*768", "1280*800", "1280*1024"};
  combo->currentItem = 1;
  combo->dropDownHeight = 160;
  ControlLayout* list = add(T::List, ControlKind::ListView, window, 220, 120, 260, 100, "", kTabStop);
  list->columns = {{"序号", 40}, {"名称", 150}, {"IP地址", 60}};
  add(T::HiddenButton, ControlKind::Button, window, 10, 150, 60, 22, "hidden", kTabStop | kHidden);
  add(T::DisabledButton, ControlKind::Button, window, 80, 150, 60, 22, "disabled", kTabStop | kDisabled);
  add(T::Button, ControlKind::Button, window, 150, 150, 60, 22, "button", kTabStop);
  add(T::Label, ControlKind::Label, window, 10, 180, 100, 20, "主  机:", 0);
  add(T::Link, ControlKind::Hyperlink, window, 300, 250, 150, 24, "http://example.invalid/", 0);
  for (T id : {T::Edit, T::RadioA1, T::RadioA2, T::CheckA, T::HiddenButton, T::RadioB1, T::RadioB2, T::Password,
               T::DisabledButton, T::ShortEdit, T::CentreEdit, T::Combo, T::List, T::Button})
    w.tabOrder.push_back(Id(id));
  w.popupMenu = {{Id(ToolkitMenu::One), "One"}, {Id(ToolkitMenu::Two), "Two"}, {Id(ToolkitMenu::Three), "Three"}};
  return w;
}

// Left, top, width and height of a control in its parent's client coordinates.
inline std::array<int, 4> PlaceInParent(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// The toolkit window, built afresh for each test; the events of its creation are dropped.
class ToolkitWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kCommonControls6Active);
    window_ = Win32Window::Create(Layout(), sink_);
    ASSERT_TRUE(window_ && window_->Alive());
    Pump();
    sink_.events.clear();
  }

  void TearDown() override {
    window_.reset();
    Pump();
  }

  // The table the window is built from; a test of another setting changes it here.
  virtual WindowLayout Layout() const { return ToolkitLayout(); }
  HWND H(Toolkit control) const { return window_->ControlHandle(Id(control)); }
  Win32Window& W() { return *window_; }

  RecordingSink sink_;
  std::unique_ptr<Win32Window> window_;
};

}  // namespace korvane::testing
