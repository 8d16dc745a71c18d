#include "emulator/simulated_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/emulator/small_device.h"

namespace korvan::emu {
namespace {

using testing::kSmallControllerSize;
using testing::kSmallFlashSize;
using testing::kSmallMemory2Size;
using testing::MakeSmallDevice;
using testing::SmallDeviceByte;

constexpr auto kController = MemorySelector::Controller;
constexpr auto kFlash = MemorySelector::DataFlash;
constexpr auto kLegacy = MemorySelector::LegacySettings;

Cdb ReadCdb(MemorySelector selector, uint32_t unit) {
  return MakeReadUnitCdb(selector, unit * kUnitSize);
}
Cdb WriteCdb(MemorySelector selector, uint32_t unit) {
  return MakeWriteUnitCdb(selector, unit * kUnitSize);
}

CommandResult Read(SimulatedDevice& device, const Cdb& cdb, UnitBuffer& buffer) {
  return device.Execute(cdb, DataDirection::FromDevice, buffer);
}
CommandResult Write(SimulatedDevice& device, const Cdb& cdb, UnitBuffer buffer) {
  return device.Execute(cdb, DataDirection::ToDevice, buffer);
}

UnitBuffer Filled(uint8_t value) {
  UnitBuffer buffer;
  buffer.fill(value);
  return buffer;
}

TEST(EmuDeviceTest, InquiryCopiesWhatTheHostAsksForAndNoMore) {
  const struct {
    size_t inquiryLength;
    uint8_t allocationLength;
    size_t copied;
  } cases[] = {
      {36, 0x88, 36},    // the channel's request: the whole short answer
      {136, 0x88, 136},  // the longest answer fills the request exactly
      {100, 16, 16},     // a host asking for less gets less
      {36, 0, 0},
  };
  for (const auto& c : cases) {
    auto device = MakeSimulatedDevice(testing::SmallDeviceImages(0x85, c.inquiryLength));
    Cdb cdb = MakeInquiryCdb();
    cdb[4] = c.allocationLength;
    UnitBuffer buffer = Filled(0xEE);
    ASSERT_TRUE(device->Execute(cdb, DataDirection::FromDevice, buffer).ok());
    const std::vector<uint8_t> inquiry = MakeInquiryData(0x85, c.inquiryLength);
    EXPECT_TRUE(
        std::equal(inquiry.begin(), inquiry.begin() + static_cast<long>(c.copied), buffer.begin()))
        << "inquiry " << c.inquiryLength << " asked " << int{c.allocationLength};
    EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<long>(c.copied), buffer.end(),
                            [](uint8_t b) { return b == 0xEE; }))
        << "bytes past the answer must keep the caller's contents";
  }
}

TEST(EmuDeviceTest, UnitsInsideEachMemoryMoveAndOthersFail) {
  const uint32_t controllerUnit = kControllerBase / kUnitSize;
  const uint32_t legacyUnit = kLegacySettingsBase / kUnitSize;
  const struct {
    MemorySelector selector;
    uint32_t unit;
    bool ok;
    size_t offset;  // of the unit inside its memory, when ok
  } cases[] = {
      {kController, controllerUnit, true, 0},
      {kController, controllerUnit + kSmallControllerSize / 1024 - 1, true, 3072},
      {kController, controllerUnit + kSmallControllerSize / 1024, false, 0},
      {kController, controllerUnit - 1, false, 0},
      {kController, 0, false, 0},  // the controller memory does not start at 0
      {kFlash, 0, true, 0},
      {kFlash, kSmallFlashSize / 1024 - 1, true, 7168},
      {kFlash, kSmallFlashSize / 1024, false, 0},
      {kFlash, 0xFFFFFFFF, false, 0},
      {kLegacy, legacyUnit, true, 0},
      {kLegacy, legacyUnit + 1, true, 1024},
      {kLegacy, legacyUnit + kSmallMemory2Size / 1024, false, 0},
      {kLegacy, 0, false, 0},
      {MemorySelector{3}, 0, false, 0},  // no fourth memory
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "memory " << int(c.selector) << " unit 0x" << std::hex << c.unit);
    auto device = MakeSmallDevice();
    UnitBuffer buffer = Filled(0xEE);
    const CommandResult read = Read(*device, ReadCdb(c.selector, c.unit), buffer);
    EXPECT_EQ(read.ok(), c.ok);
    if (c.ok) {
      for (size_t i : {size_t{0}, size_t{1023}}) {
        EXPECT_EQ(buffer[i], SmallDeviceByte(static_cast<uint8_t>(c.selector), c.offset + i));
      }
    } else {
      EXPECT_EQ(read.status, CommandStatus::DeviceStatus);
      EXPECT_EQ(read.scsiStatus, kScsiCheckCondition);
      EXPECT_EQ(buffer, Filled(0xEE)) << "a failed read hands out nothing";
    }

    const CommandResult write = Write(*device, WriteCdb(c.selector, c.unit), Filled(0x3C));
    EXPECT_EQ(write.ok(), c.ok);
    if (c.ok) {
      const uint64_t base = c.selector == kController ? kControllerBase
                            : c.selector == kLegacy   ? kLegacySettingsBase
                                                      : kDataFlashBase;
      EXPECT_EQ(device->Peek(c.selector, base + c.offset, kUnitSize),
                std::vector<uint8_t>(kUnitSize, 0x3C));
    }
  }
}

