#include "import/server_writer.h"

#include <unordered_map>
#include <variant>

#include "import/server_fields.h"
#include "import/text.h"
#include "store/server_key.h"
#include "store/sqlite_util.h"
#include "store/store.h"

namespace korvane::import {

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

namespace {

// The rows of one server by their passwords (views into the rows: no password is copied), and
// whether the list holds that server.
struct SameServer {
  std::unordered_multimap<std::string_view, std::size_t> byPassword;
  bool held = false;
};

}  // namespace

bool SortRows(ServerList& list, std::vector<HeldServer>& held, const std::vector<const ImportedServer*>& rows,
              Sorting& sorting) {
  std::unordered_map<ServerKey, SameServer, ServerKeyHash> servers;
  servers.reserve(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ImportedServer& row = *rows[i];
    servers[{row.host, row.port, row.user}].byPassword.emplace(row.password, i);
  }
  std::vector<bool> there(rows.size(), false);
  for (HeldServer& h : held) {
    if (list.StopNow()) return false;
    const auto same = servers.find({h.host, h.port, h.user});
    if (same == servers.end()) continue;
    same->second.held = true;
    // A sealed password is opened only when some row needs it.
    if (!list.Open(h)) return false;
    if (!h.opens) continue;
    const auto [first, last] = same->second.byPassword.equal_range(h.password);
    for (auto it = first; it != last; ++it) there[it->second] = true;
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ImportedServer* row = rows[i];
    if (there[i]) {
      sorting.there.push_back(row);
    } else {
      sorting.added.push_back(row);
      if (servers.at({row->host, row->port, row->user}).held) sorting.beside.push_back(row);
    }
  }
  return true;
}

bool SortRows(ServerList& list, const std::vector<ImportedServer>& rows, Sorting& sorting) {
  std::vector<HeldServer> held;
  if (!list.Read(held)) return false;
  std::vector<const ImportedServer*> pointers;
  pointers.reserve(rows.size());
  for (const ImportedServer& row : rows) pointers.push_back(&row);
  return SortRows(list, held, pointers, sorting);
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
    if (StopNow()) return false;
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
    if (plain) {
      // A copy, then a wipe: a short password moved would stay behind in `plain`.
      server.password.assign(*plain);
      WipeText(*plain);
    }
  }
  return true;
}

bool FileServers::AddNew(const std::vector<const ImportedServer*>& rows, Addition& addition) {
  addition = {};
  if (!Keys()) return false;
  // All or nothing: the servers of one file arrive together or not at all. The list is read
  // after BEGIN IMMEDIATE: no other program writes to the file between the reading and the
  // adding.
  if (!sqlite::Exec(db_, "BEGIN IMMEDIATE")) return SqliteFailed(WriteFailure::Step::kBegin);
  std::vector<HeldServer> held;
  Sorting sorting;
  if (!Read(held) || !SortRows(*this, held, rows, sorting)) {
    sqlite::Exec(db_, "ROLLBACK");
    return false;
  }
  if (!InsertAndCommit(sorting.added, addition.ids)) return false;
  addition.added = std::move(sorting.added);
  addition.there = std::move(sorting.there);
  return true;
}

bool FileServers::InsertAndCommit(const std::vector<const ImportedServer*>& added, std::vector<long long>& ids) {
  auto insert = sqlite::Prepare(db_, "INSERT INTO Server (" + ServerColumns() + ") VALUES (?, ?, ?, ?, ?)");
  bool ok = insert != nullptr, stopped = false;
  for (std::size_t i = 0; ok && i < added.size(); ++i) {
    if (Stopped()) {
      stopped = true;
      break;
    }
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
  if (stopped || !ok || !sqlite::Exec(db_, "COMMIT")) {
    WriteFailure failure = stopped ? WriteFailure{.stopped = true}
                                   : WriteFailure{WriteFailure::Step::kAdd, sqlite3_errmsg(db_)};
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
  held.reserve(held.size() + call->servers.size());
  for (const TeamServer& server : call->servers) {
    HeldServer& one = held.emplace_back(HeldServer{server.host, server.port, server.user, server.password});
    one.opens = server.passwordOpens;
  }
  return true;
}

bool TeamServers::Add(const std::vector<const ImportedServer*>& rows, std::vector<long long>& ids) {
  ids.clear();
  if (rows.empty()) return true;
  // The task's own copies: the worker may still run it after the window stopped waiting.
  auto call = std::make_shared<Call>();
  call->servers.reserve(rows.size());  // never grows: a moved short password would stay behind
  for (const ImportedServer* s : rows) {
    TeamServer& server = call->servers.emplace_back();
    server.host = s->host;
    server.port = s->port;
    server.user = s->user;
    server.password = s->password;
    server.remark = s->remark;
  }
  TeamError error;
  const bool answered = Run(
      [call](TeamStore& store) { call->done = store.AddAll(call->servers, call->error, /*leaveOutHeld=*/true); },
      error);
  if (answered && !call->done) error = call->error;
  if (!answered || !call->done) return Failed({WriteFailure::Step::kAdd, {}, error});
  for (const TeamServer& server : call->servers) ids.push_back(server.id);
  return true;
}

bool TeamServers::AddNew(const std::vector<const ImportedServer*>& rows, Addition& addition) {
  addition = {};
  std::vector<long long> ids;
  if (!Add(rows, ids)) return false;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (ids[i] == 0) {
      addition.there.push_back(rows[i]);
    } else {
      addition.added.push_back(rows[i]);
      addition.ids.push_back(ids[i]);
    }
  }
  return true;
}

}  // namespace korvane::import
