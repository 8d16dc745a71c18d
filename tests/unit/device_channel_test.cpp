// DeviceChannel against a scripted host: slot semantics, open failures and the identification.
// The exact command traffic is checked against the simulated device in the integration tests.
#include "device/device_channel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

namespace korvan {
namespace {

using Answer =
    std::function<CommandResult(const Cdb&, DataDirection, std::span<uint8_t, kUnitSize>)>;

class ScriptedTransport : public ScsiTransport {
 public:
  explicit ScriptedTransport(Answer answer) : answer_(std::move(answer)) {}
  CommandResult Execute(const Cdb& cdb, DataDirection direction,
                        std::span<uint8_t, kUnitSize> data) override {
    return answer_(cdb, direction, data);
  }

 private:
  Answer answer_;
};

class ScriptedHost : public DiskHost {
 public:
  std::map<int, OpenStatus> openStatus;  // drives not listed open with `answer`
  Answer answer = [](const Cdb&, DataDirection, std::span<uint8_t, kUnitSize>) {
    return CommandResult{};
  };
  int opens = 0;

  OpenResult OpenDrive(int drive) override {
    ++opens;
    OpenResult result;
    const auto it = openStatus.find(drive);
    result.status = it == openStatus.end() ? OpenStatus::Opened : it->second;
    if (result.status == OpenStatus::Opened) {
      result.transport = std::make_unique<ScriptedTransport>(answer);
    } else if (result.status == OpenStatus::AccessDenied) {
      result.osError = EACCES;
    }
    return result;
  }
  std::string DriveName(int drive) const override { return "disk" + std::to_string(drive); }
};

// INQUIRY data whose bytes 8-22 are `text` (15 characters) and byte 24 is `type`.
Answer InquiryAnswer(const char* text, uint8_t type, uint8_t byte23 = ' ') {
  return [=](const Cdb& cdb, DataDirection, std::span<uint8_t, kUnitSize> data) {
    if (cdb[0] != kOpInquiry) {
      return CommandResult{CommandStatus::DeviceStatus, 0, 0x02};
    }
    std::memcpy(data.data() + 8, text, 15);
    data[23] = byte23;
    data[24] = type;
    return CommandResult{};
  };
}

TEST(DeviceChannelTest, ClaimAndCloseKeepTheSlotTable) {
  ScriptedHost host;
  DriveSlotTable slots;
  DeviceChannel first(host, slots);
  DeviceChannel second(host, slots);
  EXPECT_EQ(first.Claim(3), 0);
  EXPECT_EQ(second.Claim(3), 0) << "the same drive is not entered twice";
  EXPECT_EQ(first.FindDriveSlot(3), 0);
  EXPECT_EQ(slots.Snapshot(), (std::array<int32_t, 4>{3, -1, -1, -1}));

  first.Open();
  first.Close();
  EXPECT_EQ(slots.Snapshot(), (std::array<int32_t, 4>{-1, -1, -1, -1}));

  // A channel that never claimed frees nothing, even for a drive it opened.
  DeviceChannel probe(host, slots);
  slots.Claim(3);
  probe.OpenDrive(3);
  probe.Close();
  EXPECT_EQ(slots.Find(3), 0);
}

TEST(DeviceChannelTest, FullTableStillOpensWithoutSlot) {
  ScriptedHost host;
  DriveSlotTable slots;
  for (int drive = 10; drive < 14; ++drive) {
    slots.Claim(drive);
  }
  DeviceChannel channel(host, slots);
  EXPECT_EQ(channel.Claim(2), -1);
  EXPECT_EQ(channel.Open(), 1);
  UnitBuffer buffer{};
  EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::DataFlash, 0), 1);
  channel.Close();
  EXPECT_EQ(slots.Snapshot(), (std::array<int32_t, 4>{10, 11, 12, 13}));
}

TEST(DeviceChannelTest, FailedOpenIsToldApartAndCommandsThenFail) {
  ScriptedHost host;
  host.openStatus = {{4, OpenStatus::AccessDenied}, {5, OpenStatus::NoSuchDrive}};
  DriveSlotTable slots;
  DeviceChannel channel(host, slots);

  EXPECT_EQ(channel.OpenDrive(4), 0);
  EXPECT_EQ(channel.LastOpenStatus(), OpenStatus::AccessDenied);
  EXPECT_EQ(channel.LastOpenError(), EACCES);
  EXPECT_FALSE(channel.IsOpen());
  EXPECT_EQ(channel.OpenDrive(5), 0);
  EXPECT_EQ(channel.LastOpenStatus(), OpenStatus::NoSuchDrive);

  UnitBuffer buffer{};
  buffer.fill(0x5A);
  EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::Controller, 0x08000000), 0);
  EXPECT_EQ(channel.LastCommand().status, CommandStatus::OsError);
  EXPECT_EQ(buffer[0], 0x5A) << "a failed read leaves the buffer as it was";
  EXPECT_EQ(channel.WriteUnit(buffer, MemorySelector::DataFlash, 0), 0);
  EXPECT_EQ(channel.Inquiry(buffer), 0);
}

