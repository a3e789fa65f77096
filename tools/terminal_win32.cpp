#include <windows.h>

#include <iostream>

#include "terminal.h"

namespace korvane::terminal {
namespace {

HANDLE StandardInput() { return GetStdHandle(STD_INPUT_HANDLE); }

DWORD savedMode = 0;
volatile LONG echoIsOff = 0;

// The console's modes outlive the process: ended by Ctrl+C while echo is off, the tool would
// leave cmd.exe blind. Returning FALSE lets the default handler end the process afterwards.
BOOL WINAPI RestoreEchoOnBreak(DWORD) {
  if (echoIsOff) SetConsoleMode(StandardInput(), savedMode);
  return FALSE;
}

void WriteToConsole(const std::wstring& text) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(error, &mode)) {
    WriteConsoleW(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

std::wstring Widen(const std::string& utf8) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                       nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

}  // namespace

// _isatty says yes for the NUL device too; only a real console has a console mode.
bool InputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(StandardInput(), &mode) != 0;
}

// Read as UTF-16 from the console: the bytes of the console's code page could not hold every
// character of a password typed there.
std::optional<std::string> ReadSecret(const std::string& prompt) {
  HANDLE input = StandardInput();
  WriteToConsole(Widen(prompt));
  GetConsoleMode(input, &savedMode);
  SetConsoleCtrlHandler(RestoreEchoOnBreak, TRUE);
  echoIsOff = 1;
  SetConsoleMode(input, (savedMode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) &
                            ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::wstring line;
  bool ended = false;
  wchar_t buffer[256];
  while (line.find(L'\n') == std::wstring::npos) {
    DWORD read = 0;
    if (!ReadConsoleW(input, buffer, static_cast<DWORD>(std::size(buffer)), &read, nullptr) ||
        read == 0) {
      ended = true;
      break;
    }
    line.append(buffer, read);
  }
  SecureZeroMemory(buffer, sizeof buffer);
  SetConsoleMode(input, savedMode);
  echoIsOff = 0;
  SetConsoleCtrlHandler(RestoreEchoOnBreak, FALSE);
  WriteToConsole(L"\r\n");
  // Ctrl+Z then Enter is the console's end of input.
  if (ended || (!line.empty() && line[0] == L'\x1A')) {
    SecureZeroMemory(line.data(), line.size() * sizeof(wchar_t));
    return std::nullopt;
  }
  line.resize(line.find_first_of(L"\r\n"));
  std::string utf8;
  const int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                       nullptr, 0, nullptr, nullptr);
  utf8.resize(static_cast<size_t>(size));
  WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(), size,
                      nullptr, nullptr);
  SecureZeroMemory(line.data(), line.size() * sizeof(wchar_t));
  return utf8;
}

Utf8Output::Utf8Output() {
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ||
      GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode)) {
    previousCodePage_ = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
  }
}

// The code page belongs to the console, not to the tool: give it back as it was.
Utf8Output::~Utf8Output() {
  std::cout.flush();
  std::cerr.flush();
  if (previousCodePage_ != 0) SetConsoleOutputCP(previousCodePage_);
}

}  // namespace korvane::terminal
