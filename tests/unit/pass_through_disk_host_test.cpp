// The Windows host with its system calls injected: the exact pass-through request that reaches
// the system, how its outcome is sorted, and how drives are opened.
#include "device/windows/pass_through_disk_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "device/device_channel.h"

namespace korvan {
namespace {

// A copy of what one DeviceIoControl call carried, taken while the pointers were valid.
struct SeenRequest {
  DWORD code;
  bool sameBuffer;  // the block is both input and output
  DWORD inSize;
  DWORD outSize;
  bool returnedGiven;
  std::vector<uint8_t> block;
  uint64_t dataAddress;
  std::vector<uint8_t> data;
};

struct FakeSystem {
  struct Open {
    std::wstring path;
    DWORD access;
    DWORD share;
    DWORD disposition;
    DWORD flags;
  };
  std::vector<Open> opens;
  std::vector<HANDLE> closed;
  std::vector<SeenRequest> requests;
  DWORD openError = 0;
  DWORD ioctlError = 0;  // DeviceIoControl fails with it when non-zero
  uint8_t replyStatus = 0;
  uint32_t replyLength = kUnitSize;  // bytes the device sends for data from it
  uint8_t fillByte = 0xA5;
  DWORD lastError = 0;

  static HANDLE Handle(size_t n) {
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x40 + n));
  }

  std::shared_ptr<const PassThroughSystemCalls> Calls() {
    return std::make_shared<const PassThroughSystemCalls>(PassThroughSystemCalls{
        [this](const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
          opens.push_back({path, access, share, disposition, flags});
          if (openError != 0) {
            lastError = openError;
            return INVALID_HANDLE_VALUE;
          }
          return Handle(opens.size());
        },
        [this](HANDLE, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* returned) -> BOOL {
          auto* block = static_cast<uint8_t*>(in);
          uint64_t address = 0;
          std::memcpy(&address, block + pass_through::kDataBuffer, sizeof address);
          auto* data = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(address));
          requests.push_back({code, in == out, inSize, outSize, returned != nullptr,
                              std::vector<uint8_t>(block, block + inSize), address,
                              std::vector<uint8_t>(data, data + kUnitSize)});
          if (ioctlError != 0) {
            lastError = ioctlError;
            return FALSE;
          }
          if (block[pass_through::kDataIn] == kScsiIoctlDataIn) {
            std::fill(data, data + std::min<uint32_t>(replyLength, kUnitSize), fillByte);
            std::memcpy(block + pass_through::kDataTransferLength, &replyLength, 4);
          }
          block[pass_through::kScsiStatus] = replyStatus;
          *returned = inSize;
          return TRUE;
        },
        [this](HANDLE handle) {
          closed.push_back(handle);
          return TRUE;
        },
        [this] { return lastError; },
    });
  }
};

TEST(PassThroughDiskHostTest, ChannelTrafficReachesTheSystemUnchanged) {
  FakeSystem system;
  PassThroughDiskHost host(system.Calls());
  DriveSlotTable slots;
  DeviceChannel channel(host, slots);
  channel.Claim(3);
  ASSERT_EQ(channel.Open(), 1);
  ASSERT_EQ(system.opens.size(), 1u);
  EXPECT_EQ(system.opens[0].path, L"\\\\.\\PhysicalDrive3");
  EXPECT_EQ(system.opens[0].access, 0xC0000000u);
  EXPECT_EQ(system.opens[0].share, 3u);
  EXPECT_EQ(system.opens[0].disposition, 3u) << "OPEN_EXISTING";
  EXPECT_EQ(system.opens[0].flags & FILE_FLAG_OVERLAPPED, 0u)
      << "requests are sent without an OVERLAPPED structure";

  UnitBuffer buffer{};
  ASSERT_EQ(channel.ReadUnit(buffer, MemorySelector::DataFlash, 0x7FD000), 1);
  EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0xA5), 1024);
  UnitBuffer out;
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<uint8_t>(i * 7);
  }
  ASSERT_EQ(channel.WriteUnit(out, MemorySelector::Controller, 0x08000400), 1);
  channel.Close();
  EXPECT_EQ(system.closed, std::vector<HANDLE>{FakeSystem::Handle(1)});

  ASSERT_EQ(system.requests.size(), 2u);
  const struct {
    Cdb cdb;
    DataDirection direction;
  } sent[] = {
      {MakeReadUnitCdb(MemorySelector::DataFlash, 0x7FD000), DataDirection::FromDevice},
      {MakeWriteUnitCdb(MemorySelector::Controller, 0x08000400), DataDirection::ToDevice},
  };
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const SeenRequest& seen = system.requests[i];
    EXPECT_EQ(seen.code, 0x4D014u);
    EXPECT_TRUE(seen.sameBuffer);
    EXPECT_EQ(seen.inSize, kPassThroughRequestSize);
    EXPECT_EQ(seen.outSize, kPassThroughRequestSize);
    EXPECT_TRUE(seen.returnedGiven);
    const PassThroughRequest expected =
        MakePassThroughRequest(sent[i].cdb, sent[i].direction, seen.dataAddress);
    EXPECT_EQ(seen.block, std::vector<uint8_t>(expected.bytes.begin(), expected.bytes.end()));
    EXPECT_EQ(seen.dataAddress % 4096, 0u) << "the unit is page-aligned";
  }
  EXPECT_EQ(system.requests[1].data, std::vector<uint8_t>(out.begin(), out.end()));
}

