// The main window's answer to a device-change notification: the detector's removal ends the
// program, anything else does not.
#pragma once

#include <string>
#include <vector>

#include "device/device_events.h"

namespace korvan {

// A disk whose identification contains "Firmware" and "Update" (case-sensitive, anywhere, in
// either order) is the detector's.
bool NamesTheDetector(const std::string& identification);

// True when `event` is the completed removal of a volume and none of the listed disks is the
// detector's any more. Only the first (count mod 256) disks are examined, as the host's list
// gives its count in one byte. An arrival, a non-volume device and every other notification
// never end the program; neither does a removal while the detector stays listed. A removal
// while no detector was ever found does (no listed disk names one).
bool RemovalEndsProgram(const DeviceChangeEvent& event, const EnumeratedDisks& disks);

}  // namespace korvan
