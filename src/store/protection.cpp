#include "store/protection.h"

#include <functional>
#include <vector>

#include "store/membership.h"
#include "store/schema.h"
#include "store/sealed_value.h"
#include "store/sqlite_util.h"

namespace korvane {
namespace {

using crypto::Bytes;
using crypto::Secret;

// The labels that split one master key into two that tell nothing about each other.
constexpr std::string_view kVerifierLabel = "Korvane login verifier";
constexpr std::string_view kSealingLabel = "Korvane server password sealing key";
constexpr std::string_view kMembershipLabel = "Korvane team membership key";

// A server password is bound to its host: it cannot pass for the password of another host.
std::string AssociatedText(std::string_view host) {
  return std::string(sealed::kFormat) + "\n" + std::string(host);
}

// What a team membership's secrets are bound to: the purpose, which no host's text begins with.
std::string MembershipText(std::string_view purpose) {
  return std::string(sealed::kFormat) + "\nteam membership\n" + std::string(purpose);
}

using sealed::FromHex;
using sealed::Hex;
using sealed::WipeText;

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  if (text == nullptr) return std::string();
  return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

bool Run(sqlite3* db, const std::string& sql, const std::vector<SqlValue>& values) {
  auto statement = sqlite::Prepare(db, sql);
  return statement && sqlite::Bind(statement.get(), values) && sqlite::RunToEnd(statement.get());
}

// BEGIN IMMEDIATE now, ROLLBACK unless committed. Freed space is overwritten while it runs, so
// that a value it replaces does not live on in a free part of the file.
class Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db) {
    began_ = db != nullptr && sqlite::Exec(db, "PRAGMA secure_delete = ON") && sqlite::Exec(db, "BEGIN IMMEDIATE");
  }
  ~Transaction() {
    if (began_ && !done_) sqlite::Exec(db_, "ROLLBACK");
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool began() const { return began_; }
  bool Commit() {
    done_ = began_ && sqlite::Exec(db_, "COMMIT");
    return done_;
  }

 private:
  sqlite3* db_;
  bool began_ = false;
  bool done_ = false;
};

// A refusal of SQLite's, in its own words.
StoreError Why(StoreReason reason, sqlite3* db, long long server = 0) {
  return {reason, {}, server, sqlite3_errmsg(db)};
}

StoreError CryptographyRefused() { return {StoreReason::kCryptographyRefused, {}, 0, crypto::BackendName()}; }

// Rewrites every server password that is not null or empty through `change`, which is given
// the stored value and the server's host and gives the new stored value or nullopt to refuse,
// as `refused` then names. Every server is tried, so that `refusedServers` (when given) names
// all that refused, not only the first; nothing is written once one refused. Runs inside the
// caller's transaction.
using PasswordChange = std::function<std::optional<std::string>(const std::string&, const std::string&)>;
bool RewritePasswords(sqlite3* db, const PasswordChange& change, StoreReason refused, StoreError& error,
                      std::vector<ServerName>* refusedServers = nullptr) {
  struct Stored {
    long long id;
    std::string password, host, remark;
  };
  std::vector<Stored> servers;
  {
    auto read = sqlite::Prepare(
        db, "SELECT id, 密码, 服务器名, 备注 FROM Server WHERE coalesce(密码, '') <> '' ORDER BY id");
    if (!read) {
      error = Why(StoreReason::kCannotReadPasswords, db);
      return false;
    }
    int rc;
    while ((rc = sqlite3_step(read.get())) == SQLITE_ROW) {
      servers.push_back({sqlite3_column_int64(read.get(), 0), ColumnText(read.get(), 1), ColumnText(read.get(), 2),
                         ColumnText(read.get(), 3)});
    }
    if (rc != SQLITE_DONE) {
      error = Why(StoreReason::kCannotReadPasswords, db);
      return false;
    }
  }
  auto write = sqlite::Prepare(db, "UPDATE Server SET 密码 = ? WHERE id = ?");
  bool ok = write != nullptr;
  if (!ok) error = Why(StoreReason::kCannotWritePasswords, db);
  bool anyRefused = false;
  for (auto& server : servers) {
    if (ok || (anyRefused && refusedServers != nullptr)) {
      auto changed = change(server.password, server.host);
      if (!changed) {
        if (!anyRefused) error = {refused, {}, server.id};
        if (refusedServers != nullptr) refusedServers->push_back({server.id, server.remark, server.host});
        anyRefused = true;
        ok = false;
      } else if (!ok) {
        WipeText(*changed);
      } else {
        ok = sqlite::Bind(write.get(), {*changed, server.id}) && sqlite::RunToEnd(write.get());
        if (!ok) error = Why(StoreReason::kCannotWriteServerPassword, db, server.id);
        sqlite3_reset(write.get());
        sqlite3_clear_bindings(write.get());
        WipeText(*changed);
      }
    }
    WipeText(server.password);
  }
  return ok;
}

bool WriteLoginPass(sqlite3* db, const std::string& pass, StoreError& error) {
  if (Run(db, "UPDATE Login SET Pass = ? WHERE \"Key\" = ?", {pass, std::string(kLoginKey)})) return true;
  error = Why(StoreReason::kCannotWriteLoginPassword, db);
  return false;
}

std::optional<ProtectionSettings> FreshSettings(unsigned long iterations) {
  ProtectionSettings settings{iterations, Bytes(kSaltSize)};
  if (!crypto::RandomBytes(settings.salt)) return std::nullopt;
  return settings;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

FileProtection ReadProtection(sqlite3* db, ProtectionSettings* settings) {
  // A view of that name marks the file as much as a table does: counted as plain, its sealed
  // values would pass for passwords. This program only ever makes a table, so a view is never
  // a protection it can use.
  auto marked = sqlite::Prepare(
      db, "SELECT count(*), count(*) FILTER (WHERE type = 'table') FROM sqlite_master "
          "WHERE type IN ('table', 'view') AND name = ? COLLATE NOCASE");
  if (!marked || !sqlite::Bind(marked.get(), {std::string(kProtectionTable)}) ||
      sqlite3_step(marked.get()) != SQLITE_ROW) {
    return FileProtection::kUnusable;
  }
  if (sqlite3_column_int(marked.get(), 0) == 0) return FileProtection::kPlain;
  if (sqlite3_column_int(marked.get(), 1) == 0) return FileProtection::kUnusable;

  auto row = sqlite::Prepare(db, "SELECT version, derivation, iterations, salt FROM Protection");
  if (!row || sqlite3_step(row.get()) != SQLITE_ROW) return FileProtection::kUnusable;
  const auto salt = FromHex(ColumnText(row.get(), 3));
  const sqlite3_int64 iterations = sqlite3_column_int64(row.get(), 2);
  const bool usable = sqlite3_column_type(row.get(), 0) == SQLITE_INTEGER &&
                      sqlite3_column_int64(row.get(), 0) == kProtectionVersion &&
                      ColumnText(row.get(), 1) == kKeyDerivationName &&
                      sqlite3_column_type(row.get(), 2) == SQLITE_INTEGER && iterations >= 1 &&
                      iterations <= static_cast<sqlite3_int64>(kMostIterations) && salt &&
                      salt->size() == kSaltSize;
  // One row: a second one would leave open which of them the keys come from.
  if (!usable || sqlite3_step(row.get()) != SQLITE_DONE) return FileProtection::kUnusable;
  if (settings != nullptr) *settings = {static_cast<unsigned long>(iterations), *salt};
  return FileProtection::kProtected;
}

std::optional<LoginKeys> LoginKeys::Derive(std::string_view password, const ProtectionSettings& settings) {
  Secret master(32);
  LoginKeys keys;
  keys.settings_ = settings;
  if (!crypto::Pbkdf2Sha256(password, settings.salt, settings.iterations, master) ||
      !crypto::HmacSha256(master, kVerifierLabel, keys.verifier_) ||
      !crypto::HmacSha256(master, kSealingLabel, keys.sealing_) ||
      !crypto::HmacSha256(master, kMembershipLabel, keys.membership_)) {
    return std::nullopt;
  }
  return keys;
}

std::string LoginKeys::VerifierText() const { return Hex(verifier_.data(), verifier_.size()); }

bool LoginKeys::Verifies(const std::string& stored) const {
  std::string expected = VerifierText();
  // The length is no secret: every verifier has the same.
  bool same = stored.size() == expected.size();
  if (same) {
    unsigned char difference = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      difference |= static_cast<unsigned char>(stored[i] ^ expected[i]);
    }
    same = difference == 0;
  }
  WipeText(expected);
  return same;
}

std::optional<std::string> LoginKeys::Seal(std::string_view password, std::string_view host) const {
  return sealed::Seal(sealing_, AssociatedText(host), password);
}

std::optional<std::string> LoginKeys::Open(const std::string& stored, std::string_view host) const {
  return sealed::Open(sealing_, AssociatedText(host), stored);
}

std::optional<std::string> LoginKeys::SealMembership(std::string_view secret, std::string_view purpose) const {
  return sealed::Seal(membership_, MembershipText(purpose), secret);
}

std::optional<std::string> LoginKeys::OpenMembership(const std::string& stored, std::string_view purpose) const {
  return sealed::Open(membership_, MembershipText(purpose), stored);
}

bool LooksSealed(const std::string& stored) { return sealed::LooksSealed(stored); }

StoredLogin ReadStoredLogin(sqlite3* db, const std::string& key) {
  StoredLogin stored;
  if (ReadProtection(db, &stored.settings) != FileProtection::kProtected) return stored;
  auto read = sqlite::Prepare(db, "SELECT Pass FROM Login WHERE \"Key\" = ?");
  if (!read || !sqlite::Bind(read.get(), {key})) return stored;
  while (sqlite3_step(read.get()) == SQLITE_ROW) stored.verifiers.push_back(ColumnText(read.get(), 0));
  return stored;
}

std::optional<LoginKeys> CheckLoginPassword(const StoredLogin& stored, std::string_view password) {
  // No row, no derivation: the answer is no either way.
  if (stored.verifiers.empty()) return std::nullopt;
  auto keys = LoginKeys::Derive(password, stored.settings);
  if (!keys) return std::nullopt;
  bool matched = false;
  // Every row is compared, as the plain login's query matches any of them.
  for (const auto& pass : stored.verifiers) matched = keys->Verifies(pass) || matched;
  if (!matched) return std::nullopt;
  return keys;
}

std::optional<LoginKeys> CheckLoginPassword(sqlite3* db, const std::string& key, std::string_view password) {
  return CheckLoginPassword(ReadStoredLogin(db, key), password);
}

bool ProtectDataFile(sqlite3* db, std::string_view loginPassword, StoreError& error, unsigned long iterations) {
  if (ReadProtection(db) != FileProtection::kPlain) {
    error = {StoreReason::kProtectedAlready};
    return false;
  }
  // Checked as the plain login checks it: bound, against any row with the key.
  std::vector<SqlValue> values = {std::string(kLoginKey), std::string(loginPassword)};
  auto count = sqlite::Prepare(db, "SELECT count(*) FROM Login WHERE \"Key\" = ? AND Pass = ?");
  const bool matches = !loginPassword.empty() && count && sqlite::Bind(count.get(), values) &&
                       sqlite3_step(count.get()) == SQLITE_ROW && sqlite3_column_int(count.get(), 0) > 0;
  count.reset();
  WipeText(std::get<std::string>(values[1]));
  if (!matches) {
    error = {StoreReason::kNotLoginPassword};
    return false;
  }
  const auto settings = FreshSettings(iterations);
  const auto keys = settings ? LoginKeys::Derive(loginPassword, *settings) : std::nullopt;
  if (!keys) {
    error = CryptographyRefused();
    return false;
  }

  Transaction transaction(db);
  if (!transaction.began()) {
    error = Why(StoreReason::kCannotWrite, db);
    return false;
  }
  const std::string table = sqlite::QuoteIdentifier(kProtectionTable);
  if (!Run(db, "CREATE TABLE " + table + " (version INTEGER, derivation TEXT, iterations INTEGER, salt TEXT)", {}) ||
      !Run(db, "INSERT INTO " + table + " (version, derivation, iterations, salt) VALUES (?, ?, ?, ?)",
           {kProtectionVersion, std::string(kKeyDerivationName), static_cast<long long>(iterations),
            Hex(settings->salt.data(), settings->salt.size())})) {
    error = Why(StoreReason::kCannotMarkProtected, db);
    return false;
  }
  if (!RewritePasswords(
          db, [&](const std::string& plain, const std::string& host) { return keys->Seal(plain, host); },
          StoreReason::kServerCannotBeSealed, error) ||
      !WriteLoginPass(db, keys->VerifierText(), error)) {
    return false;
  }
  if (!transaction.Commit()) {
    error = Why(StoreReason::kCannotWrite, db);
    return false;
  }
  // The file is protected now. Space that earlier changes freed may still hold old passwords
  // in plain text; rebuilding the file leaves none. Should that fail, the protection stands,
  // but the file still gives those passwords away: that is no success.
  if (!sqlite::Exec(db, "VACUUM")) {
    error = Why(StoreReason::kRebuildFailed, db);
    return false;
  }
  return true;
}

bool UnprotectDataFile(sqlite3* db, std::string_view loginPassword, StoreError& error) {
  if (ReadProtection(db) != FileProtection::kProtected) {
    error = {StoreReason::kNotProtected};
    return false;
  }
  // The membership's secrets are sealed under the login key, which a plain file has not.
  if (IsTeamMember(db)) {
    error = {StoreReason::kTeamMember};
    return false;
  }
  const auto keys = CheckLoginPassword(db, kLoginKey, loginPassword);
  if (!keys) {
    error = {StoreReason::kNotLoginPassword};
    return false;
  }
  Transaction transaction(db);
  if (!transaction.began()) {
    error = Why(StoreReason::kCannotWrite, db);
    return false;
  }
  if (!RewritePasswords(
          db, [&](const std::string& sealed, const std::string& host) { return keys->Open(sealed, host); },
          StoreReason::kServerDoesNotOpen, error) ||
      !WriteLoginPass(db, std::string(loginPassword), error)) {
    return false;
  }
  if (!Run(db, "DROP TABLE " + sqlite::QuoteIdentifier(kProtectionTable), {}) || !transaction.Commit()) {
    error = Why(StoreReason::kCannotWrite, db);
    return false;
  }
  return true;
}

std::optional<LoginKeys> DeriveNewLoginKeys(std::string_view newPassword, unsigned long iterations) {
  const auto settings = FreshSettings(iterations);
  return settings ? LoginKeys::Derive(newPassword, *settings) : std::nullopt;
}

std::optional<LoginKeys> ChangeProtectedLoginPassword(sqlite3* db, const LoginKeys& current,
                                                      std::string_view newPassword, StoreError& error,
                                                      std::vector<ServerName>* unopened) {
  auto keys = DeriveNewLoginKeys(newPassword, current.settings().iterations);
  if (!keys) {
    error = CryptographyRefused();
    return std::nullopt;
  }
  return ChangeProtectedLoginPassword(db, current, std::move(*keys), error, unopened);
}

std::optional<LoginKeys> ChangeProtectedLoginPassword(sqlite3* db, const LoginKeys& current, LoginKeys newKeys,
                                                      StoreError& error, std::vector<ServerName>* unopened) {
  const ProtectionSettings& settings = newKeys.settings();
  Transaction transaction(db);
  if (!transaction.began()) {
    error = Why(StoreReason::kCannotWrite, db);
    return std::nullopt;
  }
  // Checked inside the transaction, where nobody else can change it any more.
  ProtectionSettings now;
  bool fits = ReadProtection(db, &now) == FileProtection::kProtected && now == current.settings();
  if (fits) {
    auto read = sqlite::Prepare(db, "SELECT Pass FROM Login WHERE \"Key\" = ?");
    fits = false;
    if (read && sqlite::Bind(read.get(), {std::string(kLoginKey)})) {
      while (sqlite3_step(read.get()) == SQLITE_ROW) fits = current.Verifies(ColumnText(read.get(), 0)) || fits;
    }
  }
  if (!fits) {
    error = {StoreReason::kProtectionChanged};
    return std::nullopt;
  }
  const bool written =
      RewritePasswords(
          db,
          [&](const std::string& sealed, const std::string& host) -> std::optional<std::string> {
            auto plain = current.Open(sealed, host);
            if (!plain) return std::nullopt;
            auto resealed = newKeys.Seal(*plain, host);
            WipeText(*plain);
            return resealed;
          },
          StoreReason::kServerDoesNotOpen, error, unopened) &&
      ResealMembership(db, current, newKeys, error) &&
      WriteLoginPass(db, newKeys.VerifierText(), error);
  if (!written) return std::nullopt;
  // The count too: the keys may come from elsewhere, and a file whose row says otherwise
  // would derive other keys at the next login and open nothing.
  if (!Run(db, "UPDATE " + sqlite::QuoteIdentifier(kProtectionTable) + " SET iterations = ?, salt = ?",
           {static_cast<long long>(settings.iterations), Hex(settings.salt.data(), settings.salt.size())}) ||
      !transaction.Commit()) {
    error = Why(StoreReason::kCannotWrite, db);
    return std::nullopt;
  }
  return newKeys;
}

// ---------------------------------------------------------------------------------------------

bool LoginSession::Matches(sqlite3* db) const {
  ProtectionSettings settings;
  const FileProtection protection = ReadProtection(db, &settings);
  if (!keys_) return protection == FileProtection::kPlain;
  return protection == FileProtection::kProtected && settings == keys_->settings();
}

std::optional<std::string> LoginSession::Open(const std::string& stored, std::string_view host) const {
  if (serversOpenedByStore_) return stored;
  // A plain file holding sealed text (a protected file whose marker was removed) has no
  // password there, only bytes that would be sent as one.
  if (!keys_) return LooksSealed(stored) ? std::nullopt : std::optional<std::string>(stored);
  return keys_->Open(stored, host);
}

std::optional<std::string> LoginSession::Seal(const std::string& typed, std::string_view host) const {
  if (serversOpenedByStore_) return typed;
  if (!keys_) return typed;
  return keys_->Seal(typed, host);
}

bool LoginSession::ChangeLoginPassword(sqlite3* db, LoginKeys newKeys, std::vector<ServerName>* unopened) {
  if (!keys_) return false;
  StoreError error;
  auto keys = ChangeProtectedLoginPassword(db, *keys_, std::move(newKeys), error, unopened);
  if (!keys) return false;
  keys_ = std::move(keys);
  return true;
}

}  // namespace korvane
