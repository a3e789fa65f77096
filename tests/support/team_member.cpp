#include "support/team_member.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <stdexcept>

#include "store/membership.h"
#include "store/schema.h"

namespace korvane::testing {

std::optional<TeamKey> MakeTeam(TeamStore& admin, const std::string& connection, const std::string& password,
                                std::string_view passphrase) {
  TeamError error;
  std::optional<TeamKey> key;
  if (!admin.Connect(connection, password, error) || !admin.Init(passphrase, error, 1000) ||
      !(key = admin.KeyOf(passphrase, error))) {
    ADD_FAILURE() << "cannot make the team: " << error.detail;
  }
  return key;
}

LoginKeys JoinTeam(const std::string& path, const std::string& connection, const std::string& databasePassword,
                   const TeamKey& key, const std::string& teamName) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open " + path);
  StoreError error;
  const bool protectedNow = ProtectDataFile(db, "admin", error, 1000);
  auto keys = CheckLoginPassword(db, kLoginKey, "admin");
  Membership membership;
  membership.connection = connection;
  membership.name = teamName;
  membership.password = databasePassword;
  membership.teamKey = key.Text();
  const bool joined = protectedNow && keys && WriteMembership(db, *keys, membership, error);
  sqlite3_close(db);
  if (!joined) throw std::runtime_error("cannot make " + path + " a member: " + error.detail);
  return std::move(*keys);
}

}  // namespace korvane::testing
