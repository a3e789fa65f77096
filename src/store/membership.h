// A data file's membership of a team: which database holds the team's list, and the two
// secrets that open it, kept in the file's table Team (name TEXT PRIMARY KEY, value TEXT).
//
// Only a protected file can belong to a team: the member's database password and the team key
// are sealed there under the file's login key, so the login password opens the team and a copy
// of the file reveals neither. Both are bound to the connection string, which stays plain: a
// file whose connection was changed opens neither, rather than send the password elsewhere. The file's own servers stay in it, untouched, while it belongs to
// a team, and are its list again when it leaves.
#pragma once

#include <optional>
#include <string>

#include "store/protection.h"
#include "store/store_error.h"

struct sqlite3;

namespace korvane {

inline constexpr const char* kTeamTable = "Team";

struct Membership {
  std::string connection;  // ODBC connection string, without a password
  std::string name;        // the team's name, for the list's caption
  std::string password;    // the member's database password
  std::string teamKey;     // TeamKey::Text()
  ~Membership();
};

// True when the file holds a membership (its table Team has a connection row).
bool IsTeamMember(sqlite3* db);
// The membership with its secrets opened. kMembershipDoesNotOpen when they do not open with
// these keys; kNotTeamMember when the file belongs to no team.
std::optional<Membership> ReadMembership(sqlite3* db, const LoginKeys& keys, StoreError& error);
// Writes (or replaces) the membership, in one transaction. Refused for a plain file.
bool WriteMembership(sqlite3* db, const LoginKeys& keys, const Membership& membership, StoreError& error);
// The file belongs to no team any more; its own servers are its list again.
bool RemoveMembership(sqlite3* db, StoreError& error);

// Within the caller's transaction: the membership's secrets opened with `current` and sealed
// again under `next` (a new login password). Nothing to do for a file that belongs to no team.
bool ResealMembership(sqlite3* db, const LoginKeys& current, const LoginKeys& next, StoreError& error);

}  // namespace korvane
