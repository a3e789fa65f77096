// list and check: the commands that only read a data file. Both open it read-only, so neither
// can change a byte of it, whatever state it is in; only a write cut short is first rolled back,
// as the program would (OpenReadOnly).
#include <algorithm>
#include <optional>

#include "app/program.h"
#include "store/membership.h"
#include "store/schema.h"
#include "datatool/commands.h"

namespace korvane::tool {
namespace {

// The tables the windows read and the fields they read by name.
struct TableFields {
  const char* table;
  std::vector<std::string> fields;
};
const TableFields kTables[] = {
    {"Login", {"Key", "Pass"}},
    {"Server", {"id", "服务器名", "端口", "用户名", "密码", "备注"}},
};

class Checker {
 public:
  explicit Checker(sqlite3* db) : db_(db) {}

  const std::vector<std::string>& problems() const { return problems_; }
  void Add(const std::string& problem) { problems_.push_back(problem); }

  // The first column of the first row of a query, or nullopt (null gives an empty text). A
  // query the file cannot answer is a problem of its own, named after `what`.
  std::optional<std::string> Value(const std::string& sql, const std::vector<SqlValue>& values,
                                   Msg what) {
    auto statement = sqlite::Prepare(db_, sql);
    if (statement && sqlite::Bind(statement.get(), values)) {
      const int rc = sqlite3_step(statement.get());
      if (rc == SQLITE_ROW) return ColumnText(statement.get(), 0);
      if (rc == SQLITE_DONE) return std::nullopt;
    }
    Add(Format(Msg::kCannotRead, Format(what), sqlite3_errmsg(db_)));
    return std::nullopt;
  }

  // The field names of a table; empty when there is no such table.
  std::vector<std::string> Fields(const std::string& table) {
    std::vector<std::string> names;
    auto statement = sqlite::Prepare(db_, "SELECT name FROM pragma_table_info(?)");
    if (!statement || !sqlite::Bind(statement.get(), {table})) return names;
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
      names.push_back(ColumnText(statement.get(), 0));
    }
    return names;
  }

  void CheckMarker() {
    if (Fields(kMetadataTable).empty()) {
      Add(Format(Msg::kNoMetadataTable, kMetadataTable));
      return;
    }
    const std::string query =
        "SELECT value FROM " + sqlite::QuoteIdentifier(kMetadataTable) + " WHERE name = ?";
    const std::size_t before = problems_.size();
    const auto format = Value(query, {std::string(kFormatName)}, Msg::kWhatFormatMarker);
    if (!format && problems_.size() == before) {
      Add(Format(Msg::kNoFormatMarker));
    } else if (format && *format != kFormatValue) {
      Add(Format(Msg::kWrongFormatMarker, *format, kFormatValue));
    }
    const std::size_t beforePassword = problems_.size();
    const auto password = Value(query, {std::string(kPasswordName)}, Msg::kWhatDatabasePassword);
    if (!password && problems_.size() == beforePassword) {
      Add(Format(Msg::kNoDatabasePassword));
    } else if (password && *password != kDatabasePassword) {
      Add(Format(Msg::kWrongDatabasePassword));
    }
  }

  // Returns whether table Login has the fields the login reads.
  bool CheckTables() {
    bool loginReadable = true;
    for (const auto& expected : kTables) {
      const auto fields = Fields(expected.table);
      bool complete = !fields.empty();
      if (fields.empty()) Add(Format(Msg::kNoTable, expected.table));
      for (const auto& field : expected.fields) {
        if (fields.empty() || std::find(fields.begin(), fields.end(), field) != fields.end()) {
          continue;
        }
        Add(Format(Msg::kNoField, expected.table, field));
        complete = false;
      }
      if (std::string(expected.table) == "Login") loginReadable = complete;
    }
    return loginReadable;
  }

