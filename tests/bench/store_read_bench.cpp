// The main window's handler filling the test fake's list from a real data file, against a bare
// SQLite read of the same rows: what the store and the handler cost before any window does.
#include "app/program.h"
#include "bench.h"
#include "servers/main_layout.h"
#include "servers/main_window.h"
#include "support/fake_form.h"
#include "support/fake_platform.h"
#include "support/scripted_editor.h"

namespace korvane::bench {
namespace {

void BM_LoadServerListIntoFake(benchmark::State& state) {
  testing::TempDir dir("korvane bench");
  SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
  MakeServerFile(DataFilePath(), static_cast<int>(state.range(0)));
  testing::FakeForm form(MainLayout());
  testing::FakePlatform platform;
  testing::ScriptedEditor editors(platform);
  MainWindow window(form, platform, editors);
  window.OpenMainDatabase(kDataFileName);
  sqlite3* db = nullptr;
  sqlite3_open_v2(DataFilePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  double bareSeconds = 0;
  for (auto _ : state) {
    state.SetIterationTime(Seconds([&] { window.LoadServerList(); }));
    bareSeconds += Seconds([&] { benchmark::DoNotOptimize(ReadServers(db)); });
  }
  if (form.ListRowCount(Id(MainControl::超级列表框1)) != state.range(0)) state.SkipWithError("the list did not fill");
  sqlite3_close(db);
  ReportFloor(state, "SQLite read", bareSeconds);
}
BENCHMARK(BM_LoadServerListIntoFake)->Arg(10000)->UseManualTime()->Repetitions(5)->ReportAggregatesOnly();

}  // namespace
}  // namespace korvane::bench
