// When the shell cannot open a web address, the login window's link runs the command the
// registry holds for opening ".htm" files instead. This builds that command line.
#pragma once

#include <string>

namespace korvane {

// `registered` is the open command of the ".htm" file class, e.g.
//   "C:\Program Files\Browser\browser.exe" -nohome "%1"
// The command is cut just before the first quoted "%1" (before its opening quotation mark),
// or else just before the first bare %1, and a space and the address are appended; without
// any %1 the space and the address go after the whole command. An empty command gives an
// empty result: there is nothing to run.
std::string CommandToOpenAddress(const std::string& registered, const std::string& address);

}  // namespace korvane
