#include "import/server_writer.h"

#include <variant>

#include "import/server_fields.h"
#include "import/text.h"
#include "store/sqlite_util.h"
#include "store/store.h"

namespace korvane::import {
namespace {

}  // namespace

std::string ServerColumns() {
  std::string columns;
  for (const auto& field : kServerFields) {
    columns += (columns.empty() ? "" : ", ") + sqlite::QuoteIdentifier(field.column);
  }
  return columns;
}

namespace {

// The program's rule, as in the editor: an empty text is stored as null.
SqlValue TextOrNull(const std::string& text) {
  if (text.empty()) return std::monostate{};
  return text;
}

}  // namespace

HeldServer::~HeldServer() { WipeText(password); }

WipedRows::~WipedRows() {
  for (auto& row : rows) WipeText(row.password);
}

bool SortRows(ServerList& list, const std::vector<ImportedServer>& rows, Sorting& sorting) {
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
      sorting.there.push_back(&row);
    } else {
      sorting.added.push_back(&row);
      if (sameServer) sorting.beside.push_back(&row);
    }
  }
  return true;
}

bool FileServers::SqliteFailed(WriteFailure::Step step) { return Failed({step, sqlite3_errmsg(db_)}); }

bool FileServers::Keys() {
  if (!keysRead_ && !keysSource_(keys_)) return Failed({WriteFailure::Step::kKeys});
  keysRead_ = true;
  return true;
}

bool FileServers::Read(std::vector<HeldServer>& held) {
  auto read = sqlite::Prepare(db_, "SELECT 服务器名, 端口, 用户名, 密码 FROM Server");
  if (!read) return SqliteFailed(WriteFailure::Step::kRead);
  int rc;
  while ((rc = sqlite3_step(read.get())) == SQLITE_ROW) {
    held.push_back({sqlite::ColumnText(read.get(), 0), sqlite::ColumnText(read.get(), 1), sqlite::ColumnText(read.get(), 2),
                    sqlite::ColumnText(read.get(), 3)});
  }
  return rc == SQLITE_DONE || SqliteFailed(WriteFailure::Step::kRead);
}

bool FileServers::Open(HeldServer& server) {
  if (!Keys()) return false;
  if (keys_) {
    // One that does not open counts as another password: the row is added.
    auto plain = keys_->Open(server.password, server.host);
    WipeText(server.password);
    server.opens = plain.has_value();
    if (plain) server.password = std::move(*plain);
  }
  return true;
}

bool FileServers::AddAll(const std::vector<const ImportedServer*>& added, std::vector<long long>& ids) {
  ids.clear();
  if (!added.empty() && !Keys()) return false;
  // All or nothing: the servers of one file arrive together or not at all.
  if (!sqlite::Exec(db_, "BEGIN IMMEDIATE")) return SqliteFailed(WriteFailure::Step::kBegin);
  auto insert = sqlite::Prepare(db_, "INSERT INTO Server (" + ServerColumns() + ") VALUES (?, ?, ?, ?, ?)");
  bool ok = insert != nullptr;
  for (std::size_t i = 0; ok && i < added.size(); ++i) {
    const ImportedServer& s = *added[i];
    // The password goes in as the file keeps it: sealed for a protected file, never a clear
    // copy that is then replaced and left unwiped.
    std::optional<std::string> stored = keys_ ? keys_->Seal(s.password, s.host) : std::optional(s.password);
    ok = stored.has_value();
    std::vector<SqlValue> values = {TextOrNull(s.host), TextOrNull(s.port), TextOrNull(s.user), std::monostate{},
                                    TextOrNull(s.remark)};
    if (stored && !stored->empty()) values[3] = std::move(*stored);
    ok = ok && sqlite::Bind(insert.get(), values) && sqlite3_step(insert.get()) == SQLITE_DONE;
    if (ok) ids.push_back(sqlite3_last_insert_rowid(db_));
    sqlite3_reset(insert.get());
    sqlite3_clear_bindings(insert.get());
    if (auto* text = std::get_if<std::string>(&values[3])) WipeText(*text);
    if (stored) WipeText(*stored);
  }
  insert.reset();
  if (!ok || !sqlite::Exec(db_, "COMMIT")) {
    WriteFailure failure{WriteFailure::Step::kAdd, sqlite3_errmsg(db_)};
    sqlite::Exec(db_, "ROLLBACK");
    ids.clear();
    return Failed(std::move(failure));
  }
  return true;
}

// A call's servers and its outcome. The worker's task holds it as long as it runs, which may
// be after the import gave up on it: the passwords are wiped when it goes.
struct TeamServers::Call {
  std::vector<TeamServer> servers;
  bool done = false;
  TeamError error;
  ~Call() {
    for (TeamServer& server : servers) WipeText(server.password);
  }
};

bool TeamServers::Run(const std::function<void(TeamStore&)>& task, TeamError& error) {
  if (worker_ != nullptr) return worker_->Run(task, error);
  task(*store_);
  return true;
}

bool TeamServers::Read(std::vector<HeldServer>& held) {
  auto call = std::make_shared<Call>();
  TeamError error;
  const bool answered = Run(
      [call](TeamStore& store) {
        auto servers = store.ListWithPasswords(call->error);
        call->done = servers.has_value();
        if (servers) call->servers = std::move(*servers);
      },
      error);
  if (answered && !call->done) error = call->error;
  if (!answered || !call->done) return Failed({WriteFailure::Step::kRead, {}, error});
  for (const TeamServer& server : call->servers) {
    HeldServer& one = held.emplace_back(HeldServer{server.host, server.port, server.user, server.password});
    one.opens = server.passwordOpens;
  }
  return true;
}

bool TeamServers::AddAll(const std::vector<const ImportedServer*>& servers, std::vector<long long>& ids) {
  ids.clear();
  if (servers.empty()) return true;
  auto call = std::make_shared<Call>();
  for (const ImportedServer* s : servers) {
    call->servers.push_back({0, 0, s->host, s->port, s->user, s->password, s->remark});
  }
  TeamError error;
  const bool answered = Run([call](TeamStore& store) { call->done = store.AddAll(call->servers, call->error); }, error);
  if (answered && !call->done) error = call->error;
  if (!answered || !call->done) return Failed({WriteFailure::Step::kAdd, {}, error});
  for (const TeamServer& server : call->servers) ids.push_back(server.id);
  return true;
}

}  // namespace korvane::import
