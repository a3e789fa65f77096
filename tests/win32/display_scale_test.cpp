// The program's windows at other display scales: what a window shows at 96 DPI, measured from
// the real window, comes out scaled by the DPI within a pixel of rounding, with every caption
// whole. In this process through WM_DPICHANGED, as a move to another monitor sends it, and as
// korvane.exe started with the scale set in the registry.
#include <gtest/gtest.h>

#include <map>

#include "app/program.h"
#include "app_driver.h"
#include "login/login_layout.h"
#include "servers/editor_layout.h"
#include "servers/import_layout.h"
#include "servers/main_layout.h"
#include "servers/master_password_layout.h"
#include "win32/support/toolkit_fixture.h"

namespace korvane {
namespace {

constexpr UINT kScales[] = {120, 144, 192};

// The client area, then each control's place, the list's column widths and the drop-down's
// item height (which follows the font). Only messages without pointers: works across processes.
std::vector<int> Shown(HWND top) {
  RECT client{};
  GetClientRect(top, &client);
  std::vector<int> lengths{client.right, client.bottom};
  for (HWND h : testing::Children(top, [](HWND) { return true; })) {
    const std::wstring cls = testing::ClassOf(h);
    if (cls != L"Static" && cls != L"Button" && cls != L"Edit" && cls != L"ComboBox" && cls != L"SysListView32") continue;
    const auto place = testing::PlaceInParent(h);
    lengths.insert(lengths.end(), place.begin(), place.end());
    for (int i = 0; cls == L"SysListView32" && i < 4; ++i) lengths.push_back(ListView_GetColumnWidth(h, i));
    if (cls == L"ComboBox") lengths.push_back(static_cast<int>(SendMessageW(h, CB_GETITEMHEIGHT, 0, 0)));
  }
  return lengths;
}

void ExpectScaled(const std::vector<int>& at96, const std::vector<int>& scaled, UINT dpi) {
  ASSERT_EQ(scaled.size(), at96.size());
  for (size_t i = 0; i < at96.size(); ++i)
    EXPECT_NEAR(scaled[i], at96[i] * static_cast<double>(dpi) / 96, 1.0) << "length " << i;
}

// A caption wider than its control is cut off: measured with the control's own font.
void ExpectCaptionsWhole(HWND top) {
  for (HWND h : testing::Children(top, [](HWND h) {
         const std::wstring cls = testing::ClassOf(h);
         return cls == L"Static" || (cls == L"Button" && (GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX);
       })) {
    const std::wstring text = testing::WindowTitle(h);
    HDC dc = GetDC(h);
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    ReleaseDC(h, dc);
    EXPECT_LE(extent.cx, testing::PlaceInParent(h)[2]) << testing::Utf8(text);
  }
}

TEST(DisplayScale, AWindowMovedToAnotherScaleIsLaidOutAgainForIt) {
  for (const auto layout : {LoginLayout, MainLayout, EditorLayout, ImportLayout, MasterPasswordLayout}) {
    testing::RecordingSink sink;
    auto window = Win32Window::Create(layout(), sink);
    ASSERT_TRUE(window);
    HWND hwnd = window->Handle();
    RECT outer96{}, client96{};
    GetWindowRect(hwnd, &outer96);
    GetClientRect(hwnd, &client96);
    const std::vector<int> at96 = Shown(hwnd);
    for (UINT dpi : kScales) {
      SCOPED_TRACE(layout().caption + " at " + std::to_string(dpi));
      // As Windows suggests it: the client area scaled, in the frame (Wine's, for 96 DPI).
      RECT suggested = outer96;
      suggested.right += MulDiv(client96.right, dpi, 96) - client96.right;
      suggested.bottom += MulDiv(client96.bottom, dpi, 96) - client96.bottom;
      SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
      ExpectScaled(at96, Shown(hwnd), dpi);
      ExpectCaptionsWhole(hwnd);
      // Back on a 96-DPI monitor the window is its table again, to the pixel.
      SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&outer96));
      EXPECT_EQ(Shown(hwnd), at96);
    }
  }
}

// The scale of programs started from now on, back at 100 % at the end for the tests after.
struct ScaleForNextPrograms {
  explicit ScaleForNextPrograms(DWORD dpi) { Set(dpi); }
  ~ScaleForNextPrograms() { Set(96); }
  static void Set(DWORD dpi) {
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi, sizeof dpi);
  }
};

TEST(DisplayScale, TheProgramStartedAtEachScaleShowsItsWindowsScaled) {
  testing::TempDir dir("korvane 缩放");
  testing::MakeDataFile(dir.File("mstsc.mdb"));
  const std::string address = kWebAddress;
  std::map<UINT, std::vector<int>> shown;  // the login window's lengths, then the main window's
  for (UINT dpi : {96u, 120u, 144u, 192u}) {
    ScaleForNextPrograms scale(dpi);
    testing::AppProcess app(testing::FromBuildPath(KORVANE_EXE), dir.path());
    HWND login = app.WaitForWindow(L"Korvane      By.Oxle");
    ASSERT_NE(login, nullptr) << dpi;
    shown[dpi] = Shown(login);
    HWND password = testing::ControlAt(login, L"Edit", MulDiv(100, dpi, 96), MulDiv(20, dpi, 96));
    testing::TypeInto(password, L"admin");
    testing::PostKey(password, VK_RETURN);
    HWND main = app.WaitForWindow(L"Korvane    " + std::wstring(address.begin(), address.end()));
    ASSERT_NE(main, nullptr) << dpi;
    for (int length : Shown(main)) shown[dpi].push_back(length);
  }
  for (UINT dpi : kScales) {
    SCOPED_TRACE(dpi);
    ExpectScaled(shown[96], shown[dpi], dpi);
  }
}

}  // namespace
}  // namespace korvane
