#pragma once
// Growth checks for tests: time the same work at N and at 10N and compare, so that a loaded or
// instrumented machine slows both alike and only a worse-than-linear step fails.
#include <algorithm>
#include <chrono>
#include <functional>

// The fastest of three runs of ARun, in seconds; APrepare runs before each and is not timed.
inline double FastestOf(const std::function<void()>& ARun, const std::function<void()>& APrepare = {}) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    if (APrepare) APrepare();
    const auto start = std::chrono::steady_clock::now();
    ARun();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}
