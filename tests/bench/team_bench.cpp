// A team's list of 10,000 servers on PostgreSQL: the main window's handler filling the test
// fake's list after the login, against a bare ODBC fetch of the same rows. Needs the private
// server that scripts/bench starts.
#include "servers/main_layout.h"
#include "servers/main_window.h"
#include "support/fake_form.h"
#include "support/fake_platform.h"
#include "support/scripted_editor.h"
#include "team_fixture.h"

namespace korvane::bench {
namespace {

void BM_TeamListAfterLogin(benchmark::State& state) {
  BenchTeam team;
  if (!team.Make(state, static_cast<int>(state.range(0)))) return;
  testing::FakeForm form(MainLayout());
  testing::FakePlatform platform;
  testing::ScriptedEditor editors(platform);
  MainWindow window(form, platform, editors, team.session);
  window.OnMainWindowCreated();

  OdbcConnection bare;
  bare.Connect(team.BareConnection());
  double bareSeconds = 0;
  for (auto _ : state) {
    state.SetIterationTime(Seconds([&] { window.LoadServerList(); }));
    bareSeconds += Seconds([&] {
      OdbcStatement select(bare);
      select.Prepare("SELECT id, remark, host, port FROM server ORDER BY id");
      select.Execute({});
      std::vector<std::vector<SqlValue>> rows;
      std::vector<SqlValue> row;
      while (select.Fetch(row) == OdbcStatement::Fetched::kRow) rows.push_back(row);
      benchmark::DoNotOptimize(rows);
    });
  }
  if (!platform.messages.empty() || form.ListRowCount(Id(MainControl::超级列表框1)) != state.range(0)) {
    state.SkipWithError("the list did not fill");
  }
  ReportFloor(state, "bare ODBC fetch", bareSeconds, 1.5);
}
BENCHMARK(BM_TeamListAfterLogin)->Arg(10000)->UseManualTime()->Repetitions(5)->ReportAggregatesOnly();

}  // namespace
}  // namespace korvane::bench
