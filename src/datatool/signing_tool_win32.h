// korvane-data signing-certificate: shows and changes which certificate connection files are
// signed with (Windows only: the setting and the certificates are the current user's).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace korvane {

// Runs `korvane-data signing-certificate ...`: `arguments` (UTF-8) exclude the program name,
// the first being "signing-certificate". Exit codes as the other commands': 0 done, 1 failed,
// 2 a wrong command line.
//   signing-certificate list
//   signing-certificate set THUMBPRINT
//   signing-certificate off
int RunSigningCertificateTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace korvane
