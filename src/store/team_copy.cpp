#include "store/team_copy.h"

#include <algorithm>
#include <charconv>

#include "store/sealed_value.h"
#include "store/sqlite_util.h"

namespace korvane {
namespace {

constexpr const char* kAtRow = "at";
constexpr const char* kCheckRow = "check";
// What the check seals: any fixed text will do, it is only ever compared after opening.
constexpr std::string_view kCheckText = "Korvane team copy";

// Each sealed value is bound to what it is, so that none passes for another: a server's to its
// row and version (a value moved to another row, or a version changed beside it, does not
// open), all of them to the team's connection, and none to anything the membership seals.
std::string RowPurpose(const std::string& connection, long long id, long long version) {
  return "team copy\n" + connection + "\n" + std::to_string(id) + "\n" + std::to_string(version);
}
std::string CheckPurpose(const std::string& connection) { return "team copy check\n" + connection; }

// The server's values in one text, each as its length, a colon and its bytes.
std::string Packed(const TeamServer& server) {
  std::string text;
  for (const std::string* field : {&server.host, &server.port, &server.user, &server.password, &server.remark}) {
    text += std::to_string(field->size()) + ":" + *field;
  }
  text += server.passwordOpens ? "1" : "0";
  return text;
}

bool Unpack(const std::string& text, TeamServer& server) {
  std::size_t at = 0;
  for (std::string* field : {&server.host, &server.port, &server.user, &server.password, &server.remark}) {
    std::size_t size = 0;
    const char* end = text.data() + text.size();
    const auto [colon, error] = std::from_chars(text.data() + at, end, size);
    if (error != std::errc() || colon == end || *colon != ':') return false;
    at = static_cast<std::size_t>(colon - text.data()) + 1;
    if (size > text.size() - at) return false;
    field->assign(text, at, size);
    at += size;
  }
  if (text.size() != at + 1 || (text[at] != '0' && text[at] != '1')) return false;
  server.passwordOpens = text[at] == '1';
  return true;
}

bool Run(sqlite3* db, const std::string& sql, const std::vector<SqlValue>& values = {}) {
  auto statement = sqlite::Prepare(db, sql);
  return statement && sqlite::Bind(statement.get(), values) && sqlite::RunToEnd(statement.get());
}

// BEGIN IMMEDIATE with freed space overwritten, ROLLBACK unless committed.
class Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db) {
    began_ = sqlite::Exec(db, "PRAGMA secure_delete = ON") && sqlite::Exec(db, "BEGIN IMMEDIATE");
  }
  ~Transaction() {
    if (began_ && !done_) sqlite::Exec(db_, "ROLLBACK");
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  bool began() const { return began_; }
  bool Commit() { return done_ = began_ && sqlite::Exec(db_, "COMMIT"); }

 private:
  sqlite3* db_;
  bool began_ = false, done_ = false;
};

// How many of the copy's two tables the file has; -1 when it cannot tell.
int CopyTables(sqlite3* db) {
  auto statement = sqlite::Prepare(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN (?, ?)");
  if (!statement || !sqlite::Bind(statement.get(), {std::string(kTeamCopyTable), std::string(kTeamCopyStateTable)}) ||
      sqlite3_step(statement.get()) != SQLITE_ROW) {
    return -1;
  }
  return sqlite3_column_int(statement.get(), 0);
}

std::optional<std::string> StateValue(sqlite3* db, const char* name) {
  auto read = sqlite::Prepare(db, "SELECT value FROM TeamCopyState WHERE name = ?");
  if (!read || !sqlite::Bind(read.get(), {std::string(name)}) || sqlite3_step(read.get()) != SQLITE_ROW) {
    return std::nullopt;
  }
  return sqlite::ColumnText(read.get(), 0);
}

bool Fits(sqlite3* db, const TeamCopyKey& key) {
  if (!HasTeamCopy(db)) return false;
  const auto check = StateValue(db, kCheckRow);
  if (!check || check->empty()) return false;
  auto opened = key.keys.OpenMembership(*check, CheckPurpose(key.connection));
  return opened && *opened == kCheckText;
}

}  // namespace

bool HasTeamCopy(sqlite3* db) { return CopyTables(db) == 2; }

std::optional<TeamCopyContents> ReadTeamCopy(sqlite3* db, const TeamCopyKey& key) {
  if (!Fits(db, key)) return std::nullopt;
  TeamCopyContents copy;
  const auto at = StateValue(db, kAtRow);
  if (!at) return std::nullopt;
  copy.at = static_cast<std::time_t>(std::atoll(at->c_str()));
  auto read = sqlite::Prepare(db, "SELECT id, version, server FROM TeamCopy ORDER BY id");
  if (!read) return std::nullopt;
  int rc;
  while ((rc = sqlite3_step(read.get())) == SQLITE_ROW) {
    TeamServer& server = copy.servers.emplace_back();
    server.id = sqlite3_column_int64(read.get(), 0);
    server.version = sqlite3_column_int64(read.get(), 1);
    auto packed = key.keys.OpenMembership(sqlite::ColumnText(read.get(), 2),
                                          RowPurpose(key.connection, server.id, server.version));
    // A row changed in the file makes the whole copy suspect: better none than a list in
    // which one server may send its password to a host it was never meant for.
    const bool unpacked = packed && Unpack(*packed, server);
    if (packed) sealed::WipeText(*packed);
    if (!unpacked) return std::nullopt;
  }
  if (rc != SQLITE_DONE) return std::nullopt;
  return copy;
}

std::optional<std::unordered_map<long long, long long>> TeamCopyVersions(sqlite3* db, const TeamCopyKey& key) {
  if (!Fits(db, key)) return std::nullopt;
  auto read = sqlite::Prepare(db, "SELECT id, version FROM TeamCopy");
  if (!read) return std::nullopt;
  std::unordered_map<long long, long long> versions;
  int rc;
  while ((rc = sqlite3_step(read.get())) == SQLITE_ROW) {
    versions[sqlite3_column_int64(read.get(), 0)] = sqlite3_column_int64(read.get(), 1);
  }
  if (rc != SQLITE_DONE) return std::nullopt;
  return versions;
}

std::vector<long long> UnopenedTeamCopyRows(sqlite3* db, const TeamCopyKey& key, const std::vector<long long>& ids) {
  std::vector<long long> unopened;
  auto read = sqlite::Prepare(db, "SELECT version, server FROM TeamCopy WHERE id = ?");
  for (long long id : ids) {
    if (!read || !sqlite::Bind(read.get(), {id})) return ids;
    if (sqlite3_step(read.get()) == SQLITE_ROW) {
      auto packed = key.keys.OpenMembership(sqlite::ColumnText(read.get(), 1),
                                            RowPurpose(key.connection, id, sqlite3_column_int64(read.get(), 0)));
      if (packed) {
        sealed::WipeText(*packed);
      } else {
        unopened.push_back(id);
      }
    }
    sqlite3_reset(read.get());
  }
  return unopened;
}

bool WriteTeamCopy(sqlite3* db, const TeamCopyKey& key, const std::vector<TeamServer>& servers,
                   const std::vector<long long>& deleted, std::optional<std::time_t> at, bool anew) {
  Transaction transaction(db);
  if (!transaction.began() ||
      !Run(db, "CREATE TABLE IF NOT EXISTS TeamCopy (id INTEGER PRIMARY KEY, version INTEGER NOT NULL, "
               "server TEXT NOT NULL)") ||
      !Run(db, "CREATE TABLE IF NOT EXISTS TeamCopyState (name TEXT PRIMARY KEY, value TEXT)") ||
      // The versions alone, read at each login without the pages of the sealed values.
      !Run(db, "CREATE INDEX IF NOT EXISTS TeamCopyVersion ON TeamCopy (version)")) {
    return false;
  }
  if (anew) {
    auto check = key.keys.SealMembership(kCheckText, CheckPurpose(key.connection));
    if (!check || !Run(db, "DELETE FROM TeamCopy") ||
        !Run(db, "INSERT OR REPLACE INTO TeamCopyState (name, value) VALUES (?, ?)", {std::string(kCheckRow), *check})) {
      return false;
    }
    // A copy that was never finished has no time: it is shown to nobody.
    if (!at && !Run(db, "DELETE FROM TeamCopyState WHERE name = ?", {std::string(kAtRow)})) return false;
  }
  auto write = sqlite::Prepare(db, "INSERT OR REPLACE INTO TeamCopy (id, version, server) VALUES (?, ?, ?)");
  if (!write) return false;
  for (const TeamServer& server : servers) {
    std::string packed = Packed(server);
    auto sealedServer = key.keys.SealMembership(packed, RowPurpose(key.connection, server.id, server.version));
    sealed::WipeText(packed);
    const bool written = sealedServer && sqlite::Bind(write.get(), {server.id, server.version, *sealedServer}) &&
                         sqlite::RunToEnd(write.get());
    sqlite3_reset(write.get());
    if (!written) return false;
  }
  write.reset();
  for (long long id : deleted) {
    if (!Run(db, "DELETE FROM TeamCopy WHERE id = ?", {id})) return false;
  }
  if (at && !Run(db, "INSERT OR REPLACE INTO TeamCopyState (name, value) VALUES (?, ?)",
                 {std::string(kAtRow), std::to_string(static_cast<long long>(*at))})) {
    return false;
  }
  return transaction.Commit();
}

bool DropTeamCopy(sqlite3* db) {
  const int tables = CopyTables(db);
  if (tables <= 0) return tables == 0;
  {
    Transaction transaction(db);
    if (!transaction.began() || !Run(db, "DROP TABLE IF EXISTS TeamCopy") ||
        !Run(db, "DROP TABLE IF EXISTS TeamCopyState") || !transaction.Commit()) {
      return false;
    }
  }
  // The pages were overwritten as they were freed; the rebuild also leaves no free page, and no
  // trace of the tables' names in the schema's own page.
  return sqlite::Exec(db, "VACUUM");
}

// ---------------------------------------------------------------------------------------------

namespace store_detail {
namespace {

// Up to this many servers behind are read one by one; more, and the whole list with its
// passwords comes in one statement, which is cheaper than many and ends within the worker's
// bound even for a list of thousands.
constexpr std::size_t kFetchOneByOne = 50;
// While nothing else is written, the copy's time moves on at most this often: the caption
// names minutes, and the file need not be written at every refresh.
constexpr std::time_t kStampSeconds = 60;
// The rows of a copy are opened this many at a refresh the database answered, to find one
// spoiled in the file: a list of thousands is checked within minutes, and no refresh waits for
// more than a few openings.
constexpr std::size_t kCheckedAtARefresh = 50;

}  // namespace

// What a fetch hands back; it may outlive the keeper, and wipes its passwords when it goes.
struct TeamCopyKeeper::Fetched {
  bool ok = false;
  bool whole = false;
  std::vector<long long> asked;
  std::vector<TeamServer> servers;
  std::vector<long long> gone;
};

// The time a copy already has stands for the first minute: a login that finds its copy up to
// date then writes nothing at all.
TeamCopyKeeper::TeamCopyKeeper(TeamCopyPlace place) : place_(std::move(place)), stamped_(std::time(nullptr)) {}
TeamCopyKeeper::~TeamCopyKeeper() = default;

void TeamCopyKeeper::Compare(sqlite3* db, const LoginKeys& keys,
                             const std::unordered_map<long long, long long>& listed) {
  compare_ = false;
  keysOf_ = keys.settings();
  auto versions = TeamCopyVersions(db, {keys, place_.connection});
  anew_ = !versions;
  versions_ = versions ? std::move(*versions) : std::unordered_map<long long, long long>();
  behind_.clear();
  for (const auto& [id, version] : listed) {
    const auto copied = versions_.find(id);
    if (copied == versions_.end() || copied->second != version) behind_.insert(id);
  }
  unchecked_.clear();
  for (const auto& [id, version] : versions_) {
    if (!listed.count(id)) behind_.insert(id);
    unchecked_.push_back(id);
  }
}

void TeamCopyKeeper::Step(TeamWorker& worker, const std::unordered_map<long long, long long>& listed,
                          bool answered) {
  const LoginKeys* keys = place_.session ? place_.session->keys() : nullptr;
  sqlite3* db = place_.file ? place_.file() : nullptr;
  if (keys == nullptr || db == nullptr) return;
  // A new login password: the copy no longer opens, and is made anew under the new key.
  const bool comparing = compare_ || !(keys->settings() == keysOf_);
  // The login's first refresh comes with the list the operator is waiting to see: the copy is
  // compared with the list at the next one, a few seconds on, when nobody waits for it.
  if (comparing && firstLook_) {
    firstLook_ = false;
    return;
  }
  if (comparing) Compare(db, *keys, listed);
  if (fetch_) {
    const Fetch fetch = *fetch_;
    // A fetch whose worker was given up is asked again; one still running waits, and the
    // refresh's own bound gives the worker up when the database stops answering.
    if (worker.Current(fetch.job) && !fetch.job->Ended()) return;
    fetch_.reset();
    if (worker.Current(fetch.job) && fetch.fetched->ok) {
      std::vector<long long> deleted = fetch.fetched->gone;
      if (fetch.fetched->whole) {
        for (const auto& [id, version] : versions_) {
          if (!listed.count(id)) deleted.push_back(id);
        }
      }
      Write(fetch.fetched->servers, deleted, listed);
    }
  }
  // A row that does not open (changed in the file) is behind: it is fetched and written anew.
  if (answered && !comparing && !unchecked_.empty()) {
    const std::size_t from = unchecked_.size() - std::min(unchecked_.size(), kCheckedAtARefresh);
    const std::vector<long long> some(unchecked_.begin() + static_cast<std::ptrdiff_t>(from), unchecked_.end());
    unchecked_.resize(from);
    for (long long id : UnopenedTeamCopyRows(db, {*keys, place_.connection}, some)) {
      versions_.erase(id);
      behind_.insert(id);
    }
  }
  std::vector<long long> fetch, drop;
  for (auto it = behind_.begin(); it != behind_.end();) {
    const auto inList = listed.find(*it);
    const auto copied = versions_.find(*it);
    if (inList != listed.end() && (copied == versions_.end() || copied->second != inList->second)) {
      fetch.push_back(*it);
    } else if (inList == listed.end() && copied != versions_.end()) {
      drop.push_back(*it);
    } else {
      it = behind_.erase(it);
      continue;
    }
    ++it;
  }
  if (fetch.empty()) {
    if (!drop.empty() || anew_ || (answered && std::time(nullptr) - stamped_ >= kStampSeconds)) {
      Write({}, drop, listed);
    }
    return;
  }
  auto fetched = std::make_shared<Fetched>();
  fetched->whole = anew_ || fetch.size() > kFetchOneByOne;
  fetched->asked = std::move(fetch);
  auto job = worker.Start([fetched](TeamStore& store) {
    // Asked only on a connection an action made, as the refresh is.
    if (!store.Connected()) return;
    TeamError error;
    if (fetched->whole) {
      auto all = store.ListWithPasswords(error);
      if (!all) return;
      fetched->servers = std::move(*all);
    } else {
      for (long long id : fetched->asked) {
        auto server = store.Read(id, error);
        if (server) {
          fetched->servers.push_back(*server);
        } else if (error.reason == TeamReason::kGone) {
          fetched->gone.push_back(id);
        } else {
          return;
        }
      }
    }
    fetched->ok = true;
  });
  fetch_ = Fetch{std::move(job), std::move(fetched)};
}

bool TeamCopyKeeper::Write(const std::vector<TeamServer>& servers, const std::vector<long long>& deleted,
                           const std::unordered_map<long long, long long>& listed) {
  sqlite3* db = place_.file();
  const LoginKeys* keys = place_.session->keys();
  // Only what the list holds: a server fetched after the refresh took it out stays out.
  std::vector<const TeamServer*> written;
  std::unordered_map<long long, long long> after;
  for (const TeamServer& server : servers) {
    if (!listed.count(server.id)) continue;
    written.push_back(&server);
    after[server.id] = server.version;
  }
  std::vector<long long> dropped;
  for (long long id : deleted) {
    if (!listed.count(id) && (anew_ || versions_.count(id))) dropped.push_back(id);
  }
  // The copy gets a new time only when, once written, nothing of the list is behind in it.
  std::size_t stillBehind = 0;
  for (long long id : behind_) {
    const auto inList = listed.find(id);
    const auto now = after.find(id);
    const auto copied = versions_.find(id);
    const bool gone = std::find(dropped.begin(), dropped.end(), id) != dropped.end();
    const long long* version = now != after.end() ? &now->second
                               : !gone && !anew_ && copied != versions_.end() ? &copied->second
                                                                              : nullptr;
    const bool fits = inList == listed.end() ? version == nullptr : version != nullptr && *version == inList->second;
    if (!fits) ++stillBehind;
  }
  const std::time_t now = std::time(nullptr);
  std::vector<TeamServer> rows;
  rows.reserve(written.size());
  for (const TeamServer* server : written) rows.push_back(*server);
  if (!WriteTeamCopy(db, {*keys, place_.connection}, rows, dropped, stillBehind == 0 ? std::optional(now) : std::nullopt,
                     anew_)) {
    return false;
  }
  if (anew_) versions_.clear();
  anew_ = false;
  for (long long id : dropped) versions_.erase(id);
  for (const auto& [id, version] : after) versions_[id] = version;
  if (stillBehind == 0) stamped_ = now;
  return true;
}

}  // namespace store_detail
}  // namespace korvane
