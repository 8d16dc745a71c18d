// Windows: the machine's disks are \\.\PhysicalDrive0..25, reached through the SCSI
// pass-through; the list of enumerated disks is the disk driver's key in the registry. There is
// no device-change source here: the window receives WM_DEVICECHANGE itself and decodes it with
// DecodeDeviceChange (device/device_change_message.h).
#include "device/platform_host.h"

#include "device/registry_disk_list.h"
#include "device/windows/pass_through_disk_host.h"
#include "device/windows/registry_value_reader.h"

namespace korvan {

std::unique_ptr<DiskHost> MakePlatformDiskHost() {
  return std::make_unique<PassThroughDiskHost>();
}

std::unique_ptr<DeviceEventSource> MakePlatformDeviceEvents() {
  return nullptr;
}

std::unique_ptr<EnumeratedDisks> MakePlatformDiskList() {
  return std::make_unique<RegistryDiskList>(MakeRegistryValueReader());
}

}  // namespace korvan
