// A data file made a member of a team on the test run's PostgreSQL, as the data tool's join
// would leave it: protected, with the membership sealed under its login key.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "store/protection.h"
#include "store/team.h"

namespace korvane::testing {

// A team made anew in the test's database by the server's superuser (few rounds: the tests are
// about the rules, not the cost of guessing); the passphrase's key, or nullopt after failing
// the test.
std::optional<TeamKey> MakeTeam(TeamStore& admin, const std::string& connection, const std::string& password,
                                std::string_view passphrase);

// Protects the data file at `path` (login password "admin", few rounds) and writes the
// membership; the keys of the login, for a session to start with.
LoginKeys JoinTeam(const std::string& path, const std::string& connection, const std::string& databasePassword,
                   const TeamKey& key, const std::string& teamName);

}  // namespace korvane::testing