TEST(EmuDeviceTest, MissingMemoryFailsEveryUnit) {
  DeviceImages images = testing::SmallDeviceImages();
  images.flash.clear();
  auto device = MakeSimulatedDevice(std::move(images));
  UnitBuffer buffer{};
  EXPECT_EQ(device->MemorySize(kFlash), 0u);
  EXPECT_FALSE(Read(*device, ReadCdb(kFlash, 0), buffer).ok());
  EXPECT_FALSE(Write(*device, WriteCdb(kFlash, 0), buffer).ok());
}

TEST(EmuDeviceTest, MalformedCommandsFailAndMoveNothing) {
  Cdb twoUnits = ReadCdb(kFlash, 1);
  twoUnits[8] = 2;
  Cdb unknown = ReadCdb(kFlash, 1);
  unknown[0] = 0x28;  // READ(10): not something this device answers
  const struct {
    const char* what;
    Cdb cdb;
    DataDirection direction;
  } cases[] = {
      {"read sent as data to the device", ReadCdb(kFlash, 1), DataDirection::ToDevice},
      {"write sent as data from the device", WriteCdb(kFlash, 1), DataDirection::FromDevice},
      {"INQUIRY with data to the device", MakeInquiryCdb(), DataDirection::ToDevice},
      {"two units asked for", twoUnits, DataDirection::FromDevice},
      {"unknown opcode", unknown, DataDirection::FromDevice},
  };
  for (const auto& c : cases) {
    auto device = MakeSmallDevice();
    UnitBuffer buffer = Filled(0x11);
    const CommandResult result = device->Execute(c.cdb, c.direction, buffer);
    EXPECT_EQ(result.status, CommandStatus::DeviceStatus) << c.what;
    EXPECT_EQ(buffer, Filled(0x11)) << c.what;
    EXPECT_EQ(device->Peek(kFlash, 1024, 1), std::vector<uint8_t>{SmallDeviceByte(1, 1024)})
        << c.what;
  }
}

TEST(EmuDeviceTest, RecordsEveryCommandWithItsData) {
  auto device = MakeSmallDevice();
  UnitBuffer buffer{};
  ASSERT_TRUE(device->Execute(MakeInquiryCdb(), DataDirection::FromDevice, buffer).ok());
  ASSERT_TRUE(Write(*device, WriteCdb(kFlash, 2), Filled(0x42)).ok());
  ASSERT_TRUE(Read(*device, ReadCdb(kFlash, 2), buffer).ok());
  ASSERT_FALSE(Read(*device, ReadCdb(kFlash, 99), buffer).ok());
  ASSERT_FALSE(Write(*device, WriteCdb(kFlash, 99), Filled(0x43)).ok());

  const std::vector<RecordedCommand> recording = device->Recording();
  ASSERT_EQ(recording.size(), 5u);
  const struct {
    Cdb cdb;
    DataDirection direction;
    CommandStatus status;
    std::vector<uint8_t> data;
  } expected[] = {
      {MakeInquiryCdb(), DataDirection::FromDevice, CommandStatus::Good, MakeInquiryData(0x05, 36)},
      {WriteCdb(kFlash, 2), DataDirection::ToDevice, CommandStatus::Good,
       std::vector<uint8_t>(kUnitSize, 0x42)},
      {ReadCdb(kFlash, 2), DataDirection::FromDevice, CommandStatus::Good,
       std::vector<uint8_t>(kUnitSize, 0x42)},
      {ReadCdb(kFlash, 99), DataDirection::FromDevice, CommandStatus::DeviceStatus, {}},
      // What the host sent is kept even though the device refused it.
      {WriteCdb(kFlash, 99), DataDirection::ToDevice, CommandStatus::DeviceStatus,
       std::vector<uint8_t>(kUnitSize, 0x43)},
  };
  for (size_t i = 0; i < recording.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(recording[i].cdb, expected[i].cdb);
    EXPECT_EQ(recording[i].direction, expected[i].direction);
    EXPECT_EQ(recording[i].status, expected[i].status);
    EXPECT_EQ(recording[i].data, expected[i].data);
  }
  EXPECT_EQ(device->RecordedCdbs().size(), 5u);
  EXPECT_EQ(device->CommandCount(), 5u);

  device->ClearRecording();
  EXPECT_TRUE(device->Recording().empty());
  EXPECT_EQ(device->CommandCount(), 5u) << "clearing the recording does not reset the count";
}

