// add-server, list and check on a member file: its servers are its team's, reached through the
// membership that the login password opens. What they print has the form the file's commands
// give, so a script reads both alike.
#include "store/team.h"
#include "datatool/commands.h"
#include "datatool/messages.h"

namespace korvane::tool {

int TeamAddServer(const Invocation& call, sqlite3* db) {
  const std::string& path = call.operands[0];
  TeamStore store;
  if (!MemberTeam(call, db, path, store)) return 1;
  TeamServer server{0, 0, call.operands[1], call.operands[2], call.operands[3], call.operands[4], call.operands[5]};
  TeamError error;
  const bool added = store.Add(server, error);
  Wipe(server.password);
  if (!added) return Fail(call.err, Format(Msg::kCannotAddServer, path, Say(error, Printable(store.ServerName()))));
  call.out << server.id << "\n";
  return 0;
}

bool SayUnopened(const Invocation& call, const std::string& team, const std::vector<TeamServer>& servers) {
  std::string text;
  std::size_t count = 0;
  for (const TeamServer& server : servers) {
    if (server.passwordOpens) continue;
    ++count;
    text += Format(Msg::kPasswordDoesNotOpenLine, server.id, OneLine(server.remark), OneLine(server.host)) + "\n";
  }
  if (count == 0) return true;
  call.err << Format(Msg::kPasswordsDoNotOpen, Printable(team), Servers(count)) << "\n" << text;
  return false;
}

int TeamList(const Invocation& call, sqlite3* db) {
  const std::string& path = call.operands[0];
  const bool passwords = call.HasFlag("--show-passwords");
  TeamStore store;
  std::string name;
  if (!MemberTeam(call, db, path, store, &name)) return 1;
  TeamError error;
  auto servers = passwords ? store.ListWithPasswords(error) : store.List(error);
  if (!servers) return Fail(call.err, Format(Msg::kCannotReadServers, path, Say(error, Printable(store.ServerName()))));
  std::string text = passwords ? "id\tremark\thost\tport\tuser\tpassword\n" : "id\tremark\thost\tport\tuser\n";
  for (TeamServer& server : *servers) {
    text += std::to_string(server.id);
    for (const std::string* value : {&server.remark, &server.host, &server.port, &server.user}) {
      text += '\t' + OneLine(*value);
    }
    if (passwords) text += '\t' + OneLine(server.password);
    text += '\n';
    Wipe(server.password);
  }
  call.out << text;
  Wipe(text);
  // The others are listed; those whose password did not open are named apart, as on a
  // protected file of one's own.
  return SayUnopened(call, name, *servers) ? 0 : 1;
}

int TeamCheck(const Invocation& call, sqlite3* db, const LoginKeys& keys, std::size_t ownServers) {
  const std::string& path = call.operands[0];
  TeamStore store;
  std::string name;
  // Connecting checks the membership, the database password, the team's schema and its key.
  if (!MemberTeam(call, db, path, keys, store, &name)) return 1;
  TeamError error;
  auto servers = store.ListWithPasswords(error);
  const std::string server = Printable(store.ServerName());
  if (!servers) {
    return Fail(call.err, Format(Msg::kPathProblem, path, Format(Msg::kTeamProblem, name, Say(error, server))));
  }
  for (TeamServer& s : *servers) Wipe(s.password);
  if (!SayUnopened(call, name, *servers)) return 1;
  call.out << Format(Msg::kCheckOkMember, path, Servers(ownServers), name, server, Servers(servers->size())) << "\n";
  return 0;
}

}  // namespace korvane::tool
