// The real editor, opened modally from the real main window with its real handlers, over a
// recording platform and a real data file. While it is open the test thread is inside the
// editor's modal loop, so the checks run from a timer that fires there.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "servers/editor_layout.h"
#include "servers/editor_opener_win32.h"
#include "servers/main_layout.h"
#include "servers/main_window.h"
#include "store/store.h"
#include "win32/support/program_window_test.h"
#include "win32/support/toolkit_fixture.h"

namespace korvane {
namespace {

using C = MainControl;
using E = EditorControl;
using Place = std::array<int, 4>;

// What the test does with the editor once it is up; run from a timer inside its modal loop.
std::function<void(Win32Window&)> g_whileOpen;
HWND g_main = nullptr;

void CALLBACK OnEditorTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  for (HWND h : Win32Window::LiveHandles()) {
    if (h == g_main || !IsWindowVisible(h)) continue;
    KillTimer(nullptr, timer);
    auto act = std::move(g_whileOpen);
    act(*Win32Window::FromHandle(h));
    // A check that failed before closing the editor must not leave the test waiting for ever.
    if (IsWindow(h)) PostMessageW(h, WM_CLOSE, 0, 0);
    return;
  }
}

class EditorWindowTest : public testing::ProgramWindowTest<MainWindow, C> {
 protected:
  EditorWindowTest() : ProgramWindowTest("korvane 编辑 窗口") {}
  void PrepareData() override {
    testing::AddServer(DataFilePath(), "10.0.0.1", "3389", "u1", "p1", "一");
    testing::AddServer(DataFilePath(), "10.0.0.2", "3390", "u2", "p2", "二");
  }
  const WindowLayout& Layout() const override { return MainLayout(); }
  std::unique_ptr<MainWindow> MakeHandlers(Form& form) override {
    return std::make_unique<MainWindow>(form, platform, editors);
  }

  // Arms the timer; the call that opens the editor comes next and returns once it is gone.
  void WhileOpen(std::function<void(Win32Window&)> act) {
    g_main = window->Handle();
    g_whileOpen = std::move(act);
    SetTimer(nullptr, 0, 50, OnEditorTimer);
  }
  void Menu(MainMenuItem item) { handlers->OnEvent({EventKind::MenuItem, Id(item)}); }

  std::string StoredHosts() {
    DBConnection db;
    RecordSet rs;
    rs.SetConnection(db);
    std::string hosts;
    if (!db.OpenAccess(DataFilePath(), DatabasePassword()) ||
        !rs.Open("select group_concat(服务器名, ',') h from Server", kSourceSql))
      return "unreadable";
    return rs.ReadText("h");
  }

