#include "store/sqlite_util.h"

#include <string_view>

namespace korvane::sqlite {

StatementPtr Prepare(sqlite3* db, const std::string& sql) {
  if (db == nullptr) return nullptr;
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  // Pass the length with the terminator so that SQLite can use the text without copying it.
  if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size() + 1), &raw, &tail) !=
      SQLITE_OK) {
    return nullptr;
  }
  StatementPtr statement(raw);
  if (!statement) return nullptr;  // blanks or comments only
  // The rest must compile to nothing: blanks, comments and stray semicolons only.
  while (tail != nullptr && *tail != '\0') {
    sqlite3_stmt* extra = nullptr;
    const char* next = nullptr;
    if (sqlite3_prepare_v2(db, tail, -1, &extra, &next) != SQLITE_OK) return nullptr;
    if (extra != nullptr) {
      sqlite3_finalize(extra);
      return nullptr;
    }
    if (next == tail) return nullptr;
    tail = next;
  }
  return statement;
}

bool Bind(sqlite3_stmt* statement, const std::vector<SqlValue>& values) {
  if (sqlite3_bind_parameter_count(statement) != static_cast<int>(values.size())) return false;
  for (int i = 0; i < static_cast<int>(values.size()); ++i) {
    const SqlValue& value = values[static_cast<size_t>(i)];
    int rc = SQLITE_OK;
    if (const auto* number = std::get_if<long long>(&value)) {
      rc = sqlite3_bind_int64(statement, i + 1, *number);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      rc = sqlite3_bind_text64(statement, i + 1, text->data(), text->size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
    } else {
      rc = sqlite3_bind_null(statement, i + 1);
    }
    if (rc != SQLITE_OK) return false;
  }
  return true;
}

bool RunToEnd(sqlite3_stmt* statement) {
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
  }
  return rc == SQLITE_DONE;
}

bool Exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  if (text == nullptr) return std::string();
  return std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

std::string QuoteIdentifier(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::filesystem::path PathFromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace korvane::sqlite
