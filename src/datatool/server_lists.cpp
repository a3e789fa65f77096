#include "datatool/server_lists.h"

#include "datatool/messages.h"

namespace korvane::tool {

bool SortRows(ServerList& list, const std::vector<import::ImportedServer>& rows, Sorting& sorting) {
  std::vector<HeldServer> held;
  if (!list.Read(held)) return false;
  // A sealed password is opened once, and only when some row needs it.
  std::vector<bool> opened(held.size(), false);
  for (const auto& row : rows) {
    bool sameServer = false, samePassword = false;
    for (std::size_t i = 0; i < held.size() && !samePassword; ++i) {
      HeldServer& h = held[i];
      if (h.host != row.host || h.port != row.port || h.user != row.user) continue;
      sameServer = true;
      if (!opened[i]) {
        if (!list.Open(h)) return false;
        opened[i] = true;
      }
      samePassword = h.opens && h.password == row.password;
    }
    if (samePassword) {
      ++sorting.alreadyThere;
    } else {
      sorting.added.push_back(&row);
      if (sameServer) sorting.beside.push_back(&row);
    }
  }
  return true;
}

std::string RowLabel(const import::ImportedServer& row) {
  return Format(Msg::kImportedServerLabel, Printable(row.remark), Printable(row.host), Printable(row.port),
                Printable(row.user));
}

std::string CountsText(std::initializer_list<std::pair<std::size_t, Msg>> counts) {
  std::string text;
  for (const auto& [count, what] : counts) {
    if (count > 0) text += Format(text.empty() ? Msg::kCountsOpen : Msg::kCountsSeparator) + Format(what, count);
  }
  if (!text.empty()) text += Format(Msg::kCountsClose);
  return text;
}

bool TeamServers::Read(std::vector<HeldServer>& held) {
  TeamError error;
  auto servers = store_.ListWithPasswords(error);
  if (!servers) {
    return Fail(call_.err, Format(Msg::kPathProblem, path_, Say(error, Printable(store_.ServerName())))), false;
  }
  for (TeamServer& server : *servers) {
    held.push_back({server.host, server.port, server.user, server.password});
    Wipe(server.password);
  }
  return true;
}

bool TeamServers::AddAll(const std::vector<const import::ImportedServer*>& servers) {
  std::vector<TeamServer> added;
  for (const import::ImportedServer* s : servers) {
    added.push_back({0, 0, s->host, s->port, s->user, s->password, s->remark});
  }
  TeamError error;
  const bool stored = added.empty() || store_.AddAll(added, error);
  for (TeamServer& server : added) Wipe(server.password);
  if (!stored) Fail(call_.err, Format(cannotAdd_, path_, Say(error, Printable(store_.ServerName()))));
  return stored;
}

}  // namespace korvane::tool
