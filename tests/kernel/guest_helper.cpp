// The kernel test's helper inside the guest: what the busybox shell cannot do itself.
//   kernel_guest_helper grant NODE UID rw|r|-   the user's entry in the node's access ACL, as
//                                               the seat's login manager sets it for "uaccess"
//   kernel_guest_helper watch-removal SECONDS READY_FILE
//                                               the window's removal watcher on the kernel's
//                                               events; exit 0 once a removal ends the program
//   kernel_guest_helper bench DIR DRIVE READS WRITES  time per command through the kernel path
//   against
//                                               the same device folder's own work
//   kernel_guest_helper in-flight DRIVE         writes the same bytes back until a write fails
//                                               (the device unplugged under it), then tells how
//                                               that command and the next one ended
//   kernel_guest_helper short-transfer DRIVE    what the kernel leaves in the buffer past the
//                                               bytes an INQUIRY returned
//   kernel_guest_helper commands NODE           INQUIRY and a unit read through any node that
//                                               takes SG_IO (a disk's /dev/sdX too), as is
//   kernel_guest_helper now                     monotonic milliseconds, for wall times
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/device_removal.h"
#include "device/command_block.h"
#include "device/linux/sg_disk_host.h"
#include "device/linux/sysfs_disk_list.h"
#include "device/linux/udev_device_events.h"
#include "emulator/device_folder.h"

namespace korvan {
namespace {

// The kernel's POSIX ACL as an extended attribute: a version word, then (tag, permissions, id)
// entries in tag order.
constexpr uint32_t kAclVersion = 2;
constexpr uint16_t kAclUserObj = 0x01;
constexpr uint16_t kAclUser = 0x02;
constexpr uint16_t kAclGroupObj = 0x04;
constexpr uint16_t kAclMask = 0x10;
constexpr uint16_t kAclOther = 0x20;
constexpr uint32_t kAclNoId = 0xFFFFFFFF;

void PutAclEntry(std::vector<uint8_t>& blob, uint16_t tag, uint16_t permissions, uint32_t id) {
  for (uint32_t value : {uint32_t{tag}, uint32_t{permissions}}) {
    blob.push_back(static_cast<uint8_t>(value));
    blob.push_back(static_cast<uint8_t>(value >> 8));
  }
  for (int i = 0; i < 4; ++i) {
    blob.push_back(static_cast<uint8_t>(id >> (8 * i)));
  }
}

int Grant(const char* node, uint32_t uid, std::string_view access) {
  struct stat status;
  if (stat(node, &status) != 0) {
    std::perror(node);
    return 1;
  }
  const uint16_t user = (access.find('r') != std::string_view::npos ? 4 : 0) |
                        (access.find('w') != std::string_view::npos ? 2 : 0);
  const uint16_t owner = (status.st_mode >> 6) & 7;
  const uint16_t group = (status.st_mode >> 3) & 7;
  const uint16_t other = status.st_mode & 7;
  std::vector<uint8_t> blob;
  for (int i = 0; i < 4; ++i) {
    blob.push_back(static_cast<uint8_t>(kAclVersion >> (8 * i)));
  }
  PutAclEntry(blob, kAclUserObj, owner, kAclNoId);
  PutAclEntry(blob, kAclUser, user, uid);
  PutAclEntry(blob, kAclGroupObj, group, kAclNoId);
  PutAclEntry(blob, kAclMask, static_cast<uint16_t>(group | user), kAclNoId);
  PutAclEntry(blob, kAclOther, other, kAclNoId);
  if (setxattr(node, "system.posix_acl_access", blob.data(), blob.size(), 0) != 0) {
    std::perror("setxattr system.posix_acl_access");
    return 1;
  }
  return 0;
}

const char* ChangeName(DeviceChange change) {
  switch (change) {
    case DeviceChange::Arrival:
      return "arrival";
    case DeviceChange::RemoveComplete:
      return "removal";
    case DeviceChange::NodesChanged:
      return "nodes changed";
    case DeviceChange::Other:
      return "other";
  }
  return "?";
}

int WatchRemoval(int seconds, const char* readyFile) {
  UdevDeviceEvents events;
  SysfsDiskList disks;
  std::mutex mutex;
  std::condition_variable ended;
  bool ends = false;
  std::string why;
  const bool started = events.Start(
      [&](const DeviceChangeEvent& event) {
        const bool verdict = RemovalEndsProgram(event, disks);
        std::string listed;
        for (const std::string& disk : disks.Identifications()) {
          listed += (listed.empty() ? "" : ", ") + disk;
        }
        std::lock_guard lock(mutex);
        std::cout << "watch: " << ChangeName(event.type) << (event.volume ? " of a volume" : "")
                  << " -> " << (verdict ? "ends the program" : "goes on")
                  << " (disks: " << (listed.empty() ? "none" : listed) << ")\n"
                  << std::flush;
        if (verdict) {
          ends = true;
          ended.notify_all();
        }
      },
      why);
  if (!started) {
    std::cout << "watch: cannot start: " << why << "\n";
    return 1;
  }
  std::ofstream(readyFile) << "watching\n";
  std::unique_lock lock(mutex);
  const bool done = ended.wait_for(lock, std::chrono::seconds(seconds), [&] { return ends; });
  lock.unlock();
  events.Stop();
  if (!done) {
    std::cout << "watch: no removal ended the program within " << seconds << " s\n";
    return 3;
  }
  return 0;
}

double MicrosPer(std::chrono::steady_clock::duration total, int count) {
  return std::chrono::duration<double, std::micro>(total).count() / count;
}

int Bench(const char* folder, int drive, int count, int writes) {
  emu::LoadedDevice loaded = emu::LoadDeviceFolder(folder);
  if (!loaded.device) {
    std::cerr << loaded.error << "\n";
    return 1;
  }
  loaded.device->SetRecordMode(emu::RecordMode::Off);
  SgDiskHost host;
  OpenResult opened = host.OpenDrive(drive);
  if (!opened.transport) {
    std::cerr << host.DriveName(drive) << ": cannot open (" << std::strerror(opened.osError)
              << ")\n";
    return 1;
  }
  const Cdb read = MakeReadUnitCdb(MemorySelector::Controller, kControllerBase);
  const Cdb write = MakeWriteUnitCdb(MemorySelector::Controller, kControllerBase);
  UnitBuffer expected{};
  UnitBuffer unit{};
  if (!loaded.device->Execute(read, DataDirection::FromDevice, expected).ok()) {
    std::cerr << "the device folder does not answer a read of its first unit\n";
    return 1;
  }

  using Clock = std::chrono::steady_clock;
  auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    loaded.device->Execute(read, DataDirection::FromDevice, unit);
  }
  const auto own = Clock::now() - start;

