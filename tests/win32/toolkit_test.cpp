// The toolkit builds real windows and controls from a layout table: frame, geometry, styles,
// initial states, and the Form properties over them.
#include <windowsx.h>

#include "win32/support/toolkit_fixture.h"

namespace korvane::testing {
namespace {

using T = Toolkit;
using Place = std::array<int, 4>;

LONG_PTR Style(HWND h) { return GetWindowLongPtrW(h, GWL_STYLE); }
LONG_PTR ExStyle(HWND h) { return GetWindowLongPtrW(h, GWL_EXSTYLE); }

TEST_F(ToolkitWindowTest, WindowIsCentredOnTheScreenWithAFixedFrameAndNoMenuBar) {
  const int left = (GetSystemMetrics(SM_CXSCREEN) - 500) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - 320) / 2;
  RECT r;
  GetWindowRect(W().Handle(), &r);
  EXPECT_EQ((Place{r.left, r.top, r.right - r.left, r.bottom - r.top}), (Place{left, top, 500, 320}));
  const Rect reported = W().WindowRect();
  EXPECT_EQ((Place{reported.left, reported.top, reported.width, reported.height}), (Place{left, top, 500, 320}));

  const LONG_PTR style = Style(W().Handle());
  EXPECT_TRUE(style & WS_VISIBLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_CHILD);
  EXPECT_TRUE(ExStyle(W().Handle()) & WS_EX_APPWINDOW);
  EXPECT_FALSE(ExStyle(W().Handle()) & WS_EX_ACCEPTFILES);  // its layout takes no files
  EXPECT_EQ(GetMenu(W().Handle()), nullptr);
  EXPECT_EQ(GetWindow(W().Handle(), GW_OWNER), nullptr);
  EXPECT_EQ(W().Caption(), "Toolkit 测试");
}

TEST_F(ToolkitWindowTest, ControlsSitInTheirContainersAtTheTablePositions) {
  EXPECT_EQ(GetParent(H(T::RadioA1)), H(T::GroupA));
  EXPECT_EQ(GetParent(H(T::CheckA)), H(T::GroupA));
  EXPECT_EQ(GetParent(H(T::RadioB2)), H(T::GroupB));
  EXPECT_EQ(GetParent(H(T::GroupA)), W().Handle());
  EXPECT_EQ(GetParent(H(T::Edit)), W().Handle());

  EXPECT_EQ(PlaceInParent(H(T::GroupA)), (Place{10, 10, 200, 70}));
  EXPECT_EQ(PlaceInParent(H(T::RadioA2)), (Place{70, 18, 60, 16}));
  EXPECT_EQ(PlaceInParent(H(T::CheckA)), (Place{8, 40, 100, 20}));
  EXPECT_EQ(PlaceInParent(H(T::RadioB1)), (Place{16, 20, 80, 18}));
  EXPECT_EQ(PlaceInParent(H(T::Edit)), (Place{10, 90, 120, 20}));
  EXPECT_EQ(PlaceInParent(H(T::List)), (Place{220, 120, 260, 100}));
  EXPECT_EQ(PlaceInParent(H(T::Button)), (Place{150, 150, 60, 22}));
  EXPECT_EQ(PlaceInParent(H(T::Label)), (Place{10, 180, 100, 20}));
  EXPECT_EQ(PlaceInParent(H(T::Link)), (Place{300, 250, 150, 24}));

  const auto font = reinterpret_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (T control : {T::GroupA, T::RadioA1, T::CheckA, T::Edit, T::Password, T::Combo, T::List, T::Button,
                    T::Label, T::Link})
    EXPECT_EQ(GetWindowFont(H(control)), font) << "control " << Id(control);
}

TEST_F(ToolkitWindowTest, AnEditTooShortForItsFontIsMadeTallEnough) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  const int fits = metrics.tmHeight + 2 * GetSystemMetrics(SM_CYEDGE);
  ASSERT_GT(fits, 8);
  EXPECT_EQ(PlaceInParent(H(T::ShortEdit)), (Place{270, 90, 100, fits}));
  // Tall enough already: left alone.
  EXPECT_EQ(PlaceInParent(H(T::Password)), (Place{140, 90, 120, 20}));
}

