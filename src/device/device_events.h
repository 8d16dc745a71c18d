// What the host tells of devices coming and going, and its list of enumerated disks: the two
// things the window needs to notice that the detector was unplugged. Implemented by the Linux
// layer (udev and sysfs), by the Windows layer (the registry's list of disks only: the window
// decodes WM_DEVICECHANGE itself), by the simulated host, and by fakes in tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace korvan {

enum class DeviceChange {
  Arrival,         // a device arrived (ignored: the detection's scan finds the detector)
  RemoveComplete,  // a device has gone
  NodesChanged,    // the device tree changed without saying how
  Other,
};

// One device-change notification.
struct DeviceChangeEvent {
  DeviceChange type = DeviceChange::Other;
  bool hasHeader = true;  // the notification says what kind of device it is about
  bool volume = false;    // ... and that is a storage volume
};

// The host's list of enumerated disks, one identification text per disk (vendor and model).
class EnumeratedDisks {
 public:
  virtual ~EnumeratedDisks() = default;
  virtual std::vector<std::string> Identifications() const = 0;
};

// The host's device-change notifications.
class DeviceEventSource {
 public:
  using Listener = std::function<void(const DeviceChangeEvent&)>;
  virtual ~DeviceEventSource() = default;
  // Calls `listener` for every notification from now on, on a thread of the source's own.
  // False, with `why`, when the host cannot give notifications here.
  virtual bool Start(Listener listener, std::string& why) = 0;
  // No call of the listener is running or made once this returns. Idempotent.
  virtual void Stop() = 0;
};

}  // namespace korvan
