// The mouse on real windows: list view clicks, the popup menu and the link.
#include "win32/support/toolkit_fixture.h"
#include "ui/win32/hyperlink_win32.h"

namespace korvane::testing {
namespace {

using T = Toolkit;
using Events = std::vector<std::string>;

std::string ListEvent(EventKind kind) { return Describe({kind, Id(T::List)}); }
std::string Chosen(ToolkitMenu item) { return Describe({EventKind::MenuItem, Id(item)}); }

class ToolkitMouseTest : public ToolkitWindowTest {
 protected:
  void FillList() {
    W().ListAppendRow(Id(T::List), {"1", "one", "10.0.0.1"});
    W().ListAppendRow(Id(T::List), {"2", "two", "10.0.0.2"});
    W().ListAppendRow(Id(T::List), {"3", "three", "10.0.0.3"});
  }
};

TEST_F(ToolkitMouseTest, ListClicksReportTheListsOwnNotifications) {
  FillList();
  ClickListRow(H(T::List), 1);
  EXPECT_EQ(sink_.Described(), Events{ListEvent(EventKind::LeftClick)});
  EXPECT_EQ(W().ListCurrentRow(Id(T::List)), 1);

  sink_.events.clear();
  RightClickListRow(H(T::List), 2);
  EXPECT_EQ(sink_.Described(), Events{ListEvent(EventKind::RightClick)});
  EXPECT_EQ(W().ListCurrentRow(Id(T::List)), 2);

  sink_.events.clear();
  DoubleClickListRow(H(T::List), 0);
  ASSERT_FALSE(sink_.events.empty());
  EXPECT_EQ(sink_.Described().back(), ListEvent(EventKind::DoubleClick));
  for (const Event& e : sink_.events) EXPECT_EQ(e.control, Id(T::List));
  EXPECT_EQ(W().ListCurrentRow(Id(T::List)), 0);
}

TEST_F(ToolkitMouseTest, APopupMenuChoiceRunsItsEventBeforePopupMenuAtReturns) {
  RECT menuRect{};
  WindowWatcher watcher(L"#32768", [&menuRect](HWND menu) {
    GetWindowRect(menu, &menuRect);
    ChoosePopupMenuItem(menu, 2);
  });
  W().PopupMenuAt(200, 150);
  ASSERT_TRUE(watcher.Acted());
  EXPECT_EQ(sink_.Described(), Events{Chosen(ToolkitMenu::Three)});
  EXPECT_EQ(menuRect.left, 200);
  EXPECT_EQ(menuRect.top, 150);
  EXPECT_EQ(GetMenu(W().Handle()), nullptr);
}

TEST_F(ToolkitMouseTest, ADismissedMenuRunsNothing) {
  WindowWatcher watcher(L"#32768", [](HWND menu) { DismissPopupMenu(menu); });
  W().PopupMenuAt(200, 150);
  ASSERT_TRUE(watcher.Acted());
  EXPECT_TRUE(sink_.events.empty());
}

TEST_F(ToolkitMouseTest, MenuItemsCanBeDisabledAndEnabled) {
  EXPECT_TRUE(W().MenuItemEnabled(Id(ToolkitMenu::Two)));
  W().SetMenuItemEnabled(Id(ToolkitMenu::Two), false);
  EXPECT_FALSE(W().MenuItemEnabled(Id(ToolkitMenu::Two)));
  EXPECT_TRUE(W().MenuItemEnabled(Id(ToolkitMenu::One)));
  W().SetMenuItemEnabled(Id(ToolkitMenu::Two), true);
  EXPECT_TRUE(W().MenuItemEnabled(Id(ToolkitMenu::Two)));
  EXPECT_FALSE(W().MenuItemEnabled(999));
}

// The usual flow: the list's right click handler pops the menu up where the mouse is.
TEST_F(ToolkitMouseTest, TheRightClickHandlerCanPopUpTheMenu) {
  FillList();
  sink_.react = [this](const Event& e) {
    if (e.kind == EventKind::RightClick) W().PopupMenuAt(300, 200);
  };
  WindowWatcher watcher(L"#32768", [](HWND menu) { ChoosePopupMenuItem(menu, 0); });
  RightClickListRow(H(T::List), 1);
  EXPECT_EQ(sink_.Described(), (Events{ListEvent(EventKind::RightClick), Chosen(ToolkitMenu::One)}));
}

class ToolkitLinkTest : public ToolkitWindowTest {
 protected:
  void SetUp() override {
    ToolkitWindowTest::SetUp();
    W().SetLinkOpener([this](const std::string& address) {
      opened_.push_back(address);
      return opens_;
    });
    link_ = H(T::Link);
  }

