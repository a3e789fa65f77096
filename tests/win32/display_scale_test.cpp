// The program's windows at other display scales: what each shows at 96 DPI, measured from the
// real window, must come out scaled by the DPI (within a pixel of rounding) with every caption
// still whole. In this process through WM_DPICHANGED, as a move to another monitor sends it;
// as its own process with the scale set in the registry before it starts.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "app/program.h"
#include "app_driver.h"
#include "login/login_layout.h"
#include "servers/editor_layout.h"
#include "servers/main_layout.h"
#include "win32/support/toolkit_fixture.h"

namespace korvane {
namespace {

constexpr UINT kScales[] = {120, 144, 192};

// Lengths one window shows: each control's place, the list's column widths, the drop-down's
// item height and the font's height, under a name that says which.
using Lengths = std::map<std::string, std::vector<int>>;

Lengths Measure(const Win32Window& window, const WindowLayout& layout) {
  Lengths lengths;
  for (const ControlLayout& c : layout.controls) {
    HWND h = window.ControlHandle(c.id);
    const auto place = testing::PlaceInParent(h);
    lengths[c.name].assign(place.begin(), place.end());
    for (int i = 0; i < static_cast<int>(c.columns.size()); ++i)
      lengths[c.name].push_back(ListView_GetColumnWidth(h, i));
    if (c.kind == ControlKind::ComboList) lengths[c.name].push_back(static_cast<int>(SendMessageW(h, CB_GETITEMHEIGHT, 0, 0)));
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof font, &font);
    lengths[c.name].push_back(std::abs(font.lfHeight));
  }
  return lengths;
}

void ExpectScaled(const Lengths& at96, const Lengths& scaled, UINT dpi) {
  for (const auto& [name, lengths] : at96) {
    SCOPED_TRACE(name);
    ASSERT_EQ(scaled.at(name).size(), lengths.size());
    for (size_t i = 0; i < lengths.size(); ++i)
      EXPECT_NEAR(scaled.at(name)[i], lengths[i] * static_cast<double>(dpi) / 96, 1.0) << "length " << i;
  }
}

// A caption wider than its control is cut off: measured with the control's own font.
void ExpectCaptionsWhole(HWND top) {
  for (HWND h : testing::Children(top, [](HWND h) {
         const std::wstring cls = testing::ClassOf(h);
         return (cls == L"Static" || cls == L"Button") && (GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX;
       })) {
    const std::wstring text = testing::WindowTitle(h);
    HDC dc = GetDC(h);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
    RECT client{};
    GetClientRect(h, &client);
    EXPECT_LE(extent.cx, client.right) << testing::Utf8(text);
  }
}

struct ProgramWindow {
  const char* name;
  const WindowLayout& (*layout)();
};
constexpr ProgramWindow kWindows[] = {{"login", LoginLayout}, {"main", MainLayout}, {"editor", EditorLayout}};

TEST(DisplayScale, AWindowMovedToAnotherScaleIsLaidOutAgainForIt) {
  ASSERT_TRUE(testing::kCommonControls6Active);
  for (const ProgramWindow& w : kWindows) {
    testing::RecordingSink sink;
    auto window = Win32Window::Create(w.layout(), sink);
    ASSERT_TRUE(window);
    testing::Pump();
    RECT outer96{}, client96{};
    GetWindowRect(window->Handle(), &outer96);
    GetClientRect(window->Handle(), &client96);
    const Lengths at96 = Measure(*window, w.layout());
    for (UINT dpi : kScales) {
      SCOPED_TRACE(std::string(w.name) + " at " + std::to_string(dpi));
      // Wine draws the frame for the screen's DPI whatever the message says.
      const LONG frameX = outer96.right - outer96.left - client96.right, frameY = outer96.bottom - outer96.top - client96.bottom;
      RECT suggested{outer96.left, outer96.top, outer96.left + MulDiv(client96.right, dpi, 96) + frameX,
                     outer96.top + MulDiv(client96.bottom, dpi, 96) + frameY};
      SendMessageW(window->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
      testing::Pump();
      RECT now{};
      GetWindowRect(window->Handle(), &now);
      EXPECT_TRUE(EqualRect(&now, &suggested));
      ExpectScaled(at96, Measure(*window, w.layout()), dpi);
      ExpectCaptionsWhole(window->Handle());
      // Back on a 96-DPI monitor the window is its table again, to the pixel.
      SendMessageW(window->Handle(), WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&outer96));
      testing::Pump();
      EXPECT_EQ(Measure(*window, w.layout()), at96);
    }
  }
}

// The scale of the programs started from now on, as the display settings set it; back at
// 100 % when the test ends, so the tests after it see the scale they expect.
class ScaleForNextPrograms {
 public:
  explicit ScaleForNextPrograms(DWORD dpi) { Set(dpi); }
  ~ScaleForNextPrograms() { Set(96); }
  ScaleForNextPrograms(const ScaleForNextPrograms&) = delete;
  ScaleForNextPrograms& operator=(const ScaleForNextPrograms&) = delete;

 private:
  static void Set(DWORD dpi) {
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi, sizeof dpi);
  }
};

// The client area and every control of a window of another process, in one list.
std::vector<int> Shown(HWND top) {
  RECT client{};
  GetClientRect(top, &client);
  std::vector<int> lengths{client.right, client.bottom};
  for (HWND h : testing::Children(top, [](HWND h) {
         const std::wstring cls = testing::ClassOf(h);
         return cls == L"Static" || cls == L"Button" || cls == L"Edit" || cls == L"ComboBox" || cls == L"SysListView32";
       })) {
    const auto place = testing::PlaceInParent(h);
    lengths.insert(lengths.end(), place.begin(), place.end());
  }
  return lengths;
}

TEST(DisplayScale, TheProgramStartedAtEachScaleShowsItsWindowsScaled) {
  testing::TempDir dir("korvane 缩放");
  testing::MakeDataFile(dir.File("mstsc.mdb"));
  const std::string address = kWebAddress;
  const std::wstring mainCaption = L"Korvane    " + std::wstring(address.begin(), address.end());
  std::map<UINT, std::vector<std::vector<int>>> shown;  // login, main
  for (UINT dpi : {96u, 120u, 144u, 192u}) {
    SCOPED_TRACE(dpi);
    ScaleForNextPrograms scale(dpi);
    testing::AppProcess app(testing::FromBuildPath(KORVANE_EXE), dir.path());
    ASSERT_TRUE(app.started());
    HWND login = app.WaitForWindow(L"Korvane      By.Oxle");
    ASSERT_NE(login, nullptr);
    shown[dpi].push_back(Shown(login));
    const auto edits = testing::Children(login, [](HWND h) { return testing::ClassOf(h) == L"Edit" && IsWindowVisible(h); });
    ASSERT_EQ(edits.size(), 1u);
    testing::TypeInto(edits[0], L"admin");
    testing::PostKey(edits[0], VK_RETURN);
    HWND main = app.WaitForWindow(mainCaption);
    ASSERT_NE(main, nullptr);
    shown[dpi].push_back(Shown(main));
  }
  for (UINT dpi : kScales) {
    for (size_t w = 0; w < 2; ++w) {
      SCOPED_TRACE(std::to_string(dpi) + (w == 0 ? " login" : " main"));
      const std::vector<int>& at96 = shown[96][w];
      ASSERT_EQ(shown[dpi][w].size(), at96.size());
      for (size_t i = 0; i < at96.size(); ++i)
        EXPECT_NEAR(shown[dpi][w][i], at96[i] * static_cast<double>(dpi) / 96, 1.0) << "length " << i;
    }
  }
}

}  // namespace
}  // namespace korvane
