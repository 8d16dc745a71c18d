// The rate and time left that the console's progress line shows for a long copy or write.
// Pure arithmetic on what the bar has reported, so it can be checked without a clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace korvan::cli {

// A copy or write shorter than this shows no estimate: its first seconds give no steady rate,
// and it is over before one would help.
inline constexpr std::chrono::milliseconds kEstimateAfter{3000};

struct TimeLeft {
  uint64_t bytesPerSecond = 0;
  std::optional<std::chrono::seconds> left;  // none while nothing has moved (a stall)
};

// `moved` bytes went in `elapsed`, `remaining` are still to go. Nothing to show before
// kEstimateAfter and once nothing remains.
std::optional<TimeLeft> EstimateTimeLeft(std::chrono::milliseconds elapsed, uint64_t moved,
                                         uint64_t remaining);

// "512 KiB/s, 1:05 left", "0 KiB/s, time left unknown"; hours as "1:02:03".
std::string TimeLeftText(const TimeLeft& estimate);

}  // namespace korvan::cli
