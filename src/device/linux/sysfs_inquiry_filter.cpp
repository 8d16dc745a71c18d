#include "device/linux/sysfs_inquiry_filter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <utility>

namespace korvan {
namespace {

constexpr std::string_view kVendor = "Firmware";
constexpr std::string_view kModelStart = " Update";

}  // namespace

std::optional<std::string> ReadSysfsAttribute(const std::filesystem::path& path) {
  // WARNING: not through std::ifstream: libstdc++'s file buffer throws on a failed read(2)
  // whatever the stream's exception mask, and the attributes of a device being removed fail
  // with ENODEV between open and read (the window's removal watcher died of it).
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  std::string text;
  char chunk[256];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      ::close(fd);
      return n == 0 ? std::optional<std::string>(std::move(text)) : std::nullopt;
    }
    text.append(chunk, static_cast<size_t>(n));
  }
}

SysfsVerdict JudgeInquiryStrings(std::string_view vendor, std::string_view model) {
  const bool vendorMatches = vendor.substr(0, kVendor.size()) == kVendor;
  const bool modelMatches = model.substr(0, kModelStart.size()) == kModelStart;
  return vendorMatches && modelMatches ? SysfsVerdict::MayBeDevice : SysfsVerdict::NotTheDevice;
}

SysfsVerdict JudgeSysfsNode(const std::filesystem::path& sysfsDir, int drive) {
  const auto device = sysfsDir / ("sg" + std::to_string(drive)) / "device";
  const auto vendor = ReadSysfsAttribute(device / "vendor");
  const auto model = ReadSysfsAttribute(device / "model");
  if (!vendor || !model) {
    return SysfsVerdict::Unknown;
  }
  return JudgeInquiryStrings(*vendor, *model);
}

}  // namespace korvan
