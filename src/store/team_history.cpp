// The history of a team's list (korvane.server_history, written by the database's own trigger
// at every change and deletion), putting kept versions back, the administrator's settings and
// what the server says of its standby.
#include "store/sealed_value.h"
#include "store/team.h"
#include "store/team_detail.h"

namespace korvane {

using namespace team_detail;

namespace {

// The database's own text of a time, with its zone, as the connection log shows it.
std::string Iso(const std::string& column) {
  return "pg_catalog.to_char(" + column + ", 'YYYY-MM-DD\"T\"HH24:MI:SSOF')";
}

}  // namespace

bool TeamDurability::OnStandby() const {
  // "local" and "off" report a commit done before any standby has it.
  const bool waits = synchronousCommit == "on" || synchronousCommit == "remote_write" ||
                     synchronousCommit == "remote_apply";
  return waits && standbyNames.find_first_not_of(" \t") != std::string::npos;
}

std::optional<TeamDurability> TeamStore::Durability(TeamError& error) {
  if (!Ready(error)) return std::nullopt;
  auto row = OneRow("SELECT pg_catalog.current_setting('synchronous_standby_names'),"
                    " pg_catalog.current_setting('synchronous_commit')",
                    {}, error);
  if (!row) return std::nullopt;
  return TeamDurability{Text(row->at(0)), Text(row->at(1))};
}

bool TeamStore::SetSetting(TeamSetting setting, const std::string& value, TeamError& error) {
  if (!Ready(error)) return false;
  const std::string name = setting == TeamSetting::kOfflineCopy ? kOfflineCopyRow : kHistoryDaysRow;
  if (OneRow("SELECT korvane.set_setting(?, ?)", {name, value}, error)) return true;
  // 42501: no right to call it, or the function's own refusal of someone not the administrator.
  if (lastState_ == "42501") {
    const auto roles = Roles();
    error = {TeamReason::kNotAdministrator, roles ? roles->admin : std::string()};
  }
  return false;
}

std::optional<std::vector<TeamHistoryRow>> TeamStore::History(long long server, TeamError& error) {
  if (!Ready(error)) return std::nullopt;
  OdbcStatement select(db_);
  const std::string sql = "SELECT id, server, version, host, port, username, remark, changed_by, " +
                          Iso("changed_at") + ", replaced_by, " + Iso("replaced_at") +
                          ", deleted, password FROM korvane.server_history" + (server ? " WHERE server = ?" : "") +
                          " ORDER BY id";
  if (!select.Prepare(sql) || !select.Execute(server ? std::vector<SqlValue>{server} : std::vector<SqlValue>{})) {
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  std::vector<TeamHistoryRow> rows;
  std::vector<SqlValue> row;
  OdbcStatement::Fetched fetched;
  while ((fetched = select.Fetch(row)) == OdbcStatement::Fetched::kRow) {
    TeamHistoryRow& kept = rows.emplace_back();
    kept.change = Number(row[0]);
    kept.server = Number(row[1]);
    kept.version = Number(row[2]);
    kept.host = Take(row[3]);
    kept.port = Take(row[4]);
    kept.user = Take(row[5]);
    kept.remark = Take(row[6]);
    kept.changedBy = Take(row[7]);
    kept.changedAt = Take(row[8]);
    kept.replacedBy = Take(row[9]);
    kept.replacedAt = Take(row[10]);
    kept.deleted = True(row[11]);
    std::string stored = Take(row[12]);
    auto plain = key_ ? key_->Open(stored, {kept.server, kept.host, kept.port, kept.user, team_}) : std::nullopt;
    sealed::WipeText(stored);
    kept.passwordOpens = plain.has_value();
    if (plain) sealed::WipeText(*plain);
  }
  if (fetched == OdbcStatement::Fetched::kError) {
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  return rows;
}

std::optional<TeamServer> TeamStore::KeptVersion(long long change, TeamError& error) {
  OdbcStatement select(db_);
  std::vector<SqlValue> row;
  if (!select.Prepare("SELECT server, host, port, username, remark, password FROM korvane.server_history WHERE id = ?") ||
      !select.Execute({change})) {
    Failed(TeamReason::kRefused, select.Error(), error);
    return std::nullopt;
  }
  const auto fetched = select.Fetch(row);
  if (fetched != OdbcStatement::Fetched::kRow) {
    if (fetched == OdbcStatement::Fetched::kError) Failed(TeamReason::kRefused, select.Error(), error);
    if (fetched == OdbcStatement::Fetched::kEnd) error = {TeamReason::kGone, {}, change};
    return std::nullopt;
  }
  TeamServer kept{Number(row[0]), 0, Take(row[1]), Take(row[2]), Take(row[3]), {}, Take(row[4])};
  std::string stored = Take(row[5]);
  // Opened with what it was sealed for: its server's id, and host, port and user as they were.
  auto plain = key_ ? key_->Open(stored, SealingOf(kept)) : std::nullopt;
  sealed::WipeText(stored);
  if (!plain) {
    error = {TeamReason::kDoesNotOpen, {}, kept.id};
    return std::nullopt;
  }
  kept.password = std::move(*plain);
  return kept;
}

std::optional<long long> TeamStore::PutBack(TeamServer& kept, TeamError& error) {
  auto current = OneRow("SELECT pg_catalog.max(version) FROM korvane.server WHERE id = ?", {kept.id}, error);
  if (!current) return std::nullopt;
  if (!std::holds_alternative<std::monostate>(current->at(0))) {
    // Still there: changed at the version just read, so a change made meanwhile by another
    // member is refused rather than overwritten. Change seals the password for this row.
    kept.version = Number(current->at(0));
    if (!Change(kept, error)) return std::nullopt;
    return kept.id;
  }
  // Gone: a new row, with an id drawn for it, the password sealed for that id.
  if (!Insert(kept, error)) return std::nullopt;
  return kept.id;
}

std::optional<long long> TeamStore::Restore(const TeamHistoryRow& from, TeamError& error, bool* alreadyThere) {
  if (!Ready(error)) return std::nullopt;
  OdbcTransaction transaction(db_);
  if (!transaction.began()) {
    Failed(TeamReason::kRefused, db_.Error(), error);
    return std::nullopt;
  }
  auto kept = KeptVersion(from.change, error);
  if (!kept) return std::nullopt;
  if (alreadyThere) *alreadyThere = false;
  // A deleted server restored twice would come back twice: the second time finds the first.
  auto gone = OneRow("SELECT NOT EXISTS (SELECT 1 FROM korvane.server WHERE id = ?)", {kept->id}, error);
  if (!gone) return std::nullopt;
  if (True(gone->at(0))) {
    auto listed = ListWithPasswords(error);
    if (!listed) return std::nullopt;
    for (const TeamServer& server : *listed) {
      if (server.passwordOpens && server.host == kept->host && server.port == kept->port && server.user == kept->user &&
          server.remark == kept->remark && server.password == kept->password) {
        if (alreadyThere) *alreadyThere = true;
        return server.id;
      }
    }
  }
  auto id = PutBack(*kept, error);
  if (!id) return std::nullopt;
  if (!transaction.Commit()) {
    Failed(TeamReason::kRefused, db_.Error(), error);
    return std::nullopt;
  }
  return id;
}

std::optional<TeamRestoreCounts> TeamStore::RestoreBefore(const std::string& time, TeamError& error) {
  const auto settings = ReadSettings(error);
  if (!settings) return std::nullopt;
  OdbcTransaction transaction(db_);
  if (!transaction.began()) {
    Failed(TeamReason::kRefused, db_.Error(), error);
    return std::nullopt;
  }
  TeamRestoreCounts counts;
  // The history reaches back to when it began, and no further than "history days": versions
  // replaced before then are pruned, and a list made of what is left would be wrong.
  auto reach = OneRow(
      "SELECT CAST(? AS timestamptz) >= r, " + Iso("r") +
          " FROM (SELECT GREATEST(COALESCE((SELECT CAST(value AS timestamptz) FROM korvane.team WHERE name = ?),"
          " pg_catalog.now()), pg_catalog.now() - pg_catalog.make_interval(days => ?)) AS r) AS reach",
      {time, std::string(kHistorySinceRow), settings->historyDays}, error);
  if (!reach) return std::nullopt;
  if (!True(reach->at(0))) {
    counts.beforeReach = true;
    counts.reach = Text(reach->at(1));
    return counts;
  }
  // Every server known, current or kept, with the version it had at the time: a kept one
  // (then_change), the current one (then_change 0), or none. Without one, the server was
  // deleted by then, or made after it (its first version, 1, is later), or else its history
  // does not reach back that far (a server that changed more than its kept versions allow).
  // One statement, so one snapshot of both tables.
  OdbcStatement plan(db_);
  const bool planned = plan.Prepare(
      "WITH t AS (SELECT CAST(? AS timestamptz) AS at),"
      " v AS (SELECT server, id AS change, version, changed_at, replaced_at, deleted FROM korvane.server_history"
      "       UNION ALL SELECT id, 0, version, changed_at, 'infinity'::timestamptz, false FROM korvane.server),"
      " s AS (SELECT v.server,"
      "         pg_catalog.max(v.change) FILTER (WHERE v.changed_at <= t.at AND v.replaced_at > t.at) AS then_change,"
      "         pg_catalog.bool_or(v.deleted AND v.replaced_at <= t.at) AS gone,"
      "         pg_catalog.min(v.version) = 1 AND pg_catalog.bool_and(v.changed_at > t.at) AS made_after"
      "       FROM v, t GROUP BY v.server)"
      " SELECT s.server, s.then_change IS NOT NULL, COALESCE(s.then_change, 0), COALESCE(s.gone, false),"
      "  COALESCE(s.made_after, false), c.version IS NOT NULL, COALESCE(c.version, 0)"
      " FROM s LEFT JOIN korvane.server c ON c.id = s.server ORDER BY s.server") && plan.Execute({time});
  if (!planned) {
    Failed(TeamReason::kRefused, plan.Error(), error);
    return std::nullopt;
  }
  struct Step {
    long long server, thenChange, version;
    bool existed, now;
  };
  std::vector<Step> steps;
  std::vector<SqlValue> row;
  OdbcStatement::Fetched fetched;
  while ((fetched = plan.Fetch(row)) == OdbcStatement::Fetched::kRow) {
    const Step step{Number(row[0]), Number(row[2]), Number(row[6]), True(row[1]), True(row[5])};
    const bool gone = True(row[3]), madeAfter = True(row[4]);
    if (step.existed && step.thenChange == 0) continue;  // unchanged since
    if (!step.existed && !gone && !madeAfter) counts.unknown.push_back(step.server);
    if (step.existed || (madeAfter && step.now)) steps.push_back(step);
  }
  if (fetched == OdbcStatement::Fetched::kError) {
    Failed(TeamReason::kRefused, plan.Error(), error);
    return std::nullopt;
  }
  if (!counts.unknown.empty()) return counts;
  const auto same = [](const TeamServer& a, const TeamServer& b) {
    return a.passwordOpens && b.passwordOpens && a.host == b.host && a.port == b.port && a.user == b.user &&
           a.remark == b.remark && a.password == b.password;
  };
  // Servers added since, as they are now: one with the values of a deleted server that comes
  // back (brought back by an earlier restore, say) stays in its place, so a second restore
  // to the same time changes nothing.
  std::vector<std::optional<TeamServer>> added;
  for (const Step& step : steps) {
    if (!step.existed && !added.emplace_back(Read(step.server, error)) && error.reason != TeamReason::kGone) {
      return std::nullopt;
    }
  }
  std::vector<bool> stays(added.size(), false);
  for (const Step& step : steps) {
    if (!step.existed) continue;
    auto kept = KeptVersion(step.thenChange, error);
    if (!kept) return std::nullopt;
    if (step.now) {
      // A server that has the values of then again is left as it is.
      auto current = Read(step.server, error);
      if (!current) return std::nullopt;
      if (same(*current, *kept)) continue;
    } else {
      bool there = false;
      for (std::size_t i = 0; i < added.size() && !there; ++i) {
        there = !stays[i] && added[i] && same(*added[i], *kept);
        if (there) stays[i] = true;
      }
      if (there) continue;
    }
    if (!PutBack(*kept, error)) return std::nullopt;
    ++(step.now ? counts.changedBack : counts.cameBack);
  }
  std::size_t next = 0;
  for (const Step& step : steps) {
    if (step.existed) continue;
    // Added after the time: deleted through the function that keeps its history.
    if (stays[next++]) continue;
    if (!Delete(step.server, step.version, error)) return std::nullopt;
    ++counts.deleted;
  }
  if (!transaction.Commit()) {
    Failed(TeamReason::kRefused, db_.Error(), error);
    return std::nullopt;
  }
  return counts;
}

bool TeamStore::ResealHistory(const TeamKey& newKey, TeamError& error) {
  // A team still at version 2 keeps no history.
  auto exists = OneRow("SELECT pg_catalog.to_regclass('korvane.server_history') IS NOT NULL", {}, error);
  if (!exists) return false;
  if (!True(exists->at(0))) return true;
  OdbcStatement select(db_);
  if (!select.Prepare("SELECT id, server, host, port, username, password FROM korvane.server_history"
                      " WHERE password <> '' ORDER BY id") ||
      !select.Execute({})) {
    return Failed(TeamReason::kRefused, select.Error(), error);
  }
  std::vector<std::pair<long long, std::string>> resealed;
  const auto wipe = [&] {
    for (auto& [id, value] : resealed) sealed::WipeText(value);
  };
  std::vector<SqlValue> row;
  OdbcStatement::Fetched fetched;
  while ((fetched = select.Fetch(row)) == OdbcStatement::Fetched::kRow) {
    const TeamServer kept{Number(row[1]), 0, Take(row[2]), Take(row[3]), Take(row[4])};
    std::string stored = Take(row[5]);
    auto plain = key_->Open(stored, SealingOf(kept));
    sealed::WipeText(stored);
    // One that does not open under the old key opens under none: left as it is.
    if (!plain) continue;
    auto again = newKey.Seal(*plain, SealingOf(kept));
    sealed::WipeText(*plain);
    if (!again) {
      wipe();
      error = {TeamReason::kCryptographyRefused, crypto::BackendName()};
      return false;
    }
    resealed.emplace_back(Number(row[0]), std::move(*again));
  }
  if (fetched == OdbcStatement::Fetched::kError) {
    wipe();
    return Failed(TeamReason::kRefused, select.Error(), error);
  }
  for (auto& [id, value] : resealed) {
    if (!db_.Execute("UPDATE korvane.server_history SET password = ? WHERE id = ?", {value, id})) {
      wipe();
      return Failed(TeamReason::kRefused, db_.Error(), error);
    }
  }
  wipe();
  return true;
}

}  // namespace korvane