  int failed = 0;
  start = Clock::now();
  for (int i = 0; i < count; ++i) {
    unit.fill(0);
    const CommandResult result = opened.transport->Execute(read, DataDirection::FromDevice, unit);
    failed += result.ok() && unit == expected ? 0 : 1;
  }
  const auto kernelRead = Clock::now() - start;
  // The same bytes written back: the device's contents stay as they are.
  start = Clock::now();
  for (int i = 0; i < writes; ++i) {
    unit = expected;
    failed += opened.transport->Execute(write, DataDirection::ToDevice, unit).ok() ? 0 : 1;
  }
  const auto kernelWrite = Clock::now() - start;

  std::printf(
      "bench: %d reads of one unit through %s: %.0f us per command (%.0f ms in all)\n"
      "bench: %d writes of one unit through %s: %.0f us per command (%.0f ms in all)\n"
      "bench: the same device folder's own work per read, in this process: %.1f us\n"
      "bench: the kernel path adds %.0f us per read (x%.0f)\n",
      count, host.DriveName(drive).c_str(), MicrosPer(kernelRead, count),
      MicrosPer(kernelRead, 1) / 1000.0, writes, host.DriveName(drive).c_str(),
      MicrosPer(kernelWrite, writes), MicrosPer(kernelWrite, 1) / 1000.0, MicrosPer(own, count),
      MicrosPer(kernelRead - own, count),
      MicrosPer(kernelRead, count) / std::max(MicrosPer(own, count), 0.001));
  if (failed > 0) {
    std::printf("bench: %d commands failed or read other bytes\n", failed);
    return 1;
  }
  return 0;
}

const char* StatusName(CommandStatus status) {
  switch (status) {
    case CommandStatus::Good:
      return "good";
    case CommandStatus::DeviceStatus:
      return "device status";
    case CommandStatus::TransportError:
      return "transport error";
    case CommandStatus::OsError:
      return "system error";
  }
  return "?";
}

void PrintResult(const char* what, const CommandResult& result) {
  std::printf("%s: %s, host 0x%02X, driver 0x%02X, scsi 0x%02X, errno %d (%s) -> device gone: %s\n",
              what, StatusName(result.status), result.hostStatus, result.driverStatus,
              result.scsiStatus, result.osError,
              result.osError != 0 ? std::strerror(result.osError) : "none",
              DeviceGone(result) ? "yes" : "no");
}

std::unique_ptr<ScsiTransport> OpenOrSay(SgDiskHost& host, int drive) {
  OpenResult opened = host.OpenDrive(drive);
  if (!opened.transport) {
    std::printf("%s: cannot open (%s)\n", host.DriveName(drive).c_str(),
                std::strerror(opened.osError));
  }
  return std::move(opened.transport);
}

int InFlight(int drive) {
  SgDiskHost host;
  const auto transport = OpenOrSay(host, drive);
  if (!transport) {
    return 1;
  }
  const Cdb read = MakeReadUnitCdb(MemorySelector::Controller, kControllerBase);
  const Cdb write = MakeWriteUnitCdb(MemorySelector::Controller, kControllerBase);
  UnitBuffer unit{};
  if (!transport->Execute(read, DataDirection::FromDevice, unit).ok()) {
    std::printf("in-flight: the first read failed\n");
    return 1;
  }
  for (int written = 1;; ++written) {
    UnitBuffer same = unit;
    const CommandResult result = transport->Execute(write, DataDirection::ToDevice, same);
    if (!result.ok()) {
      std::printf("in-flight: write %d failed\n", written);
      PrintResult("in-flight: the command the unplug caught", result);
      UnitBuffer after{};
      PrintResult("in-flight: the next command",
                  transport->Execute(read, DataDirection::FromDevice, after));
      return 0;
    }
  }
}

// Counts the bytes of `buffer` from `from` on that no longer hold `fill`.
size_t Changed(const UnitBuffer& buffer, size_t from, uint8_t fill) {
  return static_cast<size_t>(std::count_if(buffer.begin() + static_cast<std::ptrdiff_t>(from),
                                           buffer.end(),
                                           [fill](uint8_t byte) { return byte != fill; }));
}

// INQUIRY into a filled buffer, on a fresh handle and again after a unit read, either straight
// through the kernel (`raw`) or through the program's transport; returns the bytes past the
// INQUIRY data that changed, and how many of those took the read unit's bytes.
struct ShortTransferSeen {
  size_t length = 0;
  size_t changedFresh = 0;
  size_t changedAfterRead = 0;
  size_t fromUnit = 0;
};

std::optional<ShortTransferSeen> SeeShortTransfer(ScsiTransport& transport) {
  constexpr uint8_t kFill = 0xA5;
  ShortTransferSeen seen;
  UnitBuffer buffer;
  buffer.fill(kFill);
  if (!transport.Execute(MakeInquiryCdb(), DataDirection::FromDevice, buffer).ok()) {
    return std::nullopt;
  }
  // The additional length says how long the INQUIRY data is.
  seen.length = size_t{buffer[4]} + 5;
  seen.changedFresh = Changed(buffer, seen.length, kFill);
  UnitBuffer unit{};
  transport.Execute(MakeReadUnitCdb(MemorySelector::Controller, kControllerBase),
                    DataDirection::FromDevice, unit);
  buffer.fill(kFill);
  transport.Execute(MakeInquiryCdb(), DataDirection::FromDevice, buffer);
  seen.changedAfterRead = Changed(buffer, seen.length, kFill);
  for (size_t i = seen.length; i < buffer.size(); ++i) {
    seen.fromUnit += buffer[i] != kFill && buffer[i] == unit[i] ? 1 : 0;
  }
  return seen;
}

// The kernel without the program's transport: the request as the transport makes it, the
// buffer handed to the kernel as it is.
class RawSgIo final : public ScsiTransport {
 public:
  explicit RawSgIo(int fd) : fd_(fd) {}
  ~RawSgIo() override { close(fd_); }
  CommandResult Execute(const Cdb& cdb, DataDirection direction,
                        std::span<uint8_t, kUnitSize> data) override {
    std::array<uint8_t, kSenseLength> sense{};
    sg_io_hdr_t request = MakeSgIoRequest(cdb, direction, data, sense);
    const int result = ioctl(fd_, SG_IO, &request);
    return InterpretSgIoResult(result, result < 0 ? errno : 0, request);
  }

