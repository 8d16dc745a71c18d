// Device-change notifications from the kernel through libudev: the removal of a block device
// (a disk or a partition: a storage volume) and of other devices, watched on a thread of its own
// so the window never waits for it.
#pragma once

#include <atomic>
#include <thread>

#include "device/device_events.h"

struct udev;
struct udev_monitor;

namespace korvan {

class UdevDeviceEvents final : public DeviceEventSource {
 public:
  UdevDeviceEvents() = default;
  ~UdevDeviceEvents() override { Stop(); }
  UdevDeviceEvents(const UdevDeviceEvents&) = delete;
  UdevDeviceEvents& operator=(const UdevDeviceEvents&) = delete;

  // Listens to the kernel's own events (they come whether or not a udev daemon runs). False
  // when the netlink socket cannot be had here (a container without it, say).
  bool Start(Listener listener, std::string& why) override;
  void Stop() override;

 private:
  void Watch(Listener listener);

  int wakeFd_ = -1;  // an eventfd that ends the watch
  ::udev* udev_ = nullptr;
  ::udev_monitor* monitor_ = nullptr;
  std::thread thread_;
};

}  // namespace korvan
