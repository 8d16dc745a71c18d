// What the kernel already knows of a SCSI generic node: the vendor and model strings it read
// from the disk's INQUIRY data. A node whose strings cannot be the device is left alone, so no
// command is ever sent to the user's other disks.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace korvan {

enum class SysfsVerdict {
  Unknown,       // no readable description: only a probe can tell
  MayBeDevice,   // vendor "Firmware", model starting " Update"
  NotTheDevice,  // described as something else
};

// A sysfs attribute's whole text; nullopt when it cannot be read.
std::optional<std::string> ReadSysfsAttribute(const std::filesystem::path& path);

// Judges the strings as the kernel shows them ("%.8s\n", "%.16s\n").
SysfsVerdict JudgeInquiryStrings(std::string_view vendor, std::string_view model);

// Reads <sysfsDir>/sg<N>/device/{vendor,model} and judges them.
SysfsVerdict JudgeSysfsNode(const std::filesystem::path& sysfsDir, int drive);

}  // namespace korvan
