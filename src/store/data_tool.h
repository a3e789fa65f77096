// The commands of the data-file tool (tools/korvane-data), kept in the core so that tests run
// them in both builds without starting a process.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace korvane {

// Runs one command; `arguments` excludes the program name. Returns the exit code: 0 on success,
// 1 when the command failed, 2 for a wrong command line. Messages go to `err`; a command that
// makes something prints at most one line to `out`.
//   create PATH [FIRST_LOGIN_PASSWORD]
//   add-server PATH HOST PORT USER PASSWORD REMARK   (prints the new id)
int RunDataTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace korvane
