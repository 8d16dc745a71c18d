// The Linux side of noticing an unplugged detector: the kernel's disk list read from sysfs, and
// the kernel's device events through libudev.
#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

#include "device/linux/sysfs_disk_list.h"
#include "device/linux/udev_device_events.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

void Node(const std::filesystem::path& root, const std::string& node, const char* vendor,
          const char* model) {
  const std::filesystem::path device = root / node / "device";
  std::filesystem::create_directories(device);
  if (vendor != nullptr) {
    std::ofstream(device / "vendor") << vendor << '\n';
  }
  if (model != nullptr) {
    std::ofstream(device / "model") << model << '\n';
  }
}

TEST(SysfsDiskListTest, ListsTheGenericNodesThenTheDisks) {
  testing::ScopedTempDir sys("korvan_sysfs");
  Node(sys / "class/scsi_generic", "sg1", "Firmware", " Update         ");
  Node(sys / "class/scsi_generic", "sg0", "ATA     ", "Samsung SSD 870 ");
  Node(sys / "class/scsi_generic", "sg2", nullptr, nullptr);  // texts not readable
  Node(sys / "class/scsi_disk", "2:0:0:0", "Firmware", " Update         ");

  EXPECT_EQ(SysfsDiskList(sys.path()).Identifications(),
            (std::vector<std::string>{"ATA     &Samsung SSD 870 ", "Firmware& Update         ", "&",
                                      "Firmware& Update         "}));
  EXPECT_TRUE(SysfsDiskList(sys / "none").Identifications().empty());
}

// Whether this machine lets a process listen to the kernel's device events at all.
bool KernelEventsAvailable() {
  const int socketFd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
  if (socketFd < 0) {
    return false;
  }
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = 1;  // the kernel's group
  const bool bound = bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(socketFd);
  return bound;
}

TEST(UdevDeviceEventsTest, StartsAndStopsPromptly) {
  UdevDeviceEvents events;
  std::string why;
  if (!events.Start([](const DeviceChangeEvent&) {}, why)) {
    // Refusing is right only where the kernel's events cannot be had at all.
    ASSERT_FALSE(KernelEventsAvailable()) << "the events are there, yet: " << why;
    GTEST_SKIP() << "no kernel device events here: " << why;
  }
  std::string again;
  EXPECT_FALSE(events.Start([](const DeviceChangeEvent&) {}, again)) << "one watch at a time";
  events.Stop();  // returns without any event having come (a hang fails on the time-out)
  events.Stop();
  EXPECT_TRUE(events.Start([](const DeviceChangeEvent&) {}, why)) << "after Stop: " << why;
}

}  // namespace
}  // namespace korvan
