#pragma once
// Growth checks for tests: time the same work at N and at 10N and compare, so that a loaded or
// instrumented machine slows both alike and only a worse-than-linear step fails.
#include <algorithm>
#include <ctime>
#include <functional>

// Processor time of the process: on a loaded machine (tests run side by side) wall time says more
// about the other programs than about the code under test.
inline double ProcessorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The fastest of three runs of ARun, in processor seconds; APrepare runs before each and is not
// timed.
inline double FastestOf(const std::function<void()>& ARun, const std::function<void()>& APrepare = {}) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    if (APrepare) APrepare();
    const double start = ProcessorSeconds();
    ARun();
    best = std::min(best, ProcessorSeconds() - start);
  }
  return best;
}
