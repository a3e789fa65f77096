// team init, join, push, leave and rekey: a server list shared by a team on a database server,
// and the way every command reaches the team of a member file.
#include <cctype>
#include <string_view>

#include "app/program.h"
#include "store/membership.h"
#include "store/schema.h"
#include "store/store.h"
#include "store/team.h"
#include "datatool/commands.h"
#include "datatool/messages.h"
#include "datatool/server_lists.h"

namespace korvane::tool {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool Blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Whether options for libpq ("keyword = value ...", a value in single quotes where it holds
// blanks, with \' and \\ inside), which psqlODBC passes on from its pqopt, set a password.
bool SetsPassword(std::string_view options) {
  std::size_t at = 0;
  const auto skipBlanks = [&] {
    while (at < options.size() && Blank(options[at])) ++at;
  };
  for (skipBlanks(); at < options.size(); skipBlanks()) {
    const std::size_t start = at;
    while (at < options.size() && options[at] != '=' && !Blank(options[at])) ++at;
    if (Lower(options.substr(start, at - start)) == "password") return true;
    skipBlanks();
    if (at < options.size() && options[at] == '=') ++at;
    skipBlanks();
    const bool quoted = at < options.size() && options[at] == '\'';
    for (at += quoted ? 1 : 0; at < options.size(); ++at) {
      if (options[at] == '\\') {
        ++at;
      } else if (quoted ? options[at] == '\'' : Blank(options[at])) {
        break;
      }
    }
    ++at;
  }
  return false;
}

// The key of a pair of the connection string that hands the driver a password ("Pwd" or
// "Password", in any case, as written), or "password" when libpq's options in "pqopt" set one;
// empty when there is none. A braced value may hold semicolons, and a doubled closing brace
// inside it is a brace. The driver skips an empty pair, so ";Pwd=x" sets a password too.
std::string PasswordKey(std::string_view connection) {
  std::size_t at = 0;
  while (at < connection.size()) {
    const std::size_t equals = connection.find('=', at);
    if (equals == std::string_view::npos) break;
    std::string_view key = connection.substr(at, equals - at);
    if (const std::size_t pair = key.rfind(';'); pair != std::string_view::npos) key.remove_prefix(pair + 1);
    while (!key.empty() && key.front() == ' ') key.remove_prefix(1);
    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
    const std::string lower = Lower(key);
    if (lower == "pwd" || lower == "password") return std::string(key);
    std::size_t end = equals + 1;
    while (end < connection.size() && connection[end] == ' ') ++end;
    std::string value;
    if (end < connection.size() && connection[end] == '{') {
      for (++end; end < connection.size(); ++end) {
        if (connection[end] == '}' && (end + 1 >= connection.size() || connection[end + 1] != '}')) break;
        value += connection[end];
        if (connection[end] == '}') ++end;
      }
    } else {
      value = connection.substr(end, connection.find(';', end) - end);
    }
    end = connection.find(';', end);
    if (lower == "pqopt" && SetsPassword(value)) return "password";
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  return std::string();
}

// The database server as messages name it.
std::string ServerOf(const TeamStore& store) { return Printable(store.ServerName()); }

// The file's own servers, counted for a message; 0 when they cannot be counted.
std::size_t OwnServerCount(sqlite3* db) {
  auto count = sqlite::Prepare(db, "SELECT count(*) FROM Server");
  if (!count || sqlite3_step(count.get()) != SQLITE_ROW) return 0;
  return static_cast<std::size_t>(sqlite3_column_int64(count.get(), 0));
}

// The servers the file keeps itself, with their passwords opened: what team push adds. False
// after naming every server whose password does not open.
bool OwnServers(const Invocation& call, sqlite3* db, const LoginKeys& keys,
                std::vector<import::ImportedServer>& servers) {
  const std::string& path = call.operands[0];
  auto read = sqlite::Prepare(db, "SELECT id, 服务器名, 端口, 用户名, 密码, 备注 FROM Server ORDER BY id");
  if (!read) return Fail(call.err, Format(Msg::kCannotReadServers, path, sqlite3_errmsg(db))), false;
  std::vector<std::string> unopened;
  int rc;
  while ((rc = sqlite3_step(read.get())) == SQLITE_ROW) {
    import::ImportedServer& server = servers.emplace_back();
    server.host = ColumnText(read.get(), 1);
    server.port = ColumnText(read.get(), 2);
    server.user = ColumnText(read.get(), 3);
    server.remark = ColumnText(read.get(), 5);
    std::string stored = ColumnText(read.get(), 4);
    auto opened = keys.Open(stored, server.host);
    Wipe(stored);
    if (opened) server.password = std::move(*opened);
    if (!opened) unopened.push_back(ServerLabel(ColumnText(read.get(), 0), server.remark, server.host));
  }
  if (rc != SQLITE_DONE) return Fail(call.err, Format(Msg::kCannotReadServers, path, sqlite3_errmsg(db))), false;
  // The team would get a server without its password, passing for a whole one.
  for (const auto& server : unopened) Fail(call.err, Format(Msg::kPathSealedDoesNotOpen, path, server));
  if (!unopened.empty()) return Fail(call.err, Format(Msg::kNothingPushed, path)), false;
  return true;
}

}  // namespace

bool MemberTeam(const Invocation& call, sqlite3* db, const std::string& path, const LoginKeys& keys,
                TeamStore& store, std::string* name) {
  StoreError error;
  const auto membership = ReadMembership(db, keys, error);
  if (!membership) return Fail(call.err, Format(Msg::kPathProblem, path, Say(error))), false;
  auto key = TeamKey::FromText(membership->teamKey);
  if (!key) {
    return Fail(call.err, Format(Msg::kPathProblem, path, Say(StoreError{StoreReason::kMembershipDoesNotOpen}))),
           false;
  }
  TeamError why;
  if (!store.Connect(membership->connection, membership->password, why) || !store.UseKey(std::move(*key), why)) {
    Fail(call.err, Format(Msg::kPathProblem, path,
                          Format(Msg::kTeamProblem, Printable(membership->name), Say(why, ServerOf(store)))));
    return false;
  }
  if (name) *name = Printable(membership->name);
  return true;
}

bool MemberTeam(const Invocation& call, sqlite3* db, const std::string& path, TeamStore& store, std::string* name) {
  std::optional<LoginKeys> keys;
  if (!KeysForPasswords(call, db, path, keys)) return false;
  // Only a protected file keeps a membership that opens: a plain one has no key for it.
  if (!keys) return Fail(call.err, Format(Msg::kPathProblem, path, Say(StoreError{StoreReason::kNotProtected}))), false;
  return MemberTeam(call, db, path, *keys, store, name);
}

namespace {

// Connects to the connection string of the command line (which must hold no password) with
// the database password asked for it: whether it connected (`error` says why not), or nullopt
// when it stopped before trying, having said why.
std::optional<bool> ConnectGiven(const Invocation& call, TeamStore& store, TeamError& error) {
  const std::string& connection = call.operands[0];
  if (const std::string key = PasswordKey(connection); !key.empty()) {
    Fail(call.err, Format(Msg::kConnectionHoldsPassword, Printable(key)));
    return std::nullopt;
  }
  auto password = ReadSecret(call, Format(Msg::kDatabasePasswordPrompt));
  if (!password) return std::nullopt;
  const bool connected = store.Connect(connection, *password, error);
  Wipe(*password);
  return connected;
}

}  // namespace

int TeamInit(const Invocation& call) {
  TeamStore store;
  TeamError error;
  const auto connected = ConnectGiven(call, store, error);
  if (!connected) return 1;
  const std::string server = ServerOf(store);
  if (!*connected) return Fail(call.err, Format(Msg::kNothingDoneBecause, Say(error, server)));
  // Look before asking: nobody should type a passphrase twice to learn that the database holds
  // a team already.
  if (const auto settings = store.ReadSettings(error)) {
    return Fail(call.err, Format(Msg::kTeamExists, Printable(settings->name), server));
  }
  if (error.reason != TeamReason::kNotATeam) return Fail(call.err, Format(Msg::kNothingDoneBecause, Say(error, server)));

  auto passphrase = ReadNewSecret(call, Msg::kTeamPassphrasePrompt);
  if (!passphrase) return 1;
  if (passphrase->empty()) return Fail(call.err, Format(Msg::kEmptyPassphrase));
  const bool made = store.Init(*passphrase, error);
  Wipe(*passphrase);
  if (!made) return Fail(call.err, Format(Msg::kNothingDoneBecause, Say(error, server)));
  const auto settings = store.ReadSettings(error);
  if (!settings) return Fail(call.err, Say(error, server));
  const auto roles = store.Roles();
  if (!roles) return Fail(call.err, Say(TeamError{TeamReason::kBadDatabaseName, settings->name}, server));
  call.out << Format(Msg::kTeamMade, Printable(settings->name), server, roles->viewer, roles->editor, roles->admin)
           << "\n";
  return 0;
}

int TeamUpgrade(const Invocation& call) {
  TeamStore store;
  TeamError error;
  const auto connected = ConnectGiven(call, store, error);
  if (!connected) return 1;
  const std::string server = ServerOf(store);
  const auto settings = *connected ? store.ReadSettings(error) : std::nullopt;
  if (!settings) return Fail(call.err, Format(Msg::kNothingDoneBecause, Say(error, server)));
  const std::string name = Printable(settings->name);
  if (settings->schema >= kTeamSchemaVersion) {
    call.out << Format(Msg::kUpToDate, name, server, settings->schema) << "\n";
    return 0;
  }
  if (!store.Upgrade(error)) return Fail(call.err, Format(Msg::kNothingDoneBecause, Say(error, server)));
  call.out << Format(Msg::kUpgraded, name, server, kTeamSchemaVersion) << "\n";
  return 0;
}

int TeamJoin(const Invocation& call) {
  const std::string& path = call.operands[0];
  const std::string& connection = call.operands[1];
  if (const std::string key = PasswordKey(connection); !key.empty()) {
    return Fail(call.err, Format(Msg::kConnectionHoldsPassword, Printable(key)));
  }
  DBConnection file;
  if (!file.OpenAccess(path, kDatabasePassword)) return Fail(call.err, WhyNotWritable(path));
  sqlite3* db = file.Handle();
  // Look before asking: three secrets are a lot to type for a file that cannot join.
  if (ReadProtection(db) == FileProtection::kPlain) return Fail(call.err, Format(Msg::kJoinNeedsProtection, path));
  if (IsTeamMember(db)) {
    return Fail(call.err, Format(Msg::kConversionFailed, path, Say(StoreError{StoreReason::kTeamMember})));
  }
  std::optional<LoginKeys> keys;
  if (!KeysForPasswords(call, db, path, keys)) return 1;

  Membership membership;
  membership.connection = connection;
  auto password = ReadSecret(call, Format(Msg::kDatabasePasswordPrompt));
  if (!password) return 1;
  membership.password = std::move(*password);
  Wipe(*password);
  TeamStore store;
  TeamError error;
  const bool connected = store.Connect(connection, membership.password, error);
  const std::string server = ServerOf(store);
  if (!connected) return Fail(call.err, Format(Msg::kConversionFailed, path, Say(error, server)));
  auto passphrase = ReadSecret(call, Format(Msg::kTeamPassphrasePrompt));
  if (!passphrase) return 1;
  auto key = store.KeyOf(*passphrase, error);
  Wipe(*passphrase);
  const auto settings = key ? store.ReadSettings(error) : std::nullopt;
  if (!settings) return Fail(call.err, Format(Msg::kConversionFailed, path, Say(error, server)));
  membership.name = settings->name;
  membership.teamKey = key->Text();
  StoreError stored;
  if (!WriteMembership(db, *keys, membership, stored)) {
    return Fail(call.err, Format(Msg::kConversionFailed, path, Say(stored)));
  }
  call.out << Format(Msg::kJoined, path, Printable(settings->name), server, Servers(OwnServerCount(db))) << "\n";
  return 0;
}

int TeamPush(const Invocation& call) {
  const std::string& path = call.operands[0];
  std::string error;
  const auto db = OpenForReading(path, error, call.err);
  if (!db) return Fail(call.err, error);
  if (!IsTeamMember(db.get())) {
    return Fail(call.err, Format(Msg::kPathNothingDone, path, Say(StoreError{StoreReason::kNotTeamMember})));
  }
  std::optional<LoginKeys> keys;
  if (!KeysForPasswords(call, db.get(), path, keys)) return 1;
  if (!keys) return Fail(call.err, Format(Msg::kPathProblem, path, Say(StoreError{StoreReason::kNotProtected})));
  TeamStore store;
  std::string name;
  if (!MemberTeam(call, db.get(), path, *keys, store, &name)) return 1;
  std::vector<import::ImportedServer> rows;
  import::WipedRows wiped{rows};
  if (!OwnServers(call, db.get(), *keys, rows)) return 1;
  import::TeamServers team(store);
  import::Sorting sorting;
  import::Addition addition;
  // Sorted again inside the write, against the list as another member may have left it.
  if (!SortRows(team, rows, sorting) || !team.AddNew(sorting.added, addition)) {
    return SayWriteFailure(call, path, team.failure(), &store, Msg::kCannotPush);
  }
  for (const auto* row : sorting.beside) Fail(call.err, Format(Msg::kAddedBeside, path, RowLabel(*row)));
  call.out << Format(Msg::kPushed, path, Servers(addition.added.size()), name,
                     CountsText({{sorting.there.size() + addition.there.size(), Msg::kAlreadyThere},
                                 {sorting.beside.size(), Msg::kBesideCount}}))
           << "\n";
  return 0;
}

// Opens a member file for writing and asks its login password; false after saying why.
bool OpenMemberFile(const Invocation& call, const std::string& path, DBConnection& file,
                    std::optional<LoginKeys>& keys) {
  if (!file.OpenAccess(path, kDatabasePassword)) {
    Fail(call.err, WhyNotWritable(path));
    return false;
  }
  if (!IsTeamMember(file.Handle())) {
    Fail(call.err, Format(Msg::kConversionFailed, path, Say(StoreError{StoreReason::kNotTeamMember})));
    return false;
  }
  return KeysForPasswords(call, file.Handle(), path, keys);
}

int TeamLeave(const Invocation& call) {
  const std::string& path = call.operands[0];
  DBConnection file;
  // Only whoever can log in to the file takes it out of its team; the membership need not open
  // for that, so a file whose team is gone can still leave it.
  std::optional<LoginKeys> keys;
  if (!OpenMemberFile(call, path, file, keys)) return 1;
  sqlite3* db = file.Handle();
  StoreError error;
  if (!RemoveMembership(db, error)) return Fail(call.err, Format(Msg::kConversionFailed, path, Say(error)));
  call.out << Format(Msg::kLeft, path, Servers(OwnServerCount(db))) << "\n";
  return 0;
}

int TeamRekey(const Invocation& call) {
  const std::string& path = call.operands[0];
  DBConnection file;
  std::optional<LoginKeys> keys;
  if (!OpenMemberFile(call, path, file, keys)) return 1;
  sqlite3* db = file.Handle();
  if (!keys) return Fail(call.err, Format(Msg::kPathProblem, path, Say(StoreError{StoreReason::kNotProtected})));
  TeamStore store;
  std::string name;
  if (!MemberTeam(call, db, path, *keys, store, &name)) return 1;
  auto passphrase = ReadNewSecret(call, Msg::kNewTeamPassphrasePrompt);
  if (!passphrase) return 1;
  if (passphrase->empty()) return Fail(call.err, Format(Msg::kEmptyPassphrase));
  // The team keeps the count of rounds it has, as a data file keeps its own with a new login
  // password.
  TeamError error;
  const auto settings = store.ReadSettings(error);
  std::vector<TeamServer> unopened;
  const bool rekeyed = settings && store.Rekey(*passphrase, error, settings->iterations, &unopened);
  if (!rekeyed) {
    Wipe(*passphrase);
    return Fail(call.err, Format(Msg::kConversionFailed, path, Format(Msg::kTeamProblem, name, Say(error, ServerOf(store)))));
  }
  // The store does not hand out its key; the passphrase gives it again, under the new salt.
  auto key = store.KeyOf(*passphrase, error);
  Wipe(*passphrase);
  StoreError stored;
  std::optional<Membership> membership = key ? ReadMembership(db, *keys, stored) : std::nullopt;
  if (membership) membership->teamKey = key->Text();
  if (!membership || !WriteMembership(db, *keys, *membership, stored)) {
    const std::string why = key ? Say(stored) : Say(error, ServerOf(store));
    return Fail(call.err, Format(Msg::kRekeyedNotKept, name, path, why));
  }
  call.out << Format(Msg::kRekeyed, name, path) << "\n";
  SayUnopened(call, name, unopened);
  return 0;
}

int TeamLog(const Invocation& call) {
  const std::string& path = call.operands[0];
  std::string error;
  auto db = OpenForReading(path, error, call.err);
  if (!db) return Fail(call.err, error);
  TeamStore store;
  std::string name;
  if (!MemberTeam(call, db.get(), path, store, &name)) return 1;
  TeamError why;
  // The settings first: how far back the history goes is the administrator's question too.
  const auto settings = store.ReadSettings(why);
  const auto lines = settings ? store.ConnectionLog(call.flagValue, why) : std::nullopt;
  if (!lines) return Fail(call.err, Format(Msg::kPathProblem, path, Format(Msg::kTeamProblem, name, Say(why, ServerOf(store)))));
  std::string text = Format(Msg::kTeamLine, name, SettingsText(*settings)) + "\n" + Format(Msg::kLogHeader) + "\n";
  for (const TeamLogLine& line : *lines) {
    text += line.at + "\t" + OneLine(line.member) + "\t" + std::to_string(line.server) + "\t" + OneLine(line.host) +
            "\t" + OneLine(line.port) + "\n";
  }
  call.out << text;
  return 0;
}

}  // namespace korvane::tool
