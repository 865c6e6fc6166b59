#pragma once
// Milliseconds of the monotonic clock: for the parts that measure time with a clock a
// test can replace (never the time of day).
#include <chrono>
#include <cstdint>

inline int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
