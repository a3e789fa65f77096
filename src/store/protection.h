// A protected data file: one that reveals nothing of its passwords when it is copied.
//
// Opt-in, per file. A table Protection with one row (format version, key derivation, iteration
// count, salt) marks it. One key derivation per login, PBKDF2-HMAC-SHA256 over the login
// password and the salt, gives a master key; HMAC-SHA256 of the master key over two fixed
// labels gives the verifier, which Login.Pass of the By.Oxle row holds instead of the
// password, and the sealing key. Each server password in Server.密码 is sealed with AES-256-GCM
// under a fresh nonce, bound to the server's host: a sealed password opens only for the host it
// was sealed for, so a file changed behind the operator's back cannot send one server's
// password to another host. Null (or empty) stays as it is; every other field stays plain, so
// the list reads without the key.
//
// A file without the table is plain and is read and written exactly as it always was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/crypto.h"
#include "store/store_error.h"

struct sqlite3;

namespace korvane {

inline constexpr const char* kProtectionTable = "Protection";
inline constexpr long long kProtectionVersion = 1;
inline constexpr const char* kKeyDerivationName = "PBKDF2-HMAC-SHA256";
// Today's common recommendation for PBKDF2-HMAC-SHA256. A file keeps the count it was
// protected with; a file that asks for more than kMostIterations is refused rather than
// left to stall the login.
inline constexpr unsigned long kProtectionIterations = 600000;
inline constexpr unsigned long kMostIterations = 10000000;
inline constexpr std::size_t kSaltSize = 16;

struct ProtectionSettings {
  unsigned long iterations = kProtectionIterations;
  crypto::Bytes salt;
  bool operator==(const ProtectionSettings&) const = default;
};

enum class FileProtection {
  kPlain,
  kProtected,
  // Marked as protected, but its row is missing or one this program cannot derive keys from,
  // or the mark is a view rather than the table: nobody can log in to it.
  kUnusable,
};

// What the open file is; `settings` gets the row of a protected one.
FileProtection ReadProtection(sqlite3* db, ProtectionSettings* settings = nullptr);

// The two keys that one login password gives a protected file.
class LoginKeys {
 public:
  // nullopt only when the platform's cryptography refuses.
  static std::optional<LoginKeys> Derive(std::string_view password, const ProtectionSettings& settings);

  const ProtectionSettings& settings() const { return settings_; }
  // The verifier as Login.Pass holds it: 64 hexadecimal digits.
  std::string VerifierText() const;
  // Compares a stored Login.Pass with the verifier in time that does not depend on where
  // they differ.
  bool Verifies(const std::string& stored) const;

  // A server password as Server.密码 stores it, for the server whose Server.服务器名 is `host`;
  // empty stays empty (stored as null). nullopt when the platform's cryptography refuses.
  std::optional<std::string> Seal(std::string_view password, std::string_view host) const;
  // The reverse; empty stays empty. nullopt when the value is not sealed text or does not open:
  // changed bytes, sealed under another key or for another host.
  std::optional<std::string> Open(const std::string& stored, std::string_view host) const;

  // The secrets of the file's team membership (the database password, the team key), sealed
  // under a key of their own and bound to what each is, so that neither passes for a server
  // password nor for the other.
  std::optional<std::string> SealMembership(std::string_view secret, std::string_view purpose) const;
  std::optional<std::string> OpenMembership(const std::string& stored, std::string_view purpose) const;

