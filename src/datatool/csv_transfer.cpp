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
#include "import/csv_text.h"
#include "datatool/private_file.h"
#include "datatool/server_lists.h"
#include "import/server_writer.h"
#include "import/import.h"

namespace korvane::tool {
namespace {

namespace fs = std::filesystem;

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

// One server as a record of the CSV; its values are wiped on the way.
void AppendRecord(std::string& text, std::vector<std::string>& fields) {
  for (auto& field : fields) {
    std::string shown = import::ForSpreadsheet(field);
    Wipe(field);
    field = std::move(shown);
  }
  text += import::CsvLine(fields);
  for (auto& field : fields) Wipe(field);
}

// The names need no quotes; bare, the header reads as what it is. The byte order mark makes
// a spreadsheet read the file as UTF-8 rather than in the ANSI code page (GBK on a Chinese
// Windows), which would garble every Chinese remark; import skips it.
std::string CsvStart() { return "\xEF\xBB\xBF" + import::CsvHeader() + "\r\n"; }

// export on a member file: the team's servers, every password opened with the team's key.
int ExportTeam(const Invocation& call, sqlite3* db) {
  const std::string& path = call.operands[0];
  const std::string& csvPath = call.operands[1];
  TeamStore store;
  std::string name;
  if (!MemberTeam(call, db, path, store, &name)) return 1;
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
  // Exported without a password, to be typed again.
  SayUnopened(call, name, *servers);
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
  const auto db = OpenForReading(path, error, call.err);
  if (!db) return Fail(call.err, error);
  if (IsTeamMember(db.get())) return ExportTeam(call, db.get());
  // A protected file's passwords are opened for the CSV with its login password.
  std::optional<LoginKeys> keys;
  if (!KeysForPasswords(call, db.get(), path, keys)) return 1;
  auto statement =
      sqlite::Prepare(db.get(), "SELECT id, " + import::ServerColumns() + " FROM Server ORDER BY id");
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
  import::WipedRows wiped{read.servers};
  SayNotes(call, read.skipped, read.moreSkipped, Msg::kSkipped);
  SayNotes(call, read.unopened, read.moreUnopened, Msg::kPathProblem);
  SayNotes(call, read.shortened, read.moreShortened, Msg::kPathProblem);
  if (!read.errors.empty()) {
    SayNotes(call, read.errors, 0, Msg::kPathProblem);
    return Fail(call.err, Format(Msg::kNothingImportedFrom, shownSource));
  }

  // A protected file takes the passwords sealed, under the key of its login password, asked
  // for only when a password is to be opened or sealed; a member file's servers are its team's.
  std::optional<LoginKeys> keys;
  import::FileServers fileServers(db, [&](const LoginKeys*& held) {
    if (!KeysForPasswords(call, db, path, keys)) return false;
    held = keys ? &*keys : nullptr;
    return true;
  });
  TeamStore store;
  std::optional<import::TeamServers> teamServers;
  if (IsTeamMember(db)) {
    if (!MemberTeam(call, db, path, store)) return 1;
    teamServers.emplace(store);
  }
  import::ServerList& list = teamServers ? static_cast<import::ServerList&>(*teamServers) : fileServers;
  const TeamStore* team = teamServers ? &store : nullptr;
  import::Sorting sorting;
  if (!SortRows(list, read.servers, sorting)) return SayWriteFailure(call, path, list.failure(), team, Msg::kCannotAddServers);
  const auto& added = sorting.added;
  auto counts = [&](std::size_t there) {
    return CountsText({{there, Msg::kAlreadyThere},
                       {sorting.beside.size(), Msg::kBesideCount},
                       {read.skipped.size() + read.moreSkipped, Msg::kSkippedCount},
                       {read.unopened.size() + read.moreUnopened, Msg::kWithoutPassword}});
  };
  if (dryRun) {
    for (const auto* server : added) {
      call.out << Format(Msg::kWouldAdd) << "\t" << OneLine(server->remark) << "\t" << OneLine(server->host) << "\t"
               << OneLine(server->port) << "\t" << OneLine(server->user) << "\n";
    }
    for (const auto* row : sorting.beside) Fail(call.err, Format(Msg::kWouldAddBeside, shownSource, RowLabel(*row)));
    call.out << Format(Msg::kWouldImport, Servers(added.size()), shownSource, counts(sorting.there.size())) << "\n";
    return 0;
  }

  // Sorted again inside the write: a server another program or member added since is already
  // there by then, and counted so.
  import::Addition addition;
  if (!list.AddNew(added, addition)) return SayWriteFailure(call, path, list.failure(), team, Msg::kCannotAddServers);
  for (const auto* row : sorting.beside) Fail(call.err, Format(Msg::kAddedBeside, shownSource, RowLabel(*row)));
  call.out << Format(Msg::kImported, Servers(addition.added.size()), shownSource,
                     counts(sorting.there.size() + addition.there.size()))
           << "\n";
  return 0;
}

}  // namespace korvane::tool
