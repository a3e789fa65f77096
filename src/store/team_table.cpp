#include "store/team_table.h"

#include <algorithm>
#include <regex>
#include <unordered_set>

#include "store/sealed_value.h"

namespace korvane::store_detail {
namespace {

// Table Server's columns as the data file has them, and what each is in the team's database.
struct Column {
  const char* name;
  std::string TeamServer::*field;  // null for the id
};
const Column kColumns[] = {
    {"id", nullptr},           {"服务器名", &TeamServer::host}, {"端口", &TeamServer::port},
    {"用户名", &TeamServer::user}, {"密码", &TeamServer::password}, {"备注", &TeamServer::remark},
};

const Column* FindColumn(const std::string& name) {
  for (const Column& column : kColumns) {
    if (name == column.name) return &column;
  }
  return nullptr;
}

// Lower-case ASCII, no quotes, one blank between words and none around = , and *: the windows'
// statements in one spelling whatever their spacing.
std::string Normalized(const std::string& sql) {
  std::string text;
  for (char c : sql) {
    if (c == '"') continue;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    if (c == ' ' && (text.empty() || text.back() == ' ' || text.back() == '=' || text.back() == ',')) continue;
    if ((c == '=' || c == ',') && !text.empty() && text.back() == ' ') text.pop_back();
    text += c;
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == ';')) text.pop_back();
  return text;
}

// The server's values moved into a row: a list of thousands is not copied twice.
TableRow RowOf(TeamServer& server, const std::vector<const Column*>& columns) {
  TableRow row{server.id, {}};
  row.values.reserve(columns.size());
  for (const Column* column : columns) {
    if (column->field == nullptr) {
      row.values.emplace_back(server.id);
      continue;
    }
    std::string& text = server.*column->field;
    // As the data file gives them: an empty value is null.
    if (text.empty()) {
      row.values.emplace_back();
    } else {
      row.values.emplace_back(std::move(text));
    }
  }
  return row;
}

long long IdOf(const std::vector<SqlValue>& parameters) {
  if (parameters.size() != 1) return 0;
  if (const auto* number = std::get_if<long long>(&parameters[0])) return *number;
  if (const auto* text = std::get_if<std::string>(&parameters[0])) return std::atoll(text->c_str());
  return 0;
}

}  // namespace

// What a call on the worker hands back. It may outlive the table, for a call that did not
// answer in time ends whenever it ends: the secrets in it are wiped when it goes.
struct TeamTable::Answer {
  bool ok = false;
  TeamError error;
  std::string password;  // the member's database password, for Open
  std::optional<TeamKey> key;
  std::optional<long long> last;
  std::optional<std::vector<TeamServer>> servers;
  std::optional<TeamServer> server;
  std::optional<TeamChanges> changes;
  std::optional<bool> may;
  bool offlineCopy = false;  // the team allows members a copy

  ~Answer() {
    sealed::WipeText(password);
    if (server) sealed::WipeText(server->password);
    if (servers) {
      for (TeamServer& s : *servers) sealed::WipeText(s.password);
    }
  }
};

// The list as the file's copy has it, and what connects again; the secrets wiped when it goes.
struct TeamTable::Offline {
  std::vector<TeamServer> servers;  // in id order
  std::time_t at = 0;
  TeamError why;  // why the database could not be reached at the start
  std::string connection, password, key;
  ~Offline() {
    sealed::WipeText(password);
    sealed::WipeText(key);
  }
};

TeamTable::TeamTable(std::unique_ptr<TeamStore> store, std::string name, TeamCopyPlace copy)
    : worker_(std::move(store)), name_(std::move(name)), place_(std::move(copy)) {}

TeamTable::~TeamTable() = default;

std::shared_ptr<TeamTable::Answer> TeamTable::Call(std::function<bool(TeamStore&, Answer&)> call,
                                                   std::shared_ptr<Answer> answer) {
  error_ = {};
  if (!answer) answer = std::make_shared<Answer>();
  // The task holds the answer and its own copies: it may run on after this call has given up.
  const bool answered = worker_.Run(
      [answer, call = std::move(call)](TeamStore& store) { answer->ok = call(store, *answer); }, error_);
  if (!answered) return nullptr;
  if (!answer->ok) {
    error_ = answer->error;
    return nullptr;
  }
  return answer;
}

bool TeamTable::ConnectWithKey(TeamStore& store, const std::string& connection, Answer& a) {
  if (!a.key || !store.Connect(connection, a.password, a.error) || !store.UseKey(std::move(*a.key), a.error)) {
    return false;
  }
  // Read once more for the copy's setting: one short question, at the start only.
  const auto settings = store.ReadSettings(a.error);
  a.offlineCopy = settings && settings->offlineCopy;
  return settings.has_value();
}

