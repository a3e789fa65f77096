// set-login-password: the password the login window asks for, changed without the program.
#include <optional>

#include "app/program.h"
#include "store/schema.h"
#include "store/store.h"
#include "datatool/commands.h"
#include "datatool/messages.h"

namespace korvane::tool {

std::optional<std::string> ReadNewSecret(const Invocation& call, Msg prompt) {
  if (call.input.askSecret) {
    auto first = call.input.askSecret(Format(prompt));
    if (!first) {
      Fail(call.err, Format(Msg::kNoPasswordTyped, Format(Msg::kNothingChanged)));
      return std::nullopt;
    }
    auto second = call.input.askSecret(Format(Msg::kSameAgainPrompt));
    const bool same = second && *second == *first;
    if (second) Wipe(*second);
    if (!same) {
      Wipe(*first);
      Fail(call.err, Format(Msg::kPasswordsDiffer));
      return std::nullopt;
    }
    return first;
  }
  return ReadSecret(call, "", Msg::kNothingChanged);
}

int SetLoginPassword(const Invocation& call) {
  const std::string& path = call.operands[0];
  DBConnection connection;
  if (!connection.OpenAccess(path, kDatabasePassword)) return Fail(call.err, WhyNotWritable(path));

  // Look before asking: nobody should type a password twice to learn that it has nowhere to go.
  const std::vector<SqlValue> key = {std::string(kLoginKey)};
  auto count = sqlite::Prepare(connection.Handle(), "SELECT count(*) FROM Login WHERE \"Key\" = ?");
  if (!count || !sqlite::Bind(count.get(), key) || sqlite3_step(count.get()) != SQLITE_ROW) {
    return Fail(call.err, Format(Msg::kCannotReadLogin, path, sqlite3_errmsg(connection.Handle())));
  }
  if (sqlite3_column_int(count.get(), 0) == 0) {
    return Fail(call.err, Format(Msg::kNoLoginRow, path, kLoginKey));
  }
  count.reset();

  // A protected file: the current password opens the server passwords, to be sealed anew.
  std::optional<LoginKeys> keys;
  if (!KeysForPasswords(call, connection.Handle(), path, keys, Msg::kCurrentLoginPasswordPrompt)) return 1;
  auto password = ReadNewSecret(call, Msg::kNewLoginPasswordPrompt);
  if (!password) return 1;
  // The program stores an empty text as null, and no login matches null: the operator would be
  // locked out.
  if (password->empty()) {
    return Fail(call.err, Format(Msg::kEmptyLoginPassword));
  }
  // The login window hands over what was typed as UTF-8; other bytes could never be typed.
  if (!IsUtf8(*password)) {
    Wipe(*password);
    return Fail(call.err, Format(Msg::kPasswordNotUtf8));
  }
  // Every row with the key: the login accepts any of them, so an old password left in a second
  // row would still open the program.
  StoreError error;
  const bool stored =
      keys ? ChangeProtectedLoginPassword(connection.Handle(), *keys, *password, error).has_value()
           : connection.ExecuteSql("UPDATE Login SET Pass = ? WHERE \"Key\" = ?", {*password, std::string(kLoginKey)});
  Wipe(*password);
  if (!stored) {
    return Fail(call.err, Format(Msg::kCannotStorePassword, path,
                                 keys ? Say(error) : std::string(sqlite3_errmsg(connection.Handle()))));
  }
  call.out << Format(Msg::kLoginPasswordChanged) << "\n";
  return 0;
}

}  // namespace korvane::tool