TEST_F(ToolkitWindowTest, EditBoxesAreSingleLineWithASunkenBorder) {
  for (T edit : {T::Edit, T::Password, T::ShortEdit, T::CentreEdit}) {
    EXPECT_FALSE(Style(H(edit)) & ES_MULTILINE);
    EXPECT_TRUE(Style(H(edit)) & ES_AUTOHSCROLL);
    EXPECT_TRUE(ExStyle(H(edit)) & WS_EX_CLIENTEDGE);
  }
  // Windows' common controls 6 would mask with a bullet; Wine's use "*" anyway.
  EXPECT_EQ(Edit_GetPasswordChar(H(T::Password)), L'*');
  EXPECT_EQ(Edit_GetPasswordChar(H(T::Edit)), 0);
  EXPECT_EQ(Style(H(T::CentreEdit)) & (ES_CENTER | ES_RIGHT), ES_CENTER);
  EXPECT_EQ(Style(H(T::Edit)) & (ES_CENTER | ES_RIGHT), ES_LEFT);
  EXPECT_EQ(W().Text(Id(T::Edit)), "hello");
  EXPECT_EQ(W().Text(Id(T::CentreEdit)), "3389");
}

TEST_F(ToolkitWindowTest, ComboIsAnUnsortedDropDownListOfTheTableItems) {
  HWND combo = H(T::Combo);
  EXPECT_EQ(Style(combo) & 3, CBS_DROPDOWNLIST);  // the text cannot be typed into
  EXPECT_FALSE(Style(combo) & CBS_SORT);
  ASSERT_EQ(ComboBox_GetCount(combo), 4);
  wchar_t item[32];
  ComboBox_GetLBText(combo, 3, item);
  EXPECT_STREQ(item, L"1280*1024");
  EXPECT_EQ(W().ComboIndex(Id(T::Combo)), 1);
  EXPECT_EQ(W().ComboText(Id(T::Combo)), "1024*768");

  EXPECT_EQ(PlaceInParent(combo), (Place{10, 120, 100, 20}));  // closed

  // Compared with a plain combo box created 160 pixels high with the same font: the list
  // drops as far, and our items are one pixel taller.
  HWND plain = CreateWindowExW(0, WC_COMBOBOXW, L"", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100, 160, W().Handle(),
                               nullptr, nullptr, nullptr);
  SetWindowFont(plain, GetStockObject(DEFAULT_GUI_FONT), FALSE);
  RECT dropped, plainDropped;
  SendMessageW(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
  SendMessageW(plain, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&plainDropped));
  EXPECT_EQ(dropped.bottom - dropped.top, plainDropped.bottom - plainDropped.top);
  EXPECT_EQ(ComboBox_GetItemHeight(combo), ComboBox_GetItemHeight(plain) + 1);
  DestroyWindow(plain);

  // Dropped, the list hangs below the closed box and shows every item.
  ComboBox_ShowDropdown(combo, TRUE);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo, &info));
  RECT box, list;
  GetWindowRect(combo, &box);
  GetWindowRect(info.hwndList, &list);
  EXPECT_TRUE(IsWindowVisible(info.hwndList));
  EXPECT_GE(list.top, box.bottom - 1);
  EXPECT_GE(list.bottom - list.top, 4 * ComboBox_GetItemHeight(combo));
  ComboBox_ShowDropdown(combo, FALSE);
}

TEST_F(ToolkitWindowTest, ListViewIsAReportWithFixedHeadersAndFullRowGrid) {
  HWND list = H(T::List);
  const LONG_PTR style = Style(list);
  EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_TRUE(style & LVS_SINGLESEL);
  EXPECT_TRUE(style & LVS_NOSORTHEADER);
  EXPECT_FALSE(style & (LVS_SHOWSELALWAYS | LVS_NOCOLUMNHEADER | LVS_SORTASCENDING | LVS_SORTDESCENDING));
  EXPECT_TRUE(ExStyle(list) & WS_EX_STATICEDGE);
  EXPECT_FALSE(ExStyle(list) & WS_EX_CLIENTEDGE);
  const DWORD extended = ListView_GetExtendedListViewStyle(list);
  EXPECT_EQ(extended & (LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES), DWORD(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES));
  EXPECT_FALSE(extended & (LVS_EX_CHECKBOXES | LVS_EX_TRACKSELECT | LVS_EX_ONECLICKACTIVATE | LVS_EX_SUBITEMIMAGES));
  EXPECT_EQ(ListView_GetImageList(list, LVSIL_SMALL), nullptr);

  ASSERT_EQ(Header_GetItemCount(ListView_GetHeader(list)), 3);
  const wchar_t* headers[] = {L"序号", L"名称", L"IP地址"};
  const int widths[] = {40, 150, 60};
  for (int i = 0; i < 3; ++i) {
    wchar_t text[32] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = 32;
    ASSERT_TRUE(ListView_GetColumn(list, i, &column));
    EXPECT_STREQ(text, headers[i]);
    EXPECT_EQ(column.cx, widths[i]);
    EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
  }
  EXPECT_EQ(W().ListRowCount(Id(T::List)), 0);
  EXPECT_EQ(W().ListCurrentRow(Id(T::List)), -1);
}

