// What the benchmarks share. Each one times its figure and the floors it is compared with in
// the same iterations, one after the other, so that whatever else the machine is doing weighs
// on both alike; the table then shows figure, floor and their ratio.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "support/data_files.h"

namespace korvane::bench {

template <typename Work>
double Seconds(Work&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A floor's seconds summed over the iterations, and the ratio to it that the figure should
// stay within (0: none).
inline void ReportFloor(benchmark::State& state, const std::string& label, double seconds, double target = 0) {
  state.counters["floor:" + label] = benchmark::Counter(seconds, benchmark::Counter::kAvgIterations);
  if (target > 0) state.counters["target:" + label] = target;
}

// A data file with `servers` rows of the kind operators keep, remarks in Chinese.
inline void MakeServerFile(const std::string& path, int servers) {
  testing::MakeDataFile(path);
  testing::RunSql(path, "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
                            std::to_string(servers) +
                            ") insert into Server (服务器名, 端口, 用户名, 密码, 备注) select '10.' || (i / 65536) || '.' "
                            "|| (i / 256 % 256) || '.' || (i % 256), '3389', 'Administrator', 'pw' || i, '机房 ' || i "
                            "|| ' 号机柜' from n");
}

}  // namespace korvane::bench
