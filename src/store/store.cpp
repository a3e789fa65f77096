#include "store/store.h"

#include <climits>
#include <system_error>

#include "store/membership.h"
#include "store/schema.h"
#include "store/sealed_value.h"
#include "store/sqlite_util.h"
#include "store/team_table.h"

namespace korvane {

namespace store_detail {

// The open database of one DBConnection. It lives as long as the connection object, across
// Close and OpenAccess, so that a bound record set always sees the connection's current state.
struct Session {
  sqlite::DatabasePtr db;
  // Set while the file's servers are a team's.
  std::shared_ptr<TeamTable> team;

  TeamTable* TeamFor(const std::string& sql) const {
    return team && TeamTable::NamesServerTable(sql) ? team.get() : nullptr;
  }
};

}  // namespace store_detail

using store_detail::Session;
using store_detail::TableRow;
using store_detail::TeamTable;

namespace {

std::string TextOf(const SqlValue& value) {
  if (const auto* number = std::get_if<long long>(&value)) return std::to_string(*number);
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return std::string();
}

// Integers stay integers; everything else that is not null is kept in its text form (the
// schema holds no other types, and ReadInt gives 0 for them as for text).
SqlValue ColumnValue(sqlite3_stmt* statement, int column) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
      return std::monostate{};
    case SQLITE_INTEGER:
      return static_cast<long long>(sqlite3_column_int64(statement, column));
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      const int size = sqlite3_column_bytes(statement, column);
      return text == nullptr ? std::string() : std::string(text, static_cast<size_t>(size));
    }
  }
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// The value of a criterion: bare as written, or between single quotes with '' for a quote.
std::string CriterionValue(const std::string& written) {
  if (written.size() < 2 || written.front() != '\'' || written.back() != '\'') return written;
  std::string value;
  const std::string inner = written.substr(1, written.size() - 2);
  for (size_t i = 0; i < inner.size(); ++i) {
    value += inner[i];
    if (inner[i] == '\'' && i + 1 < inner.size() && inner[i + 1] == '\'') ++i;
  }
  return value;
}

