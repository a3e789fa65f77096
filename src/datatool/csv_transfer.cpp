// export and import: the servers of a data file to and from a CSV file that a spreadsheet or
// a script can read and write.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "app/program.h"
#include "store/membership.h"
#include "store/store.h"
#include "datatool/commands.h"
#include "datatool/csv_text.h"
#include "datatool/private_file.h"
#include "datatool/server_lists.h"
#include "datatool/import/import.h"

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
  const std::string exists = Format(Msg::kAlreadyExists, path);
  if (Exists(target)) {
    error = exists;
    return false;
  }
  fs::path scratch = target;
  scratch += ".new-" + std::to_string(std::random_device{}());
  if (Exists(scratch)) {
    error = Format(Msg::kScratchInTheWay, path);
    return false;
  }
  // The passwords are in clear: only this user may read them. A link to the file, or the file
  // moved, keeps that protection.
  if (!WritePrivateFile(scratch, bytes)) {
    error = Format(Msg::kCannotWriteFolder, path);
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
    error = Exists(target) ? exists : Format(Msg::kCannotWrite, path, linkError.message());
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(sqlite::PathFromUtf8(path), ec)) {
    error = Format(Exists(sqlite::PathFromUtf8(path)) ? Msg::kNotAFile : Msg::kNoSuchFile, path);
    return false;
  }
  std::ifstream file(sqlite::PathFromUtf8(path), std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (file.bad() || !file.is_open()) {
    error = Format(Msg::kCannotReadFile, path);
    return false;
  }
  return true;
}

