// Table Server as the windows reach it when their data file belongs to a team: the few
// statements they use on it, answered from the team's database instead of the file.
//
// It also remembers the version of each server as the operator last saw it (in the list or in
// the details), so that a change or a delete touches the row only as the operator saw it.
//
// Every call reaches the store through a worker (TeamWorker): a database that stops answering
// holds the window for the worker's bound at most, and the list's refresh never holds it.
#pragma once

#include <functional>
#include <unordered_map>
#include <memory>
#include <string>
#include <vector>

#include "store/store.h"
#include "store/team.h"
#include "store/team_worker.h"

namespace korvane::store_detail {

struct TableRow {
  long long id = 0;
  std::vector<SqlValue> values;
};

class TeamTable {
 public:
  TeamTable(std::unique_ptr<TeamStore> store, std::string name);
  ~TeamTable();

  // Connects the store and makes it use the team's key.
  bool Open(const std::string& connection, const std::string& password, TeamKey key);

  // Whether a statement is about table Server, and so the team's to answer.
  static bool NamesServerTable(const std::string& sql);

  // A query on Server: the fields it asks for and the rows. A query by id counts as the
  // operator seeing that server; `seen` false reads without (a read before a write).
  bool Select(const std::string& sql, const std::vector<SqlValue>& parameters, bool seen,
              std::vector<std::string>& fields, std::vector<TableRow>& rows);
  // A row by id for writing, as OpenTableWhere reads it.
  bool SelectForWrite(long long id, std::vector<std::string>& fields, std::vector<TableRow>& rows);
  // A statement that changes Server: only the delete of one server by id.
  bool Execute(const std::string& sql, const std::vector<SqlValue>& parameters);
  // Saves a new row (`add`) or a change of row `id`, from the fields and values the record set
  // holds; a new row's id is filled in.
  bool Write(bool add, const std::vector<std::string>& fields, const std::vector<SqlValue>& values, long long& id);

  // What changed since the list was read or last asked, as list rows, and the ids deleted;
  // see DBConnection. Never waits: a call takes the answer to the question that an earlier one
  // asked, or asks anew.
  std::optional<std::pair<std::vector<TableRow>, std::vector<long long>>> Changes();
  // A wait for the question under way, for another thread than the window's: it returns when
  // the answer is in or the bound has passed. Empty when no question is under way.
  std::function<void()> ChangesWait() const;
  // False for a member who may only read, and when the database did not answer (LastError).
  bool MayChange();
  // The database takes the host and port from the server's row.
  void LogConnection(long long id);

  const TeamError& LastError() const { return error_; }
  const std::string& Name() const { return name_; }
  std::string ServerName() const { return worker_.ServerName(); }
  // The worker, for what adds many servers at once (an import) beside the table's seam.
  TeamWorker& Worker() { return worker_; }

 private:
  struct Answer;
  struct Refresh {
    std::shared_ptr<const TeamWorker::Job> job;
    std::shared_ptr<Answer> answer;
  };
  // Runs `call` on the worker with a fresh answer; false with error_ set when it failed or
  // the database did not answer in time.
  std::shared_ptr<Answer> Call(std::function<bool(TeamStore&, Answer&)> call, std::shared_ptr<Answer> answer = {});
  std::optional<std::pair<std::vector<TableRow>, std::vector<long long>>> Merge(TeamChanges& changes);

  TeamWorker worker_;
  std::string name_;
  TeamError error_;
  std::unordered_map<long long, long long> seen_;  // id: version as the operator last saw it
  std::unordered_map<long long, long long> read_;  // id: version as last read for a write
  std::unordered_map<long long, long long> listed_;  // id: version as the list shows it
  long long lastChange_ = 0;  // the change mark the list was read or refreshed up to
  std::optional<Refresh> refresh_;  // the refresh's question under way
};

}  // namespace korvane::store_detail