  Win32EditorOpener editors{platform};
};

TEST_F(EditorWindowTest, AddOpensTheLaidOutEditorCentredOverTheDisabledMainWindow) {
  RECT main{};
  GetWindowRect(window->Handle(), &main);
  bool ran = false;
  WhileOpen([&](Win32Window& editor) {
    ran = true;
    HWND h = editor.Handle();
    EXPECT_EQ(testing::WindowTextOf(h), L"添加服务器");
    EXPECT_FALSE(IsWindowEnabled(window->Handle()));
    RECT r{};
    GetWindowRect(h, &r);
    EXPECT_EQ((Place{r.left, r.top, r.right - r.left, r.bottom - r.top}),
              (Place{static_cast<int>(main.left + 322 - 132.5), static_cast<int>(main.top + 168 - 95), 265, 190}));
    const LONG style = GetWindowLongW(h, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));

    struct Expected {
      E control;
      Place place;
      const wchar_t* text;
      LONG style;  // must be set
    };
    const Expected expected[] = {
        {E::标签1, {8, 8, 50, 20}, L"主机Host:", 0},     {E::编辑框_Host, {64, 8, 104, 20}, L"", 0},
        {E::标签2, {180, 8, 28, 20}, L"端口:", 0},       {E::编辑框_端口, {212, 8, 38, 20}, L"3389", ES_CENTER},
        {E::标签3, {8, 32, 50, 20}, L"用户名:", 0},      {E::编辑框_用户名, {64, 32, 184, 20}, L"Administrator", 0},
        {E::标签4, {8, 56, 50, 20}, L"密  码:", 0},      {E::编辑框_密码, {64, 56, 184, 20}, L"", 0},
        {E::标签5, {8, 80, 48, 24}, L"备  注:", 0},      {E::编辑框_备注, {64, 80, 184, 20}, L"", 0},
        {E::按钮1, {48, 120, 60, 22}, L"确认", 0},       {E::按钮2, {152, 120, 60, 22}, L"取消", 0},
    };
    for (const Expected& e : expected) {
      SCOPED_TRACE(static_cast<int>(e.control));
      HWND c = editor.ControlHandle(Id(e.control));
      ASSERT_NE(c, nullptr);
      EXPECT_EQ(GetParent(c), h);
      EXPECT_EQ(testing::PlaceInParent(c), e.place);
      EXPECT_EQ(testing::WindowTextOf(c), e.text);
      EXPECT_EQ(GetWindowLongW(c, GWL_STYLE) & e.style, e.style);
      EXPECT_TRUE(IsWindowVisible(c) && IsWindowEnabled(c));
    }
    // The password is shown as typed.
    EXPECT_EQ(SendMessageW(editor.ControlHandle(Id(E::编辑框_密码)), EM_GETPASSWORDCHAR, 0, 0), 0);

    // Focus starts in the host box; Tab goes round in the window's order.
    const std::vector<E> order = {E::编辑框_端口, E::编辑框_用户名, E::编辑框_密码, E::编辑框_备注,
                                  E::按钮1,       E::按钮2,         E::编辑框_Host};
    EXPECT_EQ(GetFocus(), editor.ControlHandle(Id(E::编辑框_Host)));
    std::vector<HWND> expectedFocus, visited;
    for (E e : order) {
      expectedFocus.push_back(editor.ControlHandle(Id(e)));
      testing::PressKey(VK_TAB);
      visited.push_back(GetFocus());
    }
    EXPECT_EQ(visited, expectedFocus);
    SendMessageW(editor.ControlHandle(Id(E::按钮2)), BM_CLICK, 0, 0);
  });
  Menu(MainMenuItem::添加);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(IsWindowEnabled(window->Handle()));
  EXPECT_EQ(Win32Window::LiveCount(), 1u);
}

TEST_F(EditorWindowTest, EscAndTheCloseBoxWriteNothing) {
  testing::ClickListRow(H(C::超级列表框1), 0);
  for (bool esc : {true, false}) {
    WhileOpen([esc](Win32Window& editor) {
      EXPECT_EQ(testing::WindowTextOf(editor.Handle()), L"修改服务器");
      editor.SetText(Id(E::编辑框_Host), "changed");
      if (esc) {
        testing::PressKey(VK_ESCAPE);
      } else {
        SendMessageW(editor.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
      }
    });
    Menu(MainMenuItem::修改);
    EXPECT_EQ(StoredHosts(), "10.0.0.1,10.0.0.2");
    EXPECT_TRUE(IsWindowEnabled(window->Handle()));
  }
}

// The save rebuilds the list from inside the list's own right-click notification, by way of
// the popup menu and the editor's modal loop. Afterwards the list must still work.
TEST_F(EditorWindowTest, ASaveFromTheListsOwnMenuRebuildsThatListSafely) {
  HWND list = H(C::超级列表框1);
  testing::ClickListRow(list, 1);
  WhileOpen([](Win32Window& editor) {
    editor.SetText(Id(E::编辑框_Host), "10.9.9.9");
    SendMessageW(editor.ControlHandle(Id(E::按钮1)), BM_CLICK, 0, 0);
  });
  {
    testing::WindowWatcher menu(L"#32768", [](HWND m) { testing::ChoosePopupMenuItem(m, 1); });  // 修改
    testing::RightClickListRow(list, 1);
    EXPECT_TRUE(menu.Acted());
  }
  testing::PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(StoredHosts(), "10.0.0.1,10.9.9.9");
  ASSERT_EQ(ListView_GetItemCount(list), 2);
  EXPECT_EQ(window->ListCell(Id(C::超级列表框1), 1, 2), "10.9.9.9");
  testing::ClickListRow(list, 1);
  EXPECT_EQ(window->Text(Id(C::编辑框_Host)), "10.9.9.9");
  EXPECT_EQ(window->Text(Id(C::编辑框_密码)), "p2");
}

}  // namespace
}  // namespace korvane