// Every line of the CSV that cannot become a server, in line order.
std::vector<CsvProblem> ProblemsOf(const CsvText& csv) {
  std::vector<CsvProblem> problems = csv.problems;
  const std::string header = JoinedHeader();
  if (csv.records.empty() && csv.problems.empty()) {
    problems.push_back({1, Format(Msg::kNoHeaderLine, header)});
  }
  for (std::size_t i = 0; i < csv.records.size(); ++i) {
    const auto& record = csv.records[i];
    if (i == 0) {
      if (record.fields != HeaderNames()) {
        problems.push_back({record.line, Format(Msg::kHeaderMustName, header)});
      }
    } else if (record.fields.size() != kServerFieldCount) {
      problems.push_back(
          {record.line, Format(Msg::kFieldCount, record.fields.size(), kServerFieldCount, header)});
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

// One server as a record of the CSV; its values are wiped on the way.
void AppendRecord(std::string& text, std::vector<std::string>& fields) {
  for (auto& field : fields) {
    std::string shown = ForSpreadsheet(field);
    Wipe(field);
    field = std::move(shown);
  }
  text += CsvLine(fields);
  for (auto& field : fields) Wipe(field);
}

// The names need no quotes; bare, the header reads as what it is. The byte order mark makes
// a spreadsheet read the file as UTF-8 rather than in the ANSI code page (GBK on a Chinese
// Windows), which would garble every Chinese remark; import skips it.
std::string CsvStart() { return "\xEF\xBB\xBF" + JoinedHeader() + "\r\n"; }

// export on a member file: the team's servers, every password opened with the team's key.
int ExportTeam(const Invocation& call, sqlite3* db) {
  const std::string& path = call.operands[0];
  const std::string& csvPath = call.operands[1];
  TeamStore store;
  if (!MemberTeam(call, db, path, store)) return 1;
  TeamError why;
  auto servers = store.ListWithPasswords(why);
  if (!servers) return Fail(call.err, Format(Msg::kPathNothingDone, path, Say(why, Printable(store.ServerName()))));
  std::string text = CsvStart();
  for (TeamServer& server : *servers) {
    std::vector<std::string> fields = {server.host, server.port, server.user, server.password, server.remark};
    Wipe(server.password);
    AppendRecord(text, fields);
  }
  std::string error;
  const bool written = WriteNewFile(csvPath, text, error);
  Wipe(text);
  if (!written) return Fail(call.err, error);
  call.out << Format(Msg::kExported, Servers(servers->size()), csvPath) << "\n";
  return 0;
}

}  // namespace

int Export(const Invocation& call) {
  const std::string& path = call.operands[0];
  const std::string& csvPath = call.operands[1];
  if (Exists(sqlite::PathFromUtf8(csvPath))) {
    return Fail(call.err, Format(Msg::kAlreadyExists, csvPath));
  }
  std::string error;
  const auto db = OpenForReading(path, error);
  if (!db) return Fail(call.err, error);
  if (IsTeamMember(db.get())) return ExportTeam(call, db.get());
  // A protected file's passwords are opened for the CSV with its login password.
  std::optional<LoginKeys> keys;
  if (!KeysForPasswords(call, db.get(), path, keys)) return 1;
  auto statement =
      sqlite::Prepare(db.get(), "SELECT id, " + ColumnList() + " FROM Server ORDER BY id");
  if (!statement) {
    return Fail(call.err, Format(Msg::kCannotReadServers, path, sqlite3_errmsg(db.get())));
  }
  std::string text = CsvStart();
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
    AppendRecord(text, fields);
    ++servers;
  }
  // A CSV without one of the passwords would pass for a whole one: none is written.
  const bool written = rc == SQLITE_DONE && unopened.empty() && WriteNewFile(csvPath, text, error);
  Wipe(text);
  if (!unopened.empty()) {
    for (const auto& server : unopened) {
      Fail(call.err, Format(Msg::kPathSealedDoesNotOpen, path, server));
    }
    return Fail(call.err, Format(Msg::kNothingExported, path));
  }
  if (rc != SQLITE_DONE) {
    return Fail(call.err, Format(Msg::kCannotReadServers, path, sqlite3_errmsg(db.get())));
  }
  if (!written) return Fail(call.err, error);
  call.out << Format(Msg::kExported, Servers(servers), csvPath) << "\n";
  return 0;
}

namespace {

// The records of a CSV as servers; false after naming its bad lines on `err`.
bool ReadCsvServers(const Invocation& call, const std::string& csvPath, std::vector<import::ImportedServer>& servers) {
  std::string bytes, error;
  if (!ReadWholeFile(csvPath, bytes, error)) return Fail(call.err, error), false;
  CsvText csv = ParseCsv(bytes);
  Wipe(bytes);
  struct WipedCsv {
    CsvText& csv;
    ~WipedCsv() {
      for (auto& record : csv.records) {
        for (auto& field : record.fields) Wipe(field);
      }
    }
  } wiped{csv};
  const auto problems = ProblemsOf(csv);
  if (!problems.empty()) {
    for (std::size_t i = 0; i < problems.size() && i < kProblemsShown; ++i) {
      Fail(call.err, Format(Msg::kBadLine, Printable(csvPath), problems[i].line, Printable(problems[i].what)));
    }
    if (problems.size() > kProblemsShown) {
      Fail(call.err, Format(Msg::kMoreBadLines, Printable(csvPath), problems.size() - kProblemsShown));
    }
    return false;
  }
  for (std::size_t i = 1; i < csv.records.size(); ++i) {
    std::vector<std::string> f;
    for (const auto& field : csv.records[i].fields) f.push_back(FromSpreadsheet(field));
    servers.push_back({f[0], f[1], f[2], f[3], f[4]});
    for (auto& field : f) Wipe(field);
  }
  return true;
}

// The data file's own table Server. A protected file's login password is asked for only when
// a password is to be opened or sealed.
class FileServers : public ServerList {
 public:
  FileServers(const Invocation& call, sqlite3* db, const std::string& path) : call_(call), db_(db), path_(path) {}

  bool Read(std::vector<HeldServer>& held) override {
    auto read = sqlite::Prepare(db_, "SELECT 服务器名, 端口, 用户名, 密码 FROM Server");
    if (!read) return Fail(call_.err, Format(Msg::kCannotReadServers, path_, sqlite3_errmsg(db_))), false;
    int rc;
    while ((rc = sqlite3_step(read.get())) == SQLITE_ROW) {
      held.push_back({ColumnText(read.get(), 0), ColumnText(read.get(), 1), ColumnText(read.get(), 2),
                      ColumnText(read.get(), 3)});
    }
    if (rc != SQLITE_DONE) return Fail(call_.err, Format(Msg::kCannotReadServers, path_, sqlite3_errmsg(db_))), false;
    return true;
  }

  bool Open(HeldServer& server) override {
    if (!Keys()) return false;
    if (keys_) {
      // One that does not open counts as another password: the row is added.
      auto plain = keys_->Open(server.password, server.host);
      Wipe(server.password);
      server.opens = plain.has_value();
      if (plain) server.password = std::move(*plain);
    }
    return true;
  }

  bool AddAll(const std::vector<const import::ImportedServer*>& added) override {
    if (!added.empty() && !Keys()) return false;
    // All or nothing: the servers of one file arrive together or not at all.
    if (!sqlite::Exec(db_, "BEGIN IMMEDIATE")) {
      return Fail(call_.err, Format(Msg::kCannotWriteNothingImported, path_, sqlite3_errmsg(db_))), false;
    }
    auto insert = sqlite::Prepare(db_, "INSERT INTO Server (" + ColumnList() + ") VALUES (?, ?, ?, ?, ?)");
    bool ok = insert != nullptr;
    for (std::size_t i = 0; ok && i < added.size(); ++i) {
      const import::ImportedServer& s = *added[i];
      // The password goes in as the file keeps it: sealed for a protected file, never a clear
      // copy that is then replaced and left unwiped.
      std::optional<std::string> stored = keys_ ? keys_->Seal(s.password, s.host) : std::optional(s.password);
      ok = stored.has_value();
      std::vector<SqlValue> values = {TextOrNull(s.host), TextOrNull(s.port), TextOrNull(s.user), std::monostate{},
                                      TextOrNull(s.remark)};
      if (stored && !stored->empty()) values[3] = std::move(*stored);
      ok = ok && sqlite::Bind(insert.get(), values) && sqlite3_step(insert.get()) == SQLITE_DONE;
      sqlite3_reset(insert.get());
      sqlite3_clear_bindings(insert.get());
      if (auto* text = std::get_if<std::string>(&values[3])) Wipe(*text);
      if (stored) Wipe(*stored);
    }
    insert.reset();
    if (!ok || !sqlite::Exec(db_, "COMMIT")) {
      const std::string why = sqlite3_errmsg(db_);
      sqlite::Exec(db_, "ROLLBACK");
      return Fail(call_.err, Format(Msg::kCannotAddServers, path_, why)), false;
    }
    return true;
  }

 private:
  bool Keys() {
    if (!keysRead_ && !KeysForPasswords(call_, db_, path_, keys_)) return false;
    keysRead_ = true;
    return true;
  }

  const Invocation& call_;
  sqlite3* db_;
  const std::string& path_;
  std::optional<LoginKeys> keys_;
  bool keysRead_ = false;
};

// The notes a reader left, every text of the file kept on its line as list shows values.
// `more` counts the notes of the kind that were not kept.
void SayNotes(const Invocation& call, const std::vector<import::Note>& notes, std::size_t more, Msg kind) {
  for (const auto& note : notes) Fail(call.err, Format(kind, Printable(note.where), Printable(note.what)));
  if (more > 0) Fail(call.err, Format(Msg::kMoreNotes, more));
}

}  // namespace

int Import(const Invocation& call) {
  const std::string& path = call.operands[0];
  const std::string& source = call.operands[1];
  const std::string shownSource = Printable(source);
  const bool dryRun = call.HasFlag("--dry-run");
  DBConnection connection;
  if (!connection.OpenAccess(path, kDatabasePassword)) return Fail(call.err, WhyNotWritable(path));
  sqlite3* db = connection.Handle();

  // Everything is read, and every password opened, before anything is written.
  import::ImportContext context;
  context.askPassword = [&](const std::string& prompt) { return ReadSecret(call, prompt, Msg::kNothingImported); };
  context.unprotect = call.input.unprotect;
  if (call.input.showProgress) {
    context.progress = [&](std::size_t done, std::size_t total) {
      call.err << "\r" << Format(Msg::kOpeningPasswords, done, total) << (done == total ? "\n" : "") << std::flush;
    };
  }
  import::ImportResult read = import::ReadServers(source, context);
  WipedRows wiped{read.servers};
  if (!read.recognised) {
    if (!ReadCsvServers(call, source, read.servers)) return Fail(call.err, Format(Msg::kNothingImportedFrom, shownSource));
    import::ApplyLimits(source, read, import::PortCheck::kAsGiven);
  }
  SayNotes(call, read.skipped, read.moreSkipped, Msg::kSkipped);
  SayNotes(call, read.unopened, read.moreUnopened, Msg::kPathProblem);
  SayNotes(call, read.shortened, read.moreShortened, Msg::kPathProblem);
  if (!read.errors.empty()) {
    SayNotes(call, read.errors, 0, Msg::kPathProblem);
    return Fail(call.err, Format(Msg::kNothingImportedFrom, shownSource));
  }

  // A protected file takes the passwords sealed, under the key of its login password; a
  // member file's servers are its team's.
  FileServers fileServers(call, db, path);
  TeamStore store;
  std::optional<TeamServers> teamServers;
  if (IsTeamMember(db)) {
    if (!MemberTeam(call, db, path, store)) return 1;
    teamServers.emplace(call, store, path, Msg::kCannotAddServers);
  }
  ServerList& list = teamServers ? static_cast<ServerList&>(*teamServers) : fileServers;
  Sorting sorting;
  if (!SortRows(list, read.servers, sorting)) return 1;
  const auto& added = sorting.added;
  const std::string counts =
      CountsText({{sorting.alreadyThere, Msg::kAlreadyThere},
                  {sorting.beside.size(), Msg::kBesideCount},
                  {read.skipped.size() + read.moreSkipped, Msg::kSkippedCount},
                  {read.unopened.size() + read.moreUnopened, Msg::kWithoutPassword}});
  if (dryRun) {
    for (const auto* server : added) {
      call.out << Format(Msg::kWouldAdd) << "\t" << OneLine(server->remark) << "\t" << OneLine(server->host) << "\t"
               << OneLine(server->port) << "\t" << OneLine(server->user) << "\n";
    }
    for (const auto* row : sorting.beside) Fail(call.err, Format(Msg::kWouldAddBeside, shownSource, RowLabel(*row)));
    call.out << Format(Msg::kWouldImport, Servers(added.size()), shownSource, counts) << "\n";
    return 0;
  }

  if (!list.AddAll(added)) return 1;
  for (const auto* row : sorting.beside) Fail(call.err, Format(Msg::kAddedBeside, shownSource, RowLabel(*row)));
  call.out << Format(Msg::kImported, Servers(added.size()), shownSource, counts) << "\n";
  return 0;
}

}  // namespace korvane::tool
