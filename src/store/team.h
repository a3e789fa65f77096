// A team's server list on a database server (PostgreSQL, through ODBC), shared by the data
// files of the team's members.
//
// The database holds the team's schema (team_schema.cpp): korvane.team (name, value: the
// schema version, the team's name, the key derivation's salt and count, a key check) and
// korvane.server (id, version, host, port, username, password, remark, change, changed_by,
// changed_at), with tombstones of deleted servers and the connection log. Passwords are sealed
// with the team key before they leave the machine, each bound to its row, host, port and user,
// so a dump shows none and a sealed value moved elsewhere does not open. Every change and
// delete names the version the operator saw and changes the row only if it still has it: a
// concurrent change is refused, never overwritten.
//
// No operation throws; a failure is a false result (or nullopt) and TeamError says why. A
// failure that may have cost the connection drops it, and the next operation connects again.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/crypto.h"
#include "store/odbc.h"
#include "store/team_schema.h"

namespace korvane {

// 2: the team's own schema and roles (team_schema.h), passwords bound to host, port and user.
// 3: the history of changed and deleted servers, and the administrator's settings. A team made
// at 2 is still read and written; its history waits for `team upgrade`.
inline constexpr long long kTeamSchemaVersion = 3;
inline constexpr long long kTeamOldestSchema = 2;
inline constexpr unsigned long kTeamIterations = 600000;
inline constexpr long long kTeamHistoryDays = 90;
// The bounds of every session: connecting, any one statement, a lock waited for. A database
// that stops answering or a member that holds a lock costs the others this long, not for ever.
inline constexpr unsigned long kTeamConnectSeconds = 4;
inline constexpr unsigned long kTeamStatementSeconds = 15;
inline constexpr unsigned long kTeamLockSeconds = 3;
// A connection that has not answered for this long is asked whether its server is still there
// before an operation goes on it.
inline constexpr std::chrono::seconds kTeamQuietSeconds{1};

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
  kTimedOut,            // the database did not answer within the bound; detail: the seconds
  kServerTooOld,        // the database server is older than the team needs; detail: its version
  kOldSchema,           // made by an earlier version of this program, before the team's own schema
  kNotAdministrator,    // only the team's administrator may do this; detail: the role
  kBadDatabaseName,     // init: the database's name cannot name the team's roles; detail: it
  kCount
};

struct TeamError {
  TeamReason reason = TeamReason::kNone;
  std::string detail;
  long long row = 0;
};

// What a sealed password belongs to: the team, its row, and the host, port and user it opens
// a session to. Moved to another row, or its row's host, port or user changed without it, the
// value does not open, so nobody who can write the table sends a member's password elsewhere.
struct TeamSealing {
  long long row = 0;
  std::string_view host, port, user, team;
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
  std::string CheckText() const;  // what the team's settings hold to tell the right key
  bool Checks(const std::string& stored) const;

  // A server password as its row stores it; empty stays empty.
  std::optional<std::string> Seal(std::string_view password, const TeamSealing& of) const;
  std::optional<std::string> Open(const std::string& stored, const TeamSealing& of) const;

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
  // Whether members' data files may keep a sealed copy of the list for when the database
  // cannot be reached ("on"; off unless the administrator allows it).
  bool offlineCopy = false;
  // How long the history of changed and deleted servers is kept.
  long long historyDays = kTeamHistoryDays;
};

// One server of the team. `password` is in clear on this side only.
struct TeamServer {
  long long id = 0;
  long long version = 0;
  std::string host, port, user, password, remark;
  // False when the stored password did not open (sealed under another key, for another host
  // or user, or not a sealed value at all): `password` is then empty and must be typed again.
  bool passwordOpens = true;
  // Each one wipes its password when it goes. It has no move, so a list that grows copies its
  // servers and the old ones wipe themselves: a moved short password would leave its characters
  // in the old room, freed as it was.
  ~TeamServer();
};

// What changed in the team's list after a change mark: the servers added or changed (as List
// gives them) and the ids of those deleted, and the mark to ask from next time. Changes still
// uncommitted at one answer come again in a later one, so a server may come again unchanged.
// `complete`: the mark was older than what the database keeps of deletions, or another server
// answers than before (a restart, a standby taking over), so `changed` is
// the whole list and every server not in it was deleted.
struct TeamChanges {
  long long upTo = 0;
  std::vector<TeamServer> changed;
  std::vector<long long> deleted;
  bool complete = false;
};

// A line of the connection log, as the database recorded it.
struct TeamLogLine {
  std::string at;  // the database's clock, ISO 8601 with its time zone
  std::string member;
  long long server = 0;
  std::string host, port;
};

// A version of a server that a change or a deletion replaced (korvane.server_history), as
// the history lists it: never its password, only whether it opens.
struct TeamHistoryRow {
  long long change = 0;  // the history row's own id, which restore names
  long long server = 0, version = 0;
  std::string host, port, user, remark;
  std::string changedBy, changedAt;    // who made this version, and when
  std::string replacedBy, replacedAt;  // who changed or deleted it, and when (ISO 8601)
  bool deleted = false;
  bool passwordOpens = false;
};

// What `restore --before` did, or why it did nothing: the history does not reach back to the
// time (`reach` is how far it does), or not for the servers in `unknown`.
struct TeamRestoreCounts {
  std::size_t cameBack = 0, changedBack = 0, deleted = 0;
  bool beforeReach = false;
  std::string reach;
  std::vector<long long> unknown;
};

