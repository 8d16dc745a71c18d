// WM_DEVICECHANGE as the window receives it, turned into a DeviceChangeEvent. Plain bytes in,
// so the decoding is checked on every platform; the Windows window calls it from its message
// hook.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/device_events.h"

namespace korvan {

// The event types (WPARAM) the removal watch tells apart.
inline constexpr uint32_t kDbtDeviceArrival = 0x8000;
inline constexpr uint32_t kDbtDeviceRemoveComplete = 0x8004;
inline constexpr uint32_t kDbtDevNodesChanged = 0x0007;
// DEV_BROADCAST_HDR: dbch_size, dbch_devicetype, dbch_reserved, 32 bits each.
inline constexpr uint32_t kDbtDevTypVolume = 2;
inline constexpr size_t kBroadcastDeviceTypeOffset = 4;

// `header` is the message's LPARAM: the DEV_BROADCAST_HDR the system sent, or null when the
// event has none (DBT_DEVNODES_CHANGED, for one). Only its device type is read.
DeviceChangeEvent DecodeDeviceChange(uint32_t eventType, const void* header);

}  // namespace korvan
