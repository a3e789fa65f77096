// A team's server list on a database server (PostgreSQL, through ODBC), shared by the data
// files of the team's members.
//
// The database holds two tables: korvane_team (name, value: the schema version, the team's
// name, the key derivation's salt and count, a key check) and server (id, version, host, port,
// username, password, remark, changed_by, changed_at). Passwords are sealed with the team key
// before they leave the machine, each bound to its row's id, so a dump shows none and a sealed
// value moved to another row does not open. Every change and delete names the version the
// operator saw and changes the row only if it still has it: a concurrent change is refused,
// never overwritten.
//
// No operation throws; a failure is a false result (or nullopt) and TeamError says why. A
// failure that may have cost the connection drops it, and the next operation connects again.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/crypto.h"
#include "store/odbc.h"

namespace korvane {

inline constexpr long long kTeamSchemaVersion = 1;
inline constexpr unsigned long kTeamIterations = 600000;
// The role that init makes and grants the row operations to; the administrator grants it to
// each member's database user.
inline constexpr const char* kTeamEditorRole = "korvane_editor";
// The role that may read the list and log its connects, and change nothing.
inline constexpr const char* kTeamViewerRole = "korvane_viewer";

enum class TeamReason {
  kNone,
  kCannotConnect,       // detail: the driver's words
  kRefused,             // the database refused or the connection broke; detail: its words
  kNotATeam,            // the database holds no team list
  kNewerSchema,         // made by a newer version of this program; detail: the version
  kNotEmpty,            // init: the database holds tables of its own already
  kWrongPassphrase,
  kKeyChanged,          // the team was given a new passphrase since this member joined
  kCryptographyRefused,
  kChangedByAnother,    // the row no longer has the version the operator saw
  kGone,                // the row was deleted meanwhile
  kDoesNotOpen,         // a sealed password does not open; row: its id
  kMembershipDoesNotOpen,  // the data file's membership does not open with the login key
  kCount
};

struct TeamError {
  TeamReason reason = TeamReason::kNone;
  std::string detail;
  long long row = 0;
};

// The key of a team, from its passphrase. Only its derived parts seal and check; the master
// key itself is what a member's data file keeps (sealed there).
class TeamKey {
 public:
  static std::optional<TeamKey> Derive(std::string_view passphrase, const crypto::Bytes& salt,
                                       unsigned long iterations);
  // From Text() as a membership keeps it; nullopt for text that is not a key.
  static std::optional<TeamKey> FromText(std::string_view text);

  std::string Text() const;       // the master key, 64 hexadecimal digits
  std::string CheckText() const;  // what korvane_team holds to tell the right key
  bool Checks(const std::string& stored) const;

  // A server password as the row with id `row` stores it; empty stays empty.
  std::optional<std::string> Seal(std::string_view password, long long row) const;
  std::optional<std::string> Open(const std::string& stored, long long row) const;

 private:
  TeamKey() = default;
  static std::optional<TeamKey> FromMaster(crypto::Secret master);
  crypto::Secret master_, sealing_, check_;
};

struct TeamSettings {
  long long schema = 0;
  std::string name;
  unsigned long iterations = 0;
  crypto::Bytes salt;
  std::string check;
};

// One server of the team. `password` is in clear on this side only.
struct TeamServer {
  long long id = 0;
  long long version = 0;
  std::string host, port, user, password, remark;
};

// What changed in the team's list after a change number: the servers added or changed (as
// List gives them) and the ids of those deleted, up to the number `upTo`.
struct TeamChanges {
  long long upTo = 0;
  std::vector<TeamServer> changed;
  std::vector<long long> deleted;
};

// A line of the connection log, as the database recorded it.
struct TeamLogLine {
  std::string at;  // the database's clock, ISO 8601 with its time zone
  std::string member;
  long long server = 0;
  std::string host, port;
};

class TeamStore {
 public:
  TeamStore() = default;
  ~TeamStore();
  TeamStore(const TeamStore&) = delete;
  TeamStore& operator=(const TeamStore&) = delete;

  // `connection` is an ODBC connection string without a password; `password` is added to it
  // as the driver takes it. Both are kept (the password wiped when the store goes) so that a
  // lost connection can be made again.
  bool Connect(const std::string& connection, std::string_view password, TeamError& error);
  // True while a connection is open (it may still turn out to be dead).
  bool Connected() const { return db_.IsConnected(); }
  // The server named in the connection string ("Server=..."), for messages.
  std::string ServerName() const;

  // Makes the team's tables, role and grants in an empty database, in one transaction. Refuses
  // a database that holds tables, views or sequences of its own.
  bool Init(std::string_view passphrase, TeamError& error, unsigned long iterations = kTeamIterations);
  // The settings of the team the database holds; refuses a database that holds none and one of
  // a newer schema.
  std::optional<TeamSettings> ReadSettings(TeamError& error);
  // ReadSettings and the check of `key` against them: from here on the store seals and opens
  // with it.
  bool UseKey(TeamKey key, TeamError& error);
  // The passphrase's key, checked against the team's (kWrongPassphrase).
  std::optional<TeamKey> KeyOf(std::string_view passphrase, TeamError& error);

  // The list without passwords, in id order; without user names too when `users` is false
  // (the window's list shows none, and every column costs a call per row).
  std::optional<std::vector<TeamServer>> List(TeamError& error, bool users = true);
  // The same with every password opened; kDoesNotOpen names the first that does not.
  std::optional<std::vector<TeamServer>> ListWithPasswords(TeamError& error);
  // One server with its password opened; nullopt with kGone when there is none with that id.
  std::optional<TeamServer> Read(long long id, TeamError& error);

  // A new server; its id and version are filled in.
  bool Add(TeamServer& server, TeamError& error);
  // Several in one transaction: all or none.
  bool AddAll(std::vector<TeamServer>& servers, TeamError& error);
  // Changes the row `server.id` only if it still has `server.version`; the new version is
  // filled in. kChangedByAnother or kGone otherwise, and nothing changed.
  bool Change(TeamServer& server, TeamError& error);
  // Deletes the row only if it still has `version`. A row that is gone already counts as
  // deleted; another version gives kChangedByAnother.
  bool Delete(long long id, long long version, TeamError& error);

  // The highest change number the list has seen: the one cheap question a member asks to tell
  // whether anything changed.
  std::optional<long long> LastChange(TeamError& error);
  // What changed after `since`, fetched row by row: never the whole table.
  std::optional<TeamChanges> ChangesSince(long long since, TeamError& error);
  // False for a member whose database user may only read.
  std::optional<bool> MayChange(TeamError& error);

  // A line in the connection log: the database adds who and when.
  bool LogConnection(long long server, const std::string& host, const std::string& port, TeamError& error);
  // The log from `since` on (a date or time PostgreSQL reads, such as 2026-12-01; every line
  // when empty), oldest first.
  std::optional<std::vector<TeamLogLine>> ConnectionLog(const std::string& since, TeamError& error);

  // A new passphrase: a fresh salt, every password opened and sealed again, the new check, in
  // one transaction. The store uses the new key afterwards.
  bool Rekey(std::string_view passphrase, TeamError& error, unsigned long iterations = kTeamIterations);

 private:
  bool Ready(TeamError& error);
  bool Failed(TeamReason reason, const OdbcError& why, TeamError& error);
  std::optional<std::vector<TeamServer>> Select(bool users, bool passwords, TeamError& error);
  bool Insert(TeamServer& server, TeamError& error);

  OdbcConnection db_;
  std::string connection_;
  std::string password_;
  std::optional<TeamKey> key_;
};

}  // namespace korvane
