// The clock and the median that the benchmarks report with.
#ifndef LEAFSWEEP_BENCH_TIMING_H
#define LEAFSWEEP_BENCH_TIMING_H

#include <algorithm>
#include <chrono>
#include <vector>

using steady = std::chrono::steady_clock;

inline double ms_since(steady::time_point start) {
  return std::chrono::duration<double, std::milli>(steady::now() - start).count();
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

#endif
