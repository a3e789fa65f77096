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

// Whether `journal`, found beside the data file `file` after a write was cut short, may be
// rolled back into it: a plain file (no link) of the data file's own owner. SQLite takes any
// journal it finds, so one that another user planted in a folder others may write would put
// their pages into the owner's file. Natively: a regular file of one link, owned by the data
// file's owner. On Windows: no reparse point (the owner is not compared there).
bool JournalIsTheFilesOwn(const std::filesystem::path& file, const std::filesystem::path& journal);

}  // namespace korvane::tool