TEST(EmuDeviceTest, RecordModesKeepLessForBigRuns) {
  auto device = MakeSmallDevice();
  UnitBuffer buffer{};
  device->SetRecordMode(RecordMode::CdbOnly);
  ASSERT_TRUE(Read(*device, ReadCdb(kFlash, 0), buffer).ok());
  ASSERT_TRUE(Write(*device, WriteCdb(kFlash, 0), buffer).ok());
  device->SetRecordMode(RecordMode::Off);
  ASSERT_TRUE(Read(*device, ReadCdb(kFlash, 1), buffer).ok());

  const auto recording = device->Recording();
  ASSERT_EQ(recording.size(), 2u);
  EXPECT_EQ(recording[0].cdb, ReadCdb(kFlash, 0));
  EXPECT_EQ(recording[1].cdb, WriteCdb(kFlash, 0));
  EXPECT_TRUE(recording[0].data.empty());
  EXPECT_TRUE(recording[1].data.empty());
  EXPECT_EQ(device->CommandCount(), 3u);
}

TEST(EmuDeviceTest, FailNthCommandCountsFromNow) {
  auto device = MakeSmallDevice();
  UnitBuffer buffer{};
  ASSERT_TRUE(Read(*device, ReadCdb(kFlash, 0), buffer).ok());  // before the fault: not counted
  device->FailNthCommand(3);
  device->FailNthCommand(1);
  const bool expected[] = {false, true, false, true, true};
  for (size_t i = 0; i < std::size(expected); ++i) {
    UnitBuffer before = Filled(0x77);
    UnitBuffer data = before;
    const CommandResult result = Read(*device, ReadCdb(kFlash, 1), data);
    EXPECT_EQ(result.ok(), expected[i]) << "command " << i + 1 << " after the faults were set";
    if (!expected[i]) {
      EXPECT_EQ(result.status, CommandStatus::DeviceStatus);
      EXPECT_EQ(data, before);
    }
  }
}

TEST(EmuDeviceTest, FailedWriteLeavesMemoryAlone) {
  auto device = MakeSmallDevice();
  device->FailNthCommand(1);
  EXPECT_FALSE(Write(*device, WriteCdb(kFlash, 0), Filled(0x00)).ok());
  EXPECT_EQ(device->Peek(kFlash, 0, 1), std::vector<uint8_t>{SmallDeviceByte(1, 0)});
}

TEST(EmuDeviceTest, FailMatchingHitsThatCommandUntilCleared) {
  auto device = MakeSmallDevice();
  device->FailMatching(kOpReadUnit, 1, kFlash);
  UnitBuffer buffer{};
  for (int repeat = 0; repeat < 3; ++repeat) {
    EXPECT_EQ(Read(*device, ReadCdb(kFlash, 1), buffer).status, CommandStatus::DeviceStatus);
  }
  EXPECT_TRUE(Read(*device, ReadCdb(kFlash, 0), buffer).ok()) << "another unit";
  EXPECT_TRUE(Write(*device, WriteCdb(kFlash, 1), buffer).ok()) << "another opcode";
  device->ClearFaults();
  EXPECT_TRUE(Read(*device, ReadCdb(kFlash, 1), buffer).ok());
}

