// A team's list of 10,000 servers on PostgreSQL: the main window's handler filling the test
// fake's list after the login, against a bare ODBC fetch of the same rows. Needs the private
// server that scripts/bench starts.
#include "servers/main_layout.h"
#include "servers/main_window.h"
#include "store/team_copy.h"

#include <sqlite3.h>
#include "support/fake_form.h"
#include "support/fake_platform.h"
#include "support/scripted_editor.h"
#include "team_fixture.h"

namespace korvane::bench {
namespace {

// The main window over the team's member file, opened as after the login.
struct OpenMainWindow {
  explicit OpenMainWindow(BenchTeam& team) : window(form, platform, editors, team.session) {
    window.OnMainWindowCreated();
  }
  testing::FakeForm form{MainLayout()};
  testing::FakePlatform platform;
  testing::ScriptedEditor editors{platform};
  MainWindow window;
};

// How many servers the copy in the data file holds.
long long CopyRows(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* count = nullptr;
  long long rows = 0;
  if (sqlite3_prepare_v2(db, "SELECT count(*) FROM TeamCopy", -1, &count, nullptr) == SQLITE_OK &&
      sqlite3_step(count) == SQLITE_ROW) {
    rows = sqlite3_column_int64(count, 0);
  }
  sqlite3_finalize(count);
  sqlite3_close_v2(db);
  return rows;
}

void BM_TeamListAfterLogin(benchmark::State& state) {
  BenchTeam team;
  if (!team.Make(state, static_cast<int>(state.range(0)))) return;
  OpenMainWindow opened(team);
  auto& [form, platform, editors, window] = opened;

  OdbcConnection bare;
  bare.Connect(team.BareConnection());
  double bareSeconds = 0;
  for (auto _ : state) {
    state.SetIterationTime(Seconds([&] { window.LoadServerList(); }));
    bareSeconds += Seconds([&] {
      OdbcStatement select(bare);
      select.Prepare("SELECT id, remark, host, port FROM korvane.server ORDER BY id");
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

// The login's list of 10,000 servers and its first refresh, as the operator meets them after
// the login, on a team that allows a copy against one that does not, in the same iterations,
// with the file's copy up to date (1); and with the second refresh, which writes the copy
// whole as at a member's first login (2). The copy should add under a tenth to (1).
void BM_TeamLoginWithCopy(benchmark::State& state) {
  BenchTeam plain, copied;
  if (!plain.Make(state, 10000) || !copied.Make(state, 10000)) return;
  TeamStore admin;
  TeamError error;
  if (!admin.Connect(copied.database->connection(), copied.server.password, error) ||
      !admin.SetSetting(TeamSetting::kOfflineCopy, "on", error)) {
    state.SkipWithError("cannot allow copies");
    return;
  }
  // One login's list and its first refreshes, in the folder of that team's member: the first
  // (1), which leaves the copy to the next; or two (2), the second of which writes the copy.
  const int refreshes = static_cast<int>(state.range(0));
  const auto login = [](BenchTeam& team, std::optional<OpenMainWindow>& opened, int times) {
    SetProgramDirectoryFromExecutable(team.dir->File("korvane.exe"));
    return Seconds([&] {
      opened.emplace(team);
      for (int i = 0; i < times; ++i) opened->window.OnEvent({EventKind::Timer});
    });
  };
  std::optional<OpenMainWindow> opened;
  login(copied, opened, 2);  // the copy made once, before timing
  opened.reset();
  double plainSeconds = 0;
  for (auto _ : state) {
    if (state.range(0) == 2) {
      sqlite3* db = nullptr;
      sqlite3_open_v2(copied.dir->File("mstsc.mdb").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
      DropTeamCopy(db);
      sqlite3_close_v2(db);
    }
    state.SetIterationTime(login(copied, opened, refreshes));
    const bool filled = opened->platform.messages.empty() && opened->form.ListRowCount(Id(MainControl::超级列表框1)) == 10000;
    opened.reset();
    plainSeconds += login(plain, opened, refreshes);
    opened.reset();
    if (!filled || CopyRows(copied.dir->File("mstsc.mdb")) != 10000) {
      state.SkipWithError("the list or the copy did not fill");
      break;
    }
  }
  ReportFloor(state, "login without a copy", plainSeconds, 1.1);
}
BENCHMARK(BM_TeamLoginWithCopy)->Arg(1)->Arg(2)->UseManualTime()->Iterations(5)->Repetitions(3)->ReportAggregatesOnly();

// Another member changes one server of 10,000: the open list's refresh (the question, the
// changed row, its place in the list) against a bare ODBC fetch of that one row.
void BM_TeamRefreshAfterOneChange(benchmark::State& state) {
  BenchTeam team;
  if (!team.Make(state, 10000)) return;
  OpenMainWindow opened(team);
  auto& [form, platform, editors, window] = opened;
  TeamStore other;
  TeamError error;
  other.Connect(team.database->connection(), team.server.password, error);
  other.UseKey(*TeamKey::FromText(team.key->Text()), error);
  auto servers = other.List(error);
  OdbcConnection bare;
  bare.Connect(team.BareConnection());
  double bareSeconds = 0;
  long long n = 0;
  const ControlId list = Id(MainControl::超级列表框1);
  for (auto _ : state) {
    TeamServer& changed = (*servers)[static_cast<size_t>(n * 7919 % servers->size())];
    auto current = other.Read(changed.id, error);
    current->remark = "changed " + std::to_string(++n);
    other.Change(*current, error);
    state.SetIterationTime(Seconds([&] { window.OnEvent({EventKind::Timer}); }));
    bareSeconds += Seconds([&] {
      OdbcStatement select(bare);
      std::vector<SqlValue> row;
      select.Prepare("SELECT id, version, host, port, remark FROM korvane.server WHERE id = ?");
      select.Execute({changed.id});
      select.Fetch(row);
      benchmark::DoNotOptimize(row);
    });
    if (form.ListCell(list, static_cast<int>(&changed - servers->data()), 1) != current->remark) {
      state.SkipWithError("the change did not reach the list");
      break;
    }
  }
  ReportFloor(state, "bare fetch of the row", bareSeconds, 2.0);
}
BENCHMARK(BM_TeamRefreshAfterOneChange)->UseManualTime()->Iterations(200)->Repetitions(5)->ReportAggregatesOnly();

}  // namespace
}  // namespace korvane::bench
