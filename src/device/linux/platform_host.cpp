// Linux: SCSI generic nodes through SG_IO, the kernel's events through libudev, sysfs's list of
// disks.
#include "device/platform_host.h"

#include "device/linux/sg_disk_host.h"
#include "device/linux/sysfs_disk_list.h"
#include "device/linux/udev_device_events.h"

namespace korvan {

std::unique_ptr<DiskHost> MakePlatformDiskHost() {
  return std::make_unique<SgDiskHost>();
}

std::unique_ptr<DeviceEventSource> MakePlatformDeviceEvents() {
  return std::make_unique<UdevDeviceEvents>();
}

std::unique_ptr<EnumeratedDisks> MakePlatformDiskList() {
  return std::make_unique<SysfsDiskList>();
}

}  // namespace korvan