 private:
  int fd_;
};

int ShortTransfer(int drive) {
  SgDiskHost host;
  const int fd = open(host.DriveName(drive).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    std::perror(host.DriveName(drive).c_str());
    return 1;
  }
  std::optional<ShortTransferSeen> raw;
  {
    RawSgIo kernel(fd);
    raw = SeeShortTransfer(kernel);
  }
  const auto transport = OpenOrSay(host, drive);
  const std::optional<ShortTransferSeen> kept =
      transport ? SeeShortTransfer(*transport) : std::nullopt;
  if (!raw || !kept) {
    std::printf("short-transfer: INQUIRY failed\n");
    return 1;
  }
  const size_t rest = kUnitSize - raw->length;
  std::printf(
      "short-transfer: the kernel, INQUIRY of %zu bytes into a 1024-byte buffer: %zu of "
      "the %zu bytes after the data changed on a fresh handle; after a unit read %zu "
      "changed, %zu of them to the unit's bytes\n",
      raw->length, raw->changedFresh, rest, raw->changedAfterRead, raw->fromUnit);
  std::printf(
      "short-transfer: the program's transport: %zu changed on a fresh handle, %zu after "
      "a unit read\n",
      kept->changedFresh, kept->changedAfterRead);
  return kept->changedFresh == 0 && kept->changedAfterRead == 0 ? 0 : 1;
}

int Commands(const char* node) {
  const int fd = open(node, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    std::perror(node);
    return 1;
  }
  RawSgIo kernel(fd);
  UnitBuffer buffer{};
  PrintResult("INQUIRY", kernel.Execute(MakeInquiryCdb(), DataDirection::FromDevice, buffer));
  PrintResult("read unit",
              kernel.Execute(MakeReadUnitCdb(MemorySelector::Controller, kControllerBase),
                             DataDirection::FromDevice, buffer));
  return 0;
}

int Usage() {
  std::cerr
      << "usage: kernel_guest_helper grant NODE UID rw|r|- | watch-removal SECONDS FILE | "
         "bench DIR DRIVE READS WRITES | in-flight DRIVE | short-transfer DRIVE | commands NODE | "
         "now\n";
  return 2;
}

}  // namespace
}  // namespace korvan

int main(int argc, char** argv) {
  using namespace korvan;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "grant") {
    return Grant(argv[2], static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)), args[3]);
  }
  if (args.size() == 3 && args[0] == "watch-removal") {
    return WatchRemoval(std::atoi(argv[2]), argv[3]);
  }
  if (args.size() == 5 && args[0] == "bench") {
    return Bench(argv[2], std::atoi(argv[3]), std::max(1, std::atoi(argv[4])),
                 std::max(1, std::atoi(argv[5])));
  }
  if (args.size() == 2 && args[0] == "in-flight") {
    return InFlight(std::atoi(argv[2]));
  }
  if (args.size() == 2 && args[0] == "short-transfer") {
    return ShortTransfer(std::atoi(argv[2]));
  }
  if (args.size() == 2 && args[0] == "commands") {
    return Commands(argv[2]);
  }
  if (args.size() == 1 && args[0] == "now") {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::printf("%lld\n", static_cast<long long>(
                              std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
    return 0;
  }
  return Usage();
}
