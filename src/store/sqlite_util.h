// Small helpers over the SQLite C API, shared by the store and the data-file maker.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "store/store.h"

namespace korvane::sqlite {

struct DatabaseCloser {
  // close_v2 so that a statement somebody forgot cannot keep the file open behind our back.
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using DatabasePtr = std::unique_ptr<sqlite3, DatabaseCloser>;
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// How long a write waits for another copy of the program (or the tool) to let go of the file.
inline constexpr int kBusyTimeoutMs = 3000;

// Compiles exactly one statement. Null when the engine refuses it, when the text is empty, or
// when anything but blanks and comments follows the first statement: a second statement
// smuggled into a text must never run.
StatementPtr Prepare(sqlite3* db, const std::string& sql);

// Binds the values to "?" placeholders; false when the counts differ.
bool Bind(sqlite3_stmt* statement, const std::vector<SqlValue>& values);

// Steps to the end; true when the statement finished without error.
bool RunToEnd(sqlite3_stmt* statement);

// Runs a fixed statement such as "BEGIN IMMEDIATE".
bool Exec(sqlite3* db, const char* sql);

// "name" with embedded quotes doubled: safe as an identifier whatever the text.
std::string QuoteIdentifier(const std::string& name);

// A column of the current row as text; null gives an empty text.
std::string ColumnText(sqlite3_stmt* statement, int column);

// A UTF-8 path as the file system wants it (wide on Windows).
std::filesystem::path PathFromUtf8(const std::string& utf8);
// And back: the UTF-8 text SQLite takes for a path.
std::string Utf8FromPath(const std::filesystem::path& path);

}  // namespace korvane::sqlite
