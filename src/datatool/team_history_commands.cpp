// team check, set, history and restore on a member file: what the team's database says of
// itself, the administrator's settings, and the history of the list with the way back.
#include <charconv>

#include "store/team.h"
#include "datatool/commands.h"
#include "datatool/messages.h"

namespace korvane::tool {
namespace {

// A server's or a change's number as typed; 0 for anything else, which names none.
long long Number(const std::string& text) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value > 0 ? value : 0;
}

// The member file's team, for a command that only reads the file. False after saying why.
bool Reach(const Invocation& call, TeamStore& store, std::string& name) {
  std::string error;
  const auto db = OpenForReading(call.operands[0], error, call.err);
  if (!db) return Fail(call.err, error), false;
  return MemberTeam(call, db.get(), call.operands[0], store, &name);
}

int Problem(const Invocation& call, const std::string& name, const TeamError& error, TeamStore& store,
            Msg outcome = Msg::kPathProblem) {
  return Fail(call.err, Format(outcome, call.operands[0],
                               Format(Msg::kTeamProblem, name, Say(error, Printable(store.ServerName())))));
}

// The settings of a team that keeps its history; false after saying it must be upgraded first.
bool KeepsHistory(const Invocation& call, TeamStore& store, const std::string& name) {
  TeamError error;
  const auto settings = store.ReadSettings(error);
  if (!settings) return Problem(call, name, error, store), false;
  if (settings->schema >= kTeamSchemaVersion) return true;
  Fail(call.err, Format(Msg::kNeedsUpgrade, name, settings->schema));
  return false;
}

std::string DurabilityText(const TeamDurability& durability) {
  if (durability.OnStandby()) {
    return Format(Msg::kOnStandby, OneLine(durability.standbyNames), OneLine(durability.synchronousCommit));
  }
  if (durability.standbyNames.find_first_not_of(" \t") == std::string::npos) return Format(Msg::kNoStandby);
  return Format(Msg::kStandbyNotWaited, OneLine(durability.standbyNames), OneLine(durability.synchronousCommit));
}

int RestoreBefore(const Invocation& call, TeamStore& store, const std::string& name) {
  TeamError error;
  const auto counts = store.RestoreBefore(call.flagValue, error);
  if (!counts) return Problem(call, name, error, store, Msg::kConversionFailed);
  const std::string time = OneLine(call.flagValue);
  if (counts->beforeReach) return Fail(call.err, Format(Msg::kBeforeReach, name, counts->reach, time));
  if (!counts->unknown.empty()) {
    std::string servers;
    for (long long id : counts->unknown) servers += (servers.empty() ? "" : ", ") + std::to_string(id);
    return Fail(call.err, Format(Msg::kUnknownBefore, name, servers, time));
  }
  call.out << Format(Msg::kRestoredBefore, name, time, Servers(counts->cameBack), Servers(counts->changedBack),
                     Servers(counts->deleted))
           << "\n";
  return 0;
}

}  // namespace

std::string SettingsText(const TeamSettings& settings) {
  return Format(Msg::kSettingsLine, Format(settings.offlineCopy ? Msg::kOfflineAllowed : Msg::kOfflineNotAllowed),
                settings.historyDays);
}

int TeamCheckTeam(const Invocation& call) {
  TeamStore store;
  std::string name;
  if (!Reach(call, store, name)) return 1;
  TeamError error;
  const auto settings = store.ReadSettings(error);
  const auto durability = settings ? store.Durability(error) : std::nullopt;
  if (!durability) return Problem(call, name, error, store);
  call.out << Format(Msg::kTeamReached, name, Printable(store.ServerName()), settings->schema) << "\n"
           << Format(Msg::kTeamLine, name, SettingsText(*settings)) << "\n"
           << Format(Msg::kTeamLine, name, DurabilityText(*durability)) << "\n";
  return 0;
}

