// The stand-in Remote Desktop client as the tests use it: installed as the system directory's
// mstsc.exe, recording into a log folder named by KORVANE_TEST_CLIENT_LOG, and what reading
// its record takes (files, the protected password turned back).
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "platform/text_win32.h"

namespace korvane::testing {

using Bytes = std::vector<unsigned char>;

inline Bytes Unhex(const std::string& hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

struct Unprotected {
  bool ok = false;
  std::wstring description;
  Bytes data;
};

inline Unprotected Unprotect(Bytes blob) {
  DATA_BLOB in{static_cast<DWORD>(blob.size()), blob.data()};
  DATA_BLOB out{};
  LPWSTR description = nullptr;
  Unprotected result;
  if (!CryptUnprotectData(&in, &description, nullptr, nullptr, nullptr, 0, &out)) return result;
  result.ok = true;
  result.description = description != nullptr ? description : L"";
  result.data.assign(out.pbData, out.pbData + out.cbData);
  LocalFree(description);
  LocalFree(out.pbData);
  return result;
}

inline std::string ReadAll(const std::string& utf8Path) {
  const HANDLE file = CreateFileW(Widen(utf8Path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

inline bool Exists(const std::string& utf8Path) {
  return GetFileAttributesW(Widen(utf8Path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Sets an environment variable of this process (children inherit it) for one scope. The
// value is UTF-8 and goes in through the wide API, so any script survives.
class EnvOverride {
 public:
  EnvOverride(const char* name, const std::string& value) : name_(Widen(name)) {
    std::vector<wchar_t> old(32768);
    const DWORD n = GetEnvironmentVariableW(name_.c_str(), old.data(), static_cast<DWORD>(old.size()));
    had_ = n > 0 && n < old.size();
    if (had_) old_.assign(old.data(), n);
    SetEnvironmentVariableW(name_.c_str(), Widen(value).c_str());
  }
  EnvOverride(const EnvOverride&) = delete;
  EnvOverride& operator=(const EnvOverride&) = delete;
  ~EnvOverride() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }

 private:
  std::wstring name_;
  bool had_ = false;
  std::wstring old_;
};

// A path the build gave as a Unix path, as Wine spells it.
inline std::string Dos(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

inline std::string SystemClientPath() {
  char directory[MAX_PATH];
  const UINT n = GetSystemDirectoryA(directory, MAX_PATH);
  return std::string(directory, n) + "\\mstsc.exe";
}

// Waits for the client's record in `log` (a folder path ending in a backslash); a deadline
// for failure, not a measure of speed.
inline bool WaitForClientRecord(const std::string& log) {
  for (int i = 0; i < 400 && !Exists(log + "done.txt"); ++i) Sleep(50);
  return Exists(log + "done.txt");
}

// Waits until the client that wrote the record in `log` has ended.
inline void WaitForClientExit(const std::string& log) {
  if (!Exists(log + "done.txt")) return;
  const DWORD pid = static_cast<DWORD>(std::stoul(ReadAll(log + "done.txt")));
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return;  // already gone
  WaitForSingleObject(process, 20000);
  CloseHandle(process);
}

}  // namespace korvane::testing
