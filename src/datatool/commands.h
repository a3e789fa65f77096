// The data-file tool's commands and what they share. data_tool.cpp reads the command
// line and calls them; each returns the tool's exit code.
#pragma once

#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "datatool/data_tool.h"
#include "datatool/messages.h"
#include "import/server_fields.h"
#include "import/text.h"
#include "store/protection.h"
#include "store/sqlite_util.h"

namespace korvane {
class TeamStore;
struct TeamSettings;
}

namespace korvane::tool {

// One command as the dispatcher hands it over: its operands in order and its flags.
struct Invocation {
  std::vector<std::string> operands;
  std::vector<std::string> flags;
  ToolInput& input;
  std::ostream& out;
  std::ostream& err;
  // The value given after an option that takes one (such as --since DATE); empty when absent.
  std::string flagValue = {};

  bool HasFlag(std::string_view flag) const;
};

int List(const Invocation& call);
int Check(const Invocation& call);
int SetLoginPassword(const Invocation& call);
int Export(const Invocation& call);
int Import(const Invocation& call);
int Protect(const Invocation& call);
int Unprotect(const Invocation& call);
int TeamInit(const Invocation& call);
int TeamJoin(const Invocation& call);
int TeamPush(const Invocation& call);
int TeamLeave(const Invocation& call);
int TeamRekey(const Invocation& call);
int TeamLog(const Invocation& call);
int TeamUpgrade(const Invocation& call);
// team check, set, history and restore (team_history_commands.cpp).
int TeamCheckTeam(const Invocation& call);
int TeamSet(const Invocation& call);
int TeamHistory(const Invocation& call);
int TeamRestore(const Invocation& call);
// "offline copy: not allowed; history days: 90"
std::string SettingsText(const TeamSettings& settings);

// add-server, list and check on a member file, whose servers are its team's (team_servers.cpp).
int TeamAddServer(const Invocation& call, sqlite3* db);
int TeamList(const Invocation& call, sqlite3* db);
// check's last step: the team of a member file that passed the file's own checks, reached
// with the keys of its login password; `ownServers` counts the file's own.
int TeamCheck(const Invocation& call, sqlite3* db, const LoginKeys& keys, std::size_t ownServers);

// The team of a member file, connected and using the key the file keeps: the membership opened
// with the keys of its login password, which the second form asks for. `name` gets the team's
// name when given. False after saying why on `err`.
bool MemberTeam(const Invocation& call, sqlite3* db, const std::string& path, const LoginKeys& keys,
                TeamStore& store, std::string* name = nullptr);
bool MemberTeam(const Invocation& call, sqlite3* db, const std::string& path, TeamStore& store,
                std::string* name = nullptr);
// Names, on `err`, the team's servers whose passwords did not open; false when there are any.
bool SayUnopened(const Invocation& call, const std::string& team, const std::vector<TeamServer>& servers);

// One secret: typed on the terminal without echo after the prompt, or else the next line of
// standard input. nullopt after saying on `err` that none came, and then `outcome`.
std::optional<std::string> ReadSecret(const Invocation& call, const std::string& prompt,
                                      Msg outcome = Msg::kNothingDone);

// A new secret: asked twice on a terminal, where a typing slip cannot be seen, after `prompt`;
// read once from a pipe, where a script gives it. nullopt after saying why on `err`.
std::optional<std::string> ReadNewSecret(const Invocation& call, Msg prompt);

// What a command needs to read or write the server passwords of the file: for a protected file
// the keys of its login password, which it asks for and checks; nothing for a plain one. False
// after saying why on `err` when the password is missing or wrong, or the file cannot be read.
bool KeysForPasswords(const Invocation& call, sqlite3* db, const std::string& path,
                      std::optional<LoginKeys>& keys, Msg prompt = Msg::kLoginPasswordPrompt);

using import::kServerFieldCount;
using import::kServerFields;

// Writes "korvane-data: <message>" to `err` and returns 1, the exit code of a failed command.
int Fail(std::ostream& err, const std::string& message);

// Opens an existing file for reading only: never creates, and writes nothing of its own, so it
// works on a file the program could not use and cannot harm one. The one write it makes is the
// program's own: a write cut short (the journal left beside the file) is rolled back first, as
// the program's next login would, and `notes` is told. Null with the reason in `error`.
sqlite::DatabasePtr OpenReadOnly(const std::string& path, std::string& error, std::ostream& notes);
// The same, and null unless it is a sound data file of this program with its database password.
sqlite::DatabasePtr OpenForReading(const std::string& path, std::string& error, std::ostream& notes);

// The reason OpenAccess refused `path`, for a command that writes.
std::string WhyNotWritable(const std::string& path);

using import::IsUtf8;

// A value kept on its line: a backslash, tab, line break or other control character is
// written as an escape (\\, \t, \n, \r, \xHH), so that it cannot pass for another column or
// another line.
std::string OneLine(const std::string& value);

// A text from a file for a message, a path among them: control characters escaped as in
// OneLine, so that none reaches the terminal, but a backslash (a Windows path's) kept.
std::string Printable(const std::string& text);

// "server 7 (机房 A, host 10.0.0.7)": a server as the operator finds it again in the list,
// for a message about it. The remark is left out when it is empty.
std::string ServerLabel(const std::string& id, const std::string& remark, const std::string& host);

using sqlite::ColumnText;

// "1 server", "2 servers".
std::string Servers(std::size_t count);

// Overwrites a secret before its memory is given back.
void Wipe(std::string& secret);

}  // namespace korvane::tool
