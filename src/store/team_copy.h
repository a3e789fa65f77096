// A member's copy of the team's list, kept in the data file for when the team's database cannot
// be reached, if the team allows it (TeamSettings::offlineCopy).
//
// Table TeamCopy holds one row per server: its id and version, which say nothing, and every
// other value (host, port, user, password, remark) in one value sealed under the file's login
// key as the membership's secrets are, bound to the team's connection and the row's id. A stolen
// file so reveals of the team's servers only how many there are. Table TeamCopyState holds the
// time of the copy (when it was last known to be the team's list) and a sealed check, which
// tells at once whether the copy opens with this login's key at all: after a new login password
// it does not, and is made anew.
//
// Every write overwrites the space it frees (secure_delete), and a dropped copy leaves none of
// its bytes in the file.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <functional>
#include <memory>
#include <unordered_set>

#include "store/protection.h"
#include "store/team.h"
#include "store/team_worker.h"

struct sqlite3;

namespace korvane {

inline constexpr const char* kTeamCopyTable = "TeamCopy";
inline constexpr const char* kTeamCopyStateTable = "TeamCopyState";

// What a copy opens with: the login's keys and the team's connection string as the membership
// holds it.
struct TeamCopyKey {
  const LoginKeys& keys;
  std::string connection;
};

struct TeamCopyContents {
  std::time_t at = 0;
  std::vector<TeamServer> servers;  // in id order
};

bool HasTeamCopy(sqlite3* db);
// The copy with every value opened; nullopt when the file holds none, or one that does not
// open with this key (another login password, another team, a value changed in the file).
std::optional<TeamCopyContents> ReadTeamCopy(sqlite3* db, const TeamCopyKey& key);
// The version of each server the copy holds, without opening them; nullopt when there is no
// copy that opens with this key, which is then to be made anew.
std::optional<std::unordered_map<long long, long long>> TeamCopyVersions(sqlite3* db, const TeamCopyKey& key);
// Of these servers of the copy, those whose values do not open as written.
std::vector<long long> UnopenedTeamCopyRows(sqlite3* db, const TeamCopyKey& key, const std::vector<long long>& ids);
// In one transaction: `servers` written over the rows of their ids, `deleted` taken out, and
// the copy's time set to `at` when given. With `anew`, every row there was goes first and the
// check is written for this key.
bool WriteTeamCopy(sqlite3* db, const TeamCopyKey& key, const std::vector<TeamServer>& servers,
                   const std::vector<long long>& deleted, std::optional<std::time_t> at, bool anew);
// The copy gone, its freed space overwritten and the file rebuilt; true when there was none.
bool DropTeamCopy(sqlite3* db);

// Where a team's copy lives: the data file's connection as it is at each call (the window may
// open the file anew), the login whose keys seal it, and the team's connection string.
struct TeamCopyPlace {
  std::function<sqlite3*()> file;
  const LoginSession* session = nullptr;
  std::string connection;
};

namespace store_detail {

// Keeps a file's copy up with the list the window shows, for TeamTable. The table tells it the
// list as read whole and each server the refresh changed or deleted; at each refresh it fetches
// the values of the servers whose copy is behind (on the worker, beside the window, with the
// passwords only the store opens) and writes them when they come. So a refresh costs what
// changed, and the window never waits for the copy.
class TeamCopyKeeper {
 public:
  explicit TeamCopyKeeper(TeamCopyPlace place);
  ~TeamCopyKeeper();

  // The list was read whole: at the next step it is compared with the copy, and every server
  // the copy lacks or holds at another version is fetched, and every one the list lacks goes.
  // The copy's rows are then opened a few hundred at each refresh, and one spoiled in the file
  // is fetched again.
  void Listed() { compare_ = true; }
  // A server the refresh brought or took out of the list.
  void Touched(long long id) { behind_.insert(id); }
  // At each refresh: writes what a fetch brought, or starts the next fetch. `answered`: the
  // database answered the refresh, so a copy with nothing behind is the list as of now.
  void Step(TeamWorker& worker, const std::unordered_map<long long, long long>& listed, bool answered);
  // True when the copy has nothing behind and no fetch under way.
  bool Current() const { return behind_.empty() && !fetch_; }

 private:
  struct Fetched;
  void Compare(sqlite3* db, const LoginKeys& keys, const std::unordered_map<long long, long long>& listed);
  bool Write(const std::vector<TeamServer>& servers, const std::vector<long long>& deleted,
             const std::unordered_map<long long, long long>& listed);

  TeamCopyPlace place_;
  // The versions the copy holds, the servers that may be behind, and whether the copy is to be
  // made anew (none yet, or one that does not open with the login's key).
  std::unordered_map<long long, long long> versions_;
  std::unordered_set<long long> behind_;
  std::vector<long long> unchecked_;  // the copy's rows not yet opened since the comparison
  bool anew_ = true;
  bool compare_ = false;
  bool firstLook_ = true;  // no step yet: the first one leaves the comparison to the next
  ProtectionSettings keysOf_;  // the login's keys the copy was checked against
  std::time_t stamped_ = 0;
  struct Fetch {
    std::shared_ptr<const TeamWorker::Job> job;
    std::shared_ptr<Fetched> fetched;
  };
  std::optional<Fetch> fetch_;
};

}  // namespace store_detail
}  // namespace korvane
