// The commands of the data-file tool (korvane-data), kept in the core so that tests run
// them in both builds without starting a process.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// What a command may read from the person running it. A secret never comes from the command
// line, where other users of the machine can see it in the process list.
struct ToolInput {
  // Standard input when it is not a terminal: a secret is its first line.
  std::istream* lines = nullptr;
  // Set when standard input is a terminal: shows the prompt and reads one line without echo;
  // nullopt when the input ends first.
  std::function<std::optional<std::string>(const std::string& prompt)> askSecret;
  // Opens a blob that Windows protected for the current user (an imported file's password);
  // unset where there is no such protection, and then those passwords do not open.
  std::function<std::optional<std::string>(const std::string& blob)> unprotect;
  // Set when standard error is a terminal: a long import shows how far it is.
  bool showProgress = false;
};

// Runs one command; `arguments` excludes the program name. Returns the exit code: 0 on success,
// 1 when the command failed, 2 for a wrong command line. Messages go to `err`. `korvane-data
// --help` lists the commands, `korvane-data COMMAND --help` tells about one:
//   create PATH [FIRST_LOGIN_PASSWORD]
//   add-server PATH HOST PORT USER PASSWORD REMARK   (prints the new id)
//   list FILE [--show-passwords]
//   check FILE
//   set-login-password FILE
//   export FILE CSV
//   import FILE CSV
//   protect FILE
//   unprotect FILE
//   team init CONNECTION
//   team join FILE CONNECTION
//   team push FILE
//   team leave FILE
//   team rekey FILE
// On a file that belongs to a team (team join), add-server, list, check, export and import
// work on the team's servers.
int RunDataTool(const std::vector<std::string>& arguments, ToolInput& input, std::ostream& out,
                std::ostream& err);
// The same with nothing to read: a command that needs a secret fails.
int RunDataTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace korvane