TEST(PassThroughDiskHostTest, OutcomeSorting) {
  struct Case {
    const char* name;
    bool accepted;
    DWORD error;
    uint8_t scsiStatus;
    CommandStatus expected;
    bool gone;
  };
  const Case cases[] = {
      {"good", true, 0, 0, CommandStatus::Good, false},
      {"check condition", true, 0, 0x02, CommandStatus::DeviceStatus, false},
      {"busy", true, 0, 0x08, CommandStatus::DeviceStatus, false},
      {"refused", false, ERROR_INVALID_PARAMETER, 0, CommandStatus::OsError, false},
      {"adapter error", false, ERROR_IO_DEVICE, 0, CommandStatus::OsError, false},
      {"timed out", false, ERROR_SEM_TIMEOUT, 0, CommandStatus::OsError, false},
      {"unplugged", false, ERROR_DEVICE_NOT_CONNECTED, 0, CommandStatus::TransportError, true},
      {"no such device", false, 433 /* ERROR_NO_SUCH_DEVICE */, 0, CommandStatus::TransportError,
       true},
      {"disk removed", false, ERROR_DEVICE_REMOVED, 0, CommandStatus::TransportError, true},
      {"disk no longer there", false, ERROR_DEV_NOT_EXIST, 0, CommandStatus::TransportError, true},
      {"disk object gone", false, ERROR_FILE_NOT_FOUND, 0, CommandStatus::TransportError, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PassThroughRequest request =
        MakePassThroughRequest(MakeInquiryCdb(), DataDirection::FromDevice, 0);
    request.bytes[pass_through::kScsiStatus] = c.scsiStatus;
    const CommandResult result = InterpretPassThroughResult(c.accepted, c.error, request);
    EXPECT_EQ(result.status, c.expected);
    EXPECT_EQ(DeviceGone(result), c.gone);
    EXPECT_EQ(result.osError, static_cast<int>(c.error));
    if (c.expected == CommandStatus::DeviceStatus) {
      EXPECT_EQ(result.scsiStatus, c.scsiStatus);
    }
  }

  // Through the channel: an unplug ends the channel's traffic.
  FakeSystem system;
  system.ioctlError = ERROR_DEVICE_NOT_CONNECTED;
  PassThroughDiskHost host(system.Calls());
  DriveSlotTable slots;
  DeviceChannel channel(host, slots);
  channel.OpenDrive(1);
  UnitBuffer buffer{};
  EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::DataFlash, 0), 0);
  EXPECT_TRUE(channel.DeviceWentAway());
  EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::DataFlash, 1024), 0);
  EXPECT_EQ(system.requests.size(), 1u);
}

TEST(PassThroughDiskHostTest, OpenFailuresAreToldApart) {
  struct Case {
    DWORD error;
    OpenStatus expected;
  };
  const Case cases[] = {
      {ERROR_FILE_NOT_FOUND, OpenStatus::NoSuchDrive},
      {ERROR_PATH_NOT_FOUND, OpenStatus::NoSuchDrive},
      {ERROR_ACCESS_DENIED, OpenStatus::AccessDenied},
      {ERROR_SHARING_VIOLATION, OpenStatus::Failed},
      {ERROR_NOT_READY, OpenStatus::Failed},
  };
  for (const auto& c : cases) {
    FakeSystem system;
    system.openError = c.error;
    PassThroughDiskHost host(system.Calls());
    const OpenResult result = host.OpenDrive(7);
    EXPECT_EQ(result.status, c.expected) << "error " << c.error;
    EXPECT_EQ(result.osError, static_cast<int>(c.error));
    EXPECT_EQ(result.transport, nullptr);
    EXPECT_TRUE(system.closed.empty());
  }
  FakeSystem system;
  PassThroughDiskHost host(system.Calls());
  EXPECT_EQ(host.OpenDrive(26).status, OpenStatus::NoSuchDrive);
  EXPECT_EQ(host.OpenDrive(-1).status, OpenStatus::NoSuchDrive);
  EXPECT_TRUE(system.opens.empty());
  EXPECT_EQ(host.DriveName(12), "\\\\.\\PhysicalDrive12");
  EXPECT_EQ(host.OpenDrive(25).status, OpenStatus::Opened);
  EXPECT_EQ(system.opens.back().path, L"\\\\.\\PhysicalDrive25");
}

// Only the bytes the driver reports moved reach the caller's buffer, and nothing of a failed
// command.
TEST(PassThroughDiskHostTest, OnlyTheBytesTheDeviceSentReachTheBuffer) {
  struct Case {
    const char* name;
    DWORD ioctlError;
    uint8_t status;
    uint32_t length;
    size_t sent;
  };
  const Case cases[] = {
      {"whole unit", 0, 0, 1024, 1024},
      {"INQUIRY data of 36 bytes", 0, 0, 36, 36},
      {"nothing", 0, 0, 0, 0},
      {"a length beyond the request", 0, 0, 4096, 1024},
      {"check condition", 0, 0x02, 512, 0},
      {"refused", ERROR_IO_DEVICE, 0, 1024, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSystem system;
    system.ioctlError = c.ioctlError;
    system.replyStatus = c.status;
    system.replyLength = c.length;
    PassThroughDiskHost host(system.Calls());
    const auto opened = host.OpenDrive(0);
    ASSERT_EQ(opened.status, OpenStatus::Opened);
    UnitBuffer buffer;
    buffer.fill(0x11);
    opened.transport->Execute(MakeInquiryCdb(), DataDirection::FromDevice, buffer);
    EXPECT_EQ(std::count(buffer.begin(), buffer.begin() + c.sent, 0xA5), c.sent);
    EXPECT_EQ(std::count(buffer.begin() + c.sent, buffer.end(), 0x11), 1024 - c.sent);
  }
}

}  // namespace
}  // namespace korvan
