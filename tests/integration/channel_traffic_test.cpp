// The device link end to end against the simulated device: the exact command blocks that
// reach the device for the addresses the program uses.
#include <gtest/gtest.h>

#include "device/device_channel.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"

namespace korvan {
namespace {

TEST(ChannelTrafficTest, CommandBlocksOnTheWire) {
  emu::SimulatedDiskHost host;
  emu::PresetOptions preset;
  preset.rawType = 26;  // 16 MiB data flash: every address below is inside a memory
  auto device = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
  host.Attach(2, device);
  DriveSlotTable slots;
  DeviceChannel channel(host, slots);
  EXPECT_EQ(channel.Claim(2), 0);
  ASSERT_EQ(channel.Open(), 1);

  struct Case {
    const char* name;
    Cdb expected;
    std::function<int(UnitBuffer&)> send;
  };
  const Case cases[] = {
      {"INQUIRY asks for 136 bytes",
       {0x12, 0x00, 0x00, 0x00, 0x88, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
       [&](UnitBuffer& b) { return channel.Inquiry(b); }},
      {"data-flash version record",
       {0xC8, 0x01, 0x00, 0x00, 0x1F, 0xF4, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00},
       [&](UnitBuffer& b) { return channel.ReadUnit(b, MemorySelector::DataFlash, 0x7FD000); }},
      {"second unit of the controller memory",
       {0xC8, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00},
       [&](UnitBuffer& b) { return channel.ReadUnit(b, MemorySelector::Controller, 0x08000400); }},
      {"address 1023 is unit 0",
       {0xC8, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00},
       [&](UnitBuffer& b) { return channel.ReadUnit(b, MemorySelector::DataFlash, 1023); }},
      {"settings unit of the large models",
       {0xCA, 0x01, 0x00, 0x00, 0x3F, 0xF1, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00},
       [&](UnitBuffer& b) { return channel.WriteUnit(b, MemorySelector::DataFlash, 0xFFC400); }},
  };
  for (const auto& c : cases) {
    device->ClearRecording();
    UnitBuffer buffer;
    buffer.fill(0x3C);
    EXPECT_EQ(c.send(buffer), 1) << c.name;
    const auto recording = device->Recording();
    ASSERT_EQ(recording.size(), 1u) << c.name;
    EXPECT_EQ(recording[0].cdb, c.expected) << c.name;
    if (c.expected[0] == kOpWriteUnit) {
      EXPECT_EQ(recording[0].direction, DataDirection::ToDevice);
      EXPECT_EQ(recording[0].data, std::vector<uint8_t>(kUnitSize, 0x3C)) << "the unit sent";
      EXPECT_EQ(device->Peek(MemorySelector::DataFlash, 0xFFC400, kUnitSize), recording[0].data);
    } else {
      EXPECT_EQ(recording[0].direction, DataDirection::FromDevice);
    }
  }
  channel.Close();
  EXPECT_EQ(slots.Find(2), -1);
}

TEST(ChannelTrafficTest, UnpluggedDeviceFailsCommandsAndTheNextOpen) {
  emu::SimulatedDiskHost host;
  emu::PresetOptions preset;
  preset.rawType = 9;
  auto device = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
  host.Attach(4, device);
  DriveSlotTable slots;
  DeviceChannel channel(host, slots);
  channel.Claim(4);
  ASSERT_EQ(channel.Open(), 1);
  device->DisconnectAfter(1);
  UnitBuffer buffer{};
  EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::DataFlash, 0), 1);
  EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::DataFlash, 1024), 0);
  EXPECT_EQ(channel.LastCommand().status, CommandStatus::TransportError);
  channel.Close();
  EXPECT_EQ(channel.Open(), 0);
  EXPECT_EQ(channel.LastOpenStatus(), OpenStatus::NoSuchDrive);
  DeviceInfo info;
  EXPECT_EQ(channel.ProbeDrive(4, info), 0);
}

}  // namespace
}  // namespace korvan
