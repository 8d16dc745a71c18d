// The kernel's list of SCSI disks and generic nodes, as the host's list of enumerated disks:
// one "vendor&model" text per device, read from sysfs.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "device/device_events.h"

namespace korvan {

class SysfsDiskList final : public EnumeratedDisks {
 public:
  // `sysRoot` is "/sys" on a real host; tests give a folder of their own.
  explicit SysfsDiskList(std::filesystem::path sysRoot = "/sys") : root_(std::move(sysRoot)) {}

  // The devices behind class/scsi_generic/* and class/scsi_disk/*, each class in name order. A
  // device without readable texts gives an empty one, which names nothing.
  std::vector<std::string> Identifications() const override;

 private:
  std::filesystem::path root_;
};

}  // namespace korvan