int TeamSet(const Invocation& call) {
  const std::string &setting = call.operands[1], &value = call.operands[2];
  // Looked at before the login password is asked: the database checks them again.
  const bool offline = setting == "offline-copy", days = setting == "history-days";
  if (!offline && !days) return Fail(call.err, Format(Msg::kNoSuchSetting, OneLine(setting)));
  const bool valid = offline ? value == "on" || value == "off" : Number(value) > 0 && Number(value) <= 99999;
  if (!valid) return Fail(call.err, Format(Msg::kBadSettingValue, setting, offline ? "on|off" : "1..99999", OneLine(value)));
  TeamStore store;
  std::string name;
  if (!Reach(call, store, name) || !KeepsHistory(call, store, name)) return 1;
  TeamError error;
  // A count of days as the database reads it: no leading zeros, no sign.
  const std::string stored = offline ? value : std::to_string(Number(value));
  if (!store.SetSetting(offline ? TeamSetting::kOfflineCopy : TeamSetting::kHistoryDays, stored, error)) {
    return Problem(call, name, error, store, Msg::kConversionFailed);
  }
  const auto settings = store.ReadSettings(error);
  if (!settings) return Problem(call, name, error, store);
  call.out << Format(Msg::kTeamLine, name, SettingsText(*settings)) << "\n";
  return 0;
}

int TeamHistory(const Invocation& call) {
  TeamStore store;
  std::string name;
  if (!Reach(call, store, name) || !KeepsHistory(call, store, name)) return 1;
  const long long server = call.operands.size() > 1 ? Number(call.operands[1]) : 0;
  if (call.operands.size() > 1 && server == 0) {
    return Fail(call.err, Format(Msg::kNoHistoryOf, name, OneLine(call.operands[1])));
  }
  TeamError error;
  const auto rows = store.History(server, error);
  if (!rows) return Problem(call, name, error, store);
  std::string text = Format(Msg::kHistoryHeader) + "\n";
  for (const TeamHistoryRow& row : *rows) {
    text += std::to_string(row.change) + "\t" + row.replacedAt + "\t" + OneLine(row.replacedBy) + "\t" +
            Format(row.deleted ? Msg::kWhatDeleted : Msg::kWhatChanged) + "\t" + std::to_string(row.server) + "\t" +
            std::to_string(row.version) + "\t" + OneLine(row.host) + "\t" + OneLine(row.port) + "\t" +
            OneLine(row.user) + "\t" + OneLine(row.remark) + "\t" +
            Format(row.passwordOpens ? Msg::kPasswordOpens : Msg::kPasswordShut) + "\n";
  }
  call.out << text;
  return 0;
}

int TeamRestore(const Invocation& call) {
  const bool before = call.HasFlag("--before");
  if (before ? call.operands.size() != 1 : call.operands.size() < 2) {
    call.err << "korvane-data: " << Format(before ? Msg::kBeforeAlone : Msg::kTooFewArguments) << "\n"
             << Format(Msg::kMoreHelp, "team restore") << "\n";
    return 2;
  }
  TeamStore store;
  std::string name;
  if (!Reach(call, store, name) || !KeepsHistory(call, store, name)) return 1;
  TeamError error;
  // Said before anything is read: the database would refuse a reader's change in any case.
  const auto mayChange = store.MayChange(error);
  if (!mayChange) return Problem(call, name, error, store);
  const auto roles = store.Roles();
  if (!*mayChange) return Fail(call.err, Format(Msg::kReaderMayNot, name, roles ? roles->editor : std::string()));
  if (before) return RestoreBefore(call, store, name);

  const long long server = Number(call.operands[1]);
  const long long change = call.operands.size() > 2 ? Number(call.operands[2]) : 0;
  const auto rows = server ? store.History(server, error) : std::vector<TeamHistoryRow>{};
  if (!rows) return Problem(call, name, error, store);
  if (rows->empty()) return Fail(call.err, Format(Msg::kNoHistoryOf, name, OneLine(call.operands[1])));
  // The latest version kept unless a change is named: what the last change or deletion replaced.
  const TeamHistoryRow* from = call.operands.size() > 2 ? nullptr : &rows->back();
  for (const TeamHistoryRow& row : *rows) {
    if (change != 0 && row.change == change) from = &row;
  }
  if (!from) return Fail(call.err, Format(Msg::kNoSuchChange, name, OneLine(call.operands[2]), server));
  bool alreadyThere = false;
  const auto id = store.Restore(*from, error, &alreadyThere);
  if (!id) return Problem(call, name, error, store, Msg::kConversionFailed);
  call.out << (alreadyThere    ? Format(Msg::kAlreadyRestored, name, server, from->change, *id)
               : *id == server ? Format(Msg::kRestoredInPlace, name, server, from->change)
                               : Format(Msg::kRestoredAsNew, name, server, from->change, *id))
           << "\n";
  return 0;
}

}  // namespace korvane::tool
