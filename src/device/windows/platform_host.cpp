// Windows: the machine's disks are \\.\PhysicalDrive0..25. This build has no pass-through host
// and no removal notifications yet: every drive fails to open with ERROR_CALL_NOT_IMPLEMENTED
// (so the front ends say why rather than "no device"), and the window does without the removal
// watch. The simulated devices work as on every platform.
#include <windows.h>

#include <string>

#include "device/platform_host.h"

namespace korvan {
namespace {

class UnsupportedDiskHost final : public DiskHost {
 public:
  OpenResult OpenDrive(int) override {
    return {.status = OpenStatus::Failed, .osError = ERROR_CALL_NOT_IMPLEMENTED, .transport = {}};
  }
  std::string DriveName(int drive) const override {
    return "\\\\.\\PhysicalDrive" + std::to_string(drive);
  }
};

class NoDisks final : public EnumeratedDisks {
 public:
  std::vector<std::string> Identifications() const override { return {}; }
};

}  // namespace

std::unique_ptr<DiskHost> MakePlatformDiskHost() {
  return std::make_unique<UnsupportedDiskHost>();
}

std::unique_ptr<DeviceEventSource> MakePlatformDeviceEvents() {
  return nullptr;
}

std::unique_ptr<EnumeratedDisks> MakePlatformDiskList() {
  return std::make_unique<NoDisks>();
}

}  // namespace korvan
