#include "device/device_change_message.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <dbt.h>

#include <cstddef>
#endif

namespace korvan {

#ifdef _WIN32
static_assert(DBT_DEVICEARRIVAL == kDbtDeviceArrival);
static_assert(DBT_DEVICEREMOVECOMPLETE == kDbtDeviceRemoveComplete);
static_assert(DBT_DEVNODES_CHANGED == kDbtDevNodesChanged);
static_assert(DBT_DEVTYP_VOLUME == kDbtDevTypVolume);
static_assert(offsetof(DEV_BROADCAST_HDR, dbch_devicetype) == kBroadcastDeviceTypeOffset);
#endif

DeviceChangeEvent DecodeDeviceChange(uint32_t eventType, const void* header) {
  DeviceChangeEvent event;
  switch (eventType) {
    case kDbtDeviceArrival:
      event.type = DeviceChange::Arrival;
      break;
    case kDbtDeviceRemoveComplete:
      event.type = DeviceChange::RemoveComplete;
      break;
    case kDbtDevNodesChanged:
      event.type = DeviceChange::NodesChanged;
      break;
    default:
      event.type = DeviceChange::Other;
      break;
  }
  event.hasHeader = header != nullptr;
  if (event.hasHeader) {
    // Copied out: the header is the system's, with no promise of alignment to us.
    uint32_t deviceType = 0;
    std::memcpy(&deviceType, static_cast<const unsigned char*>(header) + kBroadcastDeviceTypeOffset,
                sizeof deviceType);
    event.volume = deviceType == kDbtDevTypVolume;
  }
  return event;
}

}  // namespace korvan