// Setting the header's user version writes page 1 whatever the value, which makes SQLite
// open its journal; the rollback then leaves the file's bytes as they were.
bool CanWriteJournal(sqlite3* db) {
  int version = 0;
  {
    auto read = sqlite::Prepare(db, "PRAGMA user_version");
    if (!read || sqlite3_step(read.get()) != SQLITE_ROW) return false;
    version = sqlite3_column_int(read.get(), 0);
  }
  if (!sqlite::Exec(db, "BEGIN IMMEDIATE")) return false;
  const std::string rewrite = "PRAGMA user_version = " + std::to_string(version);
  const bool wrote = sqlite::Exec(db, rewrite.c_str());
  sqlite::Exec(db, "ROLLBACK");
  return wrote;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// DBConnection

struct DBConnection::Impl {
  std::shared_ptr<Session> session = std::make_shared<Session>();
};

DBConnection::DBConnection() : impl_(std::make_unique<Impl>()) {}
DBConnection::~DBConnection() = default;

namespace {

// The checks every open makes; null when the file cannot be used.
sqlite::DatabasePtr OpenDataFile(const std::string& path, const std::string& password) {
  if (path.empty()) return nullptr;
  // SQLite would open a directory on some systems and fail only later; say no at once.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(sqlite::PathFromUtf8(path), ec)) return nullptr;

  // No CREATE flag: a missing file must never be made here. An empty file passes this step
  // (SQLite takes it for an empty database) and fails the check below, unchanged.
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  sqlite::DatabasePtr db(raw);
  if (rc != SQLITE_OK) return nullptr;
  sqlite3_busy_timeout(db.get(), sqlite::kBusyTimeoutMs);
  if (!IsDataFileWithPassword(db.get(), password)) return nullptr;
  // SQLite quietly falls back to read-only for a file it may not write; every server the
  // operator then saved would be lost without a word. Such a file cannot be used.
  if (sqlite3_db_readonly(db.get(), "main") != 0) return nullptr;
  // A file in a folder the program may not write opens and reads, but SQLite cannot make its
  // journal beside it, so every save would fail. Try a change and take it back at once.
  if (!CanWriteJournal(db.get())) return nullptr;
  return db;
}

}  // namespace

bool DBConnection::OpenAccess(const std::string& path, const std::string& password) {
  Close();
  impl_->session->db = OpenDataFile(path, password);
  return IsOpen();
}

bool DBConnection::Reopen(const std::string& path, const std::string& password) {
  auto db = OpenDataFile(path, password);
  if (!db) return false;
  impl_->session->db = std::move(db);
  return true;
}

void DBConnection::Close() {
  impl_->session->db.reset();
  impl_->session->team.reset();
}

DBConnection::TeamOpening DBConnection::OpenTeam(LoginSession& session, TeamError& error) {
  sqlite3* db = Handle();
  if (db == nullptr || !IsTeamMember(db)) return TeamOpening::kNoTeam;
  StoreError why;
  auto membership = session.keys() ? ReadMembership(db, *session.keys(), why) : std::nullopt;
  auto key = membership ? TeamKey::FromText(membership->teamKey) : std::nullopt;
  if (!key) {
    error = {TeamReason::kMembershipDoesNotOpen, why.detail};
    failedServer_.clear();
    return TeamOpening::kFailed;
  }
  auto file = [weak = std::weak_ptr<Session>(impl_->session)] { auto s = weak.lock(); return s ? s->db.get() : nullptr; };
  auto team = std::make_shared<TeamTable>(std::make_unique<TeamStore>(), membership->name,
                                          TeamCopyPlace{file, &session, membership->connection});
  if (!team->Open(membership->connection, membership->password, std::move(*key))) {
    error = team->LastError();
    // The server's name stays for the message, though the store goes.
    failedServer_ = team->ServerName();
    return TeamOpening::kFailed;
  }
  if (team->OfflineSince()) error = team->LastError();
  impl_->session->team = std::move(team);
  session.ServersOpenedByStore();
  return impl_->session->team->OfflineSince() ? TeamOpening::kOffline : TeamOpening::kOpened;
}

std::optional<long long> DBConnection::TeamOfflineSince() const {
  return InTeam() ? impl_->session->team->OfflineSince() : std::nullopt;
}

bool DBConnection::InTeam() const { return impl_->session->team != nullptr; }

std::string DBConnection::TeamName() const { return InTeam() ? impl_->session->team->Name() : std::string(); }

std::string DBConnection::TeamServerName() const {
  return InTeam() ? impl_->session->team->ServerName() : failedServer_;
}

const TeamError& DBConnection::TeamFailure() const {
  static const TeamError kNone;
  return InTeam() ? impl_->session->team->LastError() : kNone;
}

bool DBConnection::IsOpen() const { return impl_->session->db != nullptr; }

sqlite3* DBConnection::Handle() const { return impl_->session->db.get(); }

std::optional<DBConnection::ListChanges> DBConnection::TeamListChanges() {
  if (!InTeam()) return std::nullopt;
  auto changes = impl_->session->team->Changes();
  if (!changes) return std::nullopt;
  ListChanges listed;
  for (TableRow& row : changes->first) {
    std::vector<std::string>& cells = listed.changed.emplace_back();
    for (const SqlValue& value : row.values) cells.push_back(TextOf(value));
  }
  for (long long id : changes->second) listed.deleted.push_back(std::to_string(id));
  return listed;
}

std::function<void()> DBConnection::TeamListWait() {
  return InTeam() ? impl_->session->team->ChangesWait() : std::function<void()>();
}

bool DBConnection::TeamMayChange() { return !InTeam() || impl_->session->team->MayChange(); }

void DBConnection::TeamLogConnection(const std::string& id) {
  if (InTeam()) impl_->session->team->LogConnection(std::atoll(id.c_str()));
}

TeamWorker* DBConnection::Team() { return InTeam() ? &impl_->session->team->Worker() : nullptr; }

bool DBConnection::ExecuteSql(const std::string& statement) { return ExecuteSql(statement, {}); }

bool DBConnection::ExecuteSql(const std::string& statement,
                              const std::vector<SqlValue>& parameters) {
  if (TeamTable* team = impl_->session->TeamFor(statement)) return team->Execute(statement, parameters);
  sqlite3* db = Handle();
  auto prepared = sqlite::Prepare(db, statement);
  if (!prepared || !sqlite::Bind(prepared.get(), parameters)) return false;
  if (!sqlite::Exec(db, "BEGIN IMMEDIATE")) return false;
  const bool ran = sqlite::RunToEnd(prepared.get());
  prepared.reset();
  if (ran && sqlite::Exec(db, "COMMIT")) return true;
  sqlite::Exec(db, "ROLLBACK");
  return false;
}

// ---------------------------------------------------------------------------------------------
// RecordSet

namespace {

struct Row {
  long long rowid = 0;  // only for a record set on a table
  std::vector<SqlValue> values;
};

enum class Pending { kNone, kChange, kNew };

}  // namespace

struct RecordSet::Impl {
  std::weak_ptr<Session> session;

  bool open = false;
  std::string table;  // set for a record set on a table: where writes go
  std::vector<std::string> fields;
  std::vector<Row> rows;
  size_t current = 0;  // rows.size() is the end: no current record

  Pending pending = Pending::kNone;
  size_t pendingRow = 0;
  Row original;                // the changed row as it was
  std::vector<bool> written;   // the fields the pending change set
  size_t positionBeforeAdd = 0;

  // The team whose servers this record set holds, if any.
  std::shared_ptr<TeamTable> team;

  sqlite3* Db() const {
    const auto live = session.lock();
    return live ? live->db.get() : nullptr;
  }

  std::shared_ptr<TeamTable> TeamFor(const std::string& sql) const {
    const auto live = session.lock();
    return live && live->TeamFor(sql) ? live->team : nullptr;
  }

  // A team's rows as the record set holds them; a password in them is in clear.
  bool OpenedFromTeam(std::shared_ptr<TeamTable> from, std::vector<TableRow> teamRows) {
    rows.reserve(teamRows.size());
    for (TableRow& row : teamRows) rows.push_back(Row{row.id, std::move(row.values)});
    team = std::move(from);
    open = true;
    current = 0;
    return true;
  }

  Row* CurrentRow() { return current < rows.size() ? &rows[current] : nullptr; }
  const Row* CurrentRow() const { return current < rows.size() ? &rows[current] : nullptr; }

  int FieldIndex(const std::string& name) const {
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i] == name) return static_cast<int>(i);
    }
    return -1;
  }

  // Reads every row at once and finishes the statement, so nothing holds the file afterwards.
  // A record set on a table reads the rowid first, for writing back.
  bool ReadAll(sqlite3_stmt* statement, bool withRowid) {
    const int first = withRowid ? 1 : 0;
    const int columns = sqlite3_column_count(statement);
    if (columns <= first) return false;
    for (int c = first; c < columns; ++c) fields.emplace_back(sqlite3_column_name(statement, c));
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      rows.push_back(ReadRow(statement, withRowid));
    }
    return rc == SQLITE_DONE;
  }

  static Row ReadRow(sqlite3_stmt* statement, bool withRowid) {
    Row row;
    const int first = withRowid ? 1 : 0;
    if (withRowid) row.rowid = sqlite3_column_int64(statement, 0);
    for (int c = first; c < sqlite3_column_count(statement); ++c) {
      row.values.push_back(ColumnValue(statement, c));
    }
    return row;
  }

  void Reset() {
    if (team) {
      for (Row& row : rows) {
        for (SqlValue& value : row.values) {
          if (auto* text = std::get_if<std::string>(&value)) sealed::WipeText(*text);
        }
      }
      team.reset();
    }
    open = false;
    table.clear();
    fields.clear();
    rows.clear();
    current = 0;
    pending = Pending::kNone;
  }

  void SaveAndReset() {
    SavePending();
    Reset();
  }

  bool Opened(sqlite3_stmt* statement, bool withRowid) {
    if (!ReadAll(statement, withRowid)) {
      Reset();
      return false;
    }
    open = true;
    current = 0;
    return true;
  }

  void StartPending(Pending kind) {
    pending = kind;
    pendingRow = current;
    written.assign(fields.size(), false);
    if (kind == Pending::kChange) original = rows[current];
  }

  void CancelPending() {
    if (pending == Pending::kChange) {
      rows[pendingRow] = original;
    } else if (pending == Pending::kNew) {
      rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(pendingRow));
      current = positionBeforeAdd;
    }
    pending = Pending::kNone;
  }

  bool SavePending() {
    if (pending == Pending::kNone) return true;
    sqlite3* db = Db();
    if (team ? WriteToTeam() : db != nullptr && WriteThrough(db)) {
      pending = Pending::kNone;
      return true;
    }
    CancelPending();
    return false;
  }

  bool WriteToTeam() {
    Row& row = rows[pendingRow];
    long long id = row.rowid;
    if (!team->Write(pending == Pending::kNew, fields, row.values, id)) return false;
    row.rowid = id;
    const int idField = FieldIndex("id");
    if (idField >= 0) row.values[static_cast<size_t>(idField)] = id;
    return true;
  }

  // One transaction per saved record: the write, then the row read back so that the snapshot
  // holds what the table holds (the new id, the types the table gave the values).
  bool WriteThrough(sqlite3* db) {
    Row& row = rows[pendingRow];
    std::vector<SqlValue> values;
    std::string names;
    std::string placeholders;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (!written[i]) continue;
      const std::string name = sqlite::QuoteIdentifier(fields[i]);
      const char* separator = values.empty() ? "" : ", ";
      if (pending == Pending::kChange) {
        names += separator + name + " = ?";
      } else {
        names += separator + name;
        placeholders += std::string(separator) + "?";
      }
      values.push_back(row.values[i]);
    }
    const std::string quotedTable = sqlite::QuoteIdentifier(table);
    std::string sql;
    if (pending == Pending::kChange) {
      if (values.empty()) return true;  // nothing was written
      sql = "UPDATE " + quotedTable + " SET " + names + " WHERE rowid = ?";
      values.emplace_back(row.rowid);
    } else if (values.empty()) {
      sql = "INSERT INTO " + quotedTable + " DEFAULT VALUES";
    } else {
      sql = "INSERT INTO " + quotedTable + " (" + names + ") VALUES (" + placeholders + ")";
    }

    auto write = sqlite::Prepare(db, sql);
    auto readBack =
        sqlite::Prepare(db, "SELECT rowid, * FROM " + quotedTable + " WHERE rowid = ?");
    if (!write || !readBack || !sqlite::Bind(write.get(), values)) return false;
    if (!sqlite::Exec(db, "BEGIN IMMEDIATE")) return false;
    bool ok = sqlite::RunToEnd(write.get());
    const long long rowid = pending == Pending::kNew ? sqlite3_last_insert_rowid(db) : row.rowid;
    Row stored;
    // A row that another copy of the program deleted meanwhile is not there to read back: the
    // change found nothing to change and counts as failed.
    if (ok) {
      ok = sqlite::Bind(readBack.get(), {rowid}) && sqlite3_step(readBack.get()) == SQLITE_ROW;
      if (ok) stored = ReadRow(readBack.get(), true);
    }
    write.reset();
    readBack.reset();
    if (ok && sqlite::Exec(db, "COMMIT")) {
      // A table whose columns changed since the open keeps the values as written.
      if (stored.values.size() == fields.size()) {
        row = std::move(stored);
      } else {
        row.rowid = rowid;
      }
      return true;
    }
    sqlite::Exec(db, "ROLLBACK");
    return false;
  }
};

