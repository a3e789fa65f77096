// Stands in for the Remote Desktop client in the launch tests. Into the folder named by
// KORVANE_TEST_CLIENT_LOG it records its command line, its own path and a copy of the
// connection file named on the command line, then "done.txt" holding its process id, written
// last so a test knows the rest is complete. It then idles in a message loop, so that the
// launcher's WaitForInputIdle has something to wait for, and ends by itself shortly after.
#include <windows.h>

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

// "mstsc " + path, and " /admin" after it for a console session.
std::string ConnectionFileOf(const std::string& commandLine) {
  const std::string prefix = "mstsc ";
  const std::string console = " /admin";
  if (commandLine.compare(0, prefix.size(), prefix) != 0) return {};
  std::string path = commandLine.substr(prefix.size());
  if (path.size() >= console.size() && path.compare(path.size() - console.size(), console.size(), console) == 0) {
    path.resize(path.size() - console.size());
  }
  return path;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char folder[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("KORVANE_TEST_CLIENT_LOG", folder, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    std::string log(folder, n);
    if (log.back() != '\\') log += '\\';
    const std::string commandLine = GetCommandLineA();
    WriteWholeFile(log + "command_line.txt", commandLine);
    char module[MAX_PATH];
    const DWORD m = GetModuleFileNameA(nullptr, module, MAX_PATH);
    WriteWholeFile(log + "module.txt", std::string(module, m));
    const std::string file = ConnectionFileOf(commandLine);
    if (!file.empty()) CopyFileA(file.c_str(), (log + "text.rdp").c_str(), FALSE);
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
