// The team's schema in its database, as `team init` makes it: what each statement guards is
// said beside it in team_schema.cpp.
//
// Every member can open its own database password and run any SQL as its database user, so
// the database's rights are the only wall between members. The team's objects live in a
// schema of their own, owned by a role that cannot log in; members reach them through roles
// named after the team's database, and nothing else of the server.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The settings' row that says since when the history was kept: when the team was made, or
// upgraded to keep one. `restore --before` reaches back no further.
inline constexpr const char* kHistorySinceRow = "history since";

// The schema that holds the team's tables, in the team's own database.
inline constexpr const char* kTeamSchema = "korvane";
// The oldest server the schema works on (pg_current_xact_id and pg_current_snapshot).
inline constexpr long kTeamLowestServer = 130000;  // as server_version_num gives it
inline constexpr const char* kTeamLowestServerText = "13";

// The team's roles, none of which can log in. The owner owns every object; readers may read
// the list, connect and log their connects; editors may also add, change and delete servers;
// the administrator may also give the team a new passphrase. The administrator grants one of
// the last three to each member's database user.
struct TeamRoles {
  std::string owner, viewer, editor, admin;
};

// The roles of the team in database `database`, named after it (korvane_ops_editor, ...).
// nullopt for a name that is not a plain lower-case identifier short enough to name them.
std::optional<TeamRoles> TeamRolesFor(std::string_view database);

// `name` as an SQL identifier or string literal.
std::string QuotedIdentifier(std::string_view name);
std::string QuotedLiteral(std::string_view text);

struct TeamSchemaStatements {
  // Run by the administrator first, within init's transaction: the team's roles exist by then.
  std::vector<std::string> asAdministrator;
  // Run as the owner role (SET LOCAL ROLE): every object, its rights and its triggers.
  std::vector<std::string> asOwner;
  // Run by the administrator last: the database's own rights.
  std::vector<std::string> database;
};

TeamSchemaStatements TeamSchema(const TeamRoles& roles, std::string_view database);
// What version 3 adds to a team made at version 2 (the history and the settings), run as the
// owner: part of TeamSchema's asOwner already.
std::vector<std::string> TeamHistorySchema(const TeamRoles& roles, std::string_view database);

}  // namespace korvane