RecordSet::RecordSet() : impl_(std::make_unique<Impl>()) {}

RecordSet::~RecordSet() { Close(); }

bool RecordSet::SetConnection(DBConnection& connection) {
  // A change made under the old binding belongs to the old connection.
  impl_->SavePending();
  impl_->session = connection.impl_->session;
  return true;
}

bool RecordSet::Open(const std::string& source, int kind) {
  impl_->SaveAndReset();
  sqlite3* db = impl_->Db();
  if (db == nullptr || source.empty()) return false;
  if (kind == kSourceSql) return OpenSql(source, {});
  if (kind != kSourceTable) return false;
  // A team's whole table is never read with its passwords: the windows ask for what they show.
  if (impl_->TeamFor("select * from " + source)) return false;
  // Table order is rowid order; the rowid is kept for writing back and hidden from the fields.
  auto statement = sqlite::Prepare(
      db, "SELECT rowid, * FROM " + sqlite::QuoteIdentifier(source) + " ORDER BY rowid");
  if (!statement) return false;
  if (!impl_->Opened(statement.get(), true)) return false;
  impl_->table = source;
  return true;
}

bool RecordSet::OpenTableWhere(const std::string& table, const std::string& condition,
                               const std::vector<SqlValue>& parameters) {
  impl_->SaveAndReset();
  if (auto team = impl_->TeamFor("select * from " + table)) {
    // The one row the editor writes back, by id.
    std::vector<TableRow> rows;
    const auto* id = parameters.size() == 1 ? std::get_if<long long>(&parameters[0]) : nullptr;
    if (id == nullptr || condition.find_first_not_of("id =?") != std::string::npos ||
        !team->SelectForWrite(*id, impl_->fields, rows)) {
      impl_->Reset();
      return false;
    }
    impl_->OpenedFromTeam(std::move(team), std::move(rows));
    impl_->table = table;
    return true;
  }
  sqlite3* db = impl_->Db();
  if (db == nullptr || table.empty()) return false;
  auto statement = sqlite::Prepare(
      db, "SELECT rowid, * FROM " + sqlite::QuoteIdentifier(table) + " WHERE " + condition + " ORDER BY rowid");
  if (!statement || !sqlite3_stmt_readonly(statement.get()) || !sqlite::Bind(statement.get(), parameters)) {
    return false;
  }
  if (!impl_->Opened(statement.get(), true)) return false;
  impl_->table = table;
  return true;
}

