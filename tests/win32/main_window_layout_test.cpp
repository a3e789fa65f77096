// The real main window, built from its layout, with its real handlers over a recording
// platform and a real data file: geometry, captions, styles and initial states.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "app/program.h"
#include "support/data_files.h"
#include "support/fake_platform.h"
#include "platform/platform_win32.h"
#include "servers/editor_opener_win32.h"
#include "servers/main_layout.h"
#include "servers/main_window.h"
#include "win32/support/common_controls6.h"
#include "win32/support/drive_win32.h"
#include "win32/support/program_window_test.h"
#include "win32/support/toolkit_fixture.h"

namespace korvane {
namespace {

using C = MainControl;
using Place = std::array<int, 4>;

class MainWindowLayoutTest : public testing::ProgramWindowTest<MainWindow, C> {
 protected:
  MainWindowLayoutTest() : ProgramWindowTest("korvane 主窗口 布局") {}
  void PrepareData() override {
    testing::AddServer(DataFilePath(), "10.0.0.1", "3389", "u", "p", "一");
    testing::AddServer(DataFilePath(), "10.0.0.2", "3390", "u", "p", "二");
  }
  const WindowLayout& Layout() const override { return MainLayout(); }
  std::unique_ptr<MainWindow> MakeHandlers(Form& form) override {
    return std::make_unique<MainWindow>(form, platform, editors);
  }

  Win32EditorOpener editors{platform};

  std::wstring TextOf(C control) const { return testing::WindowTextOf(H(control)); }
  bool Checked(C control) const { return SendMessageW(H(control), BM_GETCHECK, 0, 0) == BST_CHECKED; }
};

TEST_F(MainWindowLayoutTest, WindowIsCentredWithAFixedFrameAndNoMenuBar) {
  RECT r{};
  GetWindowRect(window->Handle(), &r);
  EXPECT_EQ(r.right - r.left, 644);
  EXPECT_EQ(r.bottom - r.top, 336);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 644) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 336) / 2);
  const std::wstring caption = testing::WindowTextOf(window->Handle());
  EXPECT_EQ(caption.substr(0, 11), L"Korvane    ");
  EXPECT_EQ(window->Caption(), std::string("Korvane    ") + kWebAddress);
  const LONG style = GetWindowLongW(window->Handle(), GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_EQ(GetMenu(window->Handle()), nullptr);
}

