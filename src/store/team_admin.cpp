// The team administrator's side of the store: making a team in an empty database, bringing
// one made by an earlier version up to this one, and giving it a new passphrase.
#include "store/sealed_value.h"
#include "store/team.h"
#include "store/team_detail.h"

namespace korvane {

using namespace team_detail;

namespace {

// A key from the passphrase under a salt made for it (filled into `salt`), as a new team and a
// rekey both take one.
std::optional<TeamKey> FreshKey(std::string_view passphrase, unsigned long iterations, Bytes& salt, TeamError& error) {
  auto key = crypto::RandomBytes(salt) ? TeamKey::Derive(passphrase, salt, iterations) : std::nullopt;
  if (!key) error = {TeamReason::kCryptographyRefused, crypto::BackendName()};
  return key;
}

// The history begins now: `restore --before` reaches back no further. The database's clock,
// in UTC, as text PostgreSQL reads back.
const std::string kHistoryBegins = std::string("INSERT INTO korvane.team (name, value) VALUES ('") + kHistorySinceRow +
                                   "', pg_catalog.to_char(pg_catalog.now() AT TIME ZONE 'UTC',"
                                   " 'YYYY-MM-DD\"T\"HH24:MI:SS.US\"Z\"')) ON CONFLICT (name) DO NOTHING";

}  // namespace

bool TeamStore::Init(std::string_view passphrase, TeamError& error, unsigned long iterations) {
  if (!Ready(error)) return false;
  auto facts = OneRow(
      "SELECT pg_catalog.current_setting('server_version_num')::int, pg_catalog.current_setting('server_version'),"
      " pg_catalog.current_database(),"
      " (SELECT pg_catalog.count(*) FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n"
      "  ON n.oid = c.relnamespace WHERE n.nspname NOT IN ('pg_catalog', 'information_schema')"
      "  AND n.nspname NOT LIKE 'pg\\_%' AND c.relkind IN ('r', 'v', 'm', 'S', 'f', 'p')),"
      " (SELECT pg_catalog.count(*) FROM pg_catalog.pg_namespace WHERE nspname = 'korvane')",
      {}, error);
  if (!facts) return false;
  if (Number(facts->at(0)) < kTeamLowestServer) {
    error = {TeamReason::kServerTooOld, Text(facts->at(1))};
    return false;
  }
  const std::string database = Text(facts->at(2));
  const long long objects = Number(facts->at(3)) + Number(facts->at(4));
  if (objects != 0) {
    error = {TeamReason::kNotEmpty, std::to_string(objects)};
    return false;
  }
  const auto roles = TeamRolesFor(database);
  if (!roles) {
    error = {TeamReason::kBadDatabaseName, database};
    return false;
  }
  Bytes salt(kTeamSaltSize);
  auto key = FreshKey(passphrase, iterations, salt, error);
  if (!key) return false;
  OdbcTransaction transaction(db_);
  if (!transaction.began()) return Failed(TeamReason::kRefused, db_.Error(), error);
  // Roles are the server's, not the database's: a team made again in a database of the same
  // name takes the roles it left, as long as none of them can log in or do more than a team's
  // role does (what a member was granted then counts again).
  for (const std::string* role : {&roles->owner, &roles->viewer, &roles->editor, &roles->admin}) {
    auto found = OneRow(
        "SELECT pg_catalog.count(*), pg_catalog.bool_or(rolcanlogin OR rolsuper OR rolcreaterole OR rolcreatedb"
        " OR rolreplication OR rolbypassrls) FROM pg_catalog.pg_roles WHERE rolname = ?",
        {*role}, error);
    if (!found) return false;
    if (Number(found->at(0)) != 0 && True(found->at(1))) {
      error = {TeamReason::kRefused, "role " + *role + " exists already with rights of its own"};
      return false;
    }
    if (Number(found->at(0)) == 0 && !db_.Execute("CREATE ROLE " + QuotedIdentifier(*role) + " NOLOGIN")) {
      return Failed(TeamReason::kRefused, db_.Error(), error);
    }
  }
  const TeamSchemaStatements schema = TeamSchema(*roles, database);
  auto run = [&](const std::vector<std::string>& statements) {
    for (const std::string& statement : statements) {
      if (!db_.Execute(statement)) return Failed(TeamReason::kRefused, db_.Error(), error);
    }
    return true;
  };
  if (!run(schema.asAdministrator) || !db_.Execute("SET LOCAL ROLE " + QuotedIdentifier(roles->owner)) ||
      !run(schema.asOwner)) {
    if (error.reason == TeamReason::kNone) Failed(TeamReason::kRefused, db_.Error(), error);
    return false;
  }
  const std::pair<const char*, std::string> settings[] = {
      {kSchemaRow, std::to_string(kTeamSchemaVersion)},
      {kNameRow, database},  // the team is named after its database, which the administrator chose for it
      {kDerivationRow, kDerivation},
      {kIterationsRow, std::to_string(iterations)},
      {kSaltRow, sealed::Hex(salt.data(), salt.size())},
      {kCheckRow, key->CheckText()},
  };
  for (const auto& [name, value] : settings) {
    if (!db_.Execute("INSERT INTO korvane.team (name, value) VALUES (?, ?)", {std::string(name), value})) {
      return Failed(TeamReason::kRefused, db_.Error(), error);
    }
  }
  if (!db_.Execute(kHistoryBegins)) return Failed(TeamReason::kRefused, db_.Error(), error);
  if (!db_.Execute("RESET ROLE") || !run(schema.database) || !transaction.Commit()) {
    if (error.reason == TeamReason::kNone) Failed(TeamReason::kRefused, db_.Error(), error);
    return false;
  }
  team_ = database;
  key_ = std::move(key);
  return true;
}

bool TeamStore::Upgrade(TeamError& error) {
  const auto settings = ReadSettings(error);
  if (!settings) return false;
  const auto roles = Roles();
  if (!roles) {
    error = {TeamReason::kBadDatabaseName, settings->name};
    return false;
  }
  // Only the user who made the team acts as its owner, which owns and so may change the schema.
  auto owner = OneRow("SELECT pg_catalog.pg_has_role(?, 'MEMBER')", {roles->owner}, error);
  if (!owner) return false;
  if (!True(owner->at(0))) {
    error = {TeamReason::kNotAdministrator, roles->owner};
    return false;
  }
  OdbcTransaction transaction(db_);
  if (!transaction.began() || !db_.Execute("SET LOCAL ROLE " + QuotedIdentifier(roles->owner))) {
    return Failed(TeamReason::kRefused, db_.Error(), error);
  }
  // Read again under a lock: two upgrades at once make the history once.
  // Told by the history table itself, not by the version row alone: an administrator may write
  // that row in a rekey, and a team whose row says 3 without a history would never get one.
  auto version = OneRow("SELECT value, pg_catalog.to_regclass('korvane.server_history') IS NOT NULL"
                        " FROM korvane.team WHERE name = ? FOR UPDATE",
                        {std::string(kSchemaRow)}, error);
  if (!version) return false;
  if (std::atoll(Text(version->at(0)).c_str()) >= kTeamSchemaVersion && True(version->at(1))) return true;
  for (const std::string& statement : TeamHistorySchema(*roles, settings->name)) {
    if (!db_.Execute(statement)) return Failed(TeamReason::kRefused, db_.Error(), error);
  }
  if (!db_.Execute(kHistoryBegins) ||
      !db_.Execute("UPDATE korvane.team SET value = ? WHERE name = ?",
                   {std::to_string(kTeamSchemaVersion), std::string(kSchemaRow)}) ||
      !db_.Execute("RESET ROLE") || !transaction.Commit()) {
    return Failed(TeamReason::kRefused, db_.Error(), error);
  }
  return true;
}

bool TeamStore::Rekey(std::string_view passphrase, TeamError& error, unsigned long iterations,
                      std::vector<TeamServer>* unopened) {
  if (!Ready(error)) return false;
  if (!key_) {
    error = {TeamReason::kKeyChanged};
    return false;
  }
  auto administrator = OneRow("SELECT pg_catalog.has_function_privilege('korvane.begin_rekey()', 'EXECUTE')", {}, error);
  if (!administrator) return false;
  if (!True(administrator->at(0))) {
    const auto roles = Roles();
    error = {TeamReason::kNotAdministrator, roles ? roles->admin : std::string()};
    return false;
  }
  Bytes salt(kTeamSaltSize);
  auto newKey = FreshKey(passphrase, iterations, salt, error);
  if (!newKey) return false;
  OdbcTransaction transaction(db_);
  // Nobody adds or changes a server meanwhile: it would be sealed under the old key. The
  // resealing keeps each row's version and who changed it last.
  if (!transaction.began() || !OneRow("SELECT korvane.begin_rekey()", {}, error)) {
    if (error.reason == TeamReason::kNone) Failed(TeamReason::kRefused, db_.Error(), error);
    return false;
  }
  auto servers = Select(true, true, error);
  if (!servers) return false;
  bool ok = true;
  for (TeamServer& server : *servers) {
    if (ok && !server.passwordOpens && unopened) unopened->push_back(server);
    if (ok && server.passwordOpens && !server.password.empty()) {
      auto resealed = newKey->Seal(server.password, SealingOf(server));
      ok = resealed && db_.Execute("UPDATE korvane.server SET password = ? WHERE id = ?", {*resealed, server.id});
      if (resealed) sealed::WipeText(*resealed);
      if (!ok && !resealed) error = {TeamReason::kCryptographyRefused, crypto::BackendName()};
      if (!ok && resealed) Failed(TeamReason::kRefused, db_.Error(), error);
    }
    sealed::WipeText(server.password);
  }
  // The kept versions too, in the same transaction: a restore after the rekey must give back
  // their passwords, and the old key, which the rekey is there to retire, would be the only
  // one to open them. (Keeping the old keys instead would leave them with whoever left.)
  if (ok) ok = ResealHistory(*newKey, error);
  if (!ok) {
    if (unopened) unopened->clear();
    return false;
  }
  const std::pair<const char*, std::string> settings[] = {
      {kIterationsRow, std::to_string(iterations)},
      {kSaltRow, sealed::Hex(salt.data(), salt.size())},
      {kCheckRow, newKey->CheckText()},
  };
  for (const auto& [name, value] : settings) {
    if (!db_.Execute("UPDATE korvane.team SET value = ? WHERE name = ?", {value, std::string(name)})) {
      if (unopened) unopened->clear();
      return Failed(TeamReason::kRefused, db_.Error(), error);
    }
  }
  if (!transaction.Commit()) {
    if (unopened) unopened->clear();
    return Failed(TeamReason::kRefused, db_.Error(), error);
  }
  key_ = std::move(newKey);
  return true;
}

}  // namespace korvane
