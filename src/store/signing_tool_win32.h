// korvane-data signing-certificate: shows and changes which certificate connection files are
// signed with (Windows only: the setting and the certificates are the current user's).
#pragma once

#include <iosfwd>

namespace korvane {

// Runs `korvane-data signing-certificate ...`; argv is the tool's own, argv[1] being
// "signing-certificate". Exit codes as the other commands': 0 done, 1 failed, 2 a wrong
// command line.
//   signing-certificate list
//   signing-certificate set THUMBPRINT
//   signing-certificate off
int RunSigningCertificateTool(int argc, wchar_t** argv, std::ostream& out, std::ostream& err);

}  // namespace korvane