TEST_F(MainWindowLayoutTest, EveryControlSitsInItsContainerWithItsCaption) {
  struct Expected {
    C control;
    C container;  // the control itself when it lies on the window
    Place place;
    const wchar_t* caption;
  };
  const Expected expected[] = {
      {C::分组框1, C::分组框1, {4, 15, 404, 280}, L"服务器列表"},
      {C::超级列表框1, C::分组框1, {7, 14, 389, 258}, L""},
      {C::分组框2, C::分组框2, {418, 15, 208, 67}, L"选项"},
      {C::单选框_全屏, C::分组框2, {8, 18, 57, 16}, L"全屏"},
      {C::单选框_窗口, C::分组框2, {56, 18, 48, 16}, L"窗口"},
      {C::选择框_磁盘, C::分组框2, {8, 39, 96, 24}, L"映射本地磁盘"},
      {C::选择框_重连, C::分组框2, {112, 39, 80, 24}, L"断线重连"},
      {C::分组框4, C::分组框4, {418, 86, 208, 46}, L"远程桌面选项"},
      {C::单选框_真实桌面, C::分组框4, {16, 20, 80, 18}, L"真实桌面"},
      {C::单选框_虚拟桌面, C::分组框4, {104, 20, 80, 18}, L"虚拟桌面"},
      {C::分组框3, C::分组框3, {418, 135, 208, 120}, L"详细"},
      {C::标签4, C::分组框3, {8, 16, 48, 20}, L"主  机:"},
      {C::编辑框_Host, C::分组框3, {56, 16, 136, 20}, L""},
      {C::标签5, C::分组框3, {8, 40, 48, 20}, L"端  口:"},
      {C::编辑框_端口, C::分组框3, {56, 40, 80, 20}, L""},
      {C::标签1, C::分组框3, {8, 64, 48, 20}, L"用户名:"},
      {C::编辑框_用户名, C::分组框3, {56, 64, 136, 20}, L""},
      {C::标签2, C::分组框3, {8, 88, 48, 20}, L"密  码:"},
      {C::编辑框_密码, C::分组框3, {56, 88, 136, 20}, L""},
      {C::新密码标签, C::新密码标签, {472, 144, 104, 24}, L"请在此键入新密码"},
      {C::登录密码框, C::登录密码框, {456, 176, 144, 24}, L""},
      {C::改密码按钮, C::改密码按钮, {488, 208, 64, 24}, L"更新"},
      {C::按钮1, C::按钮1, {418, 271, 46, 23}, L"连接"},
      {C::按钮3, C::按钮3, {474, 271, 46, 23}, L"清除"},
      {C::按钮4, C::按钮4, {529, 271, 46, 23}, L"改密"},
      {C::按钮2, C::按钮2, {582, 271, 46, 23}, L"退出"},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(static_cast<int>(e.control));
    HWND control = H(e.control);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(GetParent(control), e.container == e.control ? window->Handle() : H(e.container));
    EXPECT_EQ(testing::PlaceInParent(control), e.place);
    EXPECT_EQ(testing::WindowTextOf(control), e.caption);
  }
  // The combo's closed box keeps its table place. Its list drops as far as that of a plain
  // combo box created 160 high (Wine reports the list part only, so compare the two).
  EXPECT_EQ(testing::PlaceInParent(H(C::组合框_分辨率)), (Place{104, 15, 100, 20}));
  EXPECT_EQ(GetParent(H(C::组合框_分辨率)), H(C::分组框2));
  HWND plain = CreateWindowExW(0, WC_COMBOBOXW, L"", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100, 160, window->Handle(),
                               nullptr, nullptr, nullptr);
  SendMessageW(plain, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  RECT dropped{}, plainDropped{};
  SendMessageW(H(C::组合框_分辨率), CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
  SendMessageW(plain, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&plainDropped));
  EXPECT_EQ(dropped.bottom - dropped.top, plainDropped.bottom - plainDropped.top);
  EXPECT_EQ(SendMessageW(H(C::组合框_分辨率), CB_GETITEMHEIGHT, 0, 0), SendMessageW(plain, CB_GETITEMHEIGHT, 0, 0) + 1);
  DestroyWindow(plain);
}

TEST_F(MainWindowLayoutTest, InitialStatesAfterTheWindowOpened) {
  EXPECT_TRUE(Checked(C::单选框_窗口));
  EXPECT_FALSE(Checked(C::单选框_全屏));
  EXPECT_TRUE(Checked(C::单选框_虚拟桌面));
  EXPECT_FALSE(Checked(C::单选框_真实桌面));
  EXPECT_TRUE(Checked(C::选择框_重连));
  EXPECT_FALSE(Checked(C::选择框_磁盘));
  EXPECT_TRUE(IsWindowEnabled(H(C::组合框_分辨率)));
  for (C hidden : {C::新密码标签, C::登录密码框, C::改密码按钮}) EXPECT_FALSE(IsWindowVisible(H(hidden)));
  for (C shown : {C::分组框3, C::标签4, C::编辑框_Host, C::标签5, C::编辑框_端口, C::标签1, C::编辑框_用户名, C::标签2,
                  C::编辑框_密码, C::超级列表框1, C::按钮1, C::按钮2, C::按钮3, C::按钮4})
    EXPECT_TRUE(IsWindowVisible(H(shown)));
  EXPECT_EQ(SendMessageW(H(C::编辑框_密码), EM_GETPASSWORDCHAR, 0, 0), L'*');
  EXPECT_EQ(SendMessageW(H(C::登录密码框), EM_GETPASSWORDCHAR, 0, 0), 0);
  HWND list = H(C::超级列表框1);
  EXPECT_EQ(ListView_GetItemCount(list), 2);
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), -1);
  for (HWND button : {H(C::按钮1), H(C::按钮2), H(C::按钮3), H(C::按钮4), H(C::改密码按钮)})
    EXPECT_FALSE(GetWindowLongW(button, GWL_STYLE) & BS_DEFPUSHBUTTON);
}

