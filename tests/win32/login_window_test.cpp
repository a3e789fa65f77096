// The real login window, built from its layout, with its real handlers over a recording
// platform and a real data file.
#include <gtest/gtest.h>

#include "app/program.h"
#include "login/login_layout.h"
#include "login/login_window.h"
#include "support/data_files.h"
#include "support/fake_platform.h"
#include "win32/support/common_controls6.h"
#include "win32/support/drive_win32.h"
#include "win32/support/program_window_test.h"
#include "win32/support/toolkit_fixture.h"

namespace korvane {
namespace {

using C = LoginControl;
using Place = std::array<int, 4>;

struct RecordingLoader : WindowLoader {
  bool LoadMainWindow() override {
    ++loads;
    return true;
  }
  int loads = 0;
};

class LoginWindowTest : public testing::ProgramWindowTest<LoginWindow, C> {
 protected:
  LoginWindowTest() : ProgramWindowTest("korvane 登录窗口") {}
  const WindowLayout& Layout() const override { return LoginLayout(); }
  std::unique_ptr<LoginWindow> MakeHandlers(Form& form) override {
    return std::make_unique<LoginWindow>(form, platform, loader);
  }

  RecordingLoader loader;
};

TEST_F(LoginWindowTest, WindowIsCentredWithAFixedFrameAndNoMaximiseBox) {
  RECT r{};
  GetWindowRect(window->Handle(), &r);
  EXPECT_EQ(r.right - r.left, 380);
  EXPECT_EQ(r.bottom - r.top, 105);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 380) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 105) / 2);
  EXPECT_EQ(testing::WindowTextOf(window->Handle()), L"Korvane      By.Oxle");
  const LONG style = GetWindowLongW(window->Handle(), GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_EQ(GetMenu(window->Handle()), nullptr);
}

TEST_F(LoginWindowTest, ControlsHaveTheirPlacesCaptionsAndStates) {
  EXPECT_EQ(testing::PlaceInParent(H(C::标签1)), (Place{16, 14, 64, 24}));
  EXPECT_EQ(testing::WindowTextOf(H(C::标签1)), L"请键入密码：");
  EXPECT_EQ(testing::PlaceInParent(H(C::编辑框_Pass)), (Place{89, 9, 184, 32}));
  EXPECT_EQ(testing::WindowTextOf(H(C::编辑框_Pass)), L"");
  EXPECT_EQ(testing::PlaceInParent(H(C::按钮1)), (Place{288, 8, 72, 32}));
  EXPECT_EQ(testing::WindowTextOf(H(C::按钮1)), L"登陆");
  EXPECT_EQ(testing::PlaceInParent(H(C::超级链接框1)), (Place{272, 48, 96, 24}));
  EXPECT_EQ(window->Text(Id(C::超级链接框1)), kWebAddress);
  EXPECT_EQ(testing::PlaceInParent(H(C::编辑框_key)), (Place{24, 88, 80, 32}));
  EXPECT_EQ(testing::WindowTextOf(H(C::编辑框_key)), L"By.Oxle");

  for (C visible : {C::标签1, C::编辑框_Pass, C::按钮1, C::超级链接框1}) EXPECT_TRUE(IsWindowVisible(H(visible)));
  EXPECT_FALSE(IsWindowVisible(H(C::编辑框_key)));
  // The password is typed in plain view.
  EXPECT_EQ(SendMessageW(H(C::编辑框_Pass), EM_GETPASSWORDCHAR, 0, 0), 0);
  EXPECT_FALSE(GetWindowLongW(H(C::编辑框_Pass), GWL_STYLE) & ES_PASSWORD);
  EXPECT_FALSE(GetWindowLongW(H(C::按钮1), GWL_STYLE) & BS_DEFPUSHBUTTON);
  EXPECT_EQ(window->LinkTextColour(Id(C::超级链接框1)), RGB(0, 0, 255));
}

TEST_F(LoginWindowTest, TheLinkOpensTheProgramsAddressAndShowsItsStateInColour) {
  std::vector<std::string> opened;
  window->SetLinkOpener([&opened](const std::string& address) {
    opened.push_back(address);
    return true;
  });
  HWND link = H(C::超级链接框1);
  const auto colour = [this] { return window->LinkTextColour(Id(C::超级链接框1)); };
  EXPECT_EQ(colour(), RGB(0, 0, 255));
  SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(colour(), RGB(0, 120, 215));
  SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(opened, std::vector<std::string>{kWebAddress});
  EXPECT_EQ(colour(), RGB(0, 120, 215));  // the mouse is still over it
  SendMessageW(link, WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(colour(), RGB(128, 0, 0));
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(loader.loads, 0);
}

TEST_F(LoginWindowTest, TabGoesBetweenThePasswordBoxAndTheButtonOnly) {
  SetFocus(H(C::编辑框_Pass));
  testing::PressKey(VK_TAB);
  EXPECT_EQ(GetFocus(), H(C::按钮1));
  testing::PressKey(VK_TAB);
  EXPECT_EQ(GetFocus(), H(C::编辑框_Pass));
  testing::PressKey(VK_TAB, /*shift=*/true);
  EXPECT_EQ(GetFocus(), H(C::按钮1));
}

TEST_F(LoginWindowTest, EnterInThePasswordBoxChecksTheTypedPassword) {
  SetWindowTextW(H(C::编辑框_Pass), L"wrong");
  // The wrong-password message is recorded, not shown, so nothing blocks here.
  testing::PressKey(H(C::编辑框_Pass), VK_RETURN);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].caption, "第1次错误");
  SetWindowTextW(H(C::编辑框_Pass), L"admin");
  testing::PressKey(H(C::编辑框_Pass), VK_RETURN);
  EXPECT_EQ(loader.loads, 1);
  EXPECT_FALSE(window->Alive());
}

TEST_F(LoginWindowTest, EnterWithAltHeldChecksThePasswordToo) {
  SetWindowTextW(H(C::编辑框_Pass), L"wrong");
  // With Alt held the key comes as a system key (bit 29 of lParam says Alt is down).
  const UINT scan = MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC);
  PostMessageW(H(C::编辑框_Pass), WM_SYSKEYDOWN, VK_RETURN, 1 | (scan << 16) | (1u << 29));
  testing::Pump();
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].caption, "第1次错误");
}

TEST_F(LoginWindowTest, EscClosesTheWindow) {
  testing::PressKey(H(C::编辑框_Pass), VK_ESCAPE);
  EXPECT_FALSE(window->Alive());
  EXPECT_EQ(loader.loads, 0);
}

}  // namespace
}  // namespace korvane