 private:
  LoginKeys() = default;
  ProtectionSettings settings_;
  crypto::Secret verifier_;
  crypto::Secret sealing_;
  crypto::Secret membership_;
};

// True when the text has the form of a sealed value (it may still fail to open).
bool LooksSealed(const std::string& stored);

// The keys of a protected file when `password` is the login password of a Login row with the
// key; nullopt for a wrong password and for a file that is not (usably) protected.
std::optional<LoginKeys> CheckLoginPassword(sqlite3* db, const std::string& key, std::string_view password);

// The same check in two steps, so that the slow one needs no database and can run on a thread
// of its own: what the file holds for the key (no verifiers when the file is not usably
// protected or no row has the key), then the check of a password against it.
struct StoredLogin {
  ProtectionSettings settings;
  std::vector<std::string> verifiers;
};
StoredLogin ReadStoredLogin(sqlite3* db, const std::string& key);
std::optional<LoginKeys> CheckLoginPassword(const StoredLogin& stored, std::string_view password);

// The conversions. Each runs in one transaction: on failure nothing has changed and `error`
// says why. Protecting needs the current (plain) login password of the By.Oxle row; the
// iteration count is there for tests, which cannot wait for the real one at every turn. After
// its commit, protecting rebuilds the file (VACUUM) so that no old plain password is left in
// its free space; when only that fails it returns false with the file protected all the same
// (ReadProtection tells, and the reason is kRebuildFailed), and a VACUUM later finishes the job.
bool ProtectDataFile(sqlite3* db, std::string_view loginPassword, StoreError& error,
                     unsigned long iterations = kProtectionIterations);
bool UnprotectDataFile(sqlite3* db, std::string_view loginPassword, StoreError& error);
// A server as a message names it to the operator.
struct ServerName {
  long long id;
  std::string remark, host;
};

// A new login password for a protected file: a fresh salt, every server password opened with
// `current` and sealed again under the new key, the new verifier in every By.Oxle row. Refused
// when `current` no longer fits the file, and when a server password does not open: then
// `unopened` (when given) gets every such server. The new keys on success.
std::optional<LoginKeys> ChangeProtectedLoginPassword(sqlite3* db, const LoginKeys& current,
                                                      std::string_view newPassword, StoreError& error,
                                                      std::vector<ServerName>* unopened = nullptr);
// The same in two steps, so that the slow one needs no database and can run on a thread of its
// own: the keys of the new password under a fresh salt (nullopt when the system's cryptography
// refuses), then the change with them, which writes their salt and count.
std::optional<LoginKeys> DeriveNewLoginKeys(std::string_view newPassword, unsigned long iterations);
std::optional<LoginKeys> ChangeProtectedLoginPassword(sqlite3* db, const LoginKeys& current, LoginKeys newKeys,
                                                      StoreError& error, std::vector<ServerName>* unopened = nullptr);

// The data file the operator logged in to, as the windows of one run share it: plain, or
// protected with the keys its login password gave. The keys live in memory only, until the
// program ends.
class LoginSession {
 public:
  void Start(std::optional<LoginKeys> keys) {
    keys_ = std::move(keys);
    serversOpenedByStore_ = false;
  }
  bool IsProtected() const { return keys_.has_value(); }
  const LoginKeys* keys() const { return keys_ ? &*keys_ : nullptr; }
  // The file's servers are a team's, whose store seals and opens their passwords itself: Open
  // and Seal pass them as they are from now on.
  void ServersOpenedByStore() { serversOpenedByStore_ = true; }

  // True while the file still has the protection (or none) that the login found: a file that
  // the data tool protected, unprotected or gave a new password since must not be written
  // with the session's idea of it.
  bool Matches(sqlite3* db) const;
  // A stored server password of the server with `host` as the operator sees it; as it is for a
  // plain file. nullopt when a sealed value does not open, and for sealed text in a plain file.
  std::optional<std::string> Open(const std::string& stored, std::string_view host) const;
  // A typed server password as it is to be stored with `host`; as it is for a plain file.
  std::optional<std::string> Seal(const std::string& typed, std::string_view host) const;
  // The iteration count new keys are derived with (DeriveNewLoginKeys); 0 for a plain file.
  unsigned long Iterations() const { return keys_ ? keys_->settings().iterations : 0; }
  // ChangeProtectedLoginPassword with the session's keys and the new ones, which become the
  // session's.
  bool ChangeLoginPassword(sqlite3* db, LoginKeys newKeys, std::vector<ServerName>* unopened = nullptr);

 private:
  std::optional<LoginKeys> keys_;
  bool serversOpenedByStore_ = false;
};

}  // namespace korvane
