#include "store/schema.h"

#include <optional>
#include <random>
#include <system_error>

#include "store/sqlite_util.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

// Ids are never reused (AUTOINCREMENT): a stale id in a window can never reach a row that
// another server got after a delete.
constexpr const char* kCreateTables =
    "CREATE TABLE \"Korvane\" (name TEXT PRIMARY KEY, value TEXT);"
    "CREATE TABLE \"Login\" (\"Key\" TEXT, \"Pass\" TEXT);"
    "CREATE TABLE \"Server\" (\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, \"服务器名\" TEXT,"
    " \"端口\" TEXT, \"用户名\" TEXT, \"密码\" TEXT, \"备注\" TEXT);";

SqlValue TextOrNull(const std::string& text) {
  if (text.empty()) return std::monostate{};
  return text;
}

bool Run(sqlite3* db, const std::string& sql, const std::vector<SqlValue>& values) {
  auto statement = sqlite::Prepare(db, sql);
  return statement && sqlite::Bind(statement.get(), values) && sqlite::RunToEnd(statement.get());
}

bool FillNewFile(sqlite3* db, const std::string& loginPassword,
                 const std::string& databasePassword) {
  if (!sqlite::Exec(db, "BEGIN IMMEDIATE")) return false;
  const bool filled =
      sqlite::Exec(db, kCreateTables) &&
      Run(db, "INSERT INTO \"Korvane\" (name, value) VALUES (?, ?), (?, ?)",
          {std::string(kFormatName), std::string(kFormatValue), std::string(kPasswordName),
           databasePassword}) &&
      Run(db, "INSERT INTO \"Login\" (\"Key\", \"Pass\") VALUES (?, ?)",
          {std::string(kLoginKey), TextOrNull(loginPassword)});
  if (filled && sqlite::Exec(db, "COMMIT")) return true;
  sqlite::Exec(db, "ROLLBACK");
  return false;
}

// The value of one metadata row, or nothing when the file has no such table or row.
std::optional<std::string> MetadataValue(sqlite3* db, const char* name) {
  auto statement = sqlite::Prepare(
      db, "SELECT value FROM " + sqlite::QuoteIdentifier(kMetadataTable) + " WHERE name = ?");
  if (!statement || !sqlite::Bind(statement.get(), {std::string(name)})) return std::nullopt;
  if (sqlite3_step(statement.get()) != SQLITE_ROW) return std::nullopt;
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
  const int size = sqlite3_column_bytes(statement.get(), 0);
  return text == nullptr ? std::string() : std::string(text, static_cast<size_t>(size));
}

// A file cut short or damaged inside can still answer the first query; the quick check walks
// every page, which costs little for a file of this size.
bool PassesQuickCheck(sqlite3* db) {
  auto statement = sqlite::Prepare(db, "PRAGMA quick_check(1)");
  if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return false;
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
  return text != nullptr && std::string(text) == "ok";
}

}  // namespace

bool CreateDataFile(const std::string& path, const std::string& loginPassword,
                    const std::string& databasePassword, StoreError& error) {
  error = {StoreReason::kNone, path};
  if (path.empty()) {
    error.reason = StoreReason::kNoPath;
    return false;
  }
  const fs::path target = sqlite::PathFromUtf8(path);
  std::error_code ec;
  const auto status = fs::symlink_status(target, ec);
  if (status.type() != fs::file_type::not_found) {
    error.reason = ec ? StoreReason::kCannotLookAtPath : StoreReason::kExists;
    if (ec) error.detail = ec.message();
    return false;
  }

  // The file is made under a name of its own beside the target and only then linked into
  // place: a link never replaces an existing entry, so a file that appears at the path in the
  // meantime stays untouched, and a failure removes only what this call made.
  fs::path scratch = target;
  scratch += ".new-" + std::to_string(std::random_device{}());
  if (fs::symlink_status(scratch, ec).type() != fs::file_type::not_found) {
    error.reason = StoreReason::kScratchInTheWay;
    return false;
  }
  const std::string scratchPath = sqlite::Utf8FromPath(scratch);
  {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(scratchPath.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite::DatabasePtr db(raw);
    if (rc != SQLITE_OK) {
      error.reason = StoreReason::kCannotCreate;
      error.detail = db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc);
      db.reset();
      fs::remove(scratch, ec);
      return false;
    }
    sqlite3_busy_timeout(db.get(), sqlite::kBusyTimeoutMs);
    if (!FillNewFile(db.get(), loginPassword, databasePassword)) {
      error.reason = StoreReason::kCannotFill;
      error.detail = sqlite3_errmsg(db.get());
      db.reset();
      fs::remove(scratch, ec);
      return false;
    }
  }

  std::error_code linkError;
  fs::create_hard_link(scratch, target, linkError);
  if (linkError && fs::symlink_status(target, ec).type() == fs::file_type::not_found) {
    // A file system without hard links: move it instead, having just seen the path free.
    linkError.clear();
    fs::rename(scratch, target, linkError);
  }
  fs::remove(scratch, ec);
  if (linkError) {
    const bool exists = fs::symlink_status(target, ec).type() != fs::file_type::not_found;
    error.reason = exists ? StoreReason::kExists : StoreReason::kCannotCreate;
    if (!exists) error.detail = linkError.message();
    return false;
  }
  return true;
}

bool HasAllItsPages(sqlite3* db) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || file == nullptr ||
      file->pMethods == nullptr) {
    return false;
  }
  // One read transaction around the count and the size: another copy of the program cannot
  // commit in between.
  if (!sqlite::Exec(db, "BEGIN")) return false;
  const auto integer = [db](const char* pragma) {
    auto statement = sqlite::Prepare(db, pragma);
    return statement && sqlite3_step(statement.get()) == SQLITE_ROW ? sqlite3_column_int64(statement.get(), 0) : -1;
  };
  const sqlite3_int64 pages = integer("PRAGMA page_count");
  const sqlite3_int64 pageSize = integer("PRAGMA page_size");
  sqlite3_int64 size = -1;
  const bool whole = pages >= 0 && pageSize > 0 && file->pMethods->xFileSize(file, &size) == SQLITE_OK &&
                     size == pages * pageSize;
  sqlite::Exec(db, "COMMIT");
  return whole;
}

bool IsDataFileWithPassword(sqlite3* db, const std::string& databasePassword) {
  if (db == nullptr) return false;
  const auto format = MetadataValue(db, kFormatName);
  if (!format || *format != kFormatValue) return false;
  const auto password = MetadataValue(db, kPasswordName);
  if (!password || *password != databasePassword) return false;
  return HasAllItsPages(db) && PassesQuickCheck(db);
}

}  // namespace korvane
