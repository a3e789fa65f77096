#include "datatool/data_tool.h"

#include <ostream>
#include <string_view>

#include <sqlite3.h>

#include "app/program.h"
#include "store/membership.h"
#include "store/schema.h"
#include "store/store.h"
#include "datatool/commands.h"
#include "datatool/messages.h"

namespace korvane {
namespace {

using tool::Fail;
using tool::Format;
using tool::Invocation;
using tool::Msg;

int Create(const Invocation& call) {
  const std::string& path = call.operands[0];
  const std::string loginPassword = call.operands.size() > 1 ? call.operands[1] : kFirstLoginPassword;
  StoreError error;
  if (!CreateDataFile(path, loginPassword, error)) return Fail(call.err, tool::Say(error));
  return 0;
}

// Same rule as the editor: an empty text is stored as null.
SqlValue TextOrNull(const std::string& text) {
  if (text.empty()) return std::monostate{};
  return text;
}

int AddServer(const Invocation& call) {
  const std::string& path = call.operands[0];
  DBConnection connection;
  if (!connection.OpenAccess(path, kDatabasePassword)) {
    return Fail(call.err, tool::WhyNotWritable(path));
  }
  if (IsTeamMember(connection.Handle())) return tool::TeamAddServer(call, connection.Handle());
  // A protected file takes the password sealed: the login password is asked for first.
  std::optional<LoginKeys> keys;
  if (!tool::KeysForPasswords(call, connection.Handle(), path, keys)) return 1;
  const auto password = keys ? keys->Seal(call.operands[4], call.operands[1]) : call.operands[4];
  if (!password) return Fail(call.err, Format(Msg::kCannotSeal, path));
  std::vector<SqlValue> values;
  for (size_t i = 1; i < 6; ++i) values.push_back(TextOrNull(i == 4 ? *password : call.operands[i]));
  if (!connection.ExecuteSql(
          "INSERT INTO Server (服务器名, 端口, 用户名, 密码, 备注) VALUES (?, ?, ?, ?, ?)",
          values)) {
    return Fail(call.err, Format(Msg::kCannotAddServer, path, sqlite3_errmsg(connection.Handle())));
  }
  call.out << sqlite3_last_insert_rowid(connection.Handle()) << "\n";
  return 0;
}

struct Command {
  const char* name;
  const char* operands;  // as the usage line shows them
  size_t fewest, most;
  const char* flag;  // the one option the command takes, or null
  Msg summary;
  Msg help;
  int (*run)(const Invocation&);
  bool flagTakesValue = false;  // the option is followed by its value
};

const Command kCommands[] = {
    {"create", "PATH [FIRST_LOGIN_PASSWORD]", 1, 2, nullptr, Msg::kCreateSummary, Msg::kCreateHelp, Create},
    {"add-server", "PATH HOST PORT USER PASSWORD REMARK", 6, 6, nullptr, Msg::kAddServerSummary,
     Msg::kAddServerHelp, AddServer},
    {"list", "FILE [--show-passwords]", 1, 1, "--show-passwords", Msg::kListSummary, Msg::kListHelp, tool::List},
    {"check", "FILE", 1, 1, nullptr, Msg::kCheckSummary, Msg::kCheckHelp, tool::Check},
    {"set-login-password", "FILE", 1, 1, nullptr, Msg::kSetLoginPasswordSummary, Msg::kSetLoginPasswordHelp,
     tool::SetLoginPassword},
    {"export", "FILE CSV", 2, 2, nullptr, Msg::kExportSummary, Msg::kExportHelp, tool::Export},
    {"import", "FILE SOURCE [--dry-run]", 2, 2, "--dry-run", Msg::kImportSummary, Msg::kImportHelp, tool::Import},
    {"protect", "FILE", 1, 1, nullptr, Msg::kProtectSummary, Msg::kProtectHelp, tool::Protect},
    {"unprotect", "FILE", 1, 1, nullptr, Msg::kUnprotectSummary, Msg::kUnprotectHelp, tool::Unprotect},
    {"team init", "CONNECTION", 1, 1, nullptr, Msg::kTeamInitSummary, Msg::kTeamInitHelp, tool::TeamInit},
    {"team join", "FILE CONNECTION", 2, 2, nullptr, Msg::kTeamJoinSummary, Msg::kTeamJoinHelp, tool::TeamJoin},
    {"team push", "FILE", 1, 1, nullptr, Msg::kTeamPushSummary, Msg::kTeamPushHelp, tool::TeamPush},
    {"team leave", "FILE", 1, 1, nullptr, Msg::kTeamLeaveSummary, Msg::kTeamLeaveHelp, tool::TeamLeave},
    {"team rekey", "FILE", 1, 1, nullptr, Msg::kTeamRekeySummary, Msg::kTeamRekeyHelp, tool::TeamRekey},
    {"team log", "FILE [--since DATE]", 1, 1, "--since", Msg::kTeamLogSummary, Msg::kTeamLogHelp, tool::TeamLog,
     true},
    {"team check", "FILE", 1, 1, nullptr, Msg::kTeamCheckSummary, Msg::kTeamCheckHelp, tool::TeamCheckTeam},
    {"team set", "FILE offline-copy on|off | FILE history-days N", 3, 3, nullptr, Msg::kTeamSetSummary,
     Msg::kTeamSetHelp, tool::TeamSet},
    {"team history", "FILE [SERVER]", 1, 2, nullptr, Msg::kTeamHistorySummary, Msg::kTeamHistoryHelp,
     tool::TeamHistory},
    {"team restore", "FILE SERVER [CHANGE] | FILE --before TIME", 1, 3, "--before", Msg::kTeamRestoreSummary,
     Msg::kTeamRestoreHelp, tool::TeamRestore, true},
    {"team upgrade", "CONNECTION", 1, 1, nullptr, Msg::kTeamUpgradeSummary, Msg::kTeamUpgradeHelp,
     tool::TeamUpgrade},
};

// The word that groups commands such as "team init"; it is no command of its own.
constexpr std::string_view kTeamWord = "team";

// "list FILE [--show-passwords]"
std::string NameAndOperands(const Command& command) {
  return std::string(command.name) + " " + command.operands;
}

std::string Synopsis(const Command& command) { return "korvane-data " + NameAndOperands(command); }

std::string Overview() {
  std::string text = Format(Msg::kUsageOverview);
  for (const auto& command : kCommands) {
    text += "  " + NameAndOperands(command) + "\n      " + Format(command.summary) + "\n";
  }
  text += Format(Msg::kSigningOverviewLine);
  text += Format(Msg::kOverviewEnd);
  return text;
}

int WrongCommandLine(std::ostream& err, const Command& command, const std::string& what) {
  err << "korvane-data: " << what << "\n" << Format(Msg::kUsagePrefix, Synopsis(command)) << "\n"
      << Format(Msg::kMoreHelp, command.name) << "\n";
  return 2;
}

}  // namespace

int RunDataTool(const std::vector<std::string>& arguments, ToolInput& input, std::ostream& out,
                std::ostream& err) {
  if (arguments.empty()) {
    err << Overview();
    return 2;
  }
  const std::string& name = arguments[0];
  if (name == "--help" || name == "help") {
    out << Overview();
    return 0;
  }
  // "team init": the group's word and the command's take the first two arguments.
  const bool grouped = name == kTeamWord;
  if (grouped && arguments.size() < 2) {
    err << "korvane-data: " << Format(Msg::kTeamNeedsCommand) << "\n" << Overview();
    return 2;
  }
  if (grouped && arguments[1] == "--help") {
    out << Overview();
    return 0;
  }
  const std::string full = grouped ? name + " " + arguments[1] : name;
  const Command* command = nullptr;
  for (const auto& candidate : kCommands) {
    if (full == candidate.name) command = &candidate;
  }
  if (command == nullptr) {
    err << "korvane-data: " << Format(Msg::kNoCommand, full) << "\n" << Overview();
    return 2;
  }

  Invocation call{{}, {}, input, out, err};
  // "--" ends the options, for a value that begins with two dashes.
  bool optionsEnded = false;
  for (size_t i = grouped ? 2 : 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && argument == "--help") {
      out << Format(Msg::kUsagePrefix, Synopsis(*command)) << "\n\n" << Format(command->help);
      return 0;
    } else if (!optionsEnded && argument.size() > 2 && argument.starts_with("--")) {
      if (command->flag == nullptr || argument != command->flag) {
        return WrongCommandLine(err, *command, Format(Msg::kNoOption, argument));
      }
      call.flags.push_back(argument);
      if (command->flagTakesValue) {
        if (i + 1 >= arguments.size()) return WrongCommandLine(err, *command, Format(Msg::kOptionNeedsValue, argument));
        call.flagValue = arguments[++i];
      }
    } else {
      call.operands.push_back(argument);
    }
  }
  if (call.operands.size() < command->fewest || call.operands.size() > command->most) {
    return WrongCommandLine(err, *command,
                            Format(call.operands.size() < command->fewest ? Msg::kTooFewArguments
                                                                          : Msg::kTooManyArguments));
  }
  return command->run(call);
}

int RunDataTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  ToolInput nothing;
  return RunDataTool(arguments, nothing, out, err);
}

}  // namespace korvane
