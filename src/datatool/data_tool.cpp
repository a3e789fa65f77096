#include "datatool/data_tool.h"

#include <ostream>

#include <sqlite3.h>

#include "app/program.h"
#include "store/schema.h"
#include "store/store.h"
#include "datatool/commands.h"

namespace korvane {
namespace {

using tool::Fail;
using tool::Invocation;

int Create(const Invocation& call) {
  const std::string& path = call.operands[0];
  const std::string loginPassword = call.operands.size() > 1 ? call.operands[1] : kFirstLoginPassword;
  std::string error;
  if (!CreateDataFile(path, loginPassword, error)) return Fail(call.err, error);
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
  // A protected file takes the password sealed: the login password is asked for first.
  std::optional<LoginKeys> keys;
  if (!tool::KeysForPasswords(call, connection.Handle(), path, keys)) return 1;
  const auto password = keys ? keys->Seal(call.operands[4], call.operands[1]) : call.operands[4];
  if (!password) return Fail(call.err, path + ": the system's cryptography refused to seal the password");
  std::vector<SqlValue> values;
  for (size_t i = 1; i < 6; ++i) values.push_back(TextOrNull(i == 4 ? *password : call.operands[i]));
  if (!connection.ExecuteSql(
          "INSERT INTO Server (服务器名, 端口, 用户名, 密码, 备注) VALUES (?, ?, ?, ?, ?)",
          values)) {
    return Fail(call.err, path + ": cannot add the server: " + sqlite3_errmsg(connection.Handle()));
  }
  call.out << sqlite3_last_insert_rowid(connection.Handle()) << "\n";
  return 0;
}

struct Command {
  const char* name;
  const char* operands;  // as the usage line shows them
  size_t fewest, most;
  const char* flag;  // the one option the command takes, or null
  const char* summary;
  const char* help;
  int (*run)(const Invocation&);
};

const Command kCommands[] = {
    {"create", "PATH [FIRST_LOGIN_PASSWORD]", 1, 2, nullptr, "make a new data file",
     "Makes a new data file at PATH: tables Login and Server, the one login row and the\n"
     "database password. The first login password is FIRST_LOGIN_PASSWORD, or admin when none\n"
     "is given. Refuses a PATH where anything exists already.\n",
     Create},
    {"add-server", "PATH HOST PORT USER PASSWORD REMARK", 6, 6, nullptr,
     "add one server and print its id",
     "Adds one server to the data file at PATH and prints its new id. An empty value is stored\n"
     "as empty (null). The password stands on the command line, where other users of this\n"
     "machine may see it while the tool runs; import takes servers from a file instead.\n"
     "On a protected file the login password is asked for, and the password is stored sealed.\n",
     AddServer},
    {"list", "FILE [--show-passwords]", 1, 1, "--show-passwords", "show the servers",
     "Shows the servers of the data file FILE in id order, one a line after a header line:\n"
     "id, remark, host, port and user, separated by tabs. A tab, line break or backslash in a\n"
     "value is shown as \\t, \\n or \\\\ (other control characters as \\xHH), so that every\n"
     "server keeps to its line. Passwords are left out unless --show-passwords adds them as\n"
     "the last column. The file is only read. On a protected file the list needs no password;\n"
     "--show-passwords asks for the login password and shows the passwords opened.\n",
     tool::List},
    {"check", "FILE", 1, 1, nullptr, "check a data file without changing it",
     "Checks that FILE is a data file this program can use: its format marker and database\n"
     "password, tables Login and Server with the fields the program reads, the Login row with\n"
     "Key By.Oxle and a password in it, and SQLite's integrity check of every page. Prints each\n"
     "problem on a line of standard error and exits with 1, or prints one line saying OK on\n"
     "standard output and exits with 0. The file is opened read-only: the check never changes\n"
     "a byte of it.\n"
     "On a protected file it also checks the protection row and asks for the login password,\n"
     "then checks that the password is right and that every sealed server password opens. On\n"
     "a plain file it reports every server password that looks sealed (the file lost its\n"
     "protection table): no password opens it, and it is no password to connect with.\n",
     tool::Check},
    {"set-login-password", "FILE", 1, 1, nullptr, "change the password of the login window",
     "Changes the password that the login window asks for: the one of the Login row with Key\n"
     "By.Oxle. On a terminal the new password is asked for twice and not shown; otherwise it\n"
     "is the first line of standard input, for instance\n"
     "    printf '%s\\n' \"$NEW_PASSWORD\" | korvane-data set-login-password mstsc.mdb\n"
     "It is never taken from the command line. An empty password is refused: the program\n"
     "stores it as null, which no login matches.\n"
     "On a protected file the current login password is asked for first (on standard input,\n"
     "the first line; the new one is the second), and every server password is sealed anew\n"
     "under the new one, all in one transaction.\n",
     tool::SetLoginPassword},
    {"export", "FILE CSV", 2, 2, nullptr, "write the servers to a new CSV file",
     "Writes the servers of the data file FILE to a new UTF-8 CSV file: the header line\n"
     "host,port,user,password,remark, then one server a record in id order. Every field that\n"
     "is not empty is quoted; an empty value is an empty field.\n"
     "A value that begins with =, +, -, @, a tab or a carriage return, which a spreadsheet\n"
     "would run as a formula, is written with an apostrophe (') in front, and so is a value\n"
     "that begins with an apostrophe; import takes exactly that apostrophe off again.\n"
     "A spreadsheet that saves the CSV again may still change values it takes for numbers:\n"
     "a port such as 03389 loses its leading zero, and a long run of digits (a user name or a\n"
     "password) becomes a number, perhaps in scientific notation (1.23457E+15). Open such a\n"
     "CSV with those columns as text, or check the values after importing it.\n"
     "The passwords are written in clear: the CSV is as sensitive as the data file. Keep it as\n"
     "safe and delete it when done. Only the user who exported it may open it, where the file\n"
     "system keeps permissions: on Windows its access list names that user alone, elsewhere\n"
     "its mode is 0600. Refuses to overwrite an existing file. On a protected file the login\n"
     "password is asked for, and the passwords are opened for the CSV.\n",
     tool::Export},
    {"import", "FILE SOURCE [--dry-run]", 2, 2, "--dry-run",
     "add the servers of a CSV file or of another tool's files",
     "Adds servers to the data file FILE. SOURCE is recognised by its content:\n"
     "  - mRemoteNG's confCons.xml, every version: Remote Desktop connections with host,\n"
     "    port, user (DOMAIN\\user where a domain is set), password and name, fields the file\n"
     "    inherits from its folders resolved; other protocols are skipped. A file under a\n"
     "    master password asks for it (a wrong one imports nothing). Opening each password\n"
     "    takes a key derivation; they run on every core, with progress on a terminal.\n"
     "  - RDCMan's .rdg (2.2, 2.7 and 3.x): host, display name, port, and the logon\n"
     "    credentials (inherited from the groups, or from a credentials profile in the file).\n"
     "  - a Remote Desktop .rdp file, or a folder of them: full address (with its port),\n"
     "    server port, username and password (the file name is the name).\n"
     "  - a UTF-8 CSV with the header host,port,user,password,remark, as export writes it.\n"
     "Passwords that Windows protected for its user (RDCMan, .rdp) open only for the Windows\n"
     "user who saved them, and only in korvane-data.exe; one that does not open is imported\n"
     "empty and named. The name becomes the remark, after the path of the groups the server\n"
     "sat in (\"机房A/Web/web-01\"). A server with the host, port and user of one already in\n"
     "FILE is not added again, so importing a file twice adds nothing the second time.\n"
     "--dry-run shows what would be added and writes nothing. Everything is read first, then\n"
     "written in one step: on any error nothing is imported, and the message names the file\n"
     "and the line or server. On a protected file the login password is asked for, and the\n"
     "passwords are stored sealed.\n"
     "CSV: a field that holds commas, quotes or line breaks is quoted whole, its quotes\n"
     "doubled, as spreadsheets write it; blanks around a field are kept; an empty field is\n"
     "stored as empty (null). A field that begins with an apostrophe (') followed by =, +, -,\n"
     "@, a tab, a carriage return or another apostrophe loses that one apostrophe, which\n"
     "export puts there to keep spreadsheets from running the value as a formula. A CSV saved\n"
     "again by a spreadsheet may hold values it changed: a port such as 03389 without its\n"
     "leading zero, a long run of digits as a number in scientific notation. A bad line is\n"
     "reported with its line number.\n",
     tool::Import},
    {"protect", "FILE", 1, 1, nullptr, "seal the passwords so that a copied file reveals none",
     "Protects the data file FILE: a copy of it no longer reveals the login password or any\n"
     "server password. The current login password is asked for (on a terminal without echo,\n"
     "otherwise the first line of standard input; never from the command line) and checked.\n"
     "Then, in one transaction, the file gets a table Protection with a random salt, the login\n"
     "row gets a verifier derived from the password (PBKDF2-HMAC-SHA256, 600000 iterations)\n"
     "instead of the password, and every server password is sealed with AES-256-GCM under a\n"
     "key derived from it. Hosts, ports, users and remarks stay readable. The program opens\n"
     "such a file with the same login password. A forgotten login password cannot be\n"
     "recovered from a protected file: keep an export, or the password, somewhere safe.\n"
     "Last, the file is rebuilt (VACUUM), so that no password it held before is left in plain\n"
     "text in its free space. Should only that fail, the file is protected all the same and\n"
     "protect says so and exits with 1: run it again once no program has the file open. On a\n"
     "file that is protected already, protect asks for nothing and only rebuilds it.\n",
     tool::Protect},
    {"unprotect", "FILE", 1, 1, nullptr, "turn a protected file back into a plain one",
     "Turns a protected data file back into the plain layout that other tools can read: the\n"
     "login password (asked for as protect asks for it) is stored as itself again and every\n"
     "server password in plain text. All in one transaction: if any sealed password does not\n"
     "open, nothing changes.\n",
     tool::Unprotect},
};

// "list FILE [--show-passwords]"
std::string NameAndOperands(const Command& command) {
  return std::string(command.name) + " " + command.operands;
}

std::string Synopsis(const Command& command) { return "korvane-data " + NameAndOperands(command); }

std::string Overview() {
  std::string text =
      "usage: korvane-data COMMAND ARGUMENTS\n\n"
      "Makes, checks and fills the data file (mstsc.mdb) of Korvane.\n\nCommands:\n";
  for (const auto& command : kCommands) {
    text += "  " + NameAndOperands(command) + "\n      " + command.summary + "\n";
  }
  text +=
      "  signing-certificate list | set THUMBPRINT | off\n"
      "      (Windows) choose the certificate that signs connection files\n";
  text +=
      "\nkorvane-data COMMAND --help tells more about one command.\n"
      "Exit status: 0 done, 1 the command failed, 2 a wrong command line.\n";
  return text;
}

int WrongCommandLine(std::ostream& err, const Command& command, const std::string& what) {
  err << "korvane-data: " << what << "\nusage: " << Synopsis(command) << "\n(korvane-data "
      << command.name << " --help tells more)\n";
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
  const Command* command = nullptr;
  for (const auto& candidate : kCommands) {
    if (name == candidate.name) command = &candidate;
  }
  if (command == nullptr) {
    err << "korvane-data: no command " << name << "\n" << Overview();
    return 2;
  }

  Invocation call{{}, {}, input, out, err};
  // "--" ends the options, for a value that begins with two dashes.
  bool optionsEnded = false;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && argument == "--help") {
      out << "usage: " << Synopsis(*command) << "\n\n" << command->help;
      return 0;
    } else if (!optionsEnded && argument.size() > 2 && argument.starts_with("--")) {
      if (command->flag == nullptr || argument != command->flag) {
        return WrongCommandLine(err, *command, "no option " + argument);
      }
      call.flags.push_back(argument);
    } else {
      call.operands.push_back(argument);
    }
  }
  if (call.operands.size() < command->fewest || call.operands.size() > command->most) {
    return WrongCommandLine(err, *command,
                            call.operands.size() < command->fewest ? "too few arguments"
                                                                   : "too many arguments");
  }
  return command->run(call);
}

int RunDataTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  ToolInput nothing;
  return RunDataTool(arguments, nothing, out, err);
}

}  // namespace korvane
