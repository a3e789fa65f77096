// Unfinished: the connect's platform pieces. Being built now; until then the connect
// cannot protect a password, write the file or start the client.
#include <windows.h>

#include "platform/platform_win32.h"
#include "platform/text_win32.h"

namespace korvane {

std::string Win32Platform::TempDirectory() { return {}; }
std::string Win32Platform::ProtectPasswordHex(const std::string&) { return {}; }
bool Win32Platform::WriteConnectionFile(const std::string&, const std::string&) { return false; }
bool Win32Platform::LaunchClient(const std::string&) { return false; }

}  // namespace korvane
