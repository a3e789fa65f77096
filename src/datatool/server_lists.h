// The lists that import and team push add servers to: the data file's own table Server, or the
// team's list on its database server. Both read the rows to add first, sort them against what
// the list holds (SortRows) and then add the new ones in one go, whichever list it is.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "datatool/commands.h"
#include "datatool/import/import.h"
#include "store/team.h"

namespace korvane::tool {

// A server of the list as a row to be added is compared with it: host, port, user and the
// password in clear.
struct HeldServer {
  std::string host, port, user, password;
  bool opens = true;  // false for a sealed password that does not open: it equals no row's
  ~HeldServer() { Wipe(password); }
};

class ServerList {
 public:
  virtual ~ServerList() = default;
  // The servers held now; a password may stay sealed until Open. False after saying why on
  // the command's `err`.
  virtual bool Read(std::vector<HeldServer>& held) = 0;
  // The password of one server that Read gave, in clear, or `opens` false. False after saying
  // why, when what opens it could not be had.
  virtual bool Open(HeldServer& server) = 0;
  // Adds the servers, all or none. False after saying why.
  virtual bool AddAll(const std::vector<const import::ImportedServer*>& servers) = 0;
};

// How the rows of one source stand against the servers the list held before.
struct Sorting {
  std::vector<const import::ImportedServer*> added;
  // Among those added: rows whose host, port and user a server of the list has with another
  // password. Both are kept; the operator is told, so that the stale one can be deleted.
  std::vector<const import::ImportedServer*> beside;
  std::size_t alreadyThere = 0;
};

// Every row of the source is added, its own repeats included: a row is already there only
// when the list held a server with the same host, port, user and password before (the remark
// may differ). Only where host, port and user match does a password need opening. False after
// saying why.
bool SortRows(ServerList& list, const std::vector<import::ImportedServer>& rows, Sorting& sorting);

// "web-01 (host 10.0.0.7, port 3389, user ops)", for a message.
std::string RowLabel(const import::ImportedServer& row);

// Wipes the clear passwords of the rows read, on every way out.
struct WipedRows {
  std::vector<import::ImportedServer>& rows;
  ~WipedRows() {
    for (auto& row : rows) Wipe(row.password);
  }
};

// " (1 already there, 2 skipped)": the counts that are not 0, each worded by its message;
// empty when all are 0.
std::string CountsText(std::initializer_list<std::pair<std::size_t, Msg>> counts);

// A team's list, through a store that MemberTeam connected. `path` is the member file, for
// messages; `cannotAdd` words a failed AddAll ({0} the path, {1} why).
class TeamServers : public ServerList {
 public:
  TeamServers(const Invocation& call, TeamStore& store, std::string path, Msg cannotAdd)
      : call_(call), store_(store), path_(std::move(path)), cannotAdd_(cannotAdd) {}
  bool Read(std::vector<HeldServer>& held) override;
  bool Open(HeldServer&) override { return true; }  // Read opened every one
  bool AddAll(const std::vector<const import::ImportedServer*>& servers) override;

 private:
  const Invocation& call_;
  TeamStore& store_;
  std::string path_;
  Msg cannotAdd_;
};

}  // namespace korvane::tool
