// FinishForStart calls per second over the default working week with 200 holidays spread over two
// years, for starts anywhere in those years and durations from 0.1 to 400 working days (evenly
// spread on a log scale), next to the same calls over a calendar without holidays. The cost
// should not grow with the duration or the number of holidays.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "bench/BenchReporter.h"
#include "host/WorkingCalendar.h"

namespace {

constexpr double FirstDay = 45292;  // Monday 1 January 2024
constexpr int HolidayCount = 200;
constexpr int CallCount = 10'000;
const std::vector<TWorkingCalendar::TPeriod> DefaultPeriods{{8 * 60, 12 * 60}, {13 * 60, 17 * 60}};

struct TCall {
  double Start, Days;
};

std::vector<TCall> Calls() {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> offset(0, 730), logDays(std::log(0.1), std::log(400.0));
  std::vector<TCall> calls(CallCount);
  for (TCall& call : calls) call = {FirstDay + std::round(offset(random) * 1440) / 1440, std::exp(logDays(random))};
  return calls;
}

std::vector<double> Holidays() {
  std::vector<double> holidays;
  for (int i = 0; i < HolidayCount; ++i) holidays.push_back(FirstDay + std::floor(i * 730.0 / HolidayCount));
  return holidays;
}

void Run(benchmark::State& AState, const TWorkingCalendar& ACalendar) {
  static const std::vector<TCall> calls = Calls();
  double sum = 0;
  for (auto _ : AState)
    for (const TCall& call : calls) benchmark::DoNotOptimize(sum += ACalendar.FinishForStart(call.Start, call.Days));
  AState.SetItemsProcessed(AState.iterations() * CallCount);
}

void BM_FinishForStart(benchmark::State& AState) { Run(AState, TWorkingCalendar(31, DefaultPeriods, Holidays())); }

void BM_FinishForStartNoHolidays(benchmark::State& AState) { Run(AState, TWorkingCalendar()); }

BENCHMARK(BM_FinishForStart)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FinishForStartNoHolidays)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TKeepingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%d calls per iteration; FinishForStart calls per second\n", CallCount);
  for (const char* name : {"BM_FinishForStart", "BM_FinishForStartNoHolidays"}) {
    const auto found = reporter.Seconds.find(name);
    if (found != reporter.Seconds.end())
      std::printf("%-26s %12.3g calls/s  %8.1f ns/call\n", name + 3, CallCount / found->second,
                  found->second * 1e9 / CallCount);
  }
  benchmark::Shutdown();
  return 0;
}
