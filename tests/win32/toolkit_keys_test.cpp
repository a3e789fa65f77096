// The program's keys on real windows: Tab order, radio arrows, Esc, Enter, keys in edit
// boxes, and the loops that serve them.
#include <windowsx.h>

#include "win32/support/toolkit_fixture.h"

namespace korvane::testing {
namespace {

using T = Toolkit;
using Events = std::vector<std::string>;

std::string Clicked(T control) { return Describe({EventKind::Clicked, Id(control)}); }
std::string KeyDown(T control, int key) { return Describe({EventKind::KeyDown, Id(control), key}); }

class ToolkitKeysTest : public ToolkitWindowTest {
 protected:
  // Presses Tab (or Shift+Tab) `count` times and returns where the focus went each time.
  std::vector<HWND> Tabs(int count, bool shift = false) {
    std::vector<HWND> visited;
    for (int i = 0; i < count; ++i) {
      PressKey(VK_TAB, shift);
      visited.push_back(GetFocus());
    }
    return visited;
  }
  std::vector<HWND> Handles(std::initializer_list<T> controls) {
    std::vector<HWND> handles;
    for (T c : controls) handles.push_back(H(c));
    return handles;
  }
};

TEST_F(ToolkitKeysTest, TabFollowsTheLayoutOrderAcrossContainersSkippingHiddenAndDisabled) {
  ASSERT_EQ(GetFocus(), H(T::Edit));
  EXPECT_EQ(Tabs(12), Handles({T::RadioA1, T::RadioA2, T::CheckA, T::RadioB1, T::RadioB2, T::Password, T::ShortEdit,
                               T::CentreEdit, T::Combo, T::List, T::Button, T::Edit}));
  // As in dialogs, an edit box entered by Tab has its text selected.
  DWORD start = 1, end = 0;
  SendMessageW(H(T::Edit), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ((std::array<DWORD, 2>{start, end}), (std::array<DWORD, 2>{0, 5}));
  // Tab only moves the focus: it neither checks a radio box nor runs anything.
  EXPECT_FALSE(W().Checked(Id(T::RadioA2)));
  EXPECT_TRUE(sink_.events.empty());
}

TEST_F(ToolkitKeysTest, ShiftTabGoesBackwardsAndWraps) {
  EXPECT_EQ(Tabs(4, true), Handles({T::Button, T::List, T::Combo, T::CentreEdit}));
}

TEST_F(ToolkitKeysTest, TabSkipsTheControlsOfAHiddenGroupBoxAndVisitsShownOnes) {
  W().SetVisible(Id(T::GroupB), false);
  W().SetVisible(Id(T::HiddenButton), true);
  W().SetEnabled(Id(T::DisabledButton), true);
  W().SetFocus(Id(T::CheckA));
  EXPECT_EQ(Tabs(3), Handles({T::HiddenButton, T::Password, T::DisabledButton}));
}

TEST_F(ToolkitKeysTest, HidingOrDisablingTheFocusedControlMovesTheFocusOn) {
  W().SetFocus(Id(T::Password));
  W().SetVisible(Id(T::Password), false);
  EXPECT_EQ(GetFocus(), H(T::ShortEdit));
  W().SetEnabled(Id(T::ShortEdit), false);
  EXPECT_EQ(GetFocus(), H(T::CentreEdit));
}

TEST_F(ToolkitKeysTest, AClickedRadioBoxUnchecksOnlyTheOthersOfItsContainer) {
  SendMessageW(H(T::RadioA2), BM_CLICK, 0, 0);
  Pump();
  EXPECT_EQ(sink_.Described(), Events{Clicked(T::RadioA2)});
  EXPECT_TRUE(W().Checked(Id(T::RadioA2)));
  EXPECT_FALSE(W().Checked(Id(T::RadioA1)));
  EXPECT_TRUE(W().Checked(Id(T::RadioB2)));
  EXPECT_FALSE(W().Checked(Id(T::RadioB1)));

  SendMessageW(H(T::RadioB1), BM_CLICK, 0, 0);
  EXPECT_TRUE(W().Checked(Id(T::RadioB1)));
  EXPECT_FALSE(W().Checked(Id(T::RadioB2)));
  EXPECT_TRUE(W().Checked(Id(T::RadioA2)));
}

TEST_F(ToolkitKeysTest, AClickUnchecksHiddenAndDisabledRadiosOfTheContainerToo) {
  W().SetEnabled(Id(T::RadioA1), false);
  SendMessageW(H(T::RadioA2), BM_CLICK, 0, 0);
  EXPECT_FALSE(W().Checked(Id(T::RadioA1)));
}

TEST_F(ToolkitKeysTest, ArrowKeysMoveTheCheckWithinTheContainerAndReportAClick) {
  W().SetFocus(Id(T::RadioA1));
  PressKey(VK_RIGHT);
  EXPECT_EQ(GetFocus(), H(T::RadioA2));
  EXPECT_TRUE(W().Checked(Id(T::RadioA2)));
  EXPECT_FALSE(W().Checked(Id(T::RadioA1)));
  // Wraps past the check box, which is not a radio box.
  PressKey(VK_DOWN);
  EXPECT_EQ(GetFocus(), H(T::RadioA1));
  EXPECT_TRUE(W().Checked(Id(T::RadioA1)));
  PressKey(VK_UP);
  EXPECT_EQ(GetFocus(), H(T::RadioA2));
  EXPECT_FALSE(W().Checked(Id(T::CheckA)));
  EXPECT_EQ(sink_.Described(), (Events{Clicked(T::RadioA2), Clicked(T::RadioA1), Clicked(T::RadioA2)}));

  // The other container is untouched, and has its own pair.
  EXPECT_TRUE(W().Checked(Id(T::RadioB2)));
  W().SetFocus(Id(T::RadioB2));
  PressKey(VK_LEFT);
  EXPECT_TRUE(W().Checked(Id(T::RadioB1)));
  EXPECT_FALSE(W().Checked(Id(T::RadioB2)));
  EXPECT_TRUE(W().Checked(Id(T::RadioA2)));
}

TEST_F(ToolkitKeysTest, ArrowKeysElsewhereAreLeftToTheControl) {
  W().SetFocus(Id(T::Combo));
  PressKey(VK_DOWN);
  EXPECT_EQ(W().ComboIndex(Id(T::Combo)), 2);
  EXPECT_EQ(GetFocus(), H(T::Combo));
  EXPECT_TRUE(sink_.events.empty());
}

// The list keeps no text of its own, so the search that typing starts is answered from the rows.
TEST_F(ToolkitKeysTest, TypingInTheListSelectsTheNextRowBeginningWithItAndWraps) {
  W().ListSetRows(Id(T::List), {{"7", "主机"}, {"12", "备用"}, {"30", "x"}, {"31", "y"}, {"5", "z"}});
  ClickListRow(H(T::List), 2);
  PressKey(H(T::List), '3');
  EXPECT_EQ(W().ListCurrentRow(Id(T::List)), 3);
  Sleep(600);  // a pause ends the typed word: the next key starts a new one
  // Nothing below row 3 begins with 1: the search goes on from the top.
  PressKey(H(T::List), '1');
  EXPECT_EQ(W().ListCurrentRow(Id(T::List)), 1);
}

TEST_F(ToolkitKeysTest, EnterHasNoWindowWideMeaning) {
  W().SetFocus(Id(T::Button));
  PressKey(VK_RETURN);
  EXPECT_EQ(GetFocus(), H(T::Button));
  EXPECT_TRUE(W().Alive());
  EXPECT_TRUE(sink_.events.empty());

  // In an edit box it is only a key for the edit's handler.
  W().SetFocus(Id(T::Password));
  PressKey(VK_RETURN);
  EXPECT_EQ(GetFocus(), H(T::Password));
  EXPECT_EQ(sink_.Described(), Events{KeyDown(T::Password, 13)});
  EXPECT_EQ(W().Text(Id(T::Password)), "");
}

TEST_F(ToolkitKeysTest, KeysInAnEditAreReportedAndStillTyped) {
  W().SetFocus(Id(T::Edit));
  Edit_SetSel(H(T::Edit), 5, 5);
  PressKey('A');
  PressKey(VK_BACK);
  PressKey('B');
  EXPECT_EQ(sink_.Described(), (Events{KeyDown(T::Edit, 'A'), KeyDown(T::Edit, VK_BACK), KeyDown(T::Edit, 'B')}));
  EXPECT_EQ(W().Text(Id(T::Edit)), "hellob");
}

TEST_F(ToolkitKeysTest, AKeyHandlerMayDestroyTheWindow) {
  sink_.react = [this](const Event& e) {
    if (e.kind == EventKind::KeyDown && e.key == VK_RETURN) W().Destroy();
  };
  W().SetFocus(Id(T::Edit));
  PressKey(VK_RETURN);
  EXPECT_FALSE(W().Alive());
}

TEST_F(ToolkitKeysTest, EscInAnOpenDropDownOnlyClosesTheList) {
  W().SetFocus(Id(T::Combo));
  ComboBox_ShowDropdown(H(T::Combo), TRUE);
  ASSERT_TRUE(ComboBox_GetDroppedState(H(T::Combo)));
  PressKey(VK_ESCAPE);
  EXPECT_FALSE(ComboBox_GetDroppedState(H(T::Combo)));
  EXPECT_TRUE(W().Alive());
  PressKey(VK_ESCAPE);
  EXPECT_FALSE(W().Alive());
}

// Esc in any control closes the window the way its close box does; the loop then ends,
// since it was the program's last window.
TEST_F(ToolkitKeysTest, EscClosesTheWindowAndTheLoopEndsWithIt) {
  W().SetFocus(Id(T::List));
  PostMessageW(H(T::List), WM_KEYDOWN, VK_ESCAPE, 1);
  // Should Esc fail, the loop would never end: a timer destroys the window instead.
  static HWND stuck;
  stuck = W().Handle();
  const UINT_PTR guard = SetTimer(nullptr, 0, 3000, [](HWND, UINT, UINT_PTR, DWORD) { DestroyWindow(stuck); });
  HWND hwnd = W().Handle();
  EXPECT_EQ(RunMessageLoop(), 0);
  KillTimer(nullptr, guard);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(W().Alive());
  EXPECT_EQ(Win32Window::LiveCount(), 0u);
  EXPECT_TRUE(sink_.events.empty());  // closing runs nothing of the program's own
}

TEST_F(ToolkitKeysTest, TheCloseBoxClosesTheWindowAsEscDoes) {
  SendMessageW(W().Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  Pump();
  EXPECT_FALSE(W().Alive());
}

TEST(ToolkitLoop, RunMessageLoopReturnsAtOnceWhenThereIsNoWindow) {
  ASSERT_EQ(Win32Window::LiveCount(), 0u);
  EXPECT_EQ(RunMessageLoop(), 0);
}

TEST(ToolkitLoop, AModalWindowDisablesTheOthersUntilItCloses) {
  RecordingSink mainSink, modalSink;
  auto main = Win32Window::Create(ToolkitLayout(), mainSink);
  WindowLayout small = ToolkitLayout();
  small.caption = "modal";
  small.width = 300;
  small.height = 200;
  auto modal = Win32Window::Create(small, modalSink);

  static HWND mainHwnd, modalHwnd;
  static bool mainEnabledDuring, modalEnabledDuring;
  mainHwnd = main->Handle();
  modalHwnd = modal->Handle();
  mainEnabledDuring = true;
  modalEnabledDuring = false;
  // Runs inside the modal loop: look, then press Esc in the modal window's edit box.
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    mainEnabledDuring = IsWindowEnabled(mainHwnd);
    modalEnabledDuring = IsWindowEnabled(modalHwnd);
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
  });
  const UINT_PTR guard = SetTimer(nullptr, 0, 3000, [](HWND, UINT, UINT_PTR, DWORD) { DestroyWindow(modalHwnd); });
  modal->RunModal();
  KillTimer(nullptr, guard);
  (void)timer;

  EXPECT_FALSE(mainEnabledDuring);
  EXPECT_TRUE(modalEnabledDuring);
  EXPECT_FALSE(modal->Alive());
  EXPECT_TRUE(IsWindowEnabled(main->Handle()));
  EXPECT_EQ(GetActiveWindow(), main->Handle());
  EXPECT_TRUE(main->Alive());
  EXPECT_FALSE(Pump());  // the main window is left: the loop goes on
  main.reset();
  Pump();
}

}  // namespace
}  // namespace korvane::testing
