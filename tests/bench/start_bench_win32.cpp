// Cold start: from CreateProcess until the program's first window is visible, for korvane.exe
// (its login window) and for a program that only opens one window, started the same way.
#include <windows.h>

#include <filesystem>

#include "bench.h"
#include "win32/app_driver.h"

namespace korvane::bench {
namespace {

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM process) {
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  return !(owner == *reinterpret_cast<DWORD*>(process) && IsWindowVisible(hwnd));
}

// Seconds until a window of the started program is visible; -1 when it never shows one. The
// program is ended afterwards, outside the time.
double StartUntilVisible(const std::filesystem::path& exe) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
  const auto start = std::chrono::steady_clock::now();
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      exe.parent_path().c_str(), &startup, &process))
    return -1;
  double seconds = -1;
  while (WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT) {
    // EnumWindows reports FALSE when the callback stopped it: a visible window was found.
    if (!EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&process.dwProcessId))) {
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      break;
    }
  }
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return seconds;
}

void BM_ColdStart(benchmark::State& state) {
  // The program beside a data file of its own, as it is shipped.
  testing::TempDir dir("korvane bench start");
  const auto korvane = dir.path() / "korvane.exe";
  std::filesystem::copy_file(testing::FromBuildPath(KORVANE_EXE), korvane);
  testing::MakeDataFile(testing::Utf8(dir.path() / "mstsc.mdb"));
  const auto minimal = testing::FromBuildPath(KORVANE_MINIMAL_WINDOW_EXE);
  double minimalSeconds = 0;
  for (auto _ : state) {
    const double program = StartUntilVisible(korvane), floor = StartUntilVisible(minimal);
    if (program < 0 || floor < 0) state.SkipWithError("a program showed no window");
    state.SetIterationTime(program);
    minimalSeconds += floor;
  }
  ReportFloor(state, "one-window program", minimalSeconds, 1.5);
}
BENCHMARK(BM_ColdStart)->UseManualTime()->Iterations(4)->Repetitions(5)->ReportAggregatesOnly();

}  // namespace
}  // namespace korvane::bench
