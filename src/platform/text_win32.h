// UTF-8 inside the program, UTF-16 at the Win32 edge: the only place that converts.
#pragma once

#include <string>

namespace korvane {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
// Text from or for an "A" function: the system's ANSI code page.
std::string AnsiToUtf8(const std::string& ansi);
std::string Utf8ToAnsi(const std::string& utf8);

}  // namespace korvane
