// The connect without the client: the fields checked, the file composed, the password
// protected and the file written by the real Win32 platform, against protecting the same
// bytes and writing the same file straight through Win32.
#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "bench.h"
#include "launch/connect.h"
#include "platform/platform_win32.h"
#include "platform/text_win32.h"
#include "support/main_window_form.h"

namespace korvane::bench {
namespace {

// Starts no client; a message box would stop the benchmark, so it is counted instead.
class NoClientPlatform : public Win32Platform {
 public:
  MessageAnswer ShowMessage(const std::string&, const std::string&, MessageButtons, MessageIcon) override {
    ++messages;
    return MessageAnswer::Ok;
  }
  bool LaunchClient(const std::string&) override { return true; }
  int messages = 0;
};

void BM_Connect(benchmark::State& state) {
  NoClientPlatform platform;
  const std::wstring password = L"Pa55-w0rd 密码";
  testing::FakeForm form = testing::OpenedMainWindow("10.20.30.40", "3389", "Administrator", Narrow(password));
  ConnectToServer(form, platform);
  const std::string path = platform.TempDirectory() + "text.rdp";
  std::string bytes;
  {
    std::ifstream written(std::filesystem::u8path(path), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(written), {});
  }
  if (platform.messages != 0 || bytes.empty()) state.SkipWithError("the connect did not write its file");
  // What the connect protects: the UTF-16 password, its terminator and one zero byte more.
  std::vector<BYTE> clear((password.size() + 1) * sizeof(wchar_t) + 1, 0);
  std::memcpy(clear.data(), password.data(), password.size() * sizeof(wchar_t));
  const std::wstring widePath = Widen(path);
  double directSeconds = 0;
  for (auto _ : state) {
    state.SetIterationTime(Seconds([&] { ConnectToServer(form, platform); }));
    directSeconds += Seconds([&] {
      DATA_BLOB in{static_cast<DWORD>(clear.size()), clear.data()}, out{};
      CryptProtectData(&in, L"psw", nullptr, nullptr, nullptr, 0, &out);
      LocalFree(out.pbData);
      HANDLE file = CreateFileW(widePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      DWORD done = 0;
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
      CloseHandle(file);
    });
  }
  if (platform.messages != 0) state.SkipWithError("the connect showed a message");
  ReportFloor(state, "protect + write directly", directSeconds, 2.0);
}
BENCHMARK(BM_Connect)->UseManualTime()->Repetitions(5)->ReportAggregatesOnly();

}  // namespace
}  // namespace korvane::bench
