#pragma once
// The console reporter of the benchmark programs, keeping each benchmark's seconds per iteration
// so that a program can print its ratios after the run.
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

class TKeepingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& AReports) override {
    ConsoleReporter::ReportRuns(AReports);
    for (const Run& run : AReports)
      if (!run.error_occurred && run.iterations > 0)
      {
        Seconds[run.run_name.function_name] = run.real_accumulated_time / double(run.iterations);
        ByFullName[run.benchmark_name()] = run.real_accumulated_time / double(run.iterations);
      }
  }
  std::map<std::string, double> Seconds;
  // The same by the full name ("BM_Show/1/real_time"), for benchmarks run with several arguments.
  std::map<std::string, double> ByFullName;
};
