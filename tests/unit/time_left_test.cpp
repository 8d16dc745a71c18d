// The rate and time left of the console's progress line: nothing early or at the end, a steady
// rate, and a stall.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "cli/time_left.h"

namespace korvan::cli {
namespace {

using std::chrono::milliseconds;

TEST(CliTimeLeftTest, EstimatesFromTheRateSoFar) {
  struct Case {
    const char* what;
    milliseconds elapsed;
    uint64_t moved;
    uint64_t remaining;
    std::optional<std::string> shown;  // none: no estimate on the line
  };
  const Case cases[] = {
      {"just started", milliseconds(500), 64 * 1024, 960 * 1024, std::nullopt},
      {"not quite long enough", milliseconds(2999), 300 * 1024, 700 * 1024, std::nullopt},
      {"steady rate", milliseconds(4000), 400 * 1024, 600 * 1024, "100 KiB/s, 0:06 left"},
      {"a part second rounds up", milliseconds(3000), 300 * 1024, 1, "100 KiB/s, 0:01 left"},
      {"minutes", milliseconds(10000), 1024 * 1024, 60 * 1024 * 1024, "102 KiB/s, 10:00 left"},
      {"hours", milliseconds(5000), 5 * 1024, 4000 * 1024, "1 KiB/s, 1:06:40 left"},
      {"stalled", milliseconds(8000), 0, 1024 * 1024, "0 KiB/s, time left unknown"},
      {"at 100%", milliseconds(9000), 900 * 1024, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto estimate = EstimateTimeLeft(c.elapsed, c.moved, c.remaining);
    ASSERT_EQ(estimate.has_value(), c.shown.has_value());
    if (estimate) {
      EXPECT_EQ(TimeLeftText(*estimate), *c.shown);
    }
  }
}

}  // namespace
}  // namespace korvan::cli
