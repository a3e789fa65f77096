// korvane-data: makes, checks and fills data files. The commands live beside this file;
// this one joins them to the process: arguments, standard streams, the terminal.
#include <iostream>
#include <string>
#include <vector>

#include "datatool/data_tool.h"
#include "datatool/terminal.h"
#ifdef _WIN32
#include "import/unprotect_win32.h"
#include "datatool/signing_tool_win32.h"
#endif

namespace {

int Run(const std::vector<std::string>& arguments) {
  korvane::tool::SetLanguage(korvane::terminal::UserLanguage());
  korvane::ToolInput input;
  if (korvane::terminal::InputIsTerminal()) {
    input.askSecret = korvane::terminal::ReadSecret;
  } else {
    input.lines = &std::cin;
  }
  input.showProgress = korvane::terminal::ErrorIsTerminal();
#ifdef _WIN32
  input.unprotect = korvane::import::UnprotectForCurrentUser;
#endif
  std::ostream& out = korvane::terminal::Output();
  std::ostream& err = korvane::terminal::ErrorOutput();
#ifdef _WIN32
  // The signing setting and the certificates are Windows's own: that command lives apart.
  const int exitCode = !arguments.empty() && arguments[0] == "signing-certificate"
                           ? korvane::RunSigningCertificateTool(arguments, out, err)
                           : korvane::RunDataTool(arguments, input, out, err);
#else
  const int exitCode = korvane::RunDataTool(arguments, input, out, err);
#endif
  out.flush();
  err.flush();
  return exitCode;
}

}  // namespace

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
  return Run(arguments);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