  // The colour the link's text is painted in: what it asks its parent for when it paints.
  COLORREF PaintedColour() {
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(GetParent(link_), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(link_));
    const COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
  }
  void MouseOver() {
    SendMessageW(link_, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  }
  void MouseLeaves() { SendMessageW(link_, WM_MOUSELEAVE, 0, 0); }
  void Click() {
    SendMessageW(link_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(link_, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  }

  HWND link_ = nullptr;
  bool opens_ = true;
  std::vector<std::string> opened_;
};

constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kHover = RGB(0, 120, 215);
constexpr COLORREF kOpened = RGB(128, 0, 0);

TEST_F(ToolkitLinkTest, ColoursFollowHoverAndOpenedWithHoverWinning) {
  EXPECT_EQ(PaintedColour(), kBlue);
  EXPECT_EQ(W().LinkTextColour(Id(T::Link)), kBlue);
  MouseOver();
  EXPECT_EQ(PaintedColour(), kHover);
  Click();
  EXPECT_EQ(opened_, std::vector<std::string>{"http://example.invalid/"});
  EXPECT_EQ(PaintedColour(), kHover);  // still under the mouse
  MouseLeaves();
  EXPECT_EQ(PaintedColour(), kOpened);
  EXPECT_EQ(W().LinkTextColour(Id(T::Link)), kOpened);
  MouseOver();
  EXPECT_EQ(PaintedColour(), kHover);
  EXPECT_EQ(W().LinkTextColour(Id(T::Link)), kHover);
  Pump();
  EXPECT_TRUE(sink_.events.empty());  // the link runs nothing of the program's own
}

TEST_F(ToolkitLinkTest, APressThatEndsOffTheLinkOpensNothingLater) {
  SendMessageW(link_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(GetCapture(), link_);
  SendMessageW(link_, WM_LBUTTONUP, 0, MAKELPARAM(-50, -50));  // released elsewhere
  EXPECT_NE(GetCapture(), link_);
  SendMessageW(link_, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));  // a release with no press
  EXPECT_TRUE(opened_.empty());
}

TEST_F(ToolkitLinkTest, AFailedOpenLeavesTheLinkUnvisited) {
  opens_ = false;
  MouseOver();
  Click();
  MouseLeaves();
  EXPECT_EQ(opened_.size(), 1u);
  EXPECT_EQ(PaintedColour(), kBlue);
}

TEST_F(ToolkitLinkTest, TheMousePointerIsAHand) {
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  SendMessageW(link_, WM_SETCURSOR, reinterpret_cast<WPARAM>(link_), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
  // Elsewhere the window's own arrow.
  SendMessageW(H(T::Label), WM_SETCURSOR, reinterpret_cast<WPARAM>(H(T::Label)), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

// The leave comes from the system, through TrackMouseEvent, once the pointer is elsewhere.
TEST_F(ToolkitLinkTest, TheHoverEndsWhenThePointerMovesAway) {
  RECT r;
  GetWindowRect(link_, &r);
  SetCursorPos(r.left + 5, r.top + 5);
  MouseOver();
  EXPECT_EQ(PaintedColour(), kHover);
  SetCursorPos(5, 5);
  PumpFor(std::chrono::milliseconds(1500));
  EXPECT_EQ(PaintedColour(), kBlue);
}

}  // namespace
}  // namespace korvane::testing
