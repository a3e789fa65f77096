// protect and unprotect, and what the other commands need to work on a protected file.
#include <istream>

#include "app/program.h"
#include "store/schema.h"
#include "store/store.h"
#include "datatool/commands.h"
#include "datatool/messages.h"

namespace korvane::tool {
namespace {

// protect on a file that is protected already: what may be left to do is the rebuild that
// leaves no old plain password in the file's free space, should it have failed the first time.
// No password is needed for it.
int Rebuild(const Invocation& call, sqlite3* db) {
  const std::string& path = call.operands[0];
  if (!sqlite::Exec(db, "VACUUM")) {
    return Fail(call.err, Format(Msg::kRebuildFailed, path, sqlite3_errmsg(db)));
  }
  call.out << Format(Msg::kProtectedAlreadyRebuilt, path) << "\n";
  return 0;
}

// Opens the file for a conversion and reads its login password.
int Convert(const Invocation& call, FileProtection from,
            bool (*convert)(sqlite3*, std::string_view, StoreError&), Msg done) {
  const std::string& path = call.operands[0];
  DBConnection connection;
  if (!connection.OpenAccess(path, kDatabasePassword)) return Fail(call.err, WhyNotWritable(path));
  // Look before asking: nobody should type a password to learn that there is nothing to do.
  const FileProtection protection = ReadProtection(connection.Handle());
  if (from == FileProtection::kPlain && protection == FileProtection::kProtected) {
    return Rebuild(call, connection.Handle());
  }
  if (protection != from) {
    const Msg why = protection == FileProtection::kPlain       ? Msg::kNotProtectedNothingChanged
                    : protection == FileProtection::kProtected ? Msg::kProtectedAlreadyNothingChanged
                                                               : Msg::kDamagedProtectionNothingChanged;
    return Fail(call.err, Format(why, path));
  }
  auto password = ReadSecret(call, Format(Msg::kLoginPasswordPrompt));
  if (!password) return 1;
  StoreError error;
  const bool converted = convert(connection.Handle(), *password, error);
  crypto::Wipe(password->data(), password->size());
  if (!converted) {
    // Protecting commits before it rebuilds the file: when only the rebuild failed, the file is
    // protected and must be said to be.
    if (ReadProtection(connection.Handle()) != from) {
      return Fail(call.err, Format(Msg::kProtectOnlyRebuildFailed, path, Say(error)));
    }
    return Fail(call.err, Format(Msg::kConversionFailed, path, Say(error)));
  }
  call.out << Format(done, path) << "\n";
  return 0;
}

bool ProtectWithDefaults(sqlite3* db, std::string_view password, StoreError& error) {
  return ProtectDataFile(db, password, error);
}

}  // namespace

std::optional<std::string> ReadSecret(const Invocation& call, const std::string& prompt, Msg outcome) {
  if (call.input.askSecret) {
    auto typed = call.input.askSecret(prompt);
    if (!typed) Fail(call.err, Format(Msg::kNoPasswordTyped, Format(outcome)));
    return typed;
  }
  std::string line;
  if (call.input.lines == nullptr || !std::getline(*call.input.lines, line)) {
    Fail(call.err, Format(Msg::kNoPasswordOnInput, Format(outcome)));
    return std::nullopt;
  }
  // A line written on Windows ends in CR LF; the CR is no part of the password.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool KeysForPasswords(const Invocation& call, sqlite3* db, const std::string& path,
                      std::optional<LoginKeys>& keys, Msg prompt) {
  keys.reset();
  switch (ReadProtection(db)) {
    case FileProtection::kPlain:
      return true;
    case FileProtection::kUnusable:
      Fail(call.err, Format(Msg::kProtectionRowDamaged, path));
      return false;
    case FileProtection::kProtected:
      break;
  }
  auto password = ReadSecret(call, Format(prompt));
  if (!password) return false;
  keys = CheckLoginPassword(db, kLoginKey, *password);
  crypto::Wipe(password->data(), password->size());
  if (!keys) Fail(call.err, Format(Msg::kWrongLoginPassword, path));
  return keys.has_value();
}

int Protect(const Invocation& call) {
  return Convert(call, FileProtection::kPlain, ProtectWithDefaults,
                 Msg::kProtectedDone);
}

int Unprotect(const Invocation& call) {
  return Convert(call, FileProtection::kProtected, UnprotectDataFile,
                 Msg::kUnprotectedDone);
}

}  // namespace korvane::tool
