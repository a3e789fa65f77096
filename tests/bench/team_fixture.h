// A team of `count` servers on the private PostgreSQL that scripts/bench starts, and a data
// file in a fresh program folder that belongs to it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/program.h"
#include "bench.h"
#include "support/team_member.h"
#include "support/test_server.h"

namespace korvane::bench {

struct BenchTeam {
  testing::TestServer server;
  std::unique_ptr<testing::TestDatabase> database;
  std::unique_ptr<testing::TempDir> dir;
  std::optional<TeamKey> key;
  LoginSession session;

  // False after telling the benchmark why.
  bool Make(benchmark::State& state, int count) {
    if (!testing::FindServer(server)) {
      state.SkipWithError("no PostgreSQL: scripts/bench starts one");
      return false;
    }
    database = std::make_unique<testing::TestDatabase>(server);
    TeamStore admin;
    TeamError error;
    std::vector<TeamServer> servers;
    for (int i = 1; i <= count; ++i) {
      servers.push_back({0, 0, "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256), "3389",
                         "Administrator", "Pa55-w0rd 密码 " + std::to_string(i), "机房 " + std::to_string(i) + " 号机柜"});
    }
    if (!admin.Connect(database->connection(), server.password, error) || !admin.Init("bench", error, 1000) ||
        !(key = admin.KeyOf("bench", error)) || !admin.AddAll(servers, error)) {
      state.SkipWithError(("cannot make the team: " + error.detail).c_str());
      return false;
    }
    dir = std::make_unique<testing::TempDir>("korvane bench");
    SetProgramDirectoryFromExecutable(dir->File("korvane.exe"));
    testing::MakeDataFile(DataFilePath());
    session.Start(testing::JoinTeam(DataFilePath(), database->connection(), server.password, *key, database->name()));
    return true;
  }

  std::string BareConnection() const { return database->connection() + "Pwd=" + server.password + ";"; }
};

}  // namespace korvane::bench
