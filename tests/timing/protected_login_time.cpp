// Not a test: how long the login check of a protected data file takes on this machine, from
// the click on 登陆 to the main window's load, with the real iteration count. Run it natively,
// or from the win64 tree under Wine (wine protected_login_time.exe); it prints each run and
// the median, on the wall clock and on the processor.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include "app/program.h"
#include "login/login_layout.h"
#include "login/login_window.h"
#include "store/protection.h"
#include "store/schema.h"
#include "support/data_files.h"
#include "support/fake_form.h"
#include "support/fake_platform.h"

using namespace korvane;

// The processor time this thread has used, in milliseconds: unlike the wall clock, it does not
// grow when other programs share the machine.
static double ThreadMilliseconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  const auto ticks = [](FILETIME t) { return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
#else
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
#endif
}

int main() {
  testing::TempDir dir("korvane login time");
  SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
  std::string error;
  DBConnection db;
  if (!CreateDataFile(DataFilePath(), "login 口令", error) || !db.OpenAccess(DataFilePath(), kDatabasePassword) ||
      !ProtectDataFile(db.Handle(), "login 口令", error)) {
    std::fprintf(stderr, "cannot make a protected data file: %s\n", error.c_str());
    return 1;
  }
  db.Close();

  struct : WindowLoader {
    bool LoadMainWindow() override { return true; }
  } loader;
  std::vector<double> milliseconds, processor;
  for (int run = 0; run < 5; ++run) {
    testing::FakeForm form(LoginLayout());
    testing::FakePlatform platform;
    LoginSession session;
    LoginWindow login(form, platform, loader, session);
    form.SetText(Id(LoginControl::编辑框_Pass), "login 口令");
    const auto start = std::chrono::steady_clock::now();
    const double startProcessor = ThreadMilliseconds();
    login.CheckLogin();
    const double usedProcessor = ThreadMilliseconds() - startProcessor;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (!session.IsProtected()) {
      std::fprintf(stderr, "the login failed\n");
      return 1;
    }
    milliseconds.push_back(took.count());
    processor.push_back(usedProcessor);
    std::printf("run %d: %.0f ms, of which %.0f ms on the processor\n", run + 1, took.count(), usedProcessor);
  }
  std::sort(milliseconds.begin(), milliseconds.end());
  std::sort(processor.begin(), processor.end());
  std::printf("login check of a protected file (%s, %lu iterations): median %.0f ms, %.0f ms on the processor\n",
              crypto::BackendName(), kProtectionIterations, milliseconds[milliseconds.size() / 2],
              processor[processor.size() / 2]);
  return 0;
}