bool TeamTable::Open(const std::string& connection, const std::string& password, TeamKey key) {
  auto answer = std::make_shared<Answer>();
  answer->password = password;
  std::string keyText = key.Text();
  answer->key = std::move(key);
  if (Call([connection](TeamStore& store, Answer& a) { return ConnectWithKey(store, connection, a); }, answer)) {
    sealed::WipeText(keyText);
    KeepCopy(answer->offlineCopy);
    return true;
  }
  // Only a database out of reach gives the copy: a refusal, a wrong key or a membership that
  // does not fit must stop the run as before, whatever the file holds.
  if (error_.reason != TeamReason::kCannotConnect && error_.reason != TeamReason::kTimedOut) {
    sealed::WipeText(keyText);
    return false;
  }
  return OpenOffline(connection, password, std::move(keyText));
}

void TeamTable::KeepCopy(bool allowed) {
  if (allowed) {
    if (!copy_ && place_.file) copy_ = std::make_unique<TeamCopyKeeper>(place_);
    return;
  }
  copy_.reset();
  // A team that allows no copy: the file drops one it kept while the team allowed it.
  if (sqlite3* db = place_.file ? place_.file() : nullptr) DropTeamCopy(db);
}

bool TeamTable::OpenOffline(const std::string& connection, const std::string& password, std::string key) {
  auto offline = std::make_unique<Offline>();
  offline->key = std::move(key);
  sqlite3* db = place_.file ? place_.file() : nullptr;
  const LoginKeys* keys = place_.session ? place_.session->keys() : nullptr;
  auto copy = db && keys ? ReadTeamCopy(db, {*keys, place_.connection}) : std::nullopt;
  if (!copy) return false;
  offline->servers = std::move(copy->servers);
  offline->at = copy->at;
  offline->why = error_;
  offline->connection = connection;
  offline->password = password;
  listed_.clear();
  for (const TeamServer& server : offline->servers) listed_[server.id] = server.version;
  offline_ = std::move(offline);
  return true;
}

std::optional<std::time_t> TeamTable::OfflineSince() const {
  return offline_ ? std::optional<std::time_t>(offline_->at) : std::nullopt;
}

bool TeamTable::NamesServerTable(const std::string& sql) {
  static const std::regex table(R"((^| )(from|into|update|table) server( |$))");
  return std::regex_search(Normalized(sql), table);
}

bool TeamTable::Select(const std::string& sql, const std::vector<SqlValue>& parameters, bool seen,
                       std::vector<std::string>& fields, std::vector<TableRow>& rows) {
  error_ = {};
  static const std::regex query(R"(^select (.+) from server( where id=\?)?( order by (rowid|id))?$)");
  std::smatch match;
  const std::string text = Normalized(sql);
  if (!std::regex_match(text, match, query)) {
    error_ = {TeamReason::kRefused, "not a query the team's list answers: " + sql};
    return false;
  }
  std::vector<const Column*> columns;
  const std::string list = match[1].str();
  if (list == "*") {
    for (const Column& column : kColumns) columns.push_back(&column);
  } else {
    std::size_t at = 0;
    while (at <= list.size()) {
      std::size_t end = list.find(',', at);
      if (end == std::string::npos) end = list.size();
      const Column* column = FindColumn(list.substr(at, end - at));
      if (column == nullptr) {
        error_ = {TeamReason::kRefused, "no such column: " + list.substr(at, end - at)};
        return false;
      }
      columns.push_back(column);
      at = end + 1;
    }
  }
  for (const Column* column : columns) fields.emplace_back(column->name);
  const bool byId = match[2].matched;
  if (offline_) {
    const long long id = byId ? IdOf(parameters) : 0;
    for (const TeamServer& server : offline_->servers) {
      if (byId && server.id != id) continue;
      TeamServer copy = server;
      if (byId && !copy.passwordOpens) error_ = {TeamReason::kDoesNotOpen, {}, id};
      rows.push_back(RowOf(copy, columns));
    }
    return true;
  }
  if (!byId) {
    bool passwords = false, users = false;
    for (const Column* column : columns) {
      passwords = passwords || column->field == &TeamServer::password;
      users = users || column->field == &TeamServer::user;
    }
    const auto answer = Call([passwords, users](TeamStore& store, Answer& a) {
      // Asked first: a change made while the list is read is then fetched again, never missed.
      a.last = store.LastChange(a.error);
      if (a.last) a.servers = passwords ? store.ListWithPasswords(a.error) : store.List(a.error, users);
      return a.servers.has_value();
    });
    if (!answer) return false;
    lastChange_ = *answer->last;
    // A refresh asked before this read would answer from before it.
    refresh_.reset();
    seen_.clear();
    listed_.clear();
    rows.reserve(answer->servers->size());
    for (TeamServer& server : *answer->servers) {
      seen_[server.id] = server.version;
      listed_[server.id] = server.version;
      rows.push_back(RowOf(server, columns));
      sealed::WipeText(server.password);
    }
    if (copy_) copy_->Listed();
    return true;
  }
  const long long id = IdOf(parameters);
  const auto answer = Call([id](TeamStore& store, Answer& a) {
    a.server = store.Read(id, a.error);
    // A server deleted meanwhile is no row, as in the file.
    if (!a.server && a.error.reason == TeamReason::kGone) a.error = {};
    return a.server || a.error.reason == TeamReason::kNone;
  });
  if (!answer) return false;
  if (!answer->server) {
    seen_.erase(id);
    return true;
  }
  (seen ? seen_ : read_)[id] = answer->server->version;
  // Read all the same, so that 修改 can store a password typed anew; the window is told.
  if (!answer->server->passwordOpens) error_ = {TeamReason::kDoesNotOpen, {}, id};
  rows.push_back(RowOf(*answer->server, columns));
  sealed::WipeText(answer->server->password);
  return true;
}

