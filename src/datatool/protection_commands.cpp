// protect and unprotect, and what the other commands need to work on a protected file.
#include <istream>

#include "app/program.h"
#include "store/schema.h"
#include "store/store.h"
#include "datatool/commands.h"

namespace korvane::tool {
namespace {

// protect on a file that is protected already: what may be left to do is the rebuild that
// leaves no old plain password in the file's free space, should it have failed the first time.
// No password is needed for it.
int Rebuild(const Invocation& call, sqlite3* db) {
  const std::string& path = call.operands[0];
  if (!sqlite::Exec(db, "VACUUM")) {
    return Fail(call.err, path + ": protected already, but rebuilding it failed: " + sqlite3_errmsg(db) +
                              "; old passwords may remain in plain text in its free space");
  }
  call.out << path << ": protected already; rebuilt, so that no old password is left in plain text in it\n";
  return 0;
}

// Opens the file for a conversion and reads its login password.
int Convert(const Invocation& call, FileProtection from,
            bool (*convert)(sqlite3*, std::string_view, std::string&), const char* done) {
  const std::string& path = call.operands[0];
  DBConnection connection;
  if (!connection.OpenAccess(path, kDatabasePassword)) return Fail(call.err, WhyNotWritable(path));
  // Look before asking: nobody should type a password to learn that there is nothing to do.
  const FileProtection protection = ReadProtection(connection.Handle());
  if (from == FileProtection::kPlain && protection == FileProtection::kProtected) {
    return Rebuild(call, connection.Handle());
  }
  if (protection != from) {
    const char* why = protection == FileProtection::kPlain       ? ": not protected"
                      : protection == FileProtection::kProtected ? ": protected already"
                                                                 : ": its protection row is damaged";
    return Fail(call.err, path + why + "; nothing changed");
  }
  auto password = ReadSecret(call, "Login password: ");
  if (!password) return 1;
  std::string error;
  const bool converted = convert(connection.Handle(), *password, error);
  crypto::Wipe(password->data(), password->size());
  if (!converted) {
    // Protecting commits before it rebuilds the file: when only the rebuild failed, the file is
    // protected and must be said to be.
    if (ReadProtection(connection.Handle()) != from) {
      return Fail(call.err, path + ": " + error + ". Close every program that has the file open and run " +
                                "korvane-data protect " + path + " again: on a protected file it only rebuilds it");
    }
    return Fail(call.err, path + ": " + error + "; nothing changed");
  }
  call.out << path << ": " << done << "\n";
  return 0;
}

bool ProtectWithDefaults(sqlite3* db, std::string_view password, std::string& error) {
  return ProtectDataFile(db, password, error);
}

}  // namespace

std::optional<std::string> ReadSecret(const Invocation& call, const std::string& prompt, const std::string& outcome) {
  if (call.input.askSecret) {
    auto typed = call.input.askSecret(prompt);
    if (!typed) Fail(call.err, "no password typed; " + outcome);
    return typed;
  }
  std::string line;
  if (call.input.lines == nullptr || !std::getline(*call.input.lines, line)) {
    Fail(call.err, "no password on standard input; " + outcome);
    return std::nullopt;
  }
  // A line written on Windows ends in CR LF; the CR is no part of the password.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool KeysForPasswords(const Invocation& call, sqlite3* db, const std::string& path,
                      std::optional<LoginKeys>& keys, const char* prompt) {
  keys.reset();
  switch (ReadProtection(db)) {
    case FileProtection::kPlain:
      return true;
    case FileProtection::kUnusable:
      Fail(call.err, path + ": protected, but its protection row is damaged: no password can open it");
      return false;
    case FileProtection::kProtected:
      break;
  }
  auto password = ReadSecret(call, prompt);
  if (!password) return false;
  keys = CheckLoginPassword(db, kLoginKey, *password);
  crypto::Wipe(password->data(), password->size());
  if (!keys) Fail(call.err, path + ": that is not the login password; nothing done");
  return keys.has_value();
}

int Protect(const Invocation& call) {
  return Convert(call, FileProtection::kPlain, ProtectWithDefaults,
                 "protected. Keep the login password safe: it cannot be recovered from the file");
}

int Unprotect(const Invocation& call) {
  return Convert(call, FileProtection::kProtected, UnprotectDataFile,
                 "unprotected: the passwords are plain text again");
}

}  // namespace korvane::tool
