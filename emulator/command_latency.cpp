#include "emulator/command_latency.h"

#include <charconv>
#include <cstdint>

namespace korvan::emu {

std::optional<std::chrono::microseconds> ParseCommandLatency(std::string_view text,
                                                             std::string& error) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  uint64_t value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  const bool digitsOnly =
      !text.empty() && status == std::errc() && end == text.data() + text.size();
  if (!digitsOnly || value > static_cast<uint64_t>(kMaxCommandLatency.count())) {
    error = "\"" + std::string(text) +
            "\" is not a latency: expected whole microseconds from 0 to " +
            std::to_string(kMaxCommandLatency.count());
    return std::nullopt;
  }
  return std::chrono::microseconds(static_cast<int64_t>(value));
}

}  // namespace korvan::emu
