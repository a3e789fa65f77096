// A database server reached through ODBC: Windows' odbc32 and its PostgreSQL driver in the
// program, unixODBC and the same driver natively.
//
// Raw ODBC rather than a database library: what the store needs is small (connect, prepared
// statements with bound values, rows, transactions, the driver's diagnostics), and a library
// such as SOCI would have to be built for mingw and carried along for a few hundred lines'
// worth of calls.
//
// Text is UTF-8 on this side and UTF-16 on the driver's side on both platforms (the wide
// calls everywhere), so no code page ever touches a value. No operation throws: a failure is
// a false result (or kError), and Error() then holds the driver's diagnostic. Handles are
// freed by the destructors, whatever path a caller takes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/store.h"  // SqlValue: null, integer or text, as the data file binds them

namespace korvane {

// The driver manager's environment and connection handles, shared by a connection and its
// statements.
struct OdbcSession;

// What the driver manager or the driver said about the last failure. `sqlstate` is the first
// record's five-character state ("08001", "28P01", ...); `message` joins every record's text,
// one a line. Both empty when nothing failed. A failure this side finds before the driver is
// asked (text that is not UTF-8) has a message and no state.
struct OdbcError {
  std::string sqlstate;
  std::string message;
  bool empty() const { return sqlstate.empty() && message.empty(); }
};

class OdbcConnection {
 public:
  OdbcConnection();
  ~OdbcConnection();  // rolls back an open transaction and disconnects
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // Connects with a full connection string ("Driver={...};Server=...;Pwd=...;") and never
  // asks the user for anything missing. Any earlier connection is closed first. The copies
  // of the string made on the way are wiped, since it usually carries a password. A login
  // timeout other than 0 bounds the connecting (the PostgreSQL driver hands it to libpq as its
  // connect timeout), so that a server that takes the connection and never answers costs
  // that long and no more.
  bool Connect(const std::string& connection_string, unsigned long loginTimeoutSeconds = 0);
  void Disconnect();
  bool IsConnected() const;

  // Autocommit is on after Connect: each statement is its own transaction. Turned off, the
  // statements that follow make one transaction, ended by Commit or Rollback.
  bool SetAutoCommit(bool on);
  bool Commit();
  bool Rollback();

  // Prepares and runs one statement that returns no rows. nullopt on failure, else what
  // RowCount says.
  std::optional<long long> Execute(const std::string& sql, const std::vector<SqlValue>& parameters = {});

  const OdbcError& Error() const { return error_; }

 private:
  friend class OdbcStatement;
  bool EndTransaction(bool commit);
  std::shared_ptr<OdbcSession> session_;
  OdbcError error_;
};

// One prepared statement. It keeps its connection's session alive, so a statement that
// outlives its OdbcConnection object is still freed before the connection is closed.
class OdbcStatement {
 public:
  enum class Fetched { kRow, kEnd, kError };

  explicit OdbcStatement(OdbcConnection& connection);
  ~OdbcStatement();
  OdbcStatement(const OdbcStatement&) = delete;
  OdbcStatement& operator=(const OdbcStatement&) = delete;

  // "?" marks each parameter. False when not connected or the server refuses the text.
  bool Prepare(const std::string& sql);
  // Binds one value per "?" and runs the statement; a statement can run again with other
  // values. Any rows of an earlier run that were not fetched are dropped.
  bool Execute(const std::vector<SqlValue>& parameters);
  // Rows changed by the last Execute (an UPDATE or DELETE that matched nothing gives 0);
  // -1 for a statement that changes no rows, such as CREATE TABLE.
  long long RowCount();
  // The next row of the result: integer columns as integers, SQL NULL as null, every other
  // type as its text, however long.
  Fetched Fetch(std::vector<SqlValue>& row);

  const OdbcError& Error() const { return error_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  OdbcError error_;
};

}  // namespace korvane
