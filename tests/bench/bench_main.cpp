// Runs the benchmarks and prints one table: each figure (the median of its repetitions), each
// floor timed in the same iterations, their ratio, and whether it stays within its target.
#include <cstdio>
#include <string>

#include "bench.h"

namespace {

class TableReporter : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context&) override {
    std::printf("%-32s %11s  %-26s %11s %7s %7s\n", "figure", "time", "floor", "time", "ratio", "target");
    return true;
  }

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      // BM_LoadServerList/100 shows as LoadServerList/100.
      std::string name = run.run_name.function_name.substr(3);
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      if (run.error_occurred) std::printf("%-32s failed: %s\n", name.c_str(), run.error_message.c_str());
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (run.error_occurred || (!single && run.aggregate_name != "median")) continue;
      const double figure = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      for (const auto& [key, floor] : run.counters) {
        if (key.rfind("floor:", 0) != 0) continue;
        const std::string label = key.substr(6);
        const double ratio = figure / floor.value;
        const auto target = run.counters.find("target:" + label);
        std::printf("%-32s %8.2f ms  %-26s %8.2f ms %7.2f", name.c_str(), figure * 1e3, label.c_str(),
                    floor.value * 1e3, ratio);
        if (target != run.counters.end())
          std::printf(" %7.2f %s", target->second.value, ratio <= target->second.value ? "met" : "MISSED");
        std::printf("\n");
        name.assign(name.size(), ' ');  // the figure once, its further floors below it
      }
      std::fflush(stdout);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TableReporter table;
  benchmark::RunSpecifiedBenchmarks(&table);
  benchmark::Shutdown();
  return 0;
}
