#include "emulator/simulated_disk_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "device/device_channel.h"
#include "tests/emulator/small_device.h"

namespace korvan::emu {
namespace {

using testing::MakeSmallDevice;

TEST(EmuDiskHostTest, ProbeDriveFindsTheDeviceAndItsRawModelByte) {
  const struct {
    uint8_t rawType;
    int8_t typeCode;  // what the probe stores: the byte unchanged
  } cases[] = {{0x05, 5}, {0x85, -123}, {0x00, 0}, {0x1B, 27}};
  for (const auto& c : cases) {
    SimulatedDiskHost host;
    host.Attach(3, MakeSmallDevice(c.rawType));
    DriveSlotTable slots;
    DeviceChannel channel(host, slots);
    DeviceInfo info;
    EXPECT_EQ(channel.ProbeDrive(2, info), 0);
    EXPECT_EQ(channel.LastOpenStatus(), OpenStatus::NoSuchDrive);
    ASSERT_EQ(channel.ProbeDrive(3, info), 1) << int{c.rawType};
    EXPECT_EQ(info.typeCode, c.typeCode);
    EXPECT_FALSE(channel.IsOpen()) << "the probe closes what it opened";
  }
}

TEST(EmuDiskHostTest, ChannelCommandsReachTheDeviceAsExactBlocks) {
  SimulatedDiskHost host;
  auto device = MakeSmallDevice();
  host.Attach(0, device);
  DriveSlotTable slots;
  DeviceChannel channel(host, slots);
  channel.Claim(0);
  ASSERT_EQ(channel.Open(), 1);
  UnitBuffer buffer{};
  channel.ReadUnit(buffer, MemorySelector::DataFlash, 0x1400);
  channel.ReadUnit(buffer, MemorySelector::Controller, 0x08000400);
  channel.WriteUnit(buffer, MemorySelector::LegacySettings, 0x08080400);
  channel.Close();

  const std::vector<Cdb> expected{
      {0xC8, 0x01, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00},
      {0xC8, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00},
      {0xCA, 0x02, 0x00, 0x02, 0x02, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00},
  };
  EXPECT_EQ(device->RecordedCdbs(), expected);
  for (const RecordedCommand& command : device->Recording()) {
    EXPECT_TRUE(command.ok());
  }
}

TEST(EmuDiskHostTest, OpenAnswersForEveryKindOfDrive) {
  SimulatedDiskHost host;
  auto device = MakeSmallDevice();
  host.Attach(1, device);
  host.Attach(2, device);
  host.SetAccessDenied(2, true);  // a device behind it, but this user may not open it
  host.SetAccessDenied(4, true);  // some other disk
  const struct {
    int drive;
    OpenStatus status;
  } cases[] = {
      {0, OpenStatus::NoSuchDrive},  {1, OpenStatus::Opened},       {2, OpenStatus::AccessDenied},
      {4, OpenStatus::AccessDenied}, {25, OpenStatus::NoSuchDrive}, {26, OpenStatus::NoSuchDrive},
      {-1, OpenStatus::NoSuchDrive},
  };
  for (const auto& c : cases) {
    const OpenResult result = host.OpenDrive(c.drive);
    EXPECT_EQ(result.status, c.status) << "drive " << c.drive;
    EXPECT_EQ(result.transport != nullptr, c.status == OpenStatus::Opened) << "drive " << c.drive;
  }
  EXPECT_EQ(host.OpenCount(1), 1);
  EXPECT_EQ(host.OpenCount(2), 1);
  EXPECT_EQ(host.DriveName(7), "simulated drive 7");
  EXPECT_THROW(host.Attach(26, device), std::out_of_range);

  host.SetAccessDenied(2, false);
  EXPECT_EQ(host.OpenDrive(2).status, OpenStatus::Opened);
  host.Detach(1);
  EXPECT_EQ(host.OpenDrive(1).status, OpenStatus::NoSuchDrive);
}

TEST(EmuDiskHostTest, UnpluggedDeviceFailsCommandsAndOpens) {
  SimulatedDiskHost host;
  auto device = MakeSmallDevice();
  host.Attach(5, device);
  DriveSlotTable slots;
  DeviceChannel channel(host, slots);
  channel.Claim(5);
  ASSERT_EQ(channel.Open(), 1);
  UnitBuffer buffer{};
  device->DisconnectAfter(1);
  EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::DataFlash, 0), 1);
  EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::DataFlash, 0), 0);
  EXPECT_EQ(channel.LastCommand().status, CommandStatus::TransportError);
  channel.Close();

  EXPECT_EQ(channel.Open(), 0);
  EXPECT_EQ(channel.LastOpenStatus(), OpenStatus::NoSuchDrive);
  DeviceInfo info;
  EXPECT_EQ(channel.ProbeDrive(5, info), 0);

  device->ClearFaults();  // plugged in again
  EXPECT_EQ(channel.ProbeDrive(5, info), 1);
}

// The detection scan, an update and the window may all open drives at once.
TEST(EmuDiskHostTest, DrivesOpenFromSeveralThreads) {
  SimulatedDiskHost host;
  auto device = MakeSmallDevice();
  device->SetRecordMode(RecordMode::Off);
  host.Attach(4, device);
  DriveSlotTable slots;
  constexpr int kThreads = 4;
  constexpr int kRounds = 100;
  std::atomic<int> found{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      DeviceChannel channel(host, slots);
      for (int round = 0; round < kRounds; ++round) {
        DeviceInfo info;
        found += channel.ProbeDrive(4, info);
        channel.ProbeDrive(t, info);  // empty drives answer too
        if (round == kRounds / 2 && t == 0) {
          host.SetAccessDenied(0, true);
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(found.load(), kThreads * kRounds);
  EXPECT_EQ(host.OpenCount(4), kThreads * kRounds);
}

}  // namespace
}  // namespace korvan::emu