  void CheckLoginRow() {
    const std::string key = kLoginKey;
    const auto rows = Value("SELECT count(*) FROM Login WHERE \"Key\" = ?", {key}, Msg::kWhatTableLogin);
    const auto withPassword =
        Value("SELECT count(*) FROM Login WHERE \"Key\" = ? AND coalesce(Pass, '') <> ''", {key},
              Msg::kWhatTableLogin);
    if (!rows || !withPassword) return;
    if (*rows == "0") {
      Add(Format(Msg::kNoLoginRowNobody, key));
      return;
    }
    if (*rows != "1") {
      Add(Format(Msg::kManyLoginRows, *rows, key));
    }
    if (*withPassword != *rows) {
      Add(Format(Msg::kEmptyLoginPasswordInFile));
    }
  }

  // A protected file: its row, its sealed values, and that each opens with the login password
  // the operator gives; `keys` gets its keys, for the team of a member file. True for a
  // protected file. A plain file must hold no sealed values: the program would take one for the
  // password itself.
  bool CheckProtection(const Invocation& call, std::optional<LoginKeys>& keys) {
    const FileProtection protection = ReadProtection(db_);
    if (protection == FileProtection::kUnusable) {
      // This program only ever writes a table of that name; a view can only be someone else's.
      const auto type = Value("SELECT type FROM sqlite_master WHERE name = ? COLLATE NOCASE",
                              {std::string(kProtectionTable)}, Msg::kWhatFileTables);
      Add(Format(type == "view" ? Msg::kProtectionIsView : Msg::kProtectionNoRow, kProtectionTable));
      return true;
    }
    struct Stored {
      std::string label, value, host;
    };
    std::vector<Stored> passwords;
    auto statement = sqlite::Prepare(
        db_, "SELECT id, 备注, 服务器名, 密码 FROM Server WHERE coalesce(密码, '') <> '' ORDER BY id");
    while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
      const std::string host = ColumnText(statement.get(), 2);
      passwords.push_back({ServerLabel(ColumnText(statement.get(), 0), ColumnText(statement.get(), 1), host),
                           ColumnText(statement.get(), 3), host});
      const bool sealed = LooksSealed(passwords.back().value);
      if (protection == FileProtection::kPlain && sealed) {
        Add(Format(Msg::kLooksSealedInPlainFile, passwords.back().label, kProtectionTable));
      } else if (protection == FileProtection::kProtected && !sealed) {
        Add(Format(Msg::kNotSealedInProtectedFile, passwords.back().label));
      }
      // A plain file's passwords are plain text, and this check needs them no longer.
      if (protection == FileProtection::kPlain) {
        Wipe(passwords.back().value);
        passwords.pop_back();
      }
    }
    if (protection == FileProtection::kPlain) return false;
    auto password = ReadSecret(call, Format(Msg::kLoginPasswordPrompt));
    if (!password) {
      Add(Format(Msg::kNoLoginPasswordGiven));
      return true;
    }
    keys = CheckLoginPassword(db_, kLoginKey, *password);
    Wipe(*password);
    if (!keys) {
      Add(Format(Msg::kLoginPasswordMismatch));
      return true;
    }
    for (auto& [label, value, host] : passwords) {
      auto opened = keys->Open(value, host);
      if (!opened) {
        if (LooksSealed(value)) Add(Format(Msg::kSealedDoesNotOpen, label));
      } else {
        Wipe(*opened);
      }
    }
    return true;
  }

  void CheckIntegrity() {
    // A copy broken off a few bytes short still passes SQLite's own check.
    if (!HasAllItsPages(db_)) Add(Format(Msg::kShortFile));
    auto statement = sqlite::Prepare(db_, "PRAGMA integrity_check(20)");
    int rc = statement ? sqlite3_step(statement.get()) : SQLITE_ERROR;
    for (; rc == SQLITE_ROW; rc = sqlite3_step(statement.get())) {
      const std::string line = ColumnText(statement.get(), 0);
      if (line != "ok") Add(Format(Msg::kDamaged, line));
    }
    if (rc != SQLITE_DONE) Add(Format(Msg::kDamaged, sqlite3_errmsg(db_)));
  }

