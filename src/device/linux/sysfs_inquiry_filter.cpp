#include "device/linux/sysfs_inquiry_filter.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace korvan {
namespace {

constexpr std::string_view kVendor = "Firmware";
constexpr std::string_view kModelStart = " Update";

}  // namespace

std::optional<std::string> ReadSysfsAttribute(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return std::nullopt;
  }
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) {
    return std::nullopt;
  }
  return text;
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
