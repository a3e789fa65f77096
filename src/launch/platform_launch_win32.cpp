// The connect's side of the Win32 platform: the temporary directory, the protected password,
// the connection file and the start of the Remote Desktop client.
#include <windows.h>

#include <memory>
#include <type_traits>
#include <vector>

#include "launch/cp936_win32.h"
#include "launch/password_blob_win32.h"
#include "platform/platform_win32.h"
#include "platform/text_win32.h"

namespace korvane {
namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// The client by its full path in the system directory. Left to the usual search, "mstsc"
// would be taken first from the program's own folder or the current directory, where anyone
// who can drop a file could put a program of that name.
std::wstring ClientPath() {
  wchar_t directory[MAX_PATH];
  const UINT n = GetSystemDirectoryW(directory, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  std::wstring path(directory, n);
  if (path.back() != L'\\') path += L'\\';
  return path + L"mstsc.exe";
}

}  // namespace

std::string Win32Platform::TempDirectory() {
  // The wide form: a profile folder may be named in any script, and the ANSI form would turn
  // what its code page lacks into '?'.
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  // 0 is a failure; a count past the buffer is the size of a path that did not fit.
  if (n == 0 || n > MAX_PATH) return {};
  std::string path = Narrow(std::wstring(buffer, n));
  if (path.empty()) return {};
  if (path.back() != '\\') path += '\\';
  return path;
}

std::string Win32Platform::ProtectPasswordHex(const std::string& password) {
  return ProtectedPasswordHex(password);
}

bool Win32Platform::FitsCodePage936(const std::string& text) {
  bool lossless = false;
  WideToCp936(Widen(text), &lossless);
  return lossless;
}

bool Win32Platform::WriteConnectionFile(const std::string& path, const std::string& text) {
  const std::string bytes = WideToCp936(Widen(text));
  return WriteConnectionFileBytes(path, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

bool Win32Platform::WriteConnectionFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  // No sharing while it is written: the client must never read half a file.
  const HANDLE raw = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return false;
  UniqueHandle file(raw);
  DWORD written = 0;
  const BOOL ok = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return ok && written == bytes.size();
}

bool Win32Platform::LaunchClient(const std::string& commandLine) {
  const std::wstring application = ClientPath();
  if (application.empty()) return false;
  // CreateProcessW may write into the command line: give it a buffer of its own.
  std::wstring writable = Widen(commandLine);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  UniqueHandle processHandle(process.hProcess);
  UniqueHandle threadHandle(process.hThread);
  // Lets the client put its window up before ours takes input again; it is not a check.
  WaitForInputIdle(process.hProcess, 1000);
  threadHandle.reset();
  processHandle.reset();
  return true;
}

}  // namespace korvane
