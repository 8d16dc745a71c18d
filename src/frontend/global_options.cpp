#include "frontend/global_options.h"

#include <charconv>

#include "app/addresses.h"
#include "device/scsi_transport.h"

namespace korvan::frontend {
namespace {

std::optional<unsigned> ParseUnsigned(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<uint8_t> ParseTypeByte(const std::string& text) {
  const auto value = ParseUnsigned(text);
  if (!value || *value > 0xFF) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(*value);
}

std::optional<DeviceDirOption> ParseDeviceDir(const std::string& text, std::string& error) {
  const auto at = text.rfind('@');
  if (at == std::string::npos) {
    if (text.empty()) {
      error = "--device-dir needs a folder";
      return std::nullopt;
    }
    return DeviceDirOption{text, kDefaultSimulatedDrive};
  }
  const auto drive = ParseUnsigned(std::string_view(text).substr(at + 1));
  if (!drive || *drive > static_cast<unsigned>(kLastDrive)) {
    error = "--device-dir " + text + ": the drive after '@' must be a number from " +
            std::to_string(kFirstDrive) + " to " + std::to_string(kLastDrive);
    return std::nullopt;
  }
  if (at == 0) {
    error = "--device-dir " + text + ": the folder is missing before '@'";
    return std::nullopt;
  }
  return DeviceDirOption{text.substr(0, at), static_cast<int>(*drive)};
}

std::optional<SimulatedFault> ParseSimulatedFault(std::string_view text, std::string& error) {
  std::optional<int> drive;
  if (const auto colon = text.find(':'); colon != std::string_view::npos) {
    const std::string_view driveText = text.substr(colon + 1);
    int value = -1;
    const auto [end, failure] =
        std::from_chars(driveText.data(), driveText.data() + driveText.size(), value);
    if (driveText.empty() || failure != std::errc() || end != driveText.data() + driveText.size() ||
        value < kFirstDrive || value > kLastDrive) {
      error = std::string(kSimulateFaultVariable) + "=" + std::string(text) +
              ": the drive after ':' must be a number from " + std::to_string(kFirstDrive) +
              " to " + std::to_string(kLastDrive);
      return std::nullopt;
    }
    drive = value;
    text = text.substr(0, colon);
  }
  const auto at = text.find('@');
  const std::string_view kind = text.substr(0, at);
  SimulatedFault fault;
  uint64_t answered = 0;
  const std::string_view count =
      at == std::string_view::npos ? std::string_view{} : text.substr(at + 1);
  const auto [end, failure] = std::from_chars(count.data(), count.data() + count.size(), answered);
  const bool countOk = !count.empty() && failure == std::errc() && end == count.data() + count.size();
  if (kind == "stall" && countOk) {
    fault.kind = SimulatedFault::Kind::Stall;
  } else if (kind == "unplug" && countOk) {
    fault.kind = SimulatedFault::Kind::Unplug;
  } else {
    error = std::string(kSimulateFaultVariable) + "=" + std::string(text) +
            ": expected stall@N or unplug@N, N the commands the device answers first (and "
            ":D to aim it at drive D alone)";
    return std::nullopt;
  }
  fault.answered = answered;
  fault.drive = drive;
  return fault;
}

std::optional<std::string> ResolveServerUrl(const std::string& option, const char* environment,
                                            std::string& error) {
  std::string url(kDefaultServerUrl);
  if (!option.empty()) {
    url = option;
  } else if (environment != nullptr && *environment != '\0') {
    url = environment;
  }
  if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) {
    error = "the update server must be an http:// or https:// address: " + url;
    return std::nullopt;
  }
  if (url.back() != '/') {
    url += '/';
  }
  return url;
}

}  // namespace korvan::frontend