TEST(EmuDeviceTest, FailMatchingWithoutSelectorHitsEveryMemory) {
  auto device = MakeSmallDevice();
  const uint32_t legacyUnit = kLegacySettingsBase / kUnitSize;
  UnitBuffer buffer{};
  device->FailMatching(kOpReadUnit, legacyUnit, kFlash);
  EXPECT_TRUE(Read(*device, ReadCdb(kLegacy, legacyUnit), buffer).ok())
      << "a rule for memory 1 leaves memory 2 alone";
  device->FailMatching(kOpReadUnit, legacyUnit);
  EXPECT_FALSE(Read(*device, ReadCdb(kLegacy, legacyUnit), buffer).ok());
}

TEST(EmuDeviceTest, CorruptReadsAltersTheNextReadsOnly) {
  auto device = MakeSmallDevice();
  device->CorruptReads(kFlash, 3, 2, ByteRange{10, 2});
  const std::vector<uint8_t> stored = device->Peek(kFlash, 3 * 1024, kUnitSize);

  UnitBuffer other{};
  ASSERT_TRUE(Read(*device, ReadCdb(kFlash, 4), other).ok());
  EXPECT_EQ(other[10], SmallDeviceByte(1, 4 * 1024 + 10)) << "another unit stays clean";

  for (int i = 0; i < 3; ++i) {
    UnitBuffer buffer{};
    ASSERT_TRUE(Read(*device, ReadCdb(kFlash, 3), buffer).ok());
    std::vector<uint8_t> expected = stored;
    if (i < 2) {
      expected[10] = static_cast<uint8_t>(~expected[10]);
      expected[11] = static_cast<uint8_t>(~expected[11]);
    }
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.end()), expected) << "read " << i;
  }
  EXPECT_EQ(device->Peek(kFlash, 3 * 1024, kUnitSize), stored) << "the memory stays intact";
  const auto recording = device->Recording();
  ASSERT_EQ(recording.size(), 4u);
  EXPECT_EQ(recording[1].data[10], static_cast<uint8_t>(~stored[10]))
      << "the recording shows what the host got";
}

TEST(EmuDeviceTest, DisconnectAfterServesNCommandsThenFailsAll) {
  auto device = MakeSmallDevice();
  UnitBuffer buffer{};
  device->DisconnectAfter(2);
  EXPECT_TRUE(Read(*device, ReadCdb(kFlash, 0), buffer).ok());
  EXPECT_TRUE(device->IsConnected());
  EXPECT_TRUE(Read(*device, ReadCdb(kFlash, 0), buffer).ok());
  EXPECT_FALSE(device->IsConnected()) << "gone right after the last served command";
  for (const Cdb& cdb : {ReadCdb(kFlash, 0), MakeInquiryCdb()}) {
    const CommandResult result = Read(*device, cdb, buffer);
    EXPECT_EQ(result.status, CommandStatus::TransportError);
    EXPECT_EQ(result.hostStatus, kHostNoConnect);
  }
  EXPECT_EQ(Write(*device, WriteCdb(kFlash, 0), buffer).status, CommandStatus::TransportError);

  device->ClearFaults();
  EXPECT_TRUE(device->IsConnected());
  EXPECT_TRUE(Read(*device, ReadCdb(kFlash, 0), buffer).ok());
}

TEST(EmuDeviceTest, DisconnectNowFailsTheNextCommand) {
  auto device = MakeSmallDevice();
  device->Disconnect();
  EXPECT_FALSE(device->IsConnected());
  UnitBuffer buffer{};
  EXPECT_EQ(Read(*device, ReadCdb(kFlash, 0), buffer).status, CommandStatus::TransportError);
}

