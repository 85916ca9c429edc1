#pragma once
// Wall-clock time for the timings the benchmark programs take themselves, beside the library's.
#include <chrono>

using TClock = std::chrono::steady_clock;

inline double SecondsSince(TClock::time_point AStart) {
  return std::chrono::duration<double>(TClock::now() - AStart).count();
}
