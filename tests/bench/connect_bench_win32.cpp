// The connect without the client: the fields checked, the file composed, the password
// protected and the file written by the real Win32 platform, against protecting the same
// bytes and writing the same file straight through Win32.
#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <filesystem>

#include "bench.h"
#include "launch/connect.h"
#include "platform/platform_win32.h"
#include "platform/text_win32.h"
#include "servers/main_layout.h"
#include "servers/main_window.h"
#include "support/main_window_form.h"
#include "support/scripted_editor.h"
#include "team_fixture.h"
#include "win32/support/test_client.h"

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

// What a connect does without the program: protect the password as the file carries it (UTF-16,
// its terminator and one zero byte more) and write the file's bytes, straight through Win32.
void ProtectAndWriteDirectly(const std::wstring& password, const std::wstring& path, const std::string& bytes) {
  std::vector<BYTE> clear((password.size() + 1) * sizeof(wchar_t) + 1, 0);
  std::memcpy(clear.data(), password.data(), password.size() * sizeof(wchar_t));
  DATA_BLOB in{static_cast<DWORD>(clear.size()), clear.data()}, out{};
  CryptProtectData(&in, L"psw", nullptr, nullptr, nullptr, 0, &out);
  LocalFree(out.pbData);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD done = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  CloseHandle(file);
}

void BM_Connect(benchmark::State& state) {
  NoClientPlatform platform;
  const std::wstring password = L"Pa55-w0rd 密码";
  testing::FakeForm form = testing::OpenedMainWindow("10.20.30.40", "3389", "Administrator", Narrow(password));
  ConnectToServer(form, platform);
  const std::string path = platform.TempDirectory() + "text.rdp";
  const std::string bytes = testing::ReadAll(path);
  if (platform.messages != 0 || bytes.empty()) state.SkipWithError("the connect did not write its file");
  const std::wstring widePath = Widen(path);
  double directSeconds = 0;
  for (auto _ : state) {
    state.SetIterationTime(Seconds([&] { ConnectToServer(form, platform); }));
    directSeconds += Seconds([&] { ProtectAndWriteDirectly(password, widePath, bytes); });
  }
  if (platform.messages != 0) state.SkipWithError("the connect showed a message");
  ReportFloor(state, "protect + write directly", directSeconds, 2.0);
}
BENCHMARK(BM_Connect)->UseManualTime()->Repetitions(5)->ReportAggregatesOnly();

// A team's server: the row read from PostgreSQL and its password opened when the operator
// picks it, then the same connect; against reading the row bare, opening the password with the
// team's key and protecting and writing the file straight through Win32.
void BM_TeamConnect(benchmark::State& state) {
  BenchTeam team;
  if (!team.Make(state, 1000)) return;
  NoClientPlatform platform;
  testing::FakeForm form(MainLayout());
  testing::ScriptedEditor editors(platform);
  MainWindow window(form, platform, editors, team.session);
  window.OnMainWindowCreated();
  const ControlId list = Id(MainControl::超级列表框1);
  form.SelectRow(list, 500);
  const long long id = std::stoll(form.ListCell(list, 500, 0));
  window.OnEvent({EventKind::LeftClick, list});
  ConnectToServer(form, platform);
  const std::string path = platform.TempDirectory() + "text.rdp";
  const std::string bytes = testing::ReadAll(path);
  if (platform.messages != 0 || bytes.empty()) state.SkipWithError("the connect did not write its file");
  OdbcConnection bare;
  bare.Connect(team.BareConnection());
  const std::wstring widePath = Widen(path);
  double directSeconds = 0;
  for (auto _ : state) {
    state.SetIterationTime(Seconds([&] {
      window.OnEvent({EventKind::LeftClick, list});
      ConnectToServer(form, platform);
    }));
    directSeconds += Seconds([&] {
      OdbcStatement select(bare);
      std::vector<SqlValue> row;
      select.Prepare("SELECT host, port, username, password FROM korvane.server WHERE id = ?");
      select.Execute({id});
      select.Fetch(row);
      const std::string host = std::get<std::string>(row[0]), port = std::get<std::string>(row[1]),
                        user = std::get<std::string>(row[2]);
      auto password = team.key->Open(std::get<std::string>(row[3]), {id, host, port, user, team.database->name()});
      ProtectAndWriteDirectly(Widen(password.value_or("")), widePath, bytes);
    });
  }
  if (platform.messages != 0) state.SkipWithError("the connect showed a message");
  ReportFloor(state, "read + open + protect + write directly", directSeconds, 2.0);
}
BENCHMARK(BM_TeamConnect)->UseManualTime()->Repetitions(5)->ReportAggregatesOnly();

}  // namespace
}  // namespace korvane::bench
