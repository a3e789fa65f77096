// UTF-8 inside the program, UTF-16 at the Win32 edge: the only place that converts.
#pragma once

#include <string>

namespace korvane {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

}  // namespace korvane
