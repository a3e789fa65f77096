// The data file as the windows use it: a connection and a record set over SQLite.
//
// No operation throws or shows anything: a failure is a false result, a record count of -1
// or an empty text. A record set opened on a table or a query is a static snapshot, read in
// full and its statement finished at once, so nothing holds a lock between two operations.
// Writes go straight through to the table, each in one transaction.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct sqlite3;

namespace korvane {

class LoginSession;
struct TeamError;
class TeamWorker;

// A value bound to an SQL parameter: null, an integer or a text. Operator text only ever
// reaches SQL this way.
using SqlValue = std::variant<std::monostate, long long, std::string>;

class DBConnection {
 public:
  DBConnection();
  ~DBConnection();
  DBConnection(const DBConnection&) = delete;
  DBConnection& operator=(const DBConnection&) = delete;

  // Closes the connection if open, then opens an existing data file read-write. False for a
  // missing path, a directory, a file that is not a data file of this program, or a wrong
  // database password. Never creates a file.
  bool OpenAccess(const std::string& path, const std::string& password);
  // Opens the file anew and only then lets go of the open one: when the new open fails, the
  // connection stays as it was and false says so.
  bool Reopen(const std::string& path, const std::string& password);
  void Close();
  bool IsOpen() const;

  // Runs one statement in its own transaction; true when the engine accepts it.
  bool ExecuteSql(const std::string& statement);
  bool ExecuteSql(const std::string& statement, const std::vector<SqlValue>& parameters);

  sqlite3* Handle() const;

  // A data file that belongs to a team keeps its Login rows, but its servers are the team's:
  // once the team is open, every statement and record set on table Server reaches the team's
  // database, with the passwords opened and sealed there (the session then passes them as they
  // are). A file of no team gives kNoTeam and stays as it is. kFailed says why in `error`: the
  // database cannot be reached, or the membership or the team's key does not fit. kOffline: the
  // database cannot be reached, and the list is the copy the file keeps (`error` says why).
  enum class TeamOpening { kNoTeam, kOpened, kFailed, kOffline };
  TeamOpening OpenTeam(LoginSession& session, TeamError& error);
  bool InTeam() const;
  // While the team's list is the file's copy: the copy's time (seconds since 1970). Nothing can
  // be changed then; the refresh connects again, and the list is live once the database answers.
  std::optional<long long> TeamOfflineSince() const;
  // The team's name and its database server, for the windows to show.
  std::string TeamName() const;
  std::string TeamServerName() const;
  // Why the last statement or write on a team's servers failed: another operator changed the
  // server meanwhile, or the database could not be reached (the next one connects again).
  const TeamError& TeamFailure() const;

  // What other members changed in the team's list since the list was last read or asked: the
  // rows as the list shows them (id, 备注, 服务器名, 端口) and the ids deleted. A timer asks
  // this, and it never waits for the database: each call takes the answer to the question an
  // earlier call asked, or asks anew (TeamListWait waits for the answer elsewhere). nullopt
  // when no answer is in or nothing changed, for a file of no team, and when the team's
  // database is not connected: the refresh never connects, so a server out of reach never
  // costs the window a connect attempt every few seconds.
  struct ListChanges {
    std::vector<std::vector<std::string>> changed;
    std::vector<std::string> deleted;
  };
  std::optional<ListChanges> TeamListChanges();
  // For a thread other than the window's: waits until the question under way is answered, or
  // for the bound of a call at most. Empty when no question is under way.
  std::function<void()> TeamListWait();
  // False for a member of a team whose database user may only read, and when the database
  // did not answer the question in time (TeamFailure says so then).
  bool TeamMayChange();
  // Records a connect in the team's connection log; a line that cannot be written is left out.
  void TeamLogConnection(const std::string& id);
  // What runs the team's store, connected and with the team's key, for an import that adds
  // many servers in one step; null for a file of no team.
  TeamWorker* Team();

 private:
  // A record set reaches the connection through a shared session, so that one which outlives
  // its connection finds it gone instead of following a dangling pointer.
  friend class RecordSet;
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string failedServer_;  // the team's server that OpenTeam could not reach
};

// Kinds for RecordSet::Open.
inline constexpr int kSourceSql = 1;
inline constexpr int kSourceTable = 2;
inline constexpr int kSearchForward = 1;

class RecordSet {
 public:
  RecordSet();
  ~RecordSet();
  RecordSet(const RecordSet&) = delete;
  RecordSet& operator=(const RecordSet&) = delete;

  // Binds the record set; each later open uses the connection in its state at that moment.
  bool SetConnection(DBConnection& connection);

  // Kind 1: source is SQL text; kind 2: source is a table name. An open record set is closed
  // first, saving a record that is being added or changed. False when no connection is bound,
  // the source is empty, or the engine refuses.
  bool Open(const std::string& source, int kind);
  // Open on SQL with bound parameters ("?" placeholders).
  bool OpenSql(const std::string& sql, const std::vector<SqlValue>& parameters);
  // Open with "select * from " + table + " where " + condition, kind 1.
  bool OpenWhere(const std::string& table, const std::string& condition);
  // Like a record set on the table (writable, AddNew allowed), holding only the rows that
  // match `condition` with its bound parameters: nothing else of the table is read.
  bool OpenTableWhere(const std::string& table, const std::string& condition,
                      const std::vector<SqlValue>& parameters);
  // Saves a pending add or change, then closes.
  void Close();
  bool IsOpen() const;

  // Number of records; -1 when it cannot be read (not open).
  int RecordCount() const;
  bool MoveNext();
  // criterion "field=value"; direction 1 searches forward from the current record.
  bool Find(const std::string& criterion, int direction);

  // Null gives empty text, an integer its decimal digits; empty without a current record.
  std::string ReadText(const std::string& field) const;
  // 0 without a current record or for a field that does not hold an integer.
  int ReadInt(const std::string& field) const;
  // Sets the field of the current record (empty text stores null); false for an unknown field,
  // without a current record, or on a record set opened on a query (no table to write to).
  // Moving to another record (MoveNext, Find, AddNew) saves the pending change first.
  bool WriteText(const std::string& field, const std::string& text);
  // Starts a new record that becomes the current one; its id is known after it is saved. False
  // on a record set opened on a query.
  bool AddNew();
  // Saves the pending add or change in one transaction, waiting a few seconds for a file that
  // another program is writing; on failure cancels it and returns false.
  bool Update();
  // Drops a pending add or change without writing it.
  void CancelUpdate();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace korvane