// A device that stops answering holds the stalled command and every command behind it, yet
// lets tests look at and change its memories; clearing the faults releases them as timed out.
TEST(EmuDeviceTest, StallAfterHoldsCommandsUntilCleared) {
  auto device = MakeSmallDevice();
  UnitBuffer buffer{};
  device->StallAfter(1);
  ASSERT_TRUE(Read(*device, ReadCdb(kFlash, 0), buffer).ok());
  std::atomic<int> answered{0};
  std::vector<CommandResult> results(2);
  std::vector<std::thread> hosts;
  for (size_t i = 0; i < results.size(); ++i) {
    hosts.emplace_back([&, i] {
      UnitBuffer own = Filled(0xAB);
      results[i] = Write(*device, WriteCdb(kFlash, 1), own);
      ++answered;
    });
  }
  while (device->CommandCount() < 2) {
    std::this_thread::yield();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(answered.load(), 0);
  EXPECT_TRUE(device->IsConnected());
  EXPECT_EQ(device->Peek(kFlash, kUnitSize, 1), std::vector<uint8_t>{SmallDeviceByte(1, kUnitSize)});

  device->ClearFaults();
  for (auto& host : hosts) {
    host.join();
  }
  // The command that stalled failed; the one queued behind it was served after the release.
  int timedOut = 0;
  for (const CommandResult& result : results) {
    if (result.status == CommandStatus::TransportError) {
      EXPECT_EQ(result.hostStatus, kHostTimedOut);
      ++timedOut;
    }
  }
  EXPECT_EQ(timedOut, 1);
  EXPECT_TRUE(Read(*device, ReadCdb(kFlash, 0), buffer).ok());
}

// A strike hits the first command on its unit, whatever comes before it, and only that one.
TEST(EmuDeviceTest, StrikeAtHitsTheFirstCommandOnItsUnit) {
  using Strike = FaultPlan::Strike;
  for (const Strike strike : {Strike::Fail, Strike::Unplug, Strike::Stall}) {
    SCOPED_TRACE(static_cast<int>(strike));
    auto device = MakeSmallDevice();
    device->StrikeAt(kOpWriteUnit, kFlash, 2, strike);
    UnitBuffer buffer{};
    // Reads of the unit and writes of other units pass.
    ASSERT_TRUE(Read(*device, ReadCdb(kFlash, 2), buffer).ok());
    ASSERT_TRUE(Write(*device, WriteCdb(kFlash, 1), buffer).ok());
    ASSERT_TRUE(Write(*device, WriteCdb(kFlash, 3), buffer).ok());
    if (strike == Strike::Stall) {
      std::thread host([&] {
        UnitBuffer own{};
        EXPECT_EQ(Write(*device, WriteCdb(kFlash, 2), own).hostStatus, kHostTimedOut);
      });
      while (device->CommandCount() < 4) {
        std::this_thread::yield();
      }
      device->ClearFaults();
      host.join();
      continue;
    }
    const CommandResult struck = Write(*device, WriteCdb(kFlash, 2), buffer);
    const CommandResult next = Write(*device, WriteCdb(kFlash, 2), buffer);
    if (strike == Strike::Fail) {
      EXPECT_EQ(struck.status, CommandStatus::DeviceStatus);
      EXPECT_TRUE(next.ok()) << "one command only";
    } else {
      EXPECT_EQ(struck.status, CommandStatus::TransportError);
      EXPECT_EQ(next.status, CommandStatus::TransportError);
      EXPECT_FALSE(device->IsConnected());
    }
  }
}

TEST(EmuDeviceTest, ClearFaultsForgetsPendingFaults) {
  auto device = MakeSmallDevice();
  device->FailNthCommand(1);
  device->CorruptReads(kFlash, 0, 5);
  device->DisconnectAfter(1);
  device->SetCommandDelay(std::chrono::microseconds(1));
  device->ClearFaults();
  UnitBuffer buffer{};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(Read(*device, ReadCdb(kFlash, 0), buffer).ok());
    EXPECT_EQ(buffer[0], SmallDeviceByte(1, 0));
  }
  EXPECT_TRUE(device->IsConnected());
}

// Several threads, each with its own units, some with a delay: every command is answered, none
// is lost from the count or the recording, and no unit gets another thread's data.
TEST(EmuDeviceTest, CommandsFromSeveralThreadsAreServedOneAtATime) {
  auto device = MakeSmallDevice();
  device->SetRecordMode(RecordMode::CdbOnly);
  device->SetCommandDelay(std::chrono::microseconds(20));
  constexpr int kThreads = 4;
  constexpr int kRounds = 50;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const auto unit = static_cast<uint32_t>(t);
      for (int round = 0; round < kRounds; ++round) {
        const auto value = static_cast<uint8_t>(t * 16 + round);
        UnitBuffer buffer = Filled(value);
        if (!Write(*device, WriteCdb(kFlash, unit), buffer).ok() ||
            !Read(*device, ReadCdb(kFlash, unit), buffer).ok() || buffer != Filled(value)) {
          ++failures;
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(device->CommandCount(), uint64_t{kThreads * kRounds * 2});
  EXPECT_EQ(device->Recording().size(), size_t{kThreads * kRounds * 2});
}

}  // namespace
}  // namespace korvan::emu
