#include "store/team_table.h"

#include <regex>

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

TeamTable::TeamTable(std::unique_ptr<TeamStore> store, std::string name)
    : store_(std::move(store)), name_(std::move(name)) {}

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
  if (!byId) {
    bool passwords = false, users = false;
    for (const Column* column : columns) {
      passwords = passwords || column->field == &TeamServer::password;
      users = users || column->field == &TeamServer::user;
    }
    // Asked first: a change made while the list is read is then fetched again, never missed.
    const auto last = store_->LastChange(error_);
    if (!last) return false;
    auto servers = passwords ? store_->ListWithPasswords(error_) : store_->List(error_, users);
    if (!servers) return false;
    lastChange_ = *last;
    seen_.clear();
    rows.reserve(servers->size());
    for (TeamServer& server : *servers) {
      seen_[server.id] = server.version;
      rows.push_back(RowOf(server, columns));
      sealed::WipeText(server.password);
    }
    return true;
  }
  const long long id = IdOf(parameters);
  auto server = store_->Read(id, error_);
  if (!server) {
    // A server deleted meanwhile is no row, as in the file.
    if (error_.reason != TeamReason::kGone) return false;
    error_ = {};
    seen_.erase(id);
    return true;
  }
  (seen ? seen_ : read_)[id] = server->version;
  rows.push_back(RowOf(*server, columns));
  sealed::WipeText(server->password);
  return true;
}

bool TeamTable::SelectForWrite(long long id, std::vector<std::string>& fields, std::vector<TableRow>& rows) {
  return Select("select * from server where id=?", {id}, false, fields, rows);
}

bool TeamTable::Execute(const std::string& sql, const std::vector<SqlValue>& parameters) {
  error_ = {};
  if (Normalized(sql) != "delete from server where id=?") {
    error_ = {TeamReason::kRefused, "not a change the team's list takes: " + sql};
    return false;
  }
  const long long id = IdOf(parameters);
  const auto seen = seen_.find(id);
  if (!store_->Delete(id, seen == seen_.end() ? 0 : seen->second, error_)) return false;
  seen_.erase(id);
  return true;
}

bool TeamTable::Write(bool add, const std::vector<std::string>& fields, const std::vector<SqlValue>& values,
                      long long& id) {
  error_ = {};
  TeamServer server;
  for (std::size_t i = 0; i < fields.size() && i < values.size(); ++i) {
    const Column* column = FindColumn(fields[i]);
    if (column == nullptr || column->field == nullptr) continue;
    if (const auto* text = std::get_if<std::string>(&values[i])) server.*column->field = *text;
    if (const auto* number = std::get_if<long long>(&values[i])) server.*column->field = std::to_string(*number);
  }
  bool written;
  if (add) {
    written = store_->Add(server, error_);
  } else {
    server.id = id;
    // The version the operator saw; a server only read for this write counts as seen then.
    const auto seen = seen_.find(id);
    const auto read = read_.find(id);
    server.version = seen != seen_.end() ? seen->second : read != read_.end() ? read->second : 0;
    written = store_->Change(server, error_);
  }
  sealed::WipeText(server.password);
  if (!written) return false;
  id = server.id;
  seen_[id] = server.version;
  read_.erase(id);
  return true;
}

std::optional<std::pair<std::vector<TableRow>, std::vector<long long>>> TeamTable::Changes() {
  if (!store_->Connected()) return std::nullopt;
  TeamError ignored;
  // The question and its answer in one: rows numbered after the last one seen, found through
  // the index on the numbers; when nothing changed, that is an empty answer as cheap as asking
  // for the highest number.
  auto changes = store_->ChangesSince(lastChange_, ignored);
  if (!changes || (changes->changed.empty() && changes->deleted.empty())) return std::nullopt;
  lastChange_ = changes->upTo;
  static const std::vector<const Column*> kListed = {FindColumn("id"), FindColumn("备注"), FindColumn("服务器名"),
                                                     FindColumn("端口")};
  std::vector<TableRow> rows;
  for (TeamServer& server : changes->changed) {
    // A server new to this member counts as seen as listed; one it knows keeps the version the
    // operator saw, so that a change over another's is still refused.
    seen_.emplace(server.id, server.version);
    rows.push_back(RowOf(server, kListed));
  }
  for (long long id : changes->deleted) seen_.erase(id);
  return std::make_pair(std::move(rows), std::move(changes->deleted));
}

bool TeamTable::MayChange() {
  TeamError ignored;
  // Asked at each change: a role granted or taken meanwhile counts at once. When the database
  // cannot say, the change itself goes ahead and reports what stops it.
  return store_->MayChange(ignored).value_or(true);
}

void TeamTable::LogConnection(long long id, const std::string& host, const std::string& port) {
  TeamError ignored;
  store_->LogConnection(id, host, port, ignored);
}

}  // namespace korvane::store_detail
