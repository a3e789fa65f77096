#include <windows.h>

#include <iostream>
#include <streambuf>

#include "datatool/terminal.h"

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

// The language Windows shows its own windows in; the locale variables mean nothing to a
// Windows program.
tool::Language UserLanguage() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE ? tool::Language::kChinese
                                                                    : tool::Language::kEnglish;
}

// _isatty says yes for the NUL device too; only a real console has a console mode.
bool InputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(StandardInput(), &mode) != 0;
}

bool ErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
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

namespace {

// Text written to a console, a line at a time: a line ends in a whole UTF-8 sequence, so each
// one converts on its own.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    pending_ += static_cast<char>(c);
    if (c == '\n') sync();
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize size) override {
    pending_.append(text, static_cast<size_t>(size));
    if (pending_.find('\n') != std::string::npos) sync();
    return size;
  }
  int sync() override {
    const std::wstring wide = Widen(pending_);
    pending_.clear();
    DWORD written = 0;
    return wide.empty() || WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()),
                                         &written, nullptr)
               ? 0
               : -1;
  }

 private:
  HANDLE console_;
  std::string pending_;
};

// A console stream when `handle` is a console, else the standard stream as it is: bytes that
// go to a file or a pipe stay UTF-8.
std::ostream& StreamFor(DWORD handle, std::ostream& standard) {
  HANDLE console = GetStdHandle(handle);
  DWORD mode = 0;
  if (!GetConsoleMode(console, &mode)) return standard;
  static ConsoleBuffer* buffers[2] = {};
  static std::ostream* streams[2] = {};
  const int slot = handle == STD_OUTPUT_HANDLE ? 0 : 1;
  if (streams[slot] == nullptr) {
    // Never destroyed, like std::cout: a destructor that writes late still finds it.
    buffers[slot] = new ConsoleBuffer(console);
    streams[slot] = new std::ostream(buffers[slot]);
  }
  return *streams[slot];
}

}  // namespace

std::ostream& Output() { return StreamFor(STD_OUTPUT_HANDLE, std::cout); }
std::ostream& ErrorOutput() { return StreamFor(STD_ERROR_HANDLE, std::cerr); }

}  // namespace korvane::terminal
