#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "app/program.h"
#include "store/schema.h"
#include "datatool/commands.h"
#include "datatool/messages.h"
#include "datatool/private_file.h"

namespace korvane::tool {

namespace fs = std::filesystem;

namespace {

// Names what is at `path` when it is not a regular file; empty when it is one.
std::string NotAFile(const std::string& path) {
  std::error_code ec;
  const auto type = fs::status(sqlite::PathFromUtf8(path), ec).type();
  if (type == fs::file_type::regular) return std::string();
  if (type == fs::file_type::not_found) return Format(Msg::kNoSuchFile, path);
  return Format(Msg::kNotAFile, path);
}

}  // namespace

bool Invocation::HasFlag(std::string_view flag) const {
  return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

int Fail(std::ostream& err, const std::string& message) {
  err << "korvane-data: " << message << "\n";
  return 1;
}

namespace {

sqlite::DatabasePtr Open(const std::string& path, int flags, std::string& error) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  sqlite::DatabasePtr db(raw);
  if (rc != SQLITE_OK) {
    error = Format(Msg::kCannotOpen, path, db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc));
    return nullptr;
  }
  // The program or another run of the tool may be writing the file this very moment.
  sqlite3_busy_timeout(db.get(), sqlite::kBusyTimeoutMs);
  return db;
}

// The first read takes the file's shared lock, which is when SQLite looks for the journal of a
// write cut short: a connection that may only read stops there, with SQLITE_READONLY_ROLLBACK,
// and reads nothing of the file until somebody rolls that write back. SQLITE_BUSY: a write of
// another program's holds the file past the wait. SQLITE_OK, or another error, for the
// commands' own checks to name.
int FirstRead(sqlite3* db) {
  const int rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  return rc == SQLITE_BUSY ? rc : sqlite3_extended_errcode(db);
}

bool NeedsRollBack(sqlite3* db) { return FirstRead(db) == SQLITE_READONLY_ROLLBACK; }

}  // namespace

sqlite::DatabasePtr OpenReadOnly(const std::string& path, std::string& error, std::ostream& notes) {
  error = NotAFile(path);
  if (!error.empty()) return nullptr;
  // Looked at before SQLite opens anything: it rolls back whatever journal it finds beside the
  // file, and running as root it even makes the journal root's first.
  const std::string journal = path + "-journal";
  std::error_code ec;
  if (fs::symlink_status(sqlite::PathFromUtf8(journal), ec).type() != fs::file_type::not_found &&
      !JournalIsTheFilesOwn(sqlite::PathFromUtf8(path), sqlite::PathFromUtf8(journal))) {
    error = Format(Msg::kJournalNotItsOwn, path, journal);
    return nullptr;
  }
  auto db = Open(path, SQLITE_OPEN_READONLY, error);
  const int read = db ? FirstRead(db.get()) : SQLITE_OK;
  // Called damaged, the file would be given up for lost while it is only being saved.
  if (read == SQLITE_BUSY) {
    error = Format(Msg::kInUse, path, sqlite::kBusyTimeoutMs / 1000);
    return nullptr;
  }
  if (read != SQLITE_READONLY_ROLLBACK) return db;
  // The program killed in the middle of a save left its journal. The file's own pages are then
  // half old and half new, and the journal alone holds what they were: the program's next
  // login puts them back. Reading the file as it is would show a damaged file, and leaving the
  // journal for later keeps the file unreadable here, so this one write is made now, the same
  // one the program would make, and the file is read on through a connection that only reads.
  db.reset();
  auto writer = Open(path, SQLITE_OPEN_READWRITE, error);
  if (!writer) return nullptr;
  // SQLite opens a file it may not write read-only without a word, and then cannot roll back.
  if (NeedsRollBack(writer.get())) {
    error = Format(Msg::kCannotRollBack, path, path + "-journal");
    return nullptr;
  }
  writer.reset();
  db = Open(path, SQLITE_OPEN_READONLY, error);
  // Another write cut short in between, or a journal SQLite could not delete: say so, rather
  // than call the file damaged.
  if (db && NeedsRollBack(db.get())) {
    error = Format(Msg::kCannotRollBack, path, path + "-journal");
    return nullptr;
  }
  if (db) notes << "korvane-data: " << Format(Msg::kRolledBack, path) << "\n";
  return db;
}

