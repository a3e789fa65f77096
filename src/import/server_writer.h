// The lists that servers read from other files are added to: the data file's own table
// Server, or a team's list on its database server. Both programs add through here: the
// servers read are sorted against what the list holds (SortRows), to be shown, then added in one
// step, all or none, whichever list it is (AddNew), sorted again inside the write against the
// list as it stands then. Each program words a failure itself.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "import/import.h"
#include "store/protection.h"
#include "store/team.h"
#include "store/team_worker.h"

namespace korvane::import {

// "服务器名", "端口", … : the data file's columns of kServerFields, quoted for SQL.
std::string ServerColumns();

// A server of the list as a row to be added is compared with it: host, port, user and the
// password in clear.
struct HeldServer {
  std::string host, port, user, password;
  bool opens = true;  // false for a sealed password that does not open: it equals no row's
  ~HeldServer();
};

// Why a list could not be read or added to.
struct WriteFailure {
  enum class Step {
    kNone,
    kRead,   // the list could not be read
    kKeys,   // the key for the passwords could not be had; whoever was asked for it said why
    kBegin,  // the data file could not be written at all
    kAdd,    // the servers could not be added; none was
  };
  Step step = Step::kNone;
  std::string detail;              // the data file's own words (SQLite's message)
  std::optional<TeamError> team;   // the team store's reason, for a team's list
  bool stopped = false;            // stopped (StopWhen) before the end; nothing was added
};

// What one write did with the rows it was given, as the list stood when it was made.
struct Addition {
  std::vector<const ImportedServer*> added;  // in their order, `ids` theirs
  std::vector<long long> ids;
  // Rows the list held by then, with the same host, port, user and password: not added again.
  std::vector<const ImportedServer*> there;
};

class ServerList {
 public:
  virtual ~ServerList() = default;
  // The servers held now; a password may stay sealed until Open. False with failure() set.
  virtual bool Read(std::vector<HeldServer>& held) = 0;
  // The password of one server that Read gave, in clear, or `opens` false. False with
  // failure() set, when what opens it could not be had.
  virtual bool Open(HeldServer& server) = 0;
  // Adds those of the rows that the list does not hold when it is written, all or none, in one
  // write: what was sorted before may be out of date by then (another program, or another
  // member, may have added the same servers since), so the list is read again inside the
  // write, and a row is left out by the rule of SortRows. False with failure() set.
  virtual bool AddNew(const std::vector<const ImportedServer*>& rows, Addition& addition) = 0;
  const WriteFailure& failure() const { return failure_; }

  // Asked between servers while reading, opening and adding, from the thread doing it: once
  // true, the work ends soon, failure().stopped, and nothing is added.
  void StopWhen(std::function<bool()> stopped) { stopped_ = std::move(stopped); }
  // True once stopped, with failure() saying so.
  bool StopNow() { return stopped_ && stopped_() && !Failed({.stopped = true}); }
  bool Stopped() const { return stopped_ && stopped_(); }

 protected:
  bool Failed(WriteFailure failure) {
    failure_ = std::move(failure);
    return false;
  }

 private:
  WriteFailure failure_;
  std::function<bool()> stopped_;
};

// How the rows of one source stand against the servers the list held before.
struct Sorting {
  std::vector<const ImportedServer*> added;
  // Among those added: rows whose host, port and user a server of the list has with another
  // password. Both are kept; the operator is told, so that the stale one can be deleted.
  std::vector<const ImportedServer*> beside;
  // Rows the list held already, with the same host, port, user and password.
  std::vector<const ImportedServer*> there;
};

// Every row of the source is added, its own repeats included: a row is already there only
// when the list held a server with the same host, port, user and password before (the remark
// may differ). Only where host, port and user match does a password need opening. False with
// the list's failure() set. In time that grows with the rows and the list, not with their
// product: thirty thousand of each are sorted at once.
bool SortRows(ServerList& list, const std::vector<ImportedServer>& rows, Sorting& sorting);
// The same against a list read already (ServerList::Read), whose passwords are opened here as
// they are needed.
bool SortRows(ServerList& list, std::vector<HeldServer>& held, const std::vector<const ImportedServer*>& rows,
              Sorting& sorting);

// Wipes the clear passwords of the rows read, on every way out.
struct WipedRows {
  std::vector<ImportedServer>& rows;
  ~WipedRows();
};

// The data file's own table Server. A protected file's passwords are opened and sealed with
// the keys of its login password, which `keys` points to (null for a plain file) when a
// password is first to be opened or sealed; it gives false when they cannot be had. They must
// live as long as this list.
class FileServers : public ServerList {
 public:
  using KeysSource = std::function<bool(const LoginKeys*& keys)>;
  FileServers(sqlite3* db, KeysSource keys) : db_(db), keysSource_(std::move(keys)) {}
  bool Read(std::vector<HeldServer>& held) override;
  bool Open(HeldServer& server) override;
  bool AddNew(const std::vector<const ImportedServer*>& rows, Addition& addition) override;

 private:
  bool Keys();
  bool SqliteFailed(WriteFailure::Step step);
  // Inside a transaction begun: the rows, then COMMIT; a failure rolls it back.
  bool InsertAndCommit(const std::vector<const ImportedServer*>& added, std::vector<long long>& ids);

  sqlite3* db_;
  KeysSource keysSource_;
  const LoginKeys* keys_ = nullptr;
  bool keysRead_ = false;
};

// A team's list, through a store that is connected and uses the team's key: called here and
// now, or through the worker that runs it, which waits for each call at most its bound.
class TeamServers : public ServerList {
 public:
  explicit TeamServers(TeamStore& store) : store_(&store) {}
  explicit TeamServers(TeamWorker& worker) : worker_(&worker) {}
  bool Read(std::vector<HeldServer>& held) override;
  bool Open(HeldServer&) override { return true; }  // Read opened every one
  // The list is read inside TeamStore::AddAll's transaction.
  bool AddNew(const std::vector<const ImportedServer*>& rows, Addition& addition) override;

 private:
  struct Call;
  // Runs TeamStore::AddAll on copies of the rows; a row the store left out gets id 0.
  bool Add(const std::vector<const ImportedServer*>& rows, std::vector<long long>& ids);
  // False with `error` set when the worker gave up waiting.
  bool Run(const std::function<void(TeamStore&)>& task, TeamError& error);

  TeamStore* store_ = nullptr;
  TeamWorker* worker_ = nullptr;
};

}  // namespace korvane::import
