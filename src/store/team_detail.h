// What the team store's two source files share: the settings' row names, the reading of
// fetched values and a transaction that ends itself. Only team.cpp and team_admin.cpp use it.
#pragma once

#include <cstdlib>
#include <string>

#include "store/odbc.h"
#include "store/team.h"

namespace korvane::team_detail {

using crypto::Bytes;

inline constexpr std::size_t kTeamSaltSize = 16;

// The names of the settings' rows.
inline constexpr const char* kSchemaRow = "schema version";
inline constexpr const char* kNameRow = "team name";
inline constexpr const char* kDerivationRow = "key derivation";
inline constexpr const char* kIterationsRow = "iterations";
inline constexpr const char* kSaltRow = "salt";
inline constexpr const char* kCheckRow = "key check";
// Set by the administrator; a team made before them has neither row and takes the default.
inline constexpr const char* kOfflineCopyRow = "offline copy";
inline constexpr const char* kHistoryDaysRow = "history days";
inline constexpr const char* kDerivation = "PBKDF2-HMAC-SHA256";

inline std::string Text(const SqlValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<long long>(&value)) return std::to_string(*number);
  return std::string();
}

// The text of a fetched value, moved out of it.
inline std::string Take(SqlValue& value) {
  if (auto* text = std::get_if<std::string>(&value)) return std::move(*text);
  return Text(value);
}

inline long long Number(const SqlValue& value) {
  if (const auto* number = std::get_if<long long>(&value)) return *number;
  if (const auto* text = std::get_if<std::string>(&value)) return std::atoll(text->c_str());
  return 0;
}

// psqlODBC gives a boolean as "1" or "0" text, or as a number.
inline bool True(const SqlValue& value) { return Text(value) == "1" || Text(value) == "t"; }

// Each write carries the key check it was sealed under, so a member whose key a rekey replaced
// cannot store a value the team can no longer open.
inline constexpr const char* kKeyStillHolds =
    "EXISTS (SELECT 1 FROM korvane.team WHERE name = 'key check' AND value = ?)";

// Ends an open transaction unless committed, and turns autocommit back on.
class OdbcTransaction {
 public:
  explicit OdbcTransaction(OdbcConnection& db) : db_(db) { began_ = db.SetAutoCommit(false); }
  ~OdbcTransaction() {
    if (!began_) return;
    if (!done_) db_.Rollback();
    db_.SetAutoCommit(true);
  }
  bool began() const { return began_; }
  bool Commit() { return done_ = began_ && db_.Commit(); }

 private:
  OdbcConnection& db_;
  bool began_ = false, done_ = false;
};

}  // namespace korvane::team_detail