bool TeamTable::SelectForWrite(long long id, std::vector<std::string>& fields, std::vector<TableRow>& rows) {
  return Select("select * from server where id=?", {id}, false, fields, rows);
}

bool TeamTable::Execute(const std::string& sql, const std::vector<SqlValue>& parameters) {
  error_ = {};
  // The copy changes nothing: the team's list is the database's.
  if (offline_) {
    error_ = offline_->why;
    return false;
  }
  if (Normalized(sql) != "delete from server where id=?") {
    error_ = {TeamReason::kRefused, "not a change the team's list takes: " + sql};
    return false;
  }
  const long long id = IdOf(parameters);
  const auto seen = seen_.find(id);
  const long long version = seen == seen_.end() ? 0 : seen->second;
  if (!Call([id, version](TeamStore& store, Answer& a) { return store.Delete(id, version, a.error); })) return false;
  seen_.erase(id);
  listed_.erase(id);
  return true;
}

bool TeamTable::Write(bool add, const std::vector<std::string>& fields, const std::vector<SqlValue>& values,
                      long long& id) {
  if (offline_) {
    error_ = offline_->why;
    return false;
  }
  // The server goes to the worker inside the answer, which wipes its password when it goes.
  auto answer = std::make_shared<Answer>();
  TeamServer& server = answer->server.emplace();
  for (std::size_t i = 0; i < fields.size() && i < values.size(); ++i) {
    const Column* column = FindColumn(fields[i]);
    if (column == nullptr || column->field == nullptr) continue;
    if (const auto* text = std::get_if<std::string>(&values[i])) server.*column->field = *text;
    if (const auto* number = std::get_if<long long>(&values[i])) server.*column->field = std::to_string(*number);
  }
  if (!add) {
    server.id = id;
    // The version the operator saw; a server only read for this write counts as seen then.
    const auto seen = seen_.find(id);
    const auto read = read_.find(id);
    server.version = seen != seen_.end() ? seen->second : read != read_.end() ? read->second : 0;
  }
  const auto written = Call(
      [add](TeamStore& store, Answer& a) { return add ? store.Add(*a.server, a.error) : store.Change(*a.server, a.error); },
      answer);
  if (!written) return false;
  id = written->server->id;
  seen_[id] = written->server->version;
  read_.erase(id);
  return true;
}

