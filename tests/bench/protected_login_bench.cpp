// The login check of a protected data file with the real iteration count, from the click on
// 登陆 to the main window's load, against the second that an operator should wait at most.
// The key derivation is slow on purpose; this shows that it stays within that second.
#include "app/program.h"
#include "bench.h"
#include "datatool/messages.h"
#include "login/login_layout.h"
#include "login/login_window.h"
#include "store/protection.h"
#include "store/schema.h"
#include "support/fake_form.h"
#include "support/fake_platform.h"

namespace korvane::bench {
namespace {

void BM_ProtectedLogin(benchmark::State& state) {
  testing::TempDir dir("korvane bench login");
  SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
  const std::string password = "login 口令";
  StoreError error;
  {
    DBConnection db;
    if (!CreateDataFile(DataFilePath(), password, error) || !db.OpenAccess(DataFilePath(), kDatabasePassword) ||
        !ProtectDataFile(db.Handle(), password, error)) {
      state.SkipWithError(("cannot make a protected data file: " + tool::Say(error)).c_str());
      return;
    }
  }
  struct : WindowLoader {
    bool LoadMainWindow() override { return true; }
  } loader;
  double limitSeconds = 0;
  for (auto _ : state) {
    testing::FakeForm form(LoginLayout());
    testing::FakePlatform platform;
    LoginSession session;
    LoginWindow login(form, platform, loader, session);
    form.SetText(Id(LoginControl::编辑框_Pass), password);
    state.SetIterationTime(Seconds([&] { login.CheckLogin(); }));
    if (!session.IsProtected()) state.SkipWithError("the login failed");
    limitSeconds += 1.0;
  }
  ReportFloor(state, "the one-second limit", limitSeconds, 1.0);
}
BENCHMARK(BM_ProtectedLogin)->UseManualTime()->Iterations(3)->Repetitions(3)->ReportAggregatesOnly();

}  // namespace
}  // namespace korvane::bench
