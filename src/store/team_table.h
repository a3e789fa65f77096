// Table Server as the windows reach it when their data file belongs to a team: the few
// statements they use on it, answered from the team's database instead of the file.
//
// It also remembers the version of each server as the operator last saw it (in the list or in
// the details), so that a change or a delete touches the row only as the operator saw it.
//
// Every call reaches the store through a worker (TeamWorker): a database that stops answering
// holds the window for the worker's bound at most, and the list's refresh never holds it.
#pragma once

#include <ctime>
#include <functional>
#include <unordered_map>
#include <memory>
#include <string>
#include <vector>

#include "store/store.h"
#include "store/team.h"
#include "store/team_copy.h"
#include "store/team_worker.h"

namespace korvane::store_detail {

struct TableRow {
  long long id = 0;
  std::vector<SqlValue> values;
};

class TeamTable {
 public:
  // `copy`: where the member's file keeps its copy of the list, for a team that allows one.
  TeamTable(std::unique_ptr<TeamStore> store, std::string name, TeamCopyPlace copy = {});
  ~TeamTable();

  // Connects the store and makes it use the team's key. The file's copy of the list is kept up
  // from then on when the team allows it, and dropped when it does not. A database that cannot
  // be reached (no connection, no answer in time) gives the copy instead, when the file holds
  // one: true then, with LastError saying why, and OfflineSince the copy's time.
  bool Open(const std::string& connection, const std::string& password, TeamKey key);
  // While the list is the file's copy: when the copy was last the team's list. Every refresh
  // then tries to connect again, and once the database answers the list is the team's again.
  std::optional<std::time_t> OfflineSince() const;

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
  // Connects, takes the team's key and reads whether the team allows members a copy.
  static bool ConnectWithKey(TeamStore& store, const std::string& connection, Answer& a);
  // With the team's settings read: the copy kept up (from the list's next read) or dropped.
  void KeepCopy(bool allowed);
  bool OpenOffline(const std::string& connection, const std::string& password, std::string key);
  // The database answered the question that connects again: the list becomes the team's.
  std::optional<std::pair<std::vector<TableRow>, std::vector<long long>>> GoLive(Answer& answer);

  TeamWorker worker_;
  std::string name_;
  TeamError error_;
  std::unordered_map<long long, long long> seen_;  // id: version as the operator last saw it
  std::unordered_map<long long, long long> read_;  // id: version as last read for a write
  std::unordered_map<long long, long long> listed_;  // id: version as the list shows it
  long long lastChange_ = 0;  // the change mark the list was read or refreshed up to
  std::optional<Refresh> refresh_;  // the refresh's question under way
  TeamCopyPlace place_;
  std::unique_ptr<TeamCopyKeeper> copy_;  // while the team allows a copy
  struct Offline;
  std::unique_ptr<Offline> offline_;  // while the list is the file's copy
};

}  // namespace korvane::store_detail
