#include "store/team.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <unordered_map>

#include "store/sealed_value.h"
#include "store/server_key.h"
#include "store/team_detail.h"

namespace korvane {

using namespace team_detail;

namespace {

// Every session of the program: only the team's schema and the catalog are searched, with
// pg_temp last, whatever a member made elsewhere; and nothing it asks waits without bound.
const std::string kSessionSettings = std::string(
    "SELECT pg_catalog.set_config('search_path', 'pg_catalog, korvane, pg_temp', false),"
    " pg_catalog.set_config('statement_timeout', '") + std::to_string(kTeamStatementSeconds) + "s', false),"
    " pg_catalog.set_config('lock_timeout', '" + std::to_string(kTeamLockSeconds) + "s', false),"
    " pg_catalog.set_config('idle_in_transaction_session_timeout', '60s', false),"
    // When the server answering started: another time at a new connection means it restarted,
    // or a standby took over.
    " pg_catalog.pg_postmaster_start_time()::pg_catalog.text";

// Whether the connection string names an option already (keys are case-insensitive).
bool Names(const std::string& connection, std::string key) {
  std::string lower = ";" + connection;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find(";" + key + "=") != std::string::npos;
}

}  // namespace

TeamStore::~TeamStore() { sealed::WipeText(password_); }

TeamServer::~TeamServer() { sealed::WipeText(password); }

std::unique_ptr<TeamStore> TeamStore::Copy() const {
  auto copy = std::make_unique<TeamStore>();
  copy->connection_ = connection_;
  copy->password_ = password_;
  copy->team_ = team_;
  copy->serverStarted_ = serverStarted_;
  copy->serverChanged_ = serverChanged_;
  if (key_) copy->key_ = TeamKey::FromText(key_->Text());
  return copy;
}

bool TeamStore::Connect(const std::string& connection, std::string_view password, TeamError& error) {
  connection_ = connection;
  sealed::WipeText(password_);
  password_.assign(password);
  return Ready(error);
}

std::string TeamStore::ServerName() const {
  // Key=value pairs split by semicolons; keys are case-insensitive. A braced value may hold
  // semicolons, and "}}" in it stands for one brace.
  const std::string& text = connection_;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t equals = text.find('=', at);
    if (equals == std::string::npos) break;
    std::string key = text.substr(at, equals - at);
    key.erase(0, key.find_first_not_of(' '));
    key.erase(key.find_last_not_of(' ') + 1);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string value;
    std::size_t next = equals + 1;
    if (next < text.size() && text[next] == '{') {
      for (++next; next < text.size(); ++next) {
        if (text[next] == '}' && !(next + 1 < text.size() && text[next + 1] == '}')) break;
        if (text[next] == '}') ++next;
        value += text[next];
      }
      next = text.find(';', next);
    } else {
      const std::size_t end = text.find(';', next);
      value = text.substr(next, end == std::string::npos ? std::string::npos : end - next);
      next = end;
    }
    if (key == "server" || key == "servername") return value;
    if (next == std::string::npos) break;
    at = next + 1;
  }
  return std::string();
}

bool TeamStore::Ready(TeamError& error, bool ask) {
  const auto now = std::chrono::steady_clock::now();
  if (db_.IsConnected()) {
    // A connection that has not answered for a while may have lost its server (a restart, a
    // standby that took over): asked first, so that what the operator does next goes to the
    // server that answers now instead of failing on the old one. The live refresh does not
    // ask; it is the asking, every few seconds.
    if (!ask || now - lastAnswer_ < kTeamQuietSeconds || StillAnswers()) {
      lastAnswer_ = now;
      return true;
    }
    db_.Disconnect();
  }
  // The password as the driver takes a value that may hold any character: braced, with each
  // closing brace doubled. Keepalives find a peer that vanished (a cable pulled, a machine
  // gone) in about a minute, where TCP alone would wait for hours.
  std::string full = connection_;
  if (!full.empty() && full.back() != ';') full += ';';
  if (!Names(full, "KeepaliveTime")) full += "KeepaliveTime=30;";
  if (!Names(full, "KeepaliveInterval")) full += "KeepaliveInterval=10;";
  full += "Pwd={";
  for (char c : password_) {
    full += c;
    if (c == '}') full += '}';
  }
  full += "};";
  const bool connected = db_.Connect(full, kTeamConnectSeconds);
  sealed::WipeText(full);
  if (!connected) {
    const std::string& why = db_.Error().message;
    // libpq's words for its connect timeout: a server that took the connection and never
    // answered.
    if (why.find("timeout expired") != std::string::npos) {
      error = {TeamReason::kTimedOut, std::to_string(kTeamConnectSeconds)};
    } else {
      error = {TeamReason::kCannotConnect, why};
    }
    return false;
  }
  OdbcStatement settings(db_);
  std::vector<SqlValue> row;
  if (!settings.Prepare(kSessionSettings) || !settings.Execute({}) ||
      settings.Fetch(row) != OdbcStatement::Fetched::kRow) {
    return Failed(TeamReason::kRefused, settings.Error(), error);
  }
  std::string started = Take(row.at(4));
  if (!serverStarted_.empty() && started != serverStarted_) serverChanged_ = true;
  serverStarted_ = std::move(started);
  lastAnswer_ = now;
  return true;
}

