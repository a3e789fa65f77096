// Stands in for the Remote Desktop client in the launch tests. Into the folder named by
// KORVANE_TEST_CLIENT_LOG (an ASCII name, read through the ANSI API) it records its command
// line as UTF-8, its own path and a copy of the connection file it finds on the command line,
// then "done.txt" holding its process id, written last so a test knows the rest is complete.
// It then idles in a message loop, so that the launcher's WaitForInputIdle has something to
// wait for, and ends by itself shortly after.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

// As the real client finds its file: the command line split by the system's rules (blanks
// separate, quotes group), the first argument after the program's name that is not a switch.
// An unquoted path with a blank thus names only its first piece, here as there.
std::wstring ConnectionFileOf(const wchar_t* commandLine) {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(commandLine, &count);
  if (args == nullptr) return {};
  std::wstring file;
  for (int i = 1; i < count && file.empty(); ++i) {
    if (args[i][0] != L'/') file = args[i];
  }
  LocalFree(args);
  return file;
}

std::string Utf8(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
  return text;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char folder[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("KORVANE_TEST_CLIENT_LOG", folder, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    std::string log(folder, n);
    if (log.back() != '\\') log += '\\';
    const wchar_t* commandLine = GetCommandLineW();
    WriteWholeFile(log + "command_line.txt", Utf8(commandLine));
    char module[MAX_PATH];
    const DWORD m = GetModuleFileNameA(nullptr, module, MAX_PATH);
    WriteWholeFile(log + "module.txt", std::string(module, m));
    const std::wstring file = ConnectionFileOf(commandLine);
    const std::wstring copy(log.begin(), log.end());  // the log folder's name is ASCII
    if (!file.empty()) CopyFileW(file.c_str(), (copy + L"text.rdp").c_str(), FALSE);
    WriteWholeFile(log + "done.txt", std::to_string(GetCurrentProcessId()));
  }

  SetTimer(nullptr, 0, 300, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER) PostQuitMessage(0);
    DispatchMessageA(&msg);
  }
  return 0;
}
