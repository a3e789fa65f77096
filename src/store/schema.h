// What makes a file a data file of this program: the two tables the windows use and a small
// table of the file's own, which marks the format and holds the database password.
#pragma once

#include <string>

#include "app/program.h"
#include "store/store_error.h"

struct sqlite3;

namespace korvane {

// The fixed key of the one row of table Login.
inline constexpr const char* kLoginKey = "By.Oxle";
// The login password of a new data file unless the maker names another.
inline constexpr const char* kFirstLoginPassword = "admin";

// The file's own table: (name TEXT PRIMARY KEY, value TEXT). A file without it, or with another
// format in it, is not ours.
inline constexpr const char* kMetadataTable = "Korvane";
inline constexpr const char* kFormatName = "format";
inline constexpr const char* kFormatValue = "Korvane data 1";
// The database password is kept here as plain text: it keeps a wrong file or a stray program
// out, it is not encryption, and a hash would hide nothing that the program does not already
// carry in itself.
inline constexpr const char* kPasswordName = "database password";

// Makes a new data file at `path` (UTF-8): the metadata, table Login with its one row
// (kLoginKey, loginPassword; empty stores null) and an empty table Server. Refuses a path where
// anything exists already. On failure returns false, says why in `error` and leaves no file.
bool CreateDataFile(const std::string& path, const std::string& loginPassword,
                    const std::string& databasePassword, StoreError& error);
inline bool CreateDataFile(const std::string& path, const std::string& loginPassword,
                           StoreError& error) {
  return CreateDataFile(path, loginPassword, kDatabasePassword, error);
}

// True when the file is exactly as long as the pages it holds, as SQLite always leaves it. A file
// that lost its last bytes (a copy broken off) still opens and can pass the quick check: the
// missing bytes read as zeros, so whatever the last page held (a server's values, the counter
// that keeps the ids of deleted servers from coming back) reads back changed.
bool HasAllItsPages(sqlite3* db);

// True when the open database is sound (HasAllItsPages and SQLite's quick check), carries this
// program's marker and the given database password.
bool IsDataFileWithPassword(sqlite3* db, const std::string& databasePassword);

}  // namespace korvane