bool TeamStore::StillAnswers() {
  OdbcStatement ask(db_);
  std::vector<SqlValue> row;
  return ask.Prepare("SELECT 1") && ask.Execute({}) && ask.Fetch(row) == OdbcStatement::Fetched::kRow;
}

bool TeamStore::Failed(TeamReason reason, const OdbcError& why, TeamError& error) {
  lastState_ = why.sqlstate;
  // 57014: the statement ran past its timeout; 55P03: a lock was waited for past its timeout.
  if (why.sqlstate == "57014" || why.sqlstate == "55P03") {
    error = {TeamReason::kTimedOut, std::to_string(why.sqlstate == "57014" ? kTeamStatementSeconds : kTeamLockSeconds)};
  } else {
    error = {reason, why.message};
  }
  // The connection may be what failed: the next operation makes a new one rather than try a
  // dead one again.
  db_.Disconnect();
  return false;
}

std::optional<std::vector<SqlValue>> TeamStore::OneRow(const std::string& sql, const std::vector<SqlValue>& parameters,
                                                       TeamError& error) {
  OdbcStatement select(db_);
  std::vector<SqlValue> row;
  if (!select.Prepare(sql) || !select.Execute(parameters) || select.Fetch(row) != OdbcStatement::Fetched::kRow) {
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  return row;
}

TeamSealing TeamStore::SealingOf(const TeamServer& server) const {
  return {server.id, server.host, server.port, server.user, team_};
}

std::optional<TeamSettings> TeamStore::ReadSettings(TeamError& error) {
  if (!Ready(error)) return std::nullopt;
  auto kind = OneRow(
      "SELECT pg_catalog.to_regclass('korvane.team') IS NOT NULL, pg_catalog.to_regclass('public.korvane_team') IS NOT NULL",
      {}, error);
  if (!kind) return std::nullopt;
  if (!True(kind->at(0))) {
    error = {True(kind->at(1)) ? TeamReason::kOldSchema : TeamReason::kNotATeam};
    return std::nullopt;
  }
  OdbcStatement select(db_);
  if (!select.Prepare("SELECT name, value FROM korvane.team") || !select.Execute({})) {
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  TeamSettings settings;
  std::string derivation, iterations, salt;
  std::vector<SqlValue> row;
  OdbcStatement::Fetched fetched;
  while ((fetched = select.Fetch(row)) == OdbcStatement::Fetched::kRow) {
    const std::string name = Text(row.at(0)), value = Text(row.at(1));
    if (name == kSchemaRow) settings.schema = std::atoll(value.c_str());
    if (name == kNameRow) settings.name = value;
    if (name == kDerivationRow) derivation = value;
    if (name == kIterationsRow) iterations = value;
    if (name == kSaltRow) salt = value;
    if (name == kCheckRow) settings.check = value;
    if (name == kOfflineCopyRow) settings.offlineCopy = value == "on";
    if (name == kHistoryDaysRow && std::atoll(value.c_str()) > 0) settings.historyDays = std::atoll(value.c_str());
  }
  if (fetched == OdbcStatement::Fetched::kError) {
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  if (settings.schema > kTeamSchemaVersion) {
    error = {TeamReason::kNewerSchema, std::to_string(settings.schema)};
    return std::nullopt;
  }
  auto saltBytes = sealed::FromHex(salt);
  const long long count = std::atoll(iterations.c_str());
  if (settings.schema < kTeamOldestSchema || derivation != kDerivation || !saltBytes ||
      saltBytes->size() != kTeamSaltSize || count < 1 || count > 10000000 || settings.check.empty()) {
    error = {TeamReason::kNotATeam};
    return std::nullopt;
  }
  settings.iterations = static_cast<unsigned long>(count);
  settings.salt = std::move(*saltBytes);
  team_ = settings.name;
  return settings;
}

bool TeamStore::UseKey(TeamKey key, TeamError& error) {
  auto settings = ReadSettings(error);
  if (!settings) return false;
  if (!key.Checks(settings->check)) {
    error = {TeamReason::kKeyChanged};
    return false;
  }
  key_ = std::move(key);
  return true;
}

std::optional<TeamKey> TeamStore::KeyOf(std::string_view passphrase, TeamError& error) {
  auto settings = ReadSettings(error);
  if (!settings) return std::nullopt;
  auto key = TeamKey::Derive(passphrase, settings->salt, settings->iterations);
  if (!key) {
    error = {TeamReason::kCryptographyRefused, crypto::BackendName()};
    return std::nullopt;
  }
  if (!key->Checks(settings->check)) {
    error = {TeamReason::kWrongPassphrase};
    return std::nullopt;
  }
  return key;
}

std::optional<std::vector<TeamServer>> TeamStore::Select(bool users, bool passwords, TeamError& error) {
  if (!Ready(error)) return std::nullopt;
  OdbcStatement select(db_);
  users = users || passwords;
  const std::string columns = std::string("id, version, host, port, remark") + (users ? ", username" : "") +
                              (passwords ? ", password" : "");
  if (!select.Prepare("SELECT " + columns + " FROM korvane.server ORDER BY id") || !select.Execute({})) {
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  std::vector<TeamServer> servers;
  std::vector<SqlValue> row;
  OdbcStatement::Fetched fetched;
  while ((fetched = select.Fetch(row)) == OdbcStatement::Fetched::kRow) {
    TeamServer& server = servers.emplace_back();
    server.id = Number(row[0]);
    server.version = Number(row[1]);
    server.host = Take(row[2]);
    server.port = Take(row[3]);
    server.remark = Take(row[4]);
    if (users) server.user = Take(row[5]);
    if (passwords) {
      std::string& stored = std::get<std::string>(row[6] = Text(row[6]));
      auto plain = key_ ? key_->Open(stored, SealingOf(server)) : std::nullopt;
      sealed::WipeText(stored);
      // One value that does not open costs that server its password, not everyone the list.
      server.passwordOpens = plain.has_value();
      if (plain) server.password = std::move(*plain);
    }
  }
  if (fetched == OdbcStatement::Fetched::kError) {
    for (TeamServer& done : servers) sealed::WipeText(done.password);
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  return servers;
}

std::optional<std::vector<TeamServer>> TeamStore::List(TeamError& error, bool users) {
  return Select(users, false, error);
}

std::optional<std::vector<TeamServer>> TeamStore::ListWithPasswords(TeamError& error) {
  return Select(true, true, error);
}

std::optional<TeamServer> TeamStore::Read(long long id, TeamError& error) {
  if (!Ready(error)) return std::nullopt;
  OdbcStatement select(db_);
  if (!select.Prepare("SELECT id, version, host, port, username, remark, password FROM korvane.server WHERE id = ?") ||
      !select.Execute({id})) {
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  std::vector<SqlValue> row;
  const auto fetched = select.Fetch(row);
  if (fetched == OdbcStatement::Fetched::kError) {
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  if (fetched == OdbcStatement::Fetched::kEnd) {
    error = {TeamReason::kGone, {}, id};
    return std::nullopt;
  }
  TeamServer server{Number(row[0]), Number(row[1]), Text(row[2]), Text(row[3]), Text(row[4]), {}, Text(row[5])};
  std::string stored = Text(row[6]);
  if (auto* text = std::get_if<std::string>(&row[6])) sealed::WipeText(*text);
  auto plain = key_ ? key_->Open(stored, SealingOf(server)) : std::nullopt;
  sealed::WipeText(stored);
  if (plain) {
    server.password = std::move(*plain);
    return server;
  }
  // None opens for a member whose key a rekey replaced: that is what it must hear.
  auto settings = ReadSettings(error);
  if (!settings) return std::nullopt;
  if (!key_ || !key_->Checks(settings->check)) {
    error = {TeamReason::kKeyChanged};
    return std::nullopt;
  }
  // The server without its password, marked: the operator sees which one to type again.
  server.passwordOpens = false;
  return server;
}

bool TeamStore::Insert(TeamServer& server, TeamError& error) {
  if (!key_) {
    error = {TeamReason::kKeyChanged};
    return false;
  }
  // The id comes first: the password is sealed for it.
  auto next = OneRow("SELECT pg_catalog.nextval('korvane.server_id_seq'::pg_catalog.regclass)", {}, error);
  if (!next) return false;
  const long long id = Number(next->at(0));
  TeamServer sealing = server;
  sealing.id = id;
  auto sealedPassword = key_->Seal(server.password, SealingOf(sealing));
  sealed::WipeText(sealing.password);
  if (!sealedPassword) {
    error = {TeamReason::kCryptographyRefused, crypto::BackendName()};
    return false;
  }
  const auto inserted = db_.Execute(
      std::string("INSERT INTO korvane.server (id, host, port, username, password, remark)"
                  " SELECT ?, ?, ?, ?, ?, ? WHERE ") + kKeyStillHolds,
      {id, server.host, server.port, server.user, *sealedPassword, server.remark, key_->CheckText()});
  sealed::WipeText(*sealedPassword);
  if (!inserted) return Failed(TeamReason::kRefused, db_.Error(), error);
  if (*inserted != 1) {
    error = {TeamReason::kKeyChanged};
    return false;
  }
  server.id = id;
  server.version = 1;
  return true;
}

bool TeamStore::Add(TeamServer& server, TeamError& error) { return Ready(error) && Insert(server, error); }

bool TeamStore::AddAll(std::vector<TeamServer>& servers, TeamError& error, bool leaveOutHeld) {
  const auto none = [&] {
    for (TeamServer& s : servers) s.id = s.version = 0;
    return false;
  };
  // Serializable, and still no lock: two members who add the same servers at once each read
  // the list before the other's rows are in it, and one of them is refused (40001) instead of
  // both adding them; that one tries again, against the list as the other left it. Set for the
  // session around the transaction, since the driver runs each statement inside it in a
  // savepoint of its own, where SET TRANSACTION is refused.
  constexpr const char* kLevel = "SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL ";
  for (int attempt = 1;; ++attempt) {
    if (!Ready(error)) return none();
    if (leaveOutHeld && !db_.Execute(std::string(kLevel) + "SERIALIZABLE")) {
      Failed(TeamReason::kRefused, db_.Error(), error);
      return none();
    }
    lastState_.clear();
    const bool added = [&] {
      // No lock is held for a change's number, so a long import holds nobody else back: other
      // members go on adding and changing while it runs, and see its servers when it commits.
      OdbcTransaction transaction(db_);
      if (!transaction.began()) return Failed(TeamReason::kRefused, db_.Error(), error);
      std::vector<bool> held(servers.size(), false);
      if (leaveOutHeld && !MarkHeld(servers, held, error)) return false;
      for (std::size_t i = 0; i < servers.size(); ++i) {
        if (held[i]) {
          servers[i].id = servers[i].version = 0;
        } else if (!Insert(servers[i], error)) {
          return false;
        }
      }
      return transaction.Commit() || Failed(TeamReason::kRefused, db_.Error(), error);
    }();
    // A session left serializable would refuse other members' changes now and then: one that
    // cannot be set back is dropped, and the next operation connects anew.
    if (leaveOutHeld && db_.IsConnected() && !db_.Execute(std::string(kLevel) + "READ COMMITTED")) db_.Disconnect();
    if (added) return true;
    if (!leaveOutHeld || lastState_ != "40001" || attempt == 3) return none();
  }
}

bool TeamStore::MarkHeld(const std::vector<TeamServer>& servers, std::vector<bool>& held, TeamError& error) {
  // The servers to add by host, port and user, then by password: views into them, never a copy.
  std::unordered_map<ServerKey, std::unordered_multimap<std::string_view, std::size_t>, ServerKeyHash> adding;
  adding.reserve(servers.size());
  for (std::size_t i = 0; i < servers.size(); ++i) {
    adding[{servers[i].host, servers[i].port, servers[i].user}].emplace(servers[i].password, i);
  }
  OdbcStatement select(db_);
  if (!select.Prepare("SELECT id, host, port, username, password FROM korvane.server") || !select.Execute({})) {
    return Failed(TeamReason::kRefused, select.Error(), error);
  }
  std::vector<SqlValue> row;
  OdbcStatement::Fetched fetched;
  while ((fetched = select.Fetch(row)) == OdbcStatement::Fetched::kRow) {
    TeamServer one{Number(row[0]), 0, Take(row[1]), Take(row[2]), Take(row[3])};
    std::string& stored = std::get<std::string>(row[4] = Text(row[4]));
    // Only a password whose host, port and user are among those added is opened.
    const auto same = adding.find({one.host, one.port, one.user});
    auto plain = same != adding.end() && key_ ? key_->Open(stored, SealingOf(one)) : std::nullopt;
    sealed::WipeText(stored);
    if (!plain) continue;
    const auto [first, last] = same->second.equal_range(*plain);
    for (auto it = first; it != last; ++it) held[it->second] = true;
    sealed::WipeText(*plain);
  }
  if (fetched == OdbcStatement::Fetched::kError) return Failed(TeamReason::kRefused, select.Error(), error);
  return true;
}

bool TeamStore::Change(TeamServer& server, TeamError& error) {
  if (!Ready(error)) return false;
  if (!key_) {
    error = {TeamReason::kKeyChanged};
    return false;
  }
  // Sealed for the host, port and user it is stored with: a change of any of them seals anew.
  auto sealedPassword = key_->Seal(server.password, SealingOf(server));
  if (!sealedPassword) {
    error = {TeamReason::kCryptographyRefused, crypto::BackendName()};
    return false;
  }
  // One statement that changes the row only as the operator saw it; the database numbers the
  // new version.
  const auto changed = db_.Execute(
      std::string("UPDATE korvane.server SET host = ?, port = ?, username = ?, password = ?, remark = ?"
                  " WHERE id = ? AND version = ? AND ") + kKeyStillHolds,
      {server.host, server.port, server.user, *sealedPassword, server.remark, server.id, server.version,
       key_->CheckText()});
  sealed::WipeText(*sealedPassword);
  if (!changed) return Failed(TeamReason::kRefused, db_.Error(), error);
  if (*changed == 1) {
    ++server.version;
    return true;
  }
  // Why nothing changed, asked afterwards: the answer only chooses the message.
  auto current = OneRow("SELECT pg_catalog.count(*) FROM korvane.server WHERE id = ?", {server.id}, error);
  if (!current) return false;
  if (Number(current->at(0)) == 0) {
    error = {TeamReason::kGone, {}, server.id};
    return false;
  }
  auto settings = ReadSettings(error);
  if (!settings) return false;
  error = key_->Checks(settings->check) ? TeamError{TeamReason::kChangedByAnother, {}, server.id}
                                        : TeamError{TeamReason::kKeyChanged};
  return false;
}

bool TeamStore::Delete(long long id, long long version, TeamError& error) {
  if (!Ready(error)) return false;
  auto deleted = OneRow("SELECT korvane.delete_server(?, ?)", {id, version}, error);
  if (!deleted) return false;
  if (Number(deleted->at(0)) == 1) return true;
  auto left = OneRow("SELECT pg_catalog.count(*) FROM korvane.server WHERE id = ?", {id}, error);
  if (!left) return false;
  if (Number(left->at(0)) == 0) return true;  // gone already: what the operator asked for
  error = {TeamReason::kChangedByAnother, {}, id};
  return false;
}

// A change mark is the oldest transaction still running when it was taken: every change made
// by an older one is visible by then, and any other is stamped at or after the mark.
constexpr const char* kMark = "pg_catalog.pg_snapshot_xmin(pg_catalog.pg_current_snapshot())::pg_catalog.text::pg_catalog.int8";

std::optional<long long> TeamStore::LastChange(TeamError& error) {
  if (!Ready(error, false)) return std::nullopt;
  auto row = OneRow(std::string("SELECT ") + kMark, {}, error);
  if (!row) return std::nullopt;
  return Number(row->at(0));
}

std::optional<TeamChanges> TeamStore::ChangesSince(long long since, TeamError& error) {
  if (!Ready(error, false)) return std::nullopt;
  TeamChanges changes{since, {}, {}, false};
  // One statement, so one snapshot: the rows stamped at or after the mark, the tombstones the
  // same, the new mark (kind 2) and how far tombstones were pruned (kind 3).
  OdbcStatement select(db_);
  if (!select.Prepare("SELECT id, version, host, port, remark, change, 0 FROM korvane.server WHERE change >= ?"
                      " UNION ALL SELECT id, 0, '', '', '', change, 1 FROM korvane.server_deleted WHERE change >= ?"
                      " UNION ALL SELECT 0, 0, '', '', '', " + std::string(kMark) + ", 2"
                      " UNION ALL SELECT 0, 0, '', '', '', upto, 3 FROM korvane.pruned"
                      " ORDER BY 7, 1") ||
      !select.Execute({since, since})) {
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  long long pruned = 0;
  std::vector<SqlValue> row;
  OdbcStatement::Fetched fetched;
  while ((fetched = select.Fetch(row)) == OdbcStatement::Fetched::kRow) {
    switch (Number(row[6])) {
      case 0: {
        TeamServer& server = changes.changed.emplace_back();
        server.id = Number(row[0]);
        server.version = Number(row[1]);
        server.host = Take(row[2]);
        server.port = Take(row[3]);
        server.remark = Take(row[4]);
        break;
      }
      case 1:
        changes.deleted.push_back(Number(row[0]));
        break;
      case 2:
        changes.upTo = Number(row[5]);
        break;
      default:
        pruned = std::max(pruned, Number(row[5]));
    }
  }
  if (fetched == OdbcStatement::Fetched::kError) {
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  if (since > pruned && !serverChanged_) return changes;
  // Asked from before the oldest tombstone kept: a deletion may be missing, so the whole list
  // comes instead, read after the new mark was taken. So too when another server answers
  // than the one asked before: a standby that took over lacks what its primary showed and
  // never passed on, and numbers its changes anew from what it had.
  auto all = List(error, false);
  if (!all) return std::nullopt;
  changes.changed = std::move(*all);
  changes.deleted.clear();
  changes.complete = true;
  serverChanged_ = false;
  return changes;
}

std::optional<bool> TeamStore::MayChange(TeamError& error) {
  if (!Ready(error)) return std::nullopt;
  auto row = OneRow(
      "SELECT pg_catalog.has_any_column_privilege('korvane.server', 'UPDATE')"
      " AND pg_catalog.has_any_column_privilege('korvane.server', 'INSERT')"
      " AND pg_catalog.has_function_privilege('korvane.delete_server(bigint, bigint)', 'EXECUTE')",
      {}, error);
  if (!row) return std::nullopt;
  return True(row->at(0));
}

bool TeamStore::LogConnection(long long server, TeamError& error) {
  if (!Ready(error)) return false;
  if (db_.Execute("INSERT INTO korvane.connection_log (server) VALUES (?)", {server})) return true;
  return Failed(TeamReason::kRefused, db_.Error(), error);
}

std::optional<std::vector<TeamLogLine>> TeamStore::ConnectionLog(const std::string& since, TeamError& error) {
  if (!Ready(error)) return std::nullopt;
  OdbcStatement select(db_);
  // The database's own text of its clock, so that the line says what it recorded.
  const std::string columns =
      "SELECT pg_catalog.to_char(at, 'YYYY-MM-DD\"T\"HH24:MI:SSOF'), member, server, host, port FROM korvane.connection_log";
  const bool prepared = since.empty() ? select.Prepare(columns + " ORDER BY id")
                                      : select.Prepare(columns + " WHERE at >= CAST(? AS timestamptz) ORDER BY id");
  if (!prepared || !select.Execute(since.empty() ? std::vector<SqlValue>{} : std::vector<SqlValue>{since})) {
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  std::vector<TeamLogLine> lines;
  std::vector<SqlValue> row;
  OdbcStatement::Fetched fetched;
  while ((fetched = select.Fetch(row)) == OdbcStatement::Fetched::kRow) {
    lines.push_back({Take(row[0]), Take(row[1]), Number(row[2]), Take(row[3]), Take(row[4])});
  }
  if (fetched == OdbcStatement::Fetched::kError) {
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  return lines;
}

}  // namespace korvane
