// A data file made a member of a team on the test run's PostgreSQL, as the data tool's join
// would leave it: protected, with the membership sealed under its login key.
#pragma once

#include <string>

#include "store/protection.h"
#include "store/team.h"

namespace korvane::testing {

// Protects the data file at `path` (login password "admin", few rounds) and writes the
// membership; the keys of the login, for a session to start with.
LoginKeys JoinTeam(const std::string& path, const std::string& connection, const std::string& databasePassword,
                   const TeamKey& key, const std::string& teamName);

}  // namespace korvane::testing
