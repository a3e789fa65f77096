#include "datatool/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace korvane::tool {

bool WritePrivateFile(const std::filesystem::path& path, std::string_view bytes) {
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (file < 0) return false;
  bool written = true;
  while (written && !bytes.empty()) {
    const ssize_t done = write(file, bytes.data(), bytes.size());
    if (done < 0 && errno == EINTR) continue;
    written = done > 0;
    if (written) bytes.remove_prefix(static_cast<size_t>(done));
  }
  written = close(file) == 0 && written;
  if (!written) unlink(path.c_str());
  return written;
}

bool JournalIsTheFilesOwn(const std::filesystem::path& file, const std::filesystem::path& journal) {
  struct stat data {}, log {};
  return stat(file.c_str(), &data) == 0 && lstat(journal.c_str(), &log) == 0 && S_ISREG(log.st_mode) &&
         log.st_nlink == 1 && log.st_uid == data.st_uid;
}

}  // namespace korvane::tool
