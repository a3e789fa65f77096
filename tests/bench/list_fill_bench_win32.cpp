// The server list filled by the main window's own handler, in the real, shown window over a
// real data file, against a bare SQLite read of the same rows into a bare list view of the same
// kind: (a) filled row by row, (b) filled the fastest way Win32 has, as a virtual list.
#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <memory>

#include "app/program.h"
#include "bench.h"
#include "platform/platform_win32.h"
#include "platform/text_win32.h"
#include "servers/editor_opener_win32.h"
#include "servers/main_layout.h"
#include "servers/main_window.h"
#include "ui/win32/window_win32.h"
#include "win32/support/common_controls6.h"

namespace korvane::bench {
namespace {

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// What the operator waits for: the rows in the list and the list drawn. Each fill starts on an
// empty message queue, so that none pays for what the one before it left.
template <typename Fill>
double TimedFill(HWND list, Fill&& fill) {
  Pump();
  return Seconds([&] {
    fill();
    UpdateWindow(list);
    Pump();
  });
}

// Answers a virtual list's questions from the rows in the window's user data.
LRESULT CALLBACK FloorProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_NOTIFY || reinterpret_cast<NMHDR*>(lParam)->code != LVN_GETDISPINFOW)
    return DefWindowProcW(hwnd, message, wParam, lParam);
  LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(lParam)->item;
  const auto* rows = reinterpret_cast<const std::vector<Row>*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (rows && (item.mask & LVIF_TEXT) && static_cast<size_t>(item.iItem) < rows->size() && item.iSubItem < 4)
    lstrcpynW(item.pszText, Widen((*rows)[item.iItem][item.iSubItem]).c_str(), item.cchTextMax);
  return 0;
}

// A bare window holding a list view made as the main window makes its list, where neither the
// main window nor the other floor covers it.
struct FloorList {
  FloorList(DWORD extraStyle, int left) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = FloorProc;
    cls.lpszClassName = L"KorvaneBenchFloor";
    RegisterClassW(&cls);
    window = CreateWindowExW(0, cls.lpszClassName, L"floor", WS_OVERLAPPEDWINDOW | WS_VISIBLE, left, 0, 420, 300,
                             nullptr, nullptr, nullptr, nullptr);
    list = CreateWindowExW(WS_EX_STATICEDGE, WC_LISTVIEWW, L"",
                           WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_NOSORTHEADER | extraStyle, 7, 14,
                           389, 258, window, nullptr, nullptr, nullptr);
    SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (const ControlLayout& c : MainLayout().controls) {
      for (size_t i = 0; c.kind == ControlKind::ListView && i < c.columns.size(); ++i) {
        std::wstring header = Widen(c.columns[i].header);
        LVCOLUMNW column{LVCF_WIDTH | LVCF_TEXT, 0, c.columns[i].width, header.data()};
        ListView_InsertColumn(list, static_cast<int>(i), &column);
      }
    }
  }
  ~FloorList() { DestroyWindow(window); }

  HWND window = nullptr;
  HWND list = nullptr;
};

void BM_LoadServerList(benchmark::State& state) {
  testing::TempDir dir("korvane bench");
  SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
  MakeServerFile(DataFilePath(), static_cast<int>(state.range(0)));
  Win32Platform platform;
  Win32EditorOpener editors(platform);
  std::unique_ptr<MainWindow> handlers;
  auto window = Win32Window::Create(MainLayout(), [&](Form& form) -> EventSink& {
    handlers = std::make_unique<MainWindow>(form, platform, editors);
    return *handlers;
  });
  HWND list = window->ControlHandle(Id(MainControl::超级列表框1));
  if (ListView_GetItemCount(list) != state.range(0)) state.SkipWithError("the list did not fill");

  FloorList rowByRow(0, 0), virtualList(LVS_OWNERDATA, 860);
  sqlite3* db = nullptr;
  sqlite3_open_v2(DataFilePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  std::vector<Row> virtualRows;
  SetWindowLongPtrW(virtualList.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&virtualRows));
  const auto fillRowByRow = [&] {
    ListView_DeleteAllItems(rowByRow.list);
    for (const Row& row : ReadServers(db)) {
      std::wstring text = Widen(row[0]);
      LVITEMW item{LVIF_TEXT, ListView_GetItemCount(rowByRow.list), 0, 0, 0, text.data()};
      const int at = ListView_InsertItem(rowByRow.list, &item);
      for (int c = 1; c < 4; ++c) {
        text = Widen(row[c]);
        ListView_SetItemText(rowByRow.list, at, c, text.data());
      }
    }
  };
  const auto fillVirtual = [&] {
    SetWindowRedraw(virtualList.list, FALSE);
    ListView_DeleteAllItems(virtualList.list);
    virtualRows = ReadServers(db);
    ListView_SetItemCountEx(virtualList.list, virtualRows.size(), 0);
    SetWindowRedraw(virtualList.list, TRUE);
  };
  double rowByRowSeconds = 0, virtualSeconds = 0;
  for (auto _ : state) {
    rowByRowSeconds += TimedFill(rowByRow.list, fillRowByRow);
    // Floor (a) is slow enough for one fill an iteration; the figure and floor (b) are filled
    // a few times each, taking turns at going first.
    constexpr int kRounds = 6;
    double figureSeconds = 0;
    for (int round = 0; round < kRounds; ++round) {
      if (round % 2) virtualSeconds += TimedFill(virtualList.list, fillVirtual) / kRounds;
      figureSeconds += TimedFill(list, [&] { handlers->LoadServerList(); }) / kRounds;
      if (round % 2 == 0) virtualSeconds += TimedFill(virtualList.list, fillVirtual) / kRounds;
    }
    state.SetIterationTime(figureSeconds);
  }
  sqlite3_close(db);
  ReportFloor(state, "(a) SQLite, row by row", rowByRowSeconds);
  ReportFloor(state, "(b) SQLite, virtual list", virtualSeconds, 1.2);
}
// Iterations are fixed: the row-by-row floor in a shown window takes many times the figure,
// and letting the figure's time decide the count would run it for minutes.
BENCHMARK(BM_LoadServerList)->Arg(100)->Iterations(4)->UseManualTime()->Repetitions(3)->ReportAggregatesOnly();
BENCHMARK(BM_LoadServerList)->Arg(1000)->Iterations(1)->UseManualTime()->Repetitions(3)->ReportAggregatesOnly();
BENCHMARK(BM_LoadServerList)->Arg(10000)->Iterations(1)->UseManualTime()->Repetitions(3)->ReportAggregatesOnly();

}  // namespace
}  // namespace korvane::bench