// The settings the team's administrator chooses (TeamSettings::offlineCopy and historyDays).
enum class TeamSetting { kOfflineCopy, kHistoryDays };

// Whether a commit the server reports done waits for a synchronous standby.
struct TeamDurability {
  std::string standbyNames, synchronousCommit;
  bool OnStandby() const;
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
  // A store for the same team (connection string, password, key), not connected: what a caller
  // takes in place of one whose connection stopped answering, which it leaves to the thread
  // still waiting on it.
  std::unique_ptr<TeamStore> Copy() const;
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
  // The same with every password opened; a password that does not open is passed over, its
  // server marked (passwordOpens false) for the caller to name.
  std::optional<std::vector<TeamServer>> ListWithPasswords(TeamError& error);
  // One server with its password opened (or marked as not opening); nullopt with kGone when
  // there is none with that id.
  std::optional<TeamServer> Read(long long id, TeamError& error);

  // A new server; its id and version are filled in.
  bool Add(TeamServer& server, TeamError& error);
  // Several in one transaction: all or none. With `leaveOutHeld`, a server the list holds
  // already (the same host, port, user and password) is left out, its id 0: the list is read
  // inside the transaction, so what another member added a moment ago counts.
  bool AddAll(std::vector<TeamServer>& servers, TeamError& error, bool leaveOutHeld = false);
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

  // A line in the connection log: the database adds who and when, and the host and port from
  // the server's row.
  bool LogConnection(long long server, TeamError& error);
  // The log from `since` on (a date or time PostgreSQL reads, such as 2026-12-01; every line
  // when empty), oldest first.
  std::optional<std::vector<TeamLogLine>> ConnectionLog(const std::string& since, TeamError& error);

  // A new passphrase, for the team's administrator only: a fresh salt, every password opened
  // and sealed again, the new check, in one transaction; who changed each server last stays.
  // A password that does not open is left as it is and its server put in `unopened`: it opens
  // under no key and must be typed again. The store uses the new key afterwards.
  bool Rekey(std::string_view passphrase, TeamError& error, unsigned long iterations = kTeamIterations,
             std::vector<TeamServer>* unopened = nullptr);
  // team_history.cpp. One of the administrator's settings ("on"/"off", or a count of days;
  // the database checks it); kNotAdministrator for anyone else.
  bool SetSetting(TeamSetting setting, const std::string& value, TeamError& error);
  std::optional<TeamDurability> Durability(TeamError& error);
  // The history, oldest first; of one server when `server` is not 0.
  std::optional<std::vector<TeamHistoryRow>> History(long long server, TeamError& error);
  // The version `from` as a new change: in place at the version read now, or as a new row (its
  // id returned) when the server is gone. kDoesNotOpen when its password does not open.
  // `alreadyThere`: a deleted server whose kept values a server of the list has already (an
  // earlier restore brought it back): that server's id, and nothing changed.
  std::optional<long long> Restore(const TeamHistoryRow& from, TeamError& error, bool* alreadyThere = nullptr);
  // The whole list as it was at `time` (as PostgreSQL reads it), in one transaction.
  std::optional<TeamRestoreCounts> RestoreBefore(const std::string& time, TeamError& error);
  // Brings a team made at version 2 to this one, as the user who made it (who may act as
  // the owner role: kNotAdministrator otherwise).
  bool Upgrade(TeamError& error);

  // The team's roles, named after its database (after ReadSettings, Init or UseKey).
  std::optional<TeamRoles> Roles() const { return TeamRolesFor(team_); }

 private:
  // Connected, connecting first when not. `ask`: a connection quiet for kTeamQuietSeconds is
  // asked whether its server still answers, and made anew when not.
  bool Ready(TeamError& error, bool ask = true);
  bool StillAnswers();
  bool Failed(TeamReason reason, const OdbcError& why, TeamError& error);
  std::optional<std::vector<TeamServer>> Select(bool users, bool passwords, TeamError& error);
  bool Insert(TeamServer& server, TeamError& error);
  // For AddAll: marks in `held` the servers the list holds already.
  bool MarkHeld(const std::vector<TeamServer>& servers, std::vector<bool>& held, TeamError& error);
  std::optional<std::vector<SqlValue>> OneRow(const std::string& sql, const std::vector<SqlValue>& parameters,
                                              TeamError& error);
  TeamSealing SealingOf(const TeamServer& server) const;
  // In a rekey's transaction: every kept password sealed again under `newKey`.
  bool ResealHistory(const TeamKey& newKey, TeamError& error);
  // The version kept in history row `change`, its password opened; nullopt with kDoesNotOpen
  // (row: the server) when the password does not open, kGone when the row is not there.
  std::optional<TeamServer> KeptVersion(long long change, TeamError& error);
  // `kept` into the list: changed in place at the version the list has now, or added anew
  // when its server is gone; the id it has then.
  std::optional<long long> PutBack(TeamServer& kept, TeamError& error);

  OdbcConnection db_;
  std::string connection_;
  std::string password_;
  std::optional<TeamKey> key_;
  // The state of the last failure the database gave (SQLSTATE), for what may be tried again.
  std::string lastState_;
  std::string team_;  // the team's name, to which each sealed password is bound
  // When the server of the last connection started, and whether a later connection found
  // another (restarted, or a standby promoted): what was read before may be gone.
  std::string serverStarted_;
  bool serverChanged_ = false;
  std::chrono::steady_clock::time_point lastAnswer_;
};

}  // namespace korvane