TEST_F(ToolkitWindowTest, InitialStatesFollowTheTableFlags) {
  EXPECT_FALSE(IsWindowVisible(H(T::HiddenButton)));
  EXPECT_FALSE(W().Visible(Id(T::HiddenButton)));
  EXPECT_TRUE(W().Visible(Id(T::Button)));
  EXPECT_FALSE(IsWindowEnabled(H(T::DisabledButton)));
  EXPECT_FALSE(W().Enabled(Id(T::DisabledButton)));
  EXPECT_TRUE(W().Checked(Id(T::RadioA1)));
  EXPECT_FALSE(W().Checked(Id(T::RadioA2)));
  EXPECT_TRUE(W().Checked(Id(T::RadioB2)));
  EXPECT_FALSE(W().Checked(Id(T::CheckA)));

  EXPECT_EQ(Style(H(T::Button)) & BS_TYPEMASK, BS_PUSHBUTTON);  // never BS_DEFPUSHBUTTON
  EXPECT_EQ(Style(H(T::RadioA1)) & BS_TYPEMASK, BS_RADIOBUTTON);
  EXPECT_EQ(Style(H(T::CheckA)) & BS_TYPEMASK, BS_AUTOCHECKBOX);
  EXPECT_EQ(Style(H(T::GroupA)) & BS_TYPEMASK, BS_GROUPBOX);
  // The first control of each container starts a radio group; the next ones do not.
  EXPECT_TRUE(Style(H(T::RadioA1)) & WS_GROUP);
  EXPECT_FALSE(Style(H(T::RadioA2)) & WS_GROUP);
  EXPECT_TRUE(Style(H(T::RadioB1)) & WS_GROUP);

  EXPECT_EQ(Style(H(T::Label)) & (SS_TYPEMASK | SS_CENTERIMAGE), SS_LEFT | SS_CENTERIMAGE);
  EXPECT_FALSE(Style(H(T::Label)) & WS_BORDER);
  EXPECT_TRUE(Style(H(T::Edit)) & WS_TABSTOP);
  EXPECT_FALSE(Style(H(T::Link)) & WS_TABSTOP);
  EXPECT_FALSE(Style(H(T::Label)) & WS_TABSTOP);
  EXPECT_EQ(W().Text(Id(T::Label)), "主  机:");
  EXPECT_EQ(W().Text(Id(T::Link)), "http://example.invalid/");
}

TEST_F(ToolkitWindowTest, PropertiesSetFromCodeRunNoEvents) {
  W().SetText(Id(T::Edit), "服务器 1");
  EXPECT_EQ(W().Text(Id(T::Edit)), "服务器 1");
  W().SetCaption("修改服务器");
  EXPECT_EQ(W().Caption(), "修改服务器");
  EXPECT_EQ(WindowTextOf(W().Handle()), L"修改服务器");

  // Checking a radio box from code leaves the other one of its container checked.
  W().SetChecked(Id(T::RadioA2), true);
  EXPECT_TRUE(W().Checked(Id(T::RadioA2)));
  EXPECT_TRUE(W().Checked(Id(T::RadioA1)));
  W().SetChecked(Id(T::CheckA), true);
  EXPECT_TRUE(W().Checked(Id(T::CheckA)));
  W().SetChecked(Id(T::CheckA), false);
  EXPECT_FALSE(W().Checked(Id(T::CheckA)));

  W().SetEnabled(Id(T::Combo), false);
  EXPECT_FALSE(IsWindowEnabled(H(T::Combo)));
  W().SetEnabled(Id(T::Combo), true);
  EXPECT_TRUE(IsWindowEnabled(H(T::Combo)));

  W().ListAppendRow(Id(T::List), {"7", "主机", "10.0.0.7"});
  W().ListAppendRow(Id(T::List), {"9", "备用", "10.0.0.9"});
  EXPECT_EQ(W().ListRowCount(Id(T::List)), 2);
  EXPECT_EQ(W().ListCell(Id(T::List), 1, 1), "备用");
  EXPECT_EQ(W().ListCell(Id(T::List), 0, 2), "10.0.0.7");
  EXPECT_EQ(W().ListCurrentRow(Id(T::List)), -1);
  W().ListClear(Id(T::List));
  EXPECT_EQ(W().ListRowCount(Id(T::List)), 0);
  Pump();
  EXPECT_TRUE(sink_.events.empty()) << sink_.Described()[0];
}