bool RecordSet::OpenSql(const std::string& sql, const std::vector<SqlValue>& parameters) {
  impl_->SaveAndReset();
  if (auto team = impl_->TeamFor(sql)) {
    std::vector<TableRow> rows;
    if (!team->Select(sql, parameters, true, impl_->fields, rows)) {
      impl_->Reset();
      return false;
    }
    return impl_->OpenedFromTeam(std::move(team), std::move(rows));
  }
  auto statement = sqlite::Prepare(impl_->Db(), sql);
  // Reading only: a query text must never change the file.
  if (!statement || !sqlite3_stmt_readonly(statement.get()) ||
      !sqlite::Bind(statement.get(), parameters)) {
    return false;
  }
  return impl_->Opened(statement.get(), false);
}

bool RecordSet::OpenWhere(const std::string& table, const std::string& condition) {
  return Open("select * from " + table + " where " + condition, kSourceSql);
}

void RecordSet::Close() { impl_->SaveAndReset(); }

bool RecordSet::IsOpen() const { return impl_->open; }

int RecordSet::RecordCount() const {
  return impl_->open ? static_cast<int>(impl_->rows.size()) : -1;
}

bool RecordSet::MoveNext() {
  if (!impl_->open) return false;
  impl_->SavePending();
  if (impl_->current >= impl_->rows.size()) return false;
  ++impl_->current;
  return true;
}

