// The Linux host with its system calls injected: the exact SG_IO request that reaches the
// kernel, how its outcome is sorted, and which nodes are opened at all.
#include "device/linux/sg_disk_host.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <vector>

#include "device/device_channel.h"
#include "device/linux/sysfs_inquiry_filter.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

// A copy of what one SG_IO call carried, taken while the pointers were valid.
struct SeenRequest {
  sg_io_hdr_t header;
  std::vector<uint8_t> cdb;
  std::vector<uint8_t> data;
};

struct FakeKernel {
  std::vector<std::string> openedPaths;
  std::vector<int> openFlags;
  std::vector<int> closedFds;
  std::vector<SeenRequest> requests;
  int openErrno = 0;
  int interruptions = 0;  // SG_IO calls that fail with EINTR before one goes through
  uint8_t replyStatus = 0;
  uint16_t replyHost = 0;
  uint16_t replyDriver = 0;
  int replyResid = 0;
  uint8_t fillByte = 0xA5;
  std::function<void()> duringCommand;  // what else happens while a command runs

  std::shared_ptr<const SgSystemCalls> Calls() {
    return std::make_shared<const SgSystemCalls>(SgSystemCalls{
        [this](const char* path, int flags) {
          openedPaths.emplace_back(path);
          openFlags.push_back(flags);
          if (openErrno != 0) {
            errno = openErrno;
            return -1;
          }
          return 40 + static_cast<int>(openedPaths.size());
        },
        [this](int, sg_io_hdr_t* request) {
          if (interruptions > 0) {
            --interruptions;
            errno = EINTR;
            return -1;
          }
          auto* data = static_cast<uint8_t*>(request->dxferp);
          SeenRequest seen{*request,
                           {request->cmdp, request->cmdp + request->cmd_len},
                           {data, data + request->dxfer_len}};
          requests.push_back(seen);
          if (request->dxfer_direction == SG_DXFER_FROM_DEV) {
            std::fill(data, data + request->dxfer_len, fillByte);
          }
          request->status = replyStatus;
          request->host_status = replyHost;
          request->driver_status = replyDriver;
          request->resid = replyResid;
          if (duringCommand) {
            duringCommand();
          }
          return 0;
        },
        [this](int fd) {
          closedFds.push_back(fd);
          return 0;
        },
    });
  }
};

SgDiskHost::Options NoSysfs() {
  SgDiskHost::Options options;
  options.devDir = "/fake/dev";
  options.sysfsFilter = false;
  return options;
}

TEST(SgDiskHostTest, RequestBlockOfEachCommand) {
  struct Case {
    const char* name;
    Cdb cdb;
    DataDirection direction;
    int sgDirection;
  };
  const Case cases[] = {
      {"inquiry", MakeInquiryCdb(), DataDirection::FromDevice, SG_DXFER_FROM_DEV},
      {"read", MakeReadUnitCdb(MemorySelector::DataFlash, 0x7FD000), DataDirection::FromDevice,
       SG_DXFER_FROM_DEV},
      {"write", MakeWriteUnitCdb(MemorySelector::Controller, 0x08000400), DataDirection::ToDevice,
       SG_DXFER_TO_DEV},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UnitBuffer data{};
    std::array<uint8_t, kSenseLength> sense{};
    const sg_io_hdr_t request = MakeSgIoRequest(c.cdb, c.direction, data, sense);
    EXPECT_EQ(request.interface_id, 'S');
    EXPECT_EQ(request.cmd_len, 12);
    EXPECT_EQ(request.cmdp, c.cdb.data());
    EXPECT_EQ(request.dxfer_direction, c.sgDirection);
    EXPECT_EQ(request.dxfer_len, 1024u);
    EXPECT_EQ(request.dxferp, data.data());
    EXPECT_EQ(request.mx_sb_len, 32);
    EXPECT_EQ(request.sbp, sense.data());
    EXPECT_EQ(request.timeout, 5000u * 1000u) << "milliseconds";
    EXPECT_EQ(request.iovec_count, 0);
    EXPECT_EQ(request.flags, 0u);
  }
}

