// The machine's own disks as the platform this program is built for reaches them: the host of
// the device link, the device-change notifications and the list of enumerated disks. One
// implementation per platform (device/linux/, device/windows/); the front ends use these and
// never include a platform's files.
#pragma once

#include <memory>

#include "device/device_events.h"
#include "device/scsi_transport.h"

namespace korvan {

// The host that opens the machine's physical drives 0..25.
std::unique_ptr<DiskHost> MakePlatformDiskHost();

// The platform's device-change notifications; null where the platform has none to give here
// (the caller then does without the removal watch).
std::unique_ptr<DeviceEventSource> MakePlatformDeviceEvents();

// The platform's list of enumerated disks, for hosts that do not list their own disks; never
// null.
std::unique_ptr<EnumeratedDisks> MakePlatformDiskList();

}  // namespace korvan
