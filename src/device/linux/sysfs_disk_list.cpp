#include "device/linux/sysfs_disk_list.h"

#include <algorithm>
#include <system_error>

#include "device/linux/sysfs_inquiry_filter.h"

namespace korvan {
namespace {

// The attribute's text without its line end; empty when it cannot be read.
std::string Attribute(const std::filesystem::path& file) {
  std::string text = ReadSysfsAttribute(file).value_or("");
  return text.substr(0, text.find('\n'));
}

std::vector<std::filesystem::path> Entries(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> entries;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    entries.push_back(it->path());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace

std::vector<std::string> SysfsDiskList::Identifications() const {
  std::vector<std::string> disks;
  for (const char* kind : {"class/scsi_generic", "class/scsi_disk"}) {
    for (const std::filesystem::path& node : Entries(root_ / kind)) {
      disks.push_back(Attribute(node / "device" / "vendor") + "&" +
                      Attribute(node / "device" / "model"));
    }
  }
  return disks;
}

}  // namespace korvan