bool RecordSet::Find(const std::string& criterion, int direction) {
  if (!impl_->open || direction != kSearchForward) return false;
  const auto equals = criterion.find('=');
  if (equals == std::string::npos) return false;
  const int field = impl_->FieldIndex(Trim(criterion.substr(0, equals)));
  if (field < 0) return false;
  const std::string value = CriterionValue(Trim(criterion.substr(equals + 1)));
  impl_->SavePending();
  for (size_t i = impl_->current; i < impl_->rows.size(); ++i) {
    if (TextOf(impl_->rows[i].values[static_cast<size_t>(field)]) == value) {
      impl_->current = i;
      return true;
    }
  }
  impl_->current = impl_->rows.size();
  return false;
}

std::string RecordSet::ReadText(const std::string& field) const {
  const Row* row = impl_->CurrentRow();
  const int index = impl_->FieldIndex(field);
  if (row == nullptr || index < 0) return std::string();
  return TextOf(row->values[static_cast<size_t>(index)]);
}

int RecordSet::ReadInt(const std::string& field) const {
  const Row* row = impl_->CurrentRow();
  const int index = impl_->FieldIndex(field);
  if (row == nullptr || index < 0) return 0;
  const auto* number = std::get_if<long long>(&row->values[static_cast<size_t>(index)]);
  if (number == nullptr || *number < INT_MIN || *number > INT_MAX) return 0;
  return static_cast<int>(*number);
}

bool RecordSet::WriteText(const std::string& field, const std::string& text) {
  // Only a record set on a table knows where to write.
  if (!impl_->open || impl_->table.empty()) return false;
  const int index = impl_->FieldIndex(field);
  if (impl_->CurrentRow() == nullptr || index < 0) return false;
  if (impl_->pending == Pending::kNone) impl_->StartPending(Pending::kChange);
  impl_->rows[impl_->current].values[static_cast<size_t>(index)] =
      text.empty() ? SqlValue{} : SqlValue{text};
  impl_->written[static_cast<size_t>(index)] = true;
  return true;
}

bool RecordSet::AddNew() {
  if (!impl_->open || impl_->table.empty()) return false;
  impl_->SavePending();
  impl_->positionBeforeAdd = impl_->current;
  impl_->rows.push_back(Row{0, std::vector<SqlValue>(impl_->fields.size())});
  impl_->current = impl_->rows.size() - 1;
  impl_->StartPending(Pending::kNew);
  return true;
}

bool RecordSet::Update() {
  if (!impl_->open) return false;
  return impl_->SavePending();
}

void RecordSet::CancelUpdate() {
  if (impl_->pending != Pending::kNone) impl_->CancelPending();
}

}  // namespace korvane
