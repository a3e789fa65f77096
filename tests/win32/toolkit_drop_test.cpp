// Files dropped on a window, and several list rows selected from code.
#include <shlobj.h>  // DROPFILES

#include <cstring>

#include "win32/support/toolkit_fixture.h"

namespace korvane::testing {
namespace {

using T = Toolkit;
using Rows = std::vector<std::vector<std::string>>;

// A drop as the shell hands it over: DROPFILES, then each path and a closing NUL.
HGLOBAL MakeDrop(const std::vector<std::wstring>& paths) {
  std::wstring list;
  for (const std::wstring& path : paths) list.append(path).push_back(L'\0');
  list.push_back(L'\0');
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + (list.size() + 1) * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(drop + 1, list.data(), list.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return memory;
}

std::vector<int> SelectedRows(HWND list) {
  std::vector<int> rows;
  for (int row = -1; (row = ListView_GetNextItem(list, row, LVNI_SELECTED)) >= 0;) rows.push_back(row);
  return rows;
}

// The toolkit window set up for importing: files may be dropped on it, and its list selects
// several rows.
class ImportWindowTest : public ToolkitWindowTest {
 protected:
  WindowLayout Layout() const override {
    WindowLayout layout = ToolkitLayout();
    layout.acceptsFiles = true;
    for (ControlLayout& c : layout.controls)
      if (c.id == Id(T::List)) c.flags |= kMultiSelect;
    return layout;
  }
};

TEST_F(ImportWindowTest, ADropDeliversFilesDroppedOnceWithEveryPathInUtf8) {
  EXPECT_TRUE(GetWindowLongPtrW(W().Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  const std::wstring longFolder = L"C:\\" + std::wstring(300, L'长');
  PostMessageW(W().Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({L"C:\\a.xml", L"D:\\导入\\服务器.rdg", longFolder + L"\\b.xml", L"E:\\"})),
               0);
  Pump();
  EXPECT_EQ(sink_.Described(), std::vector<std::string>{"FilesDropped -1"});
  std::string longUtf8 = "C:\\";
  for (int i = 0; i < 300; ++i) longUtf8 += "长";
  EXPECT_EQ(W().DroppedFiles(), (std::vector<std::string>{"C:\\a.xml", "D:\\导入\\服务器.rdg", longUtf8 + "\\b.xml", "E:\\"}));

  // An empty drop: nothing to tell the handlers.
  PostMessageW(W().Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({})), 0);
  Pump();
  EXPECT_EQ(sink_.events.size(), 1u);
}

TEST_F(ImportWindowTest, RowsSelectedFromCodeAreExactlyThoseGivenWithTheFirstFocusedAndShown) {
  HWND list = H(T::List);
  EXPECT_FALSE(GetWindowLongPtrW(list, GWL_STYLE) & LVS_SINGLESEL);
  W().ListSetRows(Id(T::List), Rows(40, {"1", "a", "10.0.0.1"}));
  W().ListSelectRows(Id(T::List), {2});
  W().ListSelectRows(Id(T::List), {30, 5, 40, -1, 7});
  EXPECT_EQ(SelectedRows(list), (std::vector<int>{5, 7, 30}));
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_FOCUSED), 30);
  const int top = ListView_GetTopIndex(list);
  EXPECT_TRUE(top <= 30 && 30 < top + ListView_GetCountPerPage(list)) << top;
  EXPECT_EQ(W().ListCurrentRow(Id(T::List)), 5);
  Pump();
  EXPECT_TRUE(sink_.events.empty());
}

TEST_F(ToolkitWindowTest, ASingleSelectionListTakesOnlyTheFirstRowGiven) {
  W().ListSetRows(Id(T::List), Rows(10, {"1", "a", "10.0.0.1"}));
  W().ListSelectRows(Id(T::List), {6, 2});
  EXPECT_EQ(SelectedRows(H(T::List)), std::vector<int>{6});
}

}  // namespace
}  // namespace korvane::testing
