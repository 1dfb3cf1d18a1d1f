// Timing helpers of the Windows benchmarks: a monotonic clock in seconds and
// the median of a set of runs (medians, not means: a run now and then pays
// for something else).
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

namespace leafbook::bench {

inline double Seconds() {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace leafbook::bench
