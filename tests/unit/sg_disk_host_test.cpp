// The Linux host with its system calls injected: the exact SG_IO request that reaches the
// kernel, how its outcome is sorted, and which nodes are opened at all.
#include "device/linux/sg_disk_host.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
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
  uint8_t fillByte = 0xA5;

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
