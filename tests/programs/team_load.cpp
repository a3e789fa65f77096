// Many members on one team list at once, and the database server killed under them: the load
// and fault runs of scripts/team-load, which checks what the members report against what the
// database holds.
//
//   team_load init CONNECTION PASSWORD SERVERS
//       makes the team (passphrase "load") with SERVERS servers, and the members' database user
//       korvane_load_member (same password) with the team's editor role only; prints the key
//   team_load member CONNECTION PASSWORD KEY NAME CHANGES SEED [PAUSE_MS]
//       CHANGES random changes (most change a server, some delete or add one), refreshing the
//       member's own view before each as the window does; one line per outcome on standard
//       output: "done change ID VERSION MARK", "done delete ID", "done add ID MARK",
//       "refused ...", "failed ..."; at the end "view N" and, when the member's view is the
//       database's list, "matches"
//   team_load verify CONNECTION PASSWORD KEY REPORT...
//       checks the database against the members' reports; prints the counts, exits 1 on a fault
//
// Every change writes its mark into both the remark and the password of the row, so a row whose
// two differ was half-written.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "store/odbc.h"
#include "store/team.h"

namespace korvane {
namespace {

struct Seen {
  long long version;
  std::string remark;
};

int Init(const std::string& connection, const std::string& password, int servers) {
  TeamStore store;
  TeamError error;
  if (!store.Connect(connection, password, error) || !store.Init("load", error, 1000)) {
    std::cerr << "init: " << error.detail << "\n";
    return 2;
  }
  std::vector<TeamServer> rows;
  for (int i = 0; i < servers; ++i) rows.push_back({0, 0, "10.9." + std::to_string(i / 256) + "." + std::to_string(i % 256), "3389", "ops", "start", "start"});
  auto key = store.KeyOf("load", error);
  if (!key || !store.AddAll(rows, error)) {
    std::cerr << "init: " << error.detail << "\n";
    return 2;
  }
  // The members work as a member's database user, with no right beyond the editor's.
  OdbcConnection admin;
  const auto roles = store.Roles();
  if (!roles || !admin.Connect(connection + "Pwd={" + password + "};") ||
      !admin.Execute("CREATE ROLE korvane_load_member LOGIN PASSWORD '" + password + "' IN ROLE " + roles->editor)) {
    std::cerr << "init: cannot make the members' user: " << admin.Error().message << "\n";
    return 2;
  }
  std::cout << key->Text() << "\n";
  return 0;
}

// The member's view brought up to date, as the window's refresh does.
bool Refresh(TeamStore& store, std::map<long long, Seen>& view, long long& since) {
  TeamError error;
  auto changes = store.ChangesSince(since, error);
  if (!changes) return false;
  if (changes->complete) view.clear();
  for (const TeamServer& server : changes->changed) view[server.id] = {server.version, server.remark};
  for (long long id : changes->deleted) view.erase(id);
  since = changes->upTo;
  return true;
}

double Now() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// An action's outcome, with when it ended (seconds since 1970, as `date +%s.%N` gives) and how
// long it took, for the script to measure a failover by.
void Say(const std::string& line, double began) {
  const double ended = Now();
  std::cout << line << " @" << std::fixed << std::setprecision(3) << ended << " " << ended - began << "\n";
  std::cout.flush();
}

int Member(const std::string& connection, const std::string& password, const std::string& keyText,
           const std::string& name, int changes, unsigned seed, int pauseMs) {
  TeamStore store;
  TeamError error;
  auto key = TeamKey::FromText(keyText);
  if (!key || !store.Connect(connection, password, error) || !store.UseKey(std::move(*key), error)) {
    std::cerr << name << ": " << error.detail << "\n";
    return 2;
  }
  std::map<long long, Seen> view;
  long long since = 0;
  std::mt19937 random(seed);
  for (int n = 0; n < changes; ++n) {
    if (pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    const double began = Now();
    if (!Refresh(store, view, since)) {
      Say("failed refresh", began);
      // The server is away: the next action tries again a little later, as an operator would.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      continue;
    }
    const std::string mark = name + "-" + std::to_string(n);
    const int kind = static_cast<int>(random() % 10);
    if (view.empty() || kind == 0) {
      TeamServer added{0, 0, "10.8.0." + std::to_string(n % 256), "3389", "ops", mark, mark};
      Say(store.Add(added, error) ? "done add " + std::to_string(added.id) + " " + mark : "failed add", began);
      continue;
    }
    auto at = view.begin();
    std::advance(at, static_cast<long>(random() % view.size()));
    const long long id = at->first;
    if (kind == 1) {
      const bool deleted = store.Delete(id, at->second.version, error);
      const bool refused = !deleted && (error.reason == TeamReason::kChangedByAnother || error.reason == TeamReason::kGone);
      Say(std::string(deleted ? "done" : refused ? "refused" : "failed") + " delete " + std::to_string(id), began);
      continue;
    }
    TeamServer changed{id, at->second.version, "10.9.9.9", "3389", "ops", mark, mark};
    if (store.Change(changed, error)) {
      Say("done change " + std::to_string(id) + " " + std::to_string(changed.version) + " " + mark, began);
    } else {
      const bool refused = error.reason == TeamReason::kChangedByAnother || error.reason == TeamReason::kGone;
      Say(std::string(refused ? "refused" : "failed") + " change " + std::to_string(id), began);
    }
  }
  // The member's view at the end, against the database's list. Others may still be at work:
  // refreshed again until they are done, the view must come to be the list.
  bool same = false;
  for (int attempt = 0; attempt < 100 && !same; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto list = Refresh(store, view, since) ? store.List(error) : std::nullopt;
    same = list && list->size() == view.size();
    for (std::size_t i = 0; same && i < list->size(); ++i) {
      const auto found = view.find((*list)[i].id);
      same = found != view.end() && found->second.version == (*list)[i].version &&
             found->second.remark == (*list)[i].remark;
    }
  }
  std::cout << "view " << view.size() << (same ? " matches" : " differs") << "\n";
  return 0;
}

int Verify(const std::string& connection, const std::string& password, const std::string& keyText,
           const std::vector<std::string>& reports) {
  TeamStore store;
  TeamError error;
  auto key = TeamKey::FromText(keyText);
  if (!key || !store.Connect(connection, password, error) || !store.UseKey(std::move(*key), error)) {
    std::cerr << "verify: " << error.detail << "\n";
    return 2;
  }
  // Every password opens, or the list is not read at all.
  auto rows = store.ListWithPasswords(error);
  if (!rows) {
    std::cout << "FAULT: the list does not read with its passwords: " << error.detail << "\n";
    return 1;
  }
  for (const TeamServer& row : *rows) {
    if (!row.passwordOpens) {
      std::cout << "FAULT: the password of server " << row.id << " does not open\n";
      return 1;
    }
  }
  std::map<long long, TeamServer> held;
  for (TeamServer& row : *rows) held[row.id] = row;
  std::map<long long, int> doneChanges;
  std::map<long long, std::pair<long long, std::string>> lastDone;  // by version
  int done = 0, refused = 0, failed = 0, faults = 0, views = 0, matching = 0;
  std::vector<long long> deleted, added;
  for (const std::string& path : reports) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      std::string outcome, what;
      words >> outcome >> what;
      if (outcome == "view") {
        ++views;
        matching += line.ends_with("matches");
        continue;
      }
      if (outcome == "refused") ++refused;
      if (outcome == "failed") ++failed;
      if (outcome != "done") continue;
      ++done;
      long long id = 0;
      words >> id;
      if (what == "change") {
        long long version = 0;
        std::string mark;
        words >> version >> mark;
        ++doneChanges[id];
        if (version > lastDone[id].first) lastDone[id] = {version, mark};
      } else if (what == "delete") {
        deleted.push_back(id);
      } else {
        added.push_back(id);
      }
    }
  }
  for (const auto& [id, row] : held) {
    if (row.remark != row.password) {
      ++faults;
      std::cout << "FAULT: server " << id << " half-written: remark " << row.remark << ", password " << row.password << "\n";
    }
    // Each reported change moved the version on by one: two reported from the same version
    // would be a lost update. A change the server made but could not report (a kill between
    // its commit and the answer) may add one more.
    const int changes = doneChanges.count(id) ? doneChanges[id] : 0;
    if (row.version < 1 + changes) {
      ++faults;
      std::cout << "FAULT: server " << id << " at version " << row.version << " after " << changes << " reported changes\n";
    }
    const auto last = lastDone.find(id);
    if (last != lastDone.end() && last->second.first == row.version && last->second.second != row.remark) {
      ++faults;
      std::cout << "FAULT: server " << id << " lost the change " << last->second.second << "\n";
    }
  }
  for (long long id : deleted) {
    if (held.count(id)) {
      ++faults;
      std::cout << "FAULT: server " << id << " was reported deleted and is there\n";
    }
  }
  for (long long id : added) {
    if (!held.count(id) && std::find(deleted.begin(), deleted.end(), id) == deleted.end()) {
      ++faults;
      std::cout << "FAULT: server " << id << " was reported added and is missing\n";
    }
  }
  std::cout << "servers " << held.size() << ", done " << done << ", refused " << refused << ", failed " << failed
            << ", members whose view is the database's " << matching << " of " << views << ", faults " << faults << "\n";
  return faults == 0 && matching == views ? 0 : 1;
}

}  // namespace
}  // namespace korvane

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "init") return korvane::Init(args[1], args[2], std::stoi(args[3]));
  if ((args.size() == 7 || args.size() == 8) && args[0] == "member") {
    return korvane::Member(args[1], args[2], args[3], args[4], std::stoi(args[5]), static_cast<unsigned>(std::stoul(args[6])),
                           args.size() == 8 ? std::stoi(args[7]) : 0);
  }
  if (args.size() >= 5 && args[0] == "verify") {
    return korvane::Verify(args[1], args[2], args[3], std::vector<std::string>(args.begin() + 4, args.end()));
  }
  std::cerr << "usage: team_load init|member|verify ...\n";
  return 2;
}
