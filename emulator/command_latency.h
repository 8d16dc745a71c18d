// How long a simulated device takes per command, so that a run on it lasts about as long as on
// a real detector (about 1 ms per command through the kernel's USB path) for demos and
// benchmarks. Given as whole microseconds: --sim-latency, and a device folder's latency.txt.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace korvan::emu {

// Longer than any real device takes; keeps a typo from making the device look hung.
inline constexpr std::chrono::microseconds kMaxCommandLatency{10'000'000};

// "1000" -> 1 ms. Decimal digits only (a trailing line break is allowed, as files end with one);
// nullopt with `error` set for anything else or above kMaxCommandLatency.
std::optional<std::chrono::microseconds> ParseCommandLatency(std::string_view text,
                                                             std::string& error);

}  // namespace korvan::emu
