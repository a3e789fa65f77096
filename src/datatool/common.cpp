#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/program.h"
#include "store/schema.h"
#include "datatool/commands.h"
#include "datatool/messages.h"

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

sqlite::DatabasePtr OpenReadOnly(const std::string& path, std::string& error) {
  error = NotAFile(path);
  if (!error.empty()) return nullptr;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  sqlite::DatabasePtr db(raw);
  if (rc != SQLITE_OK) {
    error = Format(Msg::kCannotOpen, path, db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc));
    return nullptr;
  }
  // The program or another run of the tool may be writing the file this very moment.
  sqlite3_busy_timeout(db.get(), sqlite::kBusyTimeoutMs);
  return db;
}

sqlite::DatabasePtr OpenForReading(const std::string& path, std::string& error) {
  auto db = OpenReadOnly(path, error);
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

// Control characters as escapes: C0, DEL and the C1 range (U+0080 to U+009F, which some
// terminals take as the start of a command just as they take ESC).
std::string Escaped(const std::string& value, bool backslashes) {
  std::string line;
  for (size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
    const auto escape = [&](unsigned code) {
      char text[8];
      std::snprintf(text, sizeof text, "\\x%02X", code);
      line += text;
    };
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
