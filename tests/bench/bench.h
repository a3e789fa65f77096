// What the benchmarks share. Each one times its figure and the floors it is compared with in
// the same iterations, so that whatever else the machine does weighs on both alike.
#pragma once

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "support/data_files.h"

namespace korvane::bench {

template <typename Work>
double Seconds(Work&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A floor's seconds summed over the iterations, and the ratio to it that the figure should
// stay within (0: none). The table prints one line per floor.
inline void ReportFloor(benchmark::State& state, const std::string& label, double seconds, double target = 0) {
  state.counters["floor:" + label] = benchmark::Counter(seconds, benchmark::Counter::kAvgIterations);
  if (target > 0) state.counters["target:" + label] = target;
}

// A data file with `servers` rows of the kind operators keep, remarks in Chinese.
inline void MakeServerFile(const std::string& path, int servers) {
  testing::MakeDataFile(path);
  testing::RunSql(path, "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
                            std::to_string(servers) + ") insert into Server (服务器名, 端口, 用户名, 密码, 备注) " +
                            "select '10.' || (i / 65536) || '.' || (i / 256 % 256) || '.' || (i % 256), '3389', " +
                            "'Administrator', 'pw' || i, '机房 ' || i || ' 号机柜' from n");
}

// The rows the server list shows, read the bare way: UTF-8 as SQLite keeps it.
using Row = std::array<std::string, 4>;
inline std::vector<Row> ReadServers(sqlite3* db) {
  std::vector<Row> rows;
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, "select id, 备注, 服务器名, 端口 from Server order by rowid", -1, &statement, nullptr);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    Row& row = rows.emplace_back();
    for (int c = 0; c < 4; ++c) {
      if (const auto* text = sqlite3_column_text(statement, c)) row[c] = reinterpret_cast<const char*>(text);
    }
  }
  sqlite3_finalize(statement);
  return rows;
}

}  // namespace korvane::bench
