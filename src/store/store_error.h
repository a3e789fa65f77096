// Why the data file's code refused: a reason and the pieces it speaks of. The code knows
// nothing of its user's language, so it says no sentence itself; the data tool words each
// reason in English or Chinese, and the program shows fixed messages of its own. Only what
// SQLite, the system or its cryptography say comes as they say it, in `detail`.
#pragma once

#include <string>

namespace korvane {

enum class StoreReason {
  kNone,
  // Making a new data file (CreateDataFile). Each names `path`.
  kNoPath,
  kCannotLookAtPath,  // detail: the system's words
  kExists,
  kScratchInTheWay,
  kCannotCreate,  // detail: SQLite's or the system's words
  kCannotFill,    // detail: SQLite's words
  // Protecting, unprotecting, and a new login password for a protected file.
  kProtectedAlready,
  kNotProtected,
  kNotLoginPassword,
  kProtectionChanged,  // since the login whose keys were given
  kCryptographyRefused,  // detail: the name of the system's cryptography
  kServerCannotBeSealed,  // server
  kServerDoesNotOpen,     // server
  // Refused by SQLite; detail: its words.
  kCannotWrite,
  kCannotMarkProtected,
  kCannotReadPasswords,
  kCannotWritePasswords,
  kCannotWriteServerPassword,  // server
  kCannotWriteLoginPassword,
  kRebuildFailed,  // the file is protected all the same
  // A team's membership.
  kNotTeamMember,
  kTeamMember,              // a plain file holds no membership: leave the team first
  kMembershipDoesNotOpen,   // its secrets do not open with the login key
  kCannotReadMembership,    // detail: SQLite's words

  kCount
};

struct StoreError {
  StoreReason reason = StoreReason::kNone;
  std::string path;
  long long server = 0;
  std::string detail;
};

}  // namespace korvane