sqlite::DatabasePtr OpenForReading(const std::string& path, std::string& error, std::ostream& notes) {
  auto db = OpenReadOnly(path, error, notes);
  if (db && !IsDataFileWithPassword(db.get(), kDatabasePassword)) {
    error = Format(Msg::kNotADataFile, path);
    return nullptr;
  }
  return db;
}

std::string WhyNotWritable(const std::string& path) {
  const std::string notAFile = NotAFile(path);
  if (!notAFile.empty()) return notAFile;
  return Format(Msg::kNotWritable, path);
}

namespace {

// The explicit directional formatting characters and marks, in UTF-8. A terminal lays out the
// rest of a line by them: a right-to-left override in a remark shows the text after it
// reversed, so a line can read as something it does not hold.
struct DirectionMark {
  std::string_view bytes;
  unsigned code;
};
constexpr DirectionMark kDirectionMarks[] = {
    {"\xD8\x9C", 0x061C},     {"\xE2\x80\x8E", 0x200E}, {"\xE2\x80\x8F", 0x200F}, {"\xE2\x80\xAA", 0x202A},
    {"\xE2\x80\xAB", 0x202B}, {"\xE2\x80\xAC", 0x202C}, {"\xE2\x80\xAD", 0x202D}, {"\xE2\x80\xAE", 0x202E},
    {"\xE2\x81\xA6", 0x2066}, {"\xE2\x81\xA7", 0x2067}, {"\xE2\x81\xA8", 0x2068}, {"\xE2\x81\xA9", 0x2069},
};

// The mark that begins at `at`, or null.
const DirectionMark* DirectionMarkAt(const std::string& value, size_t at) {
  for (const auto& mark : kDirectionMarks) {
    if (value.compare(at, mark.bytes.size(), mark.bytes) == 0) return &mark;
  }
  return nullptr;
}

// Control characters as escapes: C0, DEL and the C1 range (U+0080 to U+009F, which some
// terminals take as the start of a command just as they take ESC), and the marks that turn the
// direction of text (\uHHHH).
std::string Escaped(const std::string& value, bool backslashes) {
  std::string line;
  for (size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
    const auto escape = [&](unsigned code) {
      char text[8];
      std::snprintf(text, sizeof text, "\\x%02X", code);
      line += text;
    };
    if (const DirectionMark* mark = DirectionMarkAt(value, i)) {
      char text[8];
      std::snprintf(text, sizeof text, "\\u%04X", mark->code);
      line += text;
      i += mark->bytes.size() - 1;
      continue;
    }
    if (c == '\\' && backslashes) {
      line += "\\\\";
    } else if (c == '\t') {
      line += "\\t";
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      escape(c);
    } else if (c == 0xC2 && i + 1 < value.size() && static_cast<unsigned char>(value[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(value[i + 1]) <= 0x9F) {
      escape(static_cast<unsigned char>(value[++i]));
    } else {
      line += static_cast<char>(c);
    }
  }
  return line;
}

}  // namespace

std::string OneLine(const std::string& value) { return Escaped(value, true); }

std::string Printable(const std::string& text) { return Escaped(text, false); }

std::string ServerLabel(const std::string& id, const std::string& remark, const std::string& host) {
  if (remark.empty()) return Format(Msg::kServerLabel, id, OneLine(host));
  return Format(Msg::kServerLabelWithRemark, id, OneLine(remark), OneLine(host));
}

std::string Servers(std::size_t count) {
  return count == 1 ? Format(Msg::kOneServer) : Format(Msg::kServers, count);
}

void Wipe(std::string& secret) {
  // Through a volatile pointer: a plain fill of memory that is freed next may be left out.
  volatile char* bytes = secret.data();
  for (size_t i = 0; i < secret.size(); ++i) bytes[i] = '\0';
  secret.clear();
}

}  // namespace korvane::tool
