// korvane-data: makes and fills data files. The commands live in store/data_tool.cpp.
#include <iostream>
#include <string>
#include <vector>

#include "store/data_tool.h"

#ifdef _WIN32
#include <filesystem>

// Windows hands a plain main() its arguments in the ANSI code page, which cannot hold every
// path; take them wide and pass them on as UTF-8 like every other text in the program.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    const std::u8string utf8 = std::filesystem::path(argv[i]).u8string();
    arguments.emplace_back(utf8.begin(), utf8.end());
  }
  return korvane::RunDataTool(arguments, std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
  return korvane::RunDataTool(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                              std::cerr);
}
#endif
