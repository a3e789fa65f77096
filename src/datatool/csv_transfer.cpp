// export and import: the servers of a data file to and from a CSV file that a spreadsheet or
// a script can read and write.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "app/program.h"
#include "store/store.h"
#include "datatool/commands.h"
#include "datatool/csv_text.h"
#include "datatool/private_file.h"

namespace korvane::tool {
namespace {

namespace fs = std::filesystem;

// An import names at most this many bad lines: a file of the wrong kind is wrong on every line.
constexpr std::size_t kProblemsShown = 20;

std::vector<std::string> HeaderNames() {
  std::vector<std::string> names;
  for (const auto& field : kServerFields) names.emplace_back(field.name);
  return names;
}

std::string JoinedHeader() {
  std::string header;
  for (const auto& name : HeaderNames()) header += (header.empty() ? "" : ",") + name;
  return header;
}

// "服务器名", "端口", … as the SQL of both commands names them.
std::string ColumnList() {
  std::string columns;
  for (const auto& field : kServerFields) {
    columns += (columns.empty() ? "" : ", ") + sqlite::QuoteIdentifier(field.column);
  }
  return columns;
}

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found;
}

// Writes a file that must not exist yet. It is written in full under a scratch name beside
// the target and then linked into place: a link never replaces an entry, so a file that
// appears at the path meanwhile is kept, and a failed write leaves nothing half-written.
bool WriteNewFile(const std::string& path, const std::string& bytes, std::string& error) {
  const fs::path target = sqlite::PathFromUtf8(path);
  const std::string exists = path + ": already exists; export never overwrites a file";
  if (Exists(target)) {
    error = exists;
    return false;
  }
  fs::path scratch = target;
  scratch += ".new-" + std::to_string(std::random_device{}());
  if (Exists(scratch)) {
    error = path + ": cannot write: a file of the same scratch name is in the way";
    return false;
  }
  // The passwords are in clear: only this user may read them. A link to the file, or the file
  // moved, keeps that protection.
  if (!WritePrivateFile(scratch, bytes)) {
    error = path + ": cannot write (is its folder there, and may this user write in it?)";
    return false;
  }
  std::error_code ec, linkError;
  fs::create_hard_link(scratch, target, linkError);
  if (linkError && !Exists(target)) {
    // A file system without hard links: move it instead, having just seen the path free.
    linkError.clear();
    fs::rename(scratch, target, linkError);
  }
  fs::remove(scratch, ec);
  if (linkError) {
    error = Exists(target) ? exists : path + ": cannot write: " + linkError.message();
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(sqlite::PathFromUtf8(path), ec)) {
    error = path + (Exists(sqlite::PathFromUtf8(path)) ? ": not a file" : ": no such file");
    return false;
  }
  std::ifstream file(sqlite::PathFromUtf8(path), std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (file.bad() || !file.is_open()) {
    error = path + ": cannot read";
    return false;
  }
  return true;
}

// Every line of the CSV that cannot become a server, in line order.
std::vector<CsvProblem> ProblemsOf(const CsvText& csv) {
  std::vector<CsvProblem> problems = csv.problems;
  const std::string header = JoinedHeader();
  if (csv.records.empty() && csv.problems.empty()) {
    problems.push_back({1, "no header line; the first line names the fields: " + header});
  }
  for (std::size_t i = 0; i < csv.records.size(); ++i) {
    const auto& record = csv.records[i];
    if (i == 0) {
      if (record.fields != HeaderNames()) {
        problems.push_back({record.line, "the first line must name the fields: " + header});
      }
    } else if (record.fields.size() != kServerFieldCount) {
      problems.push_back({record.line, std::to_string(record.fields.size()) +
                                           " fields where a server has " +
                                           std::to_string(kServerFieldCount) + " (" + header +
                                           ")"});
    }
  }
  std::stable_sort(problems.begin(), problems.end(),
                   [](const CsvProblem& a, const CsvProblem& b) { return a.line < b.line; });
  return problems;
}

// The program's rule, as in the editor: an empty text is stored as null.
SqlValue TextOrNull(const std::string& text) {
  if (text.empty()) return std::monostate{};
  return text;
}

}  // namespace

int Export(const Invocation& call) {
  const std::string& path = call.operands[0];
  const std::string& csvPath = call.operands[1];
  if (Exists(sqlite::PathFromUtf8(csvPath))) {
    return Fail(call.err, csvPath + ": already exists; export never overwrites a file");
  }
  std::string error;
  const auto db = OpenForReading(path, error);
  if (!db) return Fail(call.err, error);
  // A protected file's passwords are opened for the CSV with its login password.
  std::optional<LoginKeys> keys;
  if (!KeysForPasswords(call, db.get(), path, keys)) return 1;
  auto statement =
      sqlite::Prepare(db.get(), "SELECT id, " + ColumnList() + " FROM Server ORDER BY id");
  if (!statement) {
    return Fail(call.err, path + ": cannot read the servers: " + sqlite3_errmsg(db.get()));
  }
  // The names need no quotes; bare, the header reads as what it is. The byte order mark makes
  // a spreadsheet read the file as UTF-8 rather than in the ANSI code page (GBK on a Chinese
  // Windows), which would garble every Chinese remark; import skips it.
  std::string text = "\xEF\xBB\xBF" + JoinedHeader() + "\r\n";
  std::size_t servers = 0;
  int rc;
  std::vector<std::string> unopened;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    std::vector<std::string> fields;
    for (int column = 1; column <= static_cast<int>(kServerFieldCount); ++column) {
      fields.push_back(ColumnText(statement.get(), column));
    }
    if (keys) {
      auto opened = keys->Open(fields[3], fields[0]);
      if (!opened) unopened.push_back(ServerLabel(ColumnText(statement.get(), 0), fields[4], fields[0]));
      Wipe(fields[3]);
      fields[3] = opened.value_or("");
    }
    for (auto& field : fields) {
      std::string shown = ForSpreadsheet(field);
      Wipe(field);
      field = std::move(shown);
    }
    text += CsvLine(fields);
    for (auto& field : fields) Wipe(field);
    ++servers;
  }
  // A CSV without one of the passwords would pass for a whole one: none is written.
  const bool written = rc == SQLITE_DONE && unopened.empty() && WriteNewFile(csvPath, text, error);
  Wipe(text);
  if (!unopened.empty()) {
    for (const auto& server : unopened) {
      Fail(call.err, path + ": the password of " + server + " " + kSealedDoesNotOpen);
    }
    return Fail(call.err, path + ": nothing exported; type those passwords again in the program first");
  }
  if (rc != SQLITE_DONE) {
    return Fail(call.err, path + ": cannot read the servers: " + sqlite3_errmsg(db.get()));
  }
  if (!written) return Fail(call.err, error);
  call.out << "exported " << Servers(servers) << " to " << csvPath << "\n";
  return 0;
}