TEST(SgDiskHostTest, ChannelTrafficReachesTheKernelUnchanged) {
  FakeKernel kernel;
  SgDiskHost host(NoSysfs(), kernel.Calls());
  DriveSlotTable slots;
  DeviceChannel channel(host, slots);
  channel.Claim(3);
  ASSERT_EQ(channel.Open(), 1);
  EXPECT_EQ(kernel.openedPaths, std::vector<std::string>{"/fake/dev/sg3"});
  EXPECT_EQ(kernel.openFlags[0] & O_ACCMODE, O_RDWR);

  UnitBuffer buffer{};
  ASSERT_EQ(channel.ReadUnit(buffer, MemorySelector::DataFlash, 0x7FD000), 1);
  EXPECT_EQ(buffer[1023], 0xA5);
  UnitBuffer out;
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<uint8_t>(i * 7);
  }
  ASSERT_EQ(channel.WriteUnit(out, MemorySelector::Controller, 0x08000400), 1);
  channel.Close();

  ASSERT_EQ(kernel.requests.size(), 2u);
  EXPECT_EQ(kernel.requests[0].cdb, (std::vector<uint8_t>{0xC8, 0x01, 0x00, 0x00, 0x1F, 0xF4, 0x00,
                                                          0x00, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(kernel.requests[0].header.dxfer_direction, SG_DXFER_FROM_DEV);
  EXPECT_EQ(kernel.requests[1].cdb, (std::vector<uint8_t>{0xCA, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00,
                                                          0x00, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(kernel.requests[1].header.dxfer_direction, SG_DXFER_TO_DEV);
  EXPECT_EQ(kernel.requests[1].data, std::vector<uint8_t>(out.begin(), out.end()));
  EXPECT_EQ(kernel.closedFds, std::vector<int>{41});
}

TEST(SgDiskHostTest, InterruptedCallIsRepeated) {
  FakeKernel kernel;
  kernel.interruptions = 2;
  SgDiskHost host(NoSysfs(), kernel.Calls());
  auto opened = host.OpenDrive(0);
  ASSERT_EQ(opened.status, OpenStatus::Opened);
  UnitBuffer buffer{};
  EXPECT_TRUE(opened.transport->Execute(MakeInquiryCdb(), DataDirection::FromDevice, buffer).ok());
  EXPECT_EQ(kernel.requests.size(), 1u);
}

TEST(SgDiskHostTest, OutcomeSorting) {
  struct Case {
    const char* name;
    int ioctlResult;
    int ioctlErrno;
    uint8_t status;
    uint16_t host;
    uint16_t driver;
    CommandStatus expected;
  };
  const Case cases[] = {
      {"good", 0, 0, 0, 0, 0, CommandStatus::Good},
      {"ioctl refused", -1, EIO, 0, 0, 0, CommandStatus::OsError},
      {"device unplugged", 0, 0, 0, 0x01 /* DID_NO_CONNECT */, 0, CommandStatus::TransportError},
      {"timed out", 0, 0, 0, 0x03 /* DID_TIME_OUT */, 0, CommandStatus::TransportError},
      {"driver error", 0, 0, 0, 0, 0x06 /* DRIVER_TIMEOUT */, CommandStatus::TransportError},
      {"check condition", 0, 0, 0x02, 0, 0x08 /* DRIVER_SENSE */, CommandStatus::DeviceStatus},
      {"busy", 0, 0, 0x08, 0, 0, CommandStatus::DeviceStatus},
      {"sense with good status", 0, 0, 0, 0, 0x08, CommandStatus::Good},
  };
  for (const auto& c : cases) {
    sg_io_hdr_t request{};
    request.status = c.status;
    request.host_status = c.host;
    request.driver_status = c.driver;
    const CommandResult result = InterpretSgIoResult(c.ioctlResult, c.ioctlErrno, request);
    EXPECT_EQ(result.status, c.expected) << c.name;
    EXPECT_EQ(result.ok(), c.expected == CommandStatus::Good) << c.name;
    if (c.ioctlResult < 0) {
      EXPECT_EQ(result.osError, c.ioctlErrno);
    }
  }

  // Through the transport: a CHECK CONDITION from the device fails the read.
  FakeKernel kernel;
  kernel.replyStatus = 0x02;
  kernel.replyDriver = 0x08;
  SgDiskHost host(NoSysfs(), kernel.Calls());
  DriveSlotTable slots;
  DeviceChannel channel(host, slots);
  channel.OpenDrive(1);
  UnitBuffer buffer{};
  EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::DataFlash, 0), 0);
  EXPECT_EQ(channel.LastCommand().status, CommandStatus::DeviceStatus);
  EXPECT_EQ(channel.LastCommand().scsiStatus, 0x02);
}

TEST(SgDiskHostTest, OpenFailuresAreToldApart) {
  struct Case {
    int error;
    OpenStatus expected;
  };
  const Case cases[] = {
      {ENOENT, OpenStatus::NoSuchDrive}, {ENXIO, OpenStatus::NoSuchDrive},
      {ENODEV, OpenStatus::NoSuchDrive}, {EACCES, OpenStatus::AccessDenied},
      {EPERM, OpenStatus::AccessDenied}, {EBUSY, OpenStatus::Failed},
      {EIO, OpenStatus::Failed},
  };
  for (const auto& c : cases) {
    FakeKernel kernel;
    kernel.openErrno = c.error;
    SgDiskHost host(NoSysfs(), kernel.Calls());
    const OpenResult result = host.OpenDrive(7);
    EXPECT_EQ(result.status, c.expected) << "errno " << c.error;
    EXPECT_EQ(result.osError, c.error);
    EXPECT_EQ(result.transport, nullptr);
  }
  FakeKernel kernel;
  SgDiskHost host(NoSysfs(), kernel.Calls());
  EXPECT_EQ(host.OpenDrive(26).status, OpenStatus::NoSuchDrive);
  EXPECT_EQ(host.OpenDrive(-1).status, OpenStatus::NoSuchDrive);
  EXPECT_TRUE(kernel.openedPaths.empty());
  EXPECT_EQ(host.DriveName(12), "/fake/dev/sg12");
}

// The kernel copies its whole buffer back, past what the device sent; the transport keeps only
// the bytes the device sent, and nothing of a failed command.
TEST(SgDiskHostTest, OnlyTheBytesTheDeviceSentReachTheBuffer) {
  struct Case {
    const char* name;
    uint8_t status;
    int resid;
    size_t sent;
  };
  const Case cases[] = {
      {"whole unit", 0, 0, 1024},
      {"INQUIRY data of 36 bytes", 0, 988, 36},
      {"nothing", 0, 1024, 0},
      {"a residue beyond the request", 0, 4096, 0},
      {"check condition", 0x02, 1024, 0},
      {"check condition after some data", 0x02, 512, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeKernel kernel;
    kernel.replyStatus = c.status;
    kernel.replyResid = c.resid;
    SgDiskHost host(NoSysfs(), kernel.Calls());
    const auto opened = host.OpenDrive(0);
    UnitBuffer buffer;
    buffer.fill(0x11);
    opened.transport->Execute(MakeInquiryCdb(), DataDirection::FromDevice, buffer);
    EXPECT_EQ(std::count(buffer.begin(), buffer.begin() + c.sent, 0xA5), c.sent);
    EXPECT_EQ(std::count(buffer.begin() + c.sent, buffer.end(), 0x11), 1024 - c.sent);
  }
}

// usb-storage fails the command in flight at an unplug with DID_ERROR while the kernel is still
// removing the disk: the transport waits for the removal to show in sysfs before it calls the
// device gone, and never for a node the kernel did not describe.
TEST(SgDiskHostTest, AdapterErrorWhileTheDiskLeavesIsAnUnplug) {
  struct Case {
    const char* name;
    bool describedAtOpen;
    std::optional<std::string> stateAfter;  // nullopt: the node's folder is gone
    bool gone;
  };
  const Case cases[] = {
      {"node removed", true, std::nullopt, true},
      {"device being removed", true, "cancel\n", true},
      {"device given up by error handling", true, "offline\n", true},
      {"device still there", true, "running\n", false},
      {"node not described", false, std::nullopt, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::ScopedTempDir sysfs("korvan_sysfs");
    const fs::path device = sysfs.path() / "sg4" / "device";
    if (c.describedAtOpen) {
      fs::create_directories(device);
      std::ofstream(device / "state") << "running\n";
    }
    FakeKernel kernel;
    kernel.replyHost = 0x07;  // DID_ERROR
    kernel.duringCommand = [&] {
      if (!c.stateAfter) {
        fs::remove_all(sysfs.path() / "sg4");
      } else {
        std::ofstream(device / "state") << *c.stateAfter;
      }
    };
    SgDiskHost::Options options = NoSysfs();
    options.sysfsDir = sysfs.path();
    options.removalWait = std::chrono::milliseconds(30);
    SgDiskHost host(options, kernel.Calls());
    const auto opened = host.OpenDrive(4);
    UnitBuffer buffer{};
    const CommandResult result =
        opened.transport->Execute(MakeInquiryCdb(), DataDirection::FromDevice, buffer);
    EXPECT_EQ(result.status, CommandStatus::TransportError);
    EXPECT_EQ(DeviceGone(result), c.gone);
    EXPECT_EQ(result.hostStatus, c.gone ? kHostNoConnect : 0x07);
  }

  EXPECT_TRUE(AttachedDeviceState("running\n"));
  EXPECT_TRUE(AttachedDeviceState("blocked"));
  EXPECT_FALSE(AttachedDeviceState("deleted\n"));
  EXPECT_FALSE(AttachedDeviceState("transport-offline\n"));
}

TEST(SysfsFilterTest, JudgesTheKernelsStrings) {
  struct Case {
    const char* vendor;
    const char* model;
    SysfsVerdict expected;
  };
  const Case cases[] = {
      {"Firmware\n", " Update\x85       \n", SysfsVerdict::MayBeDevice},
      {"Firmware\n", " Update\n", SysfsVerdict::MayBeDevice},
      {"Firmware\n", " Update  \n", SysfsVerdict::MayBeDevice},
      {"ATA     \n", "Samsung SSD 870 \n", SysfsVerdict::NotTheDevice},
      {"Firmware\n", "Update         \n", SysfsVerdict::NotTheDevice},
      {"FIRMWARE\n", " Update\n", SysfsVerdict::NotTheDevice},
      {"Firmwar\n", " Update\n", SysfsVerdict::NotTheDevice},
      {"", "", SysfsVerdict::NotTheDevice},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JudgeInquiryStrings(c.vendor, c.model), c.expected) << c.vendor << c.model;
  }
}

// An attribute that opens but cannot be read, as those of a device being removed (ENODEV)
// and a folder (EISDIR) are, is no text: never an exception out of a watcher's thread.
TEST(SysfsFilterTest, AnAttributeThatFailsToReadIsNoText) {
  const testing::ScopedTempDir temp("korvan_sysfs");
  const fs::path device = temp.path() / "sg3" / "device";
  fs::create_directories(device / "vendor");
  std::ofstream(device / "model") << " Update\n";
  EXPECT_EQ(ReadSysfsAttribute(device / "vendor"), std::nullopt);
  EXPECT_EQ(ReadSysfsAttribute(device / "model"), " Update\n");
  EXPECT_EQ(JudgeSysfsNode(temp.path(), 3), SysfsVerdict::Unknown);
}

TEST(SysfsFilterTest, HostSkipsOtherDisksBeforeOpeningThem) {
  const testing::ScopedTempDir temp("korvan_sysfs");
  const fs::path sysfs = temp.path();
  auto describe = [&](int n, const char* vendor, const char* model) {
    const fs::path dir = sysfs / ("sg" + std::to_string(n)) / "device";
    fs::create_directories(dir);
    std::ofstream(dir / "vendor") << vendor;
    std::ofstream(dir / "model") << model;
  };
  describe(0, "ATA     \n", "Samsung SSD 870 \n");
  describe(1, "Firmware\n", " Update\n");
  // sg2 has no description at all: it is probed.

  FakeKernel kernel;
  SgDiskHost::Options options;
  options.devDir = "/fake/dev";
  options.sysfsDir = sysfs;
  SgDiskHost host(options, kernel.Calls());
  EXPECT_EQ(host.OpenDrive(0).status, OpenStatus::NotTheDevice);
  EXPECT_EQ(host.OpenDrive(1).status, OpenStatus::Opened);
  EXPECT_EQ(host.OpenDrive(2).status, OpenStatus::Opened);
  EXPECT_EQ(kernel.openedPaths, (std::vector<std::string>{"/fake/dev/sg1", "/fake/dev/sg2"}));
  EXPECT_EQ(JudgeSysfsNode(sysfs, 2), SysfsVerdict::Unknown);
}

}  // namespace
}  // namespace korvan
