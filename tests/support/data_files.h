// Real data files for tests: made by the program's own schema code in a private folder, and
// changed behind the program's back with plain SQL.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace korvane::testing {

// A fresh folder under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  explicit TempDir(const std::string& name = "korvane test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // A path inside the folder, as the UTF-8 text the program uses.
  std::string File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

std::string Utf8(const std::filesystem::path& path);

// Creates a data file with both tables, the login row and the database password.
void MakeDataFile(const std::string& path, const std::string& loginPassword = "admin");

// Runs SQL on a data file directly; fails the test when SQLite refuses it.
void RunSql(const std::string& path, const std::string& sql);

// Adds a server row and returns its id. A nullopt field is stored as null.
long long AddServer(const std::string& path, std::optional<std::string> host, std::optional<std::string> port,
                    std::optional<std::string> user, std::optional<std::string> password,
                    std::optional<std::string> remark);

// Writes bytes to a file, replacing it.
void WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace korvane::testing