int Import(const Invocation& call) {
  const std::string& path = call.operands[0];
  const std::string& csvPath = call.operands[1];
  DBConnection connection;
  if (!connection.OpenAccess(path, kDatabasePassword)) return Fail(call.err, WhyNotWritable(path));
  std::string bytes, error;
  if (!ReadWholeFile(csvPath, bytes, error)) return Fail(call.err, error);
  const CsvText csv = ParseCsv(bytes);
  Wipe(bytes);

  const auto problems = ProblemsOf(csv);
  if (!problems.empty()) {
    for (std::size_t i = 0; i < problems.size() && i < kProblemsShown; ++i) {
      Fail(call.err, csvPath + ", line " + std::to_string(problems[i].line) + ": " +
                         problems[i].what);
    }
    if (problems.size() > kProblemsShown) {
      Fail(call.err, csvPath + ": " + std::to_string(problems.size() - kProblemsShown) +
                         " more bad lines");
    }
    return Fail(call.err, csvPath + ": nothing imported");
  }

  // A protected file takes the passwords sealed, under the key of its login password.
  std::optional<LoginKeys> keys;
  if (!KeysForPasswords(call, connection.Handle(), path, keys)) return 1;
  // All or nothing: the servers of one CSV arrive together or not at all.
  sqlite3* db = connection.Handle();
  if (!sqlite::Exec(db, "BEGIN IMMEDIATE")) {
    return Fail(call.err, path + ": cannot write: " + sqlite3_errmsg(db) + "; nothing imported");
  }
  auto insert = sqlite::Prepare(db, "INSERT INTO Server (" + ColumnList() + ") VALUES (?, ?, ?, ?, ?)");
  bool added = insert != nullptr;
  for (std::size_t i = 1; added && i < csv.records.size(); ++i) {
    std::vector<std::string> fields;
    for (const auto& field : csv.records[i].fields) fields.push_back(FromSpreadsheet(field));
    std::vector<SqlValue> values;
    for (const auto& field : fields) values.push_back(TextOrNull(field));
    if (keys) {
      const auto sealed = keys->Seal(fields[3], fields[0]);
      added = sealed.has_value();
      values[3] = TextOrNull(sealed.value_or(""));
    }
    added = added && sqlite::Bind(insert.get(), values) && sqlite3_step(insert.get()) == SQLITE_DONE;
    sqlite3_reset(insert.get());
  }
  insert.reset();
  if (!added || !sqlite::Exec(db, "COMMIT")) {
    const std::string why = sqlite3_errmsg(db);
    sqlite::Exec(db, "ROLLBACK");
    return Fail(call.err, path + ": cannot add the servers: " + why + "; nothing imported");
  }
  call.out << "imported " << Servers(csv.records.size() - 1) << " from " << csvPath << "\n";
  return 0;
}

}  // namespace korvane::tool
