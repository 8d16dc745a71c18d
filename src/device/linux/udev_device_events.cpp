#include "device/linux/udev_device_events.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace korvan {
namespace {

DeviceChangeEvent EventOf(udev_device& device) {
  const char* action = udev_device_get_action(&device);
  const char* subsystem = udev_device_get_subsystem(&device);
  const std::string_view what = action != nullptr ? action : "";
  DeviceChangeEvent event;
  event.type = what == "remove" ? DeviceChange::RemoveComplete
               : what == "add"  ? DeviceChange::Arrival
                                : DeviceChange::Other;
  event.volume = subsystem != nullptr && std::string_view(subsystem) == "block";
  return event;
}

}  // namespace

bool UdevDeviceEvents::Start(Listener listener, std::string& why) {
  if (thread_.joinable()) {
    why = "already watching";
    return false;
  }
  udev_ = udev_new();
  if (udev_ != nullptr) {
    // The kernel's own events: no udev daemon needs to run for them.
    monitor_ = udev_monitor_new_from_netlink(udev_, "kernel");
  }
  if (monitor_ == nullptr || udev_monitor_enable_receiving(monitor_) < 0) {
    why = std::string("no kernel device events here: ") + std::strerror(errno);
    Stop();
    return false;
  }
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    why = std::string("eventfd: ") + std::strerror(errno);
    Stop();
    return false;
  }
  thread_ = std::thread(&UdevDeviceEvents::Watch, this, std::move(listener));
  return true;
}

void UdevDeviceEvents::Watch(Listener listener) {
  pollfd fds[2] = {{udev_monitor_get_fd(monitor_), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      return;
    }
    if (fds[1].revents != 0) {
      return;  // Stop
    }
    if ((fds[0].revents & POLLIN) == 0) {
      continue;
    }
    udev_device* device = udev_monitor_receive_device(monitor_);
    if (device == nullptr) {
      continue;
    }
    const DeviceChangeEvent event = EventOf(*device);
    udev_device_unref(device);
    listener(event);
  }
}

void UdevDeviceEvents::Stop() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    (void)!write(wakeFd_, &one, sizeof one);
    thread_.join();
  }
  if (wakeFd_ >= 0) {
    close(wakeFd_);
    wakeFd_ = -1;
  }
  if (monitor_ != nullptr) {
    udev_monitor_unref(monitor_);
    monitor_ = nullptr;
  }
  if (udev_ != nullptr) {
    udev_unref(udev_);
    udev_ = nullptr;
  }
}

}  // namespace korvan