TEST_F(MainWindowLayoutTest, TheListIsAFullRowGridWithFourFixedLeftColumns) {
  HWND list = H(C::超级列表框1);
  const LONG style = GetWindowLongW(list, GWL_STYLE);
  EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_TRUE(style & LVS_SINGLESEL);
  EXPECT_TRUE(style & LVS_NOSORTHEADER);
  EXPECT_FALSE(style & LVS_SHOWSELALWAYS);
  EXPECT_FALSE(style & LVS_NOCOLUMNHEADER);
  EXPECT_TRUE(GetWindowLongW(list, GWL_EXSTYLE) & WS_EX_STATICEDGE);
  const DWORD extended = ListView_GetExtendedListViewStyle(list);
  EXPECT_TRUE(extended & LVS_EX_FULLROWSELECT);
  EXPECT_TRUE(extended & LVS_EX_GRIDLINES);
  EXPECT_FALSE(extended & (LVS_EX_CHECKBOXES | LVS_EX_TRACKSELECT));
  const wchar_t* headers[] = {L"序号", L"名称", L"IP地址", L"端口号"};
  const int widths[] = {40, 150, 110, 70};
  for (int column = 0; column < 4; ++column) {
    wchar_t text[32] = {};
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    info.pszText = text;
    info.cchTextMax = 32;
    ASSERT_TRUE(ListView_GetColumn(list, column, &info));
    EXPECT_STREQ(text, headers[column]);
    EXPECT_EQ(info.cx, widths[column]);
    EXPECT_EQ(info.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
  }
  LVCOLUMNW beyond{};
  beyond.mask = LVCF_WIDTH;
  EXPECT_FALSE(ListView_GetColumn(list, 4, &beyond));
}

TEST_F(MainWindowLayoutTest, TheResolutionListOffersSixItemsAndCannotBeTypedInto) {
  HWND combo = H(C::组合框_分辨率);
  EXPECT_EQ(GetWindowLongW(combo, GWL_STYLE) & 3, CBS_DROPDOWNLIST);
  EXPECT_FALSE(GetWindowLongW(combo, GWL_STYLE) & CBS_SORT);
  const wchar_t* items[] = {L"800*600", L"1024*768", L"1280*800", L"1280*1024", L"1440*900", L"1680*1050"};
  ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 6);
  for (int i = 0; i < 6; ++i) {
    wchar_t text[32] = {};
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, items[i]);
  }
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(window->ComboText(Id(C::组合框_分辨率)), "1024*768");
  // A drop-down list has no edit box to type into.
  EXPECT_EQ(FindWindowExW(combo, nullptr, L"Edit", nullptr), nullptr);
}

// Tab in both display states: while the details are shown the password-change controls are
// hidden and skipped, and the other way round after 改密.
TEST_F(MainWindowLayoutTest, TabVisitsEveryShownControlInTheWindowsOwnOrderInBothStates) {
  const std::vector<C> order = {C::超级列表框1, C::单选框_全屏, C::单选框_窗口, C::组合框_分辨率, C::选择框_磁盘,
                                C::选择框_重连, C::编辑框_Host, C::单选框_真实桌面, C::单选框_虚拟桌面, C::按钮4,
                                C::登录密码框, C::改密码按钮, C::编辑框_端口, C::编辑框_用户名, C::编辑框_密码,
                                C::按钮1, C::按钮3, C::按钮2};
  const std::vector<C> details = {C::编辑框_Host, C::编辑框_端口, C::编辑框_用户名, C::编辑框_密码};
  const std::vector<C> entry = {C::登录密码框, C::改密码按钮};
  for (bool passwordEntry : {false, true}) {
    SCOPED_TRACE(passwordEntry ? "password entry" : "details");
    if (passwordEntry) {
      SendMessageW(H(C::按钮4), BM_CLICK, 0, 0);
      testing::Pump();
    }
    const std::vector<C>& skipped = passwordEntry ? details : entry;
    std::vector<HWND> expected, visited;
    for (C c : order)
      if (std::find(skipped.begin(), skipped.end(), c) == skipped.end()) expected.push_back(H(c));
    std::rotate(expected.begin(), expected.begin() + 1, expected.end());  // from the list, round to it
    SetFocus(H(C::超级列表框1));
    for (size_t i = 0; i < expected.size(); ++i) {
      testing::PressKey(VK_TAB);
      visited.push_back(GetFocus());
    }
    EXPECT_EQ(visited, expected);
    testing::PressKey(VK_TAB, /*shift=*/true);
    EXPECT_EQ(GetFocus(), H(C::按钮2));
    // What the operator sees: the detail group, or the three password-change controls.
    EXPECT_EQ(IsWindowVisible(H(C::分组框3)) != 0, !passwordEntry);
    EXPECT_EQ(IsWindowVisible(H(C::编辑框_密码)) != 0, !passwordEntry);
    for (C c : {C::新密码标签, C::登录密码框, C::改密码按钮}) EXPECT_EQ(IsWindowVisible(H(c)) != 0, passwordEntry);
  }
}

