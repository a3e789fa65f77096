// The lines of a text whose lines end in CR LF, as the connection file's are; the text after
// the last CR LF is the last line, empty when the text ends with one.
#pragma once

#include <string>
#include <vector>

namespace korvane::testing {

inline std::vector<std::string> CrlfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  for (;;) {
    const auto end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

}  // namespace korvane::testing
