// Files dropped on a window, as the shell hands them over.
#include <shlobj.h>  // DROPFILES

#include <cstring>

#include "win32/support/toolkit_fixture.h"

namespace korvane::testing {
namespace {

using T = Toolkit;

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

// The toolkit window set up for importing: files may be dropped on it.
class DropWindowTest : public ToolkitWindowTest {
 protected:
  WindowLayout Layout() const override {
    WindowLayout layout = ToolkitLayout();
    layout.acceptsFiles = true;
    return layout;
  }
};

TEST_F(DropWindowTest, ADropDeliversFilesDroppedOnceWithEveryPathInUtf8) {
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

}  // namespace
}  // namespace korvane::testing
