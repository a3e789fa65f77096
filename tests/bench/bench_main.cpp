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
      std::string name = run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
      if (name.rfind("BM_", 0) == 0) name.erase(0, 3);
      if (run.error_occurred) {
        std::printf("%-32s failed: %s\n", name.c_str(), run.error_message.c_str());
        continue;
      }
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!single && run.aggregate_name != "median") continue;
      const double figure = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      bool first = true;
      for (const auto& [key, counter] : run.counters) {
        if (key.rfind("floor:", 0) != 0) continue;
        const std::string label = key.substr(6);
        const double ratio = figure / counter.value;
        const auto target = run.counters.find("target:" + label);
        std::string verdict;
        if (target != run.counters.end()) {
          char text[32];
          std::snprintf(text, sizeof text, "%7.2f %s", target->second.value,
                        ratio <= target->second.value ? "met" : "MISSED");
          verdict = text;
        }
        std::printf("%-32s %11s  %-26s %8.2f ms %7.2f %s\n", first ? name.c_str() : "",
                    first ? Milliseconds(figure).c_str() : "", label.c_str(), counter.value * 1e3, ratio,
                    verdict.c_str());
        first = false;
      }
      std::fflush(stdout);
    }
  }

 private:
  static std::string Milliseconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%8.2f ms", seconds * 1e3);
    return text;
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