// 删除 asks with a real message box: its text, caption, buttons and icon; No keeps the server.
TEST(MainWindowDelete, TheQuestionBoxHasYesNoAndTheQuestionIcon) {
  testing::TempDir dir("korvane 删除");
  SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
  testing::MakeDataFile(DataFilePath());
  testing::AddServer(DataFilePath(), "h", "1", "u", "p", "r");
  Win32Platform platform;
  Win32EditorOpener editors{platform};
  std::unique_ptr<MainWindow> handlers;
  auto window = Win32Window::Create(MainLayout(), [&](Form& form) -> EventSink& {
    handlers = std::make_unique<MainWindow>(form, platform, editors);
    return *handlers;
  });
  ASSERT_TRUE(window);
  testing::ClickListRow(window->ControlHandle(Id(C::超级列表框1)), 0);
  std::wstring caption, text;
  bool yes = false, no = false, ok = false, icon = false;
  {
    testing::WindowWatcher watcher(L"#32770", [&](HWND box) {
      caption = testing::WindowTextOf(box);
      text = testing::MessageBoxText(box);
      yes = GetDlgItem(box, IDYES) != nullptr;
      no = GetDlgItem(box, IDNO) != nullptr;
      ok = GetDlgItem(box, IDOK) != nullptr;
      icon = testing::HasIcon(box);
      testing::PressMessageBoxButton(box, IDNO);
    });
    handlers->OnEvent({EventKind::MenuItem, Id(MainMenuItem::删除)});
    EXPECT_TRUE(watcher.Acted());
  }
  EXPECT_EQ(caption, L"询问");
  EXPECT_EQ(text, L"确认删除服务器？");
  EXPECT_TRUE(yes && no && !ok && icon);
  EXPECT_EQ(window->ListRowCount(Id(C::超级列表框1)), 1);
}

TEST_F(MainWindowLayoutTest, EachRadioPairBelongsToItsOwnGroupBox) {
  SendMessageW(H(C::单选框_全屏), BM_CLICK, 0, 0);
  testing::Pump();
  EXPECT_TRUE(Checked(C::单选框_全屏));
  EXPECT_FALSE(Checked(C::单选框_窗口));
  EXPECT_TRUE(Checked(C::单选框_虚拟桌面));
  EXPECT_FALSE(Checked(C::单选框_真实桌面));
  EXPECT_FALSE(IsWindowEnabled(H(C::组合框_分辨率)));

  SendMessageW(H(C::单选框_真实桌面), BM_CLICK, 0, 0);
  testing::Pump();
  EXPECT_TRUE(Checked(C::单选框_真实桌面));
  EXPECT_FALSE(Checked(C::单选框_虚拟桌面));
  EXPECT_TRUE(Checked(C::单选框_全屏));

  // By the arrow keys: the check moves back to 窗口, which enables the list again.
  SetFocus(H(C::单选框_全屏));
  testing::PressKey(VK_RIGHT);
  EXPECT_TRUE(Checked(C::单选框_窗口));
  EXPECT_FALSE(Checked(C::单选框_全屏));
  EXPECT_TRUE(Checked(C::单选框_真实桌面));
  EXPECT_TRUE(IsWindowEnabled(H(C::组合框_分辨率)));
}

TEST_F(MainWindowLayoutTest, ALeftClickOnARowFillsTheDetails) {
  testing::ClickListRow(H(C::超级列表框1), 1);
  EXPECT_EQ(TextOf(C::编辑框_Host), L"10.0.0.2");
  EXPECT_EQ(TextOf(C::编辑框_端口), L"3390");
  EXPECT_EQ(TextOf(C::编辑框_用户名), L"u");
  EXPECT_EQ(window->Text(Id(C::编辑框_密码)), "p");
}

}  // namespace
}  // namespace korvane