// What the list shows comes from the window's rows, cut to the asker's buffer as a list that
// keeps its own text would cut it; rows set whole leave nothing selected or focused.
TEST_F(ToolkitWindowTest, RowsSetWholeShowThroughTheListAndLeaveNoRowSelected) {
  HWND list = H(T::List);
  W().ListAppendRow(Id(T::List), {"1", "one", "10.0.0.1"});
  ClickListRow(list, 0);
  ASSERT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 0);
  sink_.events.clear();
  W().ListSetRows(Id(T::List), {{"7", "主机", "10.0.0.7"}, {"9", std::string(300, 'x'), "10.0.0.9"}});
  EXPECT_EQ(ListView_GetItemCount(list), 2);
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), -1);
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_FOCUSED), -1);
  wchar_t text[64] = {};
  ListView_GetItemText(list, 0, 1, text, 64);
  EXPECT_STREQ(text, L"主机");
  ListView_GetItemText(list, 1, 1, text, 64);
  EXPECT_EQ(std::wstring(text), std::wstring(63, L'x'));
  ListView_GetItemText(list, 1, 2, text, 64);
  EXPECT_STREQ(text, L"10.0.0.9");
  Pump();
  EXPECT_TRUE(sink_.events.empty());
}

TEST_F(ToolkitWindowTest, VisibleReportsTheControlsOwnStateInsideAHiddenGroupBox) {
  W().SetVisible(Id(T::GroupB), false);
  EXPECT_FALSE(W().Visible(Id(T::GroupB)));
  EXPECT_TRUE(W().Visible(Id(T::RadioB1)));
  EXPECT_FALSE(IsWindowVisible(H(T::RadioB1)));
  W().SetVisible(Id(T::GroupB), true);
  EXPECT_TRUE(IsWindowVisible(H(T::RadioB1)));
  W().SetVisible(Id(T::HiddenButton), true);
  EXPECT_TRUE(IsWindowVisible(H(T::HiddenButton)));
}

TEST_F(ToolkitWindowTest, WindowMovesKeepTheOtherCoordinate) {
  const Rect before = W().WindowRect();
  W().SetWindowTop(40);
  W().SetWindowLeft(30);
  const Rect after = W().WindowRect();
  EXPECT_EQ((Place{after.left, after.top, after.width, after.height}), (Place{30, 40, 500, 320}));
  W().SetWindowLeft(before.left);
  EXPECT_EQ(W().WindowRect().top, 40);
}

TEST(ToolkitCreation, CreatedRunsBeforeTheWindowShowsThenTheFirstTabStopHasTheFocus) {
  RecordingSink sink;
  bool shownAtCreated = true;
  bool controlsAtCreated = false;
  std::unique_ptr<Win32Window> window;
  sink.react = [&](const Event& e) {
    if (e.kind != EventKind::Created) return;
    HWND top = FindWindowW(L"KorvaneWindow", L"Toolkit 测试");
    shownAtCreated = top && IsWindowVisible(top);
    controlsAtCreated = top && FindWindowExW(top, nullptr, L"SysListView32", nullptr) != nullptr;
  };
  window = Win32Window::Create(ToolkitLayout(), sink);
  ASSERT_TRUE(window);
  EXPECT_EQ(sink.Described(), std::vector<std::string>{"Created -1"});
  EXPECT_FALSE(shownAtCreated);
  EXPECT_TRUE(controlsAtCreated);
  EXPECT_TRUE(IsWindowVisible(window->Handle()));
  Pump();
  EXPECT_EQ(GetFocus(), window->ControlHandle(Id(Toolkit::Edit)));
  window.reset();
  Pump();
}

TEST(ToolkitCreation, FocusAskedForByTheCreatedHandlerWins) {
  RecordingSink sink;
  // The handler needs the form before Create returns: reach it through the window's handle.
  sink.react = [&](const Event&) {
    Win32Window* form = Win32Window::FromHandle(FindWindowW(L"KorvaneWindow", nullptr));
    ASSERT_NE(form, nullptr);
    form->SetFocus(Id(Toolkit::Button));
  };
  auto window = Win32Window::Create(ToolkitLayout(), sink);
  Pump();
  EXPECT_EQ(GetFocus(), window->ControlHandle(Id(Toolkit::Button)));
  window.reset();
  Pump();
}

TEST(ToolkitCreation, AWindowDestroyedByItsCreatedHandlerIsNeverShown) {
  RecordingSink sink;
  sink.react = [&](const Event&) { DestroyWindow(FindWindowW(L"KorvaneWindow", nullptr)); };
  auto window = Win32Window::Create(ToolkitLayout(), sink);
  ASSERT_TRUE(window);
  EXPECT_FALSE(window->Alive());
  EXPECT_EQ(FindWindowW(L"KorvaneWindow", nullptr), nullptr);
  EXPECT_EQ(Win32Window::LiveCount(), 0u);
  EXPECT_TRUE(Pump());  // the last window went: the loop was told to end
}

}  // namespace
}  // namespace korvane::testing
