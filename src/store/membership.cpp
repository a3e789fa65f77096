#include "store/membership.h"

#include "store/sealed_value.h"
#include "store/sqlite_util.h"
#include "store/team_copy.h"

namespace korvane {
namespace {

// Rows of table Team.
constexpr const char* kConnectionRow = "connection";
constexpr const char* kNameRow = "team name";
constexpr const char* kPasswordRow = "database password";
constexpr const char* kKeyRow = "team key";

std::string Column(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))) : std::string();
}

// What a secret is bound to: what it is, and the connection it is for. The connection string is
// plain in the file, so that a file changed behind the member's back cannot send the database
// password to another server: changed, neither secret opens.
std::string Purpose(const char* row, const std::string& connection) { return std::string(row) + "\n" + connection; }

StoreError Why(StoreReason reason, sqlite3* db) { return {reason, {}, 0, sqlite3_errmsg(db)}; }

bool TableExists(sqlite3* db) {
  auto statement = sqlite::Prepare(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
  return statement && sqlite::Bind(statement.get(), {std::string(kTeamTable)}) &&
         sqlite3_step(statement.get()) == SQLITE_ROW;
}

// The rows as stored (secrets still sealed); nullopt when the table cannot be read.
std::optional<Membership> ReadRows(sqlite3* db) {
  if (!TableExists(db)) return Membership{};
  auto statement = sqlite::Prepare(db, "SELECT name, value FROM Team");
  if (!statement) return std::nullopt;
  Membership rows;
  int rc;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    const std::string name = Column(statement.get(), 0);
    std::string value = Column(statement.get(), 1);
    if (name == kConnectionRow) rows.connection = std::move(value);
    if (name == kNameRow) rows.name = std::move(value);
    if (name == kPasswordRow) rows.password = std::move(value);
    if (name == kKeyRow) rows.teamKey = std::move(value);
  }
  if (rc != SQLITE_DONE) return std::nullopt;
  return rows;
}

bool WriteRows(sqlite3* db, const Membership& sealedRows, StoreError& error) {
  if (!sqlite::Exec(db, "CREATE TABLE IF NOT EXISTS Team (name TEXT PRIMARY KEY, value TEXT)")) {
    error = Why(StoreReason::kCannotWrite, db);
    return false;
  }
  auto write = sqlite::Prepare(db, "INSERT OR REPLACE INTO Team (name, value) VALUES (?, ?)");
  const std::pair<const char*, const std::string*> rows[] = {
      {kConnectionRow, &sealedRows.connection},
      {kNameRow, &sealedRows.name},
      {kPasswordRow, &sealedRows.password},
      {kKeyRow, &sealedRows.teamKey},
  };
  for (const auto& [name, value] : rows) {
    const bool ok = write && sqlite::Bind(write.get(), {std::string(name), *value}) && sqlite::RunToEnd(write.get());
    if (!ok) {
      error = Why(StoreReason::kCannotWrite, db);
      return false;
    }
    sqlite3_reset(write.get());
  }
  return true;
}

// Seals `plain`'s secrets into `rows`; false when the cryptography refuses.
bool SealInto(const LoginKeys& keys, const Membership& plain, Membership& rows) {
  auto password = keys.SealMembership(plain.password, Purpose(kPasswordRow, plain.connection));
  auto key = keys.SealMembership(plain.teamKey, Purpose(kKeyRow, plain.connection));
  if (!password || !key) return false;
  rows.connection = plain.connection;
  rows.name = plain.name;
  rows.password = std::move(*password);
  rows.teamKey = std::move(*key);
  return true;
}

}  // namespace

Membership::~Membership() {
  sealed::WipeText(password);
  sealed::WipeText(teamKey);
}

bool IsTeamMember(sqlite3* db) {
  const auto rows = ReadRows(db);
  return rows && !rows->connection.empty();
}

std::optional<Membership> ReadMembership(sqlite3* db, const LoginKeys& keys, StoreError& error) {
  auto rows = ReadRows(db);
  if (!rows) {
    error = Why(StoreReason::kCannotReadMembership, db);
    return std::nullopt;
  }
  if (rows->connection.empty()) {
    error = {StoreReason::kNotTeamMember};
    return std::nullopt;
  }
  auto password = keys.OpenMembership(rows->password, Purpose(kPasswordRow, rows->connection));
  auto key = keys.OpenMembership(rows->teamKey, Purpose(kKeyRow, rows->connection));
  if (!password || !key || key->empty()) {
    if (password) sealed::WipeText(*password);
    if (key) sealed::WipeText(*key);
    error = {StoreReason::kMembershipDoesNotOpen};
    return std::nullopt;
  }
  Membership membership;
  membership.connection = std::move(rows->connection);
  membership.name = std::move(rows->name);
  membership.password = std::move(*password);
  membership.teamKey = std::move(*key);
  return membership;
}

bool WriteMembership(sqlite3* db, const LoginKeys& keys, const Membership& membership, StoreError& error) {
  if (ReadProtection(db) != FileProtection::kProtected) {
    error = {StoreReason::kNotProtected};
    return false;
  }
  Membership rows;
  if (!SealInto(keys, membership, rows)) {
    error = {StoreReason::kCryptographyRefused, {}, 0, crypto::BackendName()};
    return false;
  }
  if (!sqlite::Exec(db, "BEGIN IMMEDIATE")) {
    error = Why(StoreReason::kCannotWrite, db);
    return false;
  }
  if (!WriteRows(db, rows, error) || !sqlite::Exec(db, "COMMIT")) {
    if (error.reason == StoreReason::kNone) error = Why(StoreReason::kCannotWrite, db);
    sqlite::Exec(db, "ROLLBACK");
    return false;
  }
  return true;
}

bool RemoveMembership(sqlite3* db, StoreError& error) {
  // Overwritten in place, so that the sealed secrets do not live on in the file's free space.
  // The offline copy of the team's list goes with it: the file keeps nothing of a team it left.
  if (!sqlite::Exec(db, "PRAGMA secure_delete = ON") || !sqlite::Exec(db, "DROP TABLE IF EXISTS Team") ||
      !DropTeamCopy(db)) {
    error = Why(StoreReason::kCannotWrite, db);
    return false;
  }
  return true;
}

bool ResealMembership(sqlite3* db, const LoginKeys& current, const LoginKeys& next, StoreError& error) {
  if (!IsTeamMember(db)) return true;
  auto membership = ReadMembership(db, current, error);
  if (!membership) return false;
  Membership rows;
  if (!SealInto(next, *membership, rows)) {
    error = {StoreReason::kCryptographyRefused, {}, 0, crypto::BackendName()};
    return false;
  }
  return WriteRows(db, rows, error);
}

}  // namespace korvane