 private:
  sqlite3* db_;
  std::vector<std::string> problems_;
};

}  // namespace

int List(const Invocation& call) {
  const std::string& path = call.operands[0];
  std::string error;
  const auto db = OpenForReading(path, error, call.err);
  if (!db) return Fail(call.err, error);
  if (IsTeamMember(db.get())) return TeamList(call, db.get());
  const bool passwords = call.HasFlag("--show-passwords");
  // The list itself needs no key; the passwords of a protected file need its login password.
  std::optional<LoginKeys> keys;
  if (passwords && !KeysForPasswords(call, db.get(), path, keys)) return 1;
  std::vector<std::string> unopened;
  auto statement = sqlite::Prepare(
      db.get(), "SELECT id, 备注, 服务器名, 端口, 用户名, 密码 FROM Server ORDER BY id");
  if (!statement) {
    return Fail(call.err, Format(Msg::kCannotReadServers, path, sqlite3_errmsg(db.get())));
  }
  const int columns = passwords ? 6 : 5;
  std::string text = passwords ? "id\tremark\thost\tport\tuser\tpassword\n"
                               : "id\tremark\thost\tport\tuser\n";
  int rc;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    for (int column = 0; column < columns; ++column) {
      if (column > 0) text += '\t';
      std::string value = ColumnText(statement.get(), column);
      if (column == 5 && keys) {
        auto opened = keys->Open(value, ColumnText(statement.get(), 2));
        if (!opened) {
          unopened.push_back(ServerLabel(ColumnText(statement.get(), 0), ColumnText(statement.get(), 1),
                                         ColumnText(statement.get(), 2)));
        }
        value = opened.value_or("");
      }
      text += OneLine(value);
      Wipe(value);
    }
    text += '\n';
  }
  if (rc != SQLITE_DONE) {
    Wipe(text);
    return Fail(call.err, Format(Msg::kCannotReadServers, path, sqlite3_errmsg(db.get())));
  }
  call.out << text;
  Wipe(text);
  // Its password column is empty in the list: say which servers, and why.
  for (const auto& server : unopened) {
    Fail(call.err, Format(Msg::kPathSealedDoesNotOpen, path, server));
  }
  return unopened.empty() ? 0 : 1;
}

int Check(const Invocation& call) {
  const std::string& path = call.operands[0];
  std::string error;
  const auto db = OpenReadOnly(path, error, call.err);
  if (!db) return Fail(call.err, error);
  Checker checker(db.get());
  // A file that is no SQLite database at all fails its first query; nothing else can be read.
  if (!checker.Value("SELECT count(*) FROM sqlite_master", {}, Msg::kWhatTheFile)) {
    return Fail(call.err, Format(Msg::kPathProblem, path, checker.problems().front()));
  }
  checker.CheckMarker();
  if (checker.CheckTables()) checker.CheckLoginRow();
  checker.CheckIntegrity();
  std::optional<LoginKeys> keys;
  const bool protectedFile = checker.problems().empty() && checker.CheckProtection(call, keys);
  std::optional<std::string> servers;
  if (checker.problems().empty()) {
    servers = checker.Value("SELECT count(*) FROM Server", {}, Msg::kWhatTableServer);
  }
  if (!checker.problems().empty()) {
    for (const auto& problem : checker.problems()) Fail(call.err, Format(Msg::kPathProblem, path, problem));
    return 1;
  }
  const std::size_t count = std::stoul(servers.value_or("0"));
  // A member file's list is its team's: that is checked too, with the keys of the login.
  if (keys && IsTeamMember(db.get())) return TeamCheck(call, db.get(), *keys, count);
  call.out << Format(protectedFile ? Msg::kCheckOkProtected : Msg::kCheckOk, path,
                     Servers(std::stoul(servers.value_or("0"))))
           << "\n";
  return 0;
}

}  // namespace korvane::tool
