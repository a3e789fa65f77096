// A new file for what only its writer may read: an exported CSV holds passwords in clear.
#pragma once

#include <filesystem>
#include <string_view>

namespace korvane::tool {

// Writes `bytes` to a new file that only the user running this program may open. The file is
// made with that protection, never given it afterwards, so nobody can open it in between: mode
// 0600 natively; on Windows a protected DACL with one entry, for the user of this process, so
// that nothing the folder hands down to new files is added. Never replaces anything: false
// when something is at `path` already, or when the file cannot be made or written in full,
// and then nothing is left behind.
bool WritePrivateFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace korvane::tool