std::optional<std::pair<std::vector<TableRow>, std::vector<long long>>> TeamTable::Changes() {
  if (refresh_) {
    const Refresh refresh = *refresh_;
    if (!worker_.Current(refresh.job)) {
      // Its worker was given up meanwhile, by an action that did not get an answer.
      refresh_.reset();
      return std::nullopt;
    }
    if (!refresh.job->Ended()) {
      // Past the bound the store is given up, and the refresh waits for the next action to
      // connect again, as after any failure.
      if (TeamWorker::Clock::now() >= refresh.job->Deadline()) {
        worker_.GiveUp();
        refresh_.reset();
      }
      return std::nullopt;
    }
    refresh_.reset();
    if (offline_) return GoLive(*refresh.answer);
    const bool answered = refresh.answer->changes.has_value();
    auto merged = answered ? Merge(*refresh.answer->changes) : std::nullopt;
    if (copy_) copy_->Step(worker_, listed_, answered);
    return merged;
  }
  if (copy_) copy_->Step(worker_, listed_, false);
  if (offline_) {
    // Out of reach since the start: every refresh tries to connect again, beside the window.
    auto answer = std::make_shared<Answer>();
    answer->password = offline_->password;
    answer->key = TeamKey::FromText(offline_->key);
    auto job = worker_.Start([answer, connection = offline_->connection](TeamStore& store) {
      Answer& a = *answer;
      a.ok = ConnectWithKey(store, connection, a) && (a.last = store.LastChange(a.error)) &&
             (a.servers = store.List(a.error, false));
    });
    refresh_ = Refresh{std::move(job), std::move(answer)};
    return std::nullopt;
  }
  // The question and its answer in one: rows changed after the last mark seen, through the
  // index on the marks; when nothing changed, that is an empty answer as cheap as asking for
  // the highest mark. Asked only on a connection an action made: the refresh of a database
  // out of reach would be a connect attempt every few seconds.
  auto answer = std::make_shared<Answer>();
  auto job = worker_.Start([answer, since = lastChange_](TeamStore& store) {
    if (store.Connected()) answer->changes = store.ChangesSince(since, answer->error);
  });
  refresh_ = Refresh{std::move(job), std::move(answer)};
  return std::nullopt;
}

std::optional<std::pair<std::vector<TableRow>, std::vector<long long>>> TeamTable::GoLive(Answer& answer) {
  if (!answer.ok) return std::nullopt;
  offline_.reset();
  error_ = {};
  // The whole list, merged as a refresh's after its history ran out: what the copy held and
  // the team no longer does leaves the list, what changed since the copy is put right.
  TeamChanges changes{*answer.last, std::move(*answer.servers), {}, true};
  auto merged = Merge(changes);
  KeepCopy(answer.offlineCopy);
  if (copy_) copy_->Listed();
  return merged;
}

std::function<void()> TeamTable::ChangesWait() const {
  if (!refresh_) return {};
  return [job = refresh_->job] { job->WaitUntilDeadline(); };
}

std::optional<std::pair<std::vector<TableRow>, std::vector<long long>>> TeamTable::Merge(TeamChanges& changes) {
  lastChange_ = changes.upTo;
  static const std::vector<const Column*> kListed = {FindColumn("id"), FindColumn("备注"), FindColumn("服务器名"),
                                                     FindColumn("端口")};
  std::vector<TableRow> rows;
  std::vector<long long> gone;
  std::unordered_set<long long> present;
  for (TeamServer& server : changes.changed) {
    if (changes.complete) present.insert(server.id);
    // A server may come again unchanged: one the list shows as it is stays as it is.
    const auto listed = listed_.find(server.id);
    if (listed != listed_.end() && listed->second == server.version) continue;
    listed_[server.id] = server.version;
    if (copy_) copy_->Touched(server.id);
    // A server new to this member counts as seen as listed; one it knows keeps the version the
    // operator saw, so that a change over another's is still refused.
    seen_.emplace(server.id, server.version);
    rows.push_back(RowOf(server, kListed));
  }
  for (long long id : changes.deleted) {
    if (listed_.count(id)) gone.push_back(id);
  }
  // The whole list: every server it does not hold was deleted.
  if (changes.complete) {
    for (const auto& [id, version] : listed_) {
      if (!present.count(id)) gone.push_back(id);
    }
  }
  std::sort(gone.begin(), gone.end());
  gone.erase(std::unique(gone.begin(), gone.end()), gone.end());
  for (long long id : gone) {
    listed_.erase(id);
    seen_.erase(id);
    if (copy_) copy_->Touched(id);
  }
  if (rows.empty() && gone.empty()) return std::nullopt;
  return std::make_pair(std::move(rows), std::move(gone));
}

bool TeamTable::MayChange() {
  if (offline_) {
    error_ = offline_->why;
    return false;
  }
  // Asked at each change: a role granted or taken meanwhile counts at once. When the database
  // cannot say, the change itself goes ahead and reports what stops it; but a database that
  // did not answer in time would only make the operator wait as long again.
  const auto answer = Call([](TeamStore& store, Answer& a) {
    a.may = store.MayChange(a.error);
    return a.may || a.error.reason != TeamReason::kTimedOut;
  });
  if (!answer) return false;
  return answer->may.value_or(true);
}

void TeamTable::LogConnection(long long id) {
  // Offline, a line would only cost a connect attempt; the connect goes unrecorded.
  if (offline_) return;
  Call([id](TeamStore& store, Answer& a) { return store.LogConnection(id, a.error); });
  // The log is a record, not a gate: nothing to report when the line was not written.
  error_ = {};
}

}  // namespace korvane::store_detail