TEST(DeviceChannelTest, CommandStatusDecidesTheResult) {
  ScriptedHost host;
  DriveSlotTable slots;
  const CommandResult outcomes[] = {
      {CommandStatus::Good},
      {CommandStatus::DeviceStatus, 0, 0x02},
      {CommandStatus::TransportError, 0, 0, 0x07},
      {CommandStatus::OsError, EIO},
  };
  for (const auto& outcome : outcomes) {
    host.answer = [outcome](const Cdb&, DataDirection, std::span<uint8_t, kUnitSize>) {
      return outcome;
    };
    DeviceChannel channel(host, slots);
    channel.OpenDrive(1);
    UnitBuffer buffer{};
    EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::DataFlash, 0), outcome.ok() ? 1 : 0);
    EXPECT_EQ(channel.WriteUnit(buffer, MemorySelector::DataFlash, 0), outcome.ok() ? 1 : 0);
    EXPECT_EQ(channel.LastCommand().status, outcome.status);
    channel.Close();
  }
}

// A command that finds the device gone is the channel's last one sent; a time-out, a device's
// refusal or another failure leaves the channel usable.
TEST(DeviceChannelTest, NothingIsSentOnceTheDeviceIsGone) {
  struct Case {
    CommandResult failure;
    bool gone;
  };
  const Case cases[] = {
      {{CommandStatus::TransportError, 0, 0, kHostNoConnect}, true},
      {{CommandStatus::TransportError, 0, 0, kHostBadTarget}, true},
#ifndef _WIN32
      // Linux's own words for a disk that has gone; Windows' host says it as the adapter does.
      {{CommandStatus::OsError, ENODEV}, true},
      {{CommandStatus::OsError, ENXIO}, true},
#endif
      {{CommandStatus::TransportError, 0, 0, kHostTimedOut}, false},
      {{CommandStatus::DeviceStatus, 0, 0x02}, false},
      {{CommandStatus::OsError, EIO}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.failure.status) * 1000 + c.failure.hostStatus +
                 c.failure.osError);
    ScriptedHost host;
    int sent = 0;
    host.answer = [&sent, &c](const Cdb&, DataDirection, std::span<uint8_t, kUnitSize>) {
      return ++sent == 1 ? c.failure : CommandResult{};
    };
    DriveSlotTable slots;
    DeviceChannel channel(host, slots);
    ASSERT_EQ(channel.OpenDrive(1), 1);
    UnitBuffer buffer{};
    EXPECT_EQ(channel.WriteUnit(buffer, MemorySelector::DataFlash, 0), 0);
    EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::DataFlash, 0), c.gone ? 0 : 1);
    EXPECT_EQ(sent, c.gone ? 1 : 2);
    EXPECT_EQ(channel.DeviceWentAway(), c.gone);
    if (c.gone) {
      EXPECT_EQ(channel.LastCommand().status, c.failure.status) << "the first failure is kept";
      ASSERT_EQ(channel.OpenDrive(1), 1);  // plugged in again: a new handle sends again
      EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::DataFlash, 0), 1);
      EXPECT_EQ(sent, 2);
    }
  }
}

TEST(DeviceChannelTest, ProbeDriveIdentification) {
  struct Case {
    const char* text;
    uint8_t type;
    uint8_t byte23;
    bool isDevice;
  };
  const Case cases[] = {
      {"Firmware Update", 0x85, ' ', true},
      {"Firmware Update", 0x00, 0xC3, true},  // byte 23 is free
      {"Firmware Update", 26, 0x00, true},
      {"FIRMWARE UPDATE", 5, ' ', false},  // case matters
      {"firmware Update", 5, ' ', false},
      {"Firmware Updatf", 5, ' ', false},
      {"Generic  Flash ", 5, ' ', false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ScriptedHost host;
    host.answer = InquiryAnswer(c.text, c.type, c.byte23);
    DriveSlotTable slots;
    DeviceChannel channel(host, slots);
    DeviceInfo info;
    info.typeCode = 99;
    EXPECT_EQ(channel.ProbeDrive(2, info), c.isDevice ? 1 : 0);
    EXPECT_EQ(info.typeCode, c.isDevice ? static_cast<int8_t>(c.type) : 99);
    EXPECT_FALSE(channel.IsOpen()) << "the probe closes the drive";
    EXPECT_EQ(slots.Find(2), -1) << "the probe claims nothing";
  }
}

TEST(DeviceChannelTest, ProbeOfUnopenableOrSilentDriveIsNotTheDevice) {
  ScriptedHost host;
  host.openStatus = {{0, OpenStatus::AccessDenied}};
  host.answer = [](const Cdb&, DataDirection, std::span<uint8_t, kUnitSize>) {
    return CommandResult{CommandStatus::TransportError, 0, 0, 0x01};
  };
  DriveSlotTable slots;
  DeviceChannel channel(host, slots);
  DeviceInfo info;
  EXPECT_EQ(channel.ProbeDrive(0, info), 0);
  EXPECT_EQ(channel.LastOpenStatus(), OpenStatus::AccessDenied);
  EXPECT_EQ(channel.ProbeDrive(1, info), 0);
  EXPECT_EQ(channel.LastOpenStatus(), OpenStatus::Opened);
  EXPECT_EQ(info.typeCode, 0);
}

}  // namespace
}  // namespace korvan
