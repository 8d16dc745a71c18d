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
