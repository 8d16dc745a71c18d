#include "cli/time_left.h"

#include <cstdio>

namespace korvan::cli {

std::optional<TimeLeft> EstimateTimeLeft(std::chrono::milliseconds elapsed, uint64_t moved,
                                         uint64_t remaining) {
  if (remaining == 0 || elapsed < kEstimateAfter) {
    return std::nullopt;
  }
  TimeLeft estimate;
  const auto ms = static_cast<uint64_t>(elapsed.count());
  estimate.bytesPerSecond = moved * 1000 / ms;
  if (moved == 0) {
    return estimate;  // no rate to go by
  }
  // Rounded up: "0:00 left" would claim the work is done.
  const uint64_t seconds = (remaining * ms + moved * 1000 - 1) / (moved * 1000);
  estimate.left = std::chrono::seconds(seconds);
  return estimate;
}

std::string TimeLeftText(const TimeLeft& estimate) {
  std::string text = std::to_string(estimate.bytesPerSecond / 1024) + " KiB/s, ";
  if (!estimate.left) {
    return text + "time left unknown";
  }
  const auto total = static_cast<long long>(estimate.left->count());
  char clock[32];
  if (total >= 3600) {
    std::snprintf(clock, sizeof clock, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                  total % 60);
  } else {
    std::snprintf(clock, sizeof clock, "%lld:%02lld", total / 60, total % 60);
  }
  return text + clock + " left";
}

}  // namespace korvan::cli
