// The region writers against the simulated device: the units that reach the device and in what
// order, what its memories hold afterwards, what the window is told, and the read-back check.
#include "flash/region_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "device/model_catalogue.h"
#include "emulator/device_images.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"
#include "tests/flash/copy_fixtures.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

using Bytes = std::vector<uint8_t>;
using Traffic = std::vector<std::string>;
using korvan::testing::PseudoRandomBytes;

constexpr int kDrive = 2;
constexpr uint32_t kFlashSize = 0x800000;
constexpr uint32_t kDatabaseAddress = 0x410000;
constexpr MemorySelector kController = MemorySelector::Controller;
constexpr MemorySelector kFlash = MemorySelector::DataFlash;

// Device contents unlike any source a test writes, different in every unit.
Bytes DevicePattern(uint8_t selector, size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(i * 7 + i / 1024 * 13 + selector * 101);
  }
  return bytes;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// `bytes` as the units that carry them: the tail of the last unit filled with `fill`.
Bytes Padded(Bytes bytes, uint8_t fill) {
  bytes.resize((bytes.size() + kUnitSize - 1) / kUnitSize * kUnitSize, fill);
  return bytes;
}

std::optional<Bytes> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One command as the device saw it: "W1@007FE000" is a write of the data-flash unit at byte
// address 0x7FE000; a failed command ends in "!".
std::string Command(char op, MemorySelector selector, uint32_t address, bool ok = true) {
  char text[32];
  std::snprintf(text, sizeof text, "%c%u@%08X%s", op, static_cast<unsigned>(selector), address,
                ok ? "" : "!");
  return text;
}

std::string Describe(const emu::RecordedCommand& command) {
  const uint8_t opcode = CdbOpcode(command.cdb);
  const char op = opcode == kOpWriteUnit ? 'W' : opcode == kOpReadUnit ? 'R' : '?';
  return Command(op, static_cast<MemorySelector>(CdbSelector(command.cdb)),
                 CdbUnit(command.cdb) * kUnitSize, command.ok());
}

// A write and its read-back for each of `units` units from `address`.
Traffic WriteReadPairs(MemorySelector selector, uint32_t address, uint32_t units) {
  Traffic traffic;
  for (uint32_t i = 0; i < units; ++i) {
    traffic.push_back(Command('W', selector, address + i * kUnitSize));
    traffic.push_back(Command('R', selector, address + i * kUnitSize));
  }
  return traffic;
}

Traffic Reads(MemorySelector selector, uint32_t address, uint32_t units) {
  Traffic traffic;
  for (uint32_t i = 0; i < units; ++i) {
    traffic.push_back(Command('R', selector, address + i * kUnitSize));
  }
  return traffic;
}

Traffic Cat(Traffic a, const Traffic& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Everything a writer shows, in order, as text; the hooks let a test act at a given moment.
class RecordingObserver final : public RegionWriterObserver {
 public:
  void SlotPosition(int slot, int position) override {
    events.push_back("position " + std::to_string(slot) + " " + std::to_string(position));
    positions.push_back(position);
    if (onPosition) {
      onPosition(position);
    }
  }
  void SlotText(int slot, std::string_view text) override {
    events.push_back("text " + std::to_string(slot) + " " + std::string(text));
  }
  void RegionCellText(Region region, std::string_view text) override {
    events.push_back("cell " + std::to_string(static_cast<int>(region)) + " " + std::string(text));
    if (onCell) {
      onCell();
    }
  }
  void ShowError(std::string_view text, std::string_view caption) override {
    events.push_back("error " + std::string(text) + " | " + std::string(caption));
    if (onError) {
      onError();
    }
  }

  // The events without the progress positions.
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    std::copy_if(events.begin(), events.end(), std::back_inserter(messages),
                 [](const std::string& e) { return e.rfind("position ", 0) != 0; });
    return messages;
  }

  std::vector<std::string> events;
  std::vector<int> positions;
  std::function<void(int)> onPosition;
  std::function<void()> onCell;
  std::function<void()> onError;
};

const std::string kReconnectEvent = "text 0 " + std::string(kReconnectText);
const std::string kFirstUnitErrorEvent =
    "error " + std::string(kFirstUnitFailedText) + " | " + std::string(kErrorCaption);

std::string CheckingEvent(Region region) {
  return "cell " + std::to_string(static_cast<int>(region)) + " " + std::string(kCheckingText);
}

// A device of one model on drive 2, a working folder, and the writer run the way the update
// runs it: on a channel claimed for the drive and open, whose slot (0) picks the bar.
class WriterRig {
 public:
  explicit WriterRig(int8_t type) : type_(type) {
    emu::DeviceImages images;
    images.inquiry = emu::MakeInquiryData(static_cast<uint8_t>(type), emu::kMinInquiryLength);
    images.controller = DevicePattern(0, ModelCatalogue::FwReadLength(type));
    images.flash = DevicePattern(1, kFlashSize);
    device = emu::MakeSimulatedDevice(std::move(images));
    host.Attach(kDrive, device);
  }

  std::filesystem::path Source(const Bytes& bytes) {
    const auto path = dir / "component.bin";
    korvan::testing::WriteCopy(path, bytes);
    return path;
  }

  RegionWrite Request(Region region, const std::filesystem::path& source, bool verify = false) {
    return RegionWrite{
        .region = region,
        .typeCode = type_,
        .source = source,
        .verify = verify,
        .databaseAddress = kDatabaseAddress,
        .link = DeviceLink{host, slots, kDrive},
        .folder = dir.path(),
        .stop = stop.get_token(),
    };
  }

  StepResult Run(const RegionWrite& request) {
    DeviceChannel channel(host, slots);
    const int slot = channel.Claim(kDrive);
    EXPECT_EQ(slot, 0);
    channel.Open();
    device->ClearRecording();
    const StepResult result = WriteRegion(channel, slot, request, observer, &verifyPath);
    channel.Close();
    return result;
  }

  Traffic Sent() const {
    Traffic traffic;
    for (const auto& command : device->Recording()) {
      traffic.push_back(Describe(command));
    }
    return traffic;
  }

  Bytes Memory(MemorySelector selector) const {
    const uint64_t base = selector == kController ? kControllerBase : kDataFlashBase;
    return device->Peek(selector, base, device->MemorySize(selector));
  }

  korvan::testing::ScopedTempDir dir{"writer"};
  emu::SimulatedDiskHost host;
  DriveSlotTable slots;
  std::shared_ptr<emu::SimulatedDevice> device;
  RecordingObserver observer;
  std::stop_source stop;
  std::filesystem::path verifyPath;

 private:
  int8_t type_;
};

// A region as the tables below name it.
struct Target {
  const char* name;
  int8_t type;
  Region region;
  MemorySelector selector;
  uint32_t start;
};

const Target kFirmware24{"firmware of type 24", 24, Region::Firmware, kController, 0x08004000};
const Target kVoice{"voice", 5, Region::Voice, kFlash, 0};
const Target kDatabase{"database", 5, Region::Database, kFlash, kDatabaseAddress};
const Target kSignature{"signature", 8, Region::Signature, kFlash, kSignatureAddress};

// `memory` with `bytes` placed at byte address `address` of a memory starting at `base`.
Bytes Placed(Bytes memory, uint64_t base, uint32_t address, const Bytes& bytes) {
  std::copy(bytes.begin(), bytes.end(),
            memory.begin() + static_cast<std::ptrdiff_t>(address - base));
  return memory;
}

uint64_t BaseOf(MemorySelector selector) {
  return selector == kController ? kControllerBase : kDataFlashBase;
}

TEST(RegionWriterTest, EachUnitIsWrittenAtTheRegionAndReadBackAtOnce) {
  const Target cases[] = {
      {"firmware behind a 0x3000 boot loader", 5, Region::Firmware, kController, 0x08003000},
      kFirmware24,
      {"firmware of type 26", 26, Region::Firmware, kController, 0x08010000},
      kVoice,
      kDatabase,
  };
  // Two whole units and a part: the last unit is padded with erased bytes.
  const Bytes source = PseudoRandomBytes(2500, 11);
  for (const auto& c : cases) {
    WriterRig rig(c.type);
    const Bytes before = rig.Memory(c.selector);
    EXPECT_EQ(rig.Run(rig.Request(c.region, rig.Source(source))), StepResult::Ok) << c.name;
    EXPECT_EQ(rig.Sent(), WriteReadPairs(c.selector, c.start, 3)) << c.name;
    EXPECT_TRUE(rig.Memory(c.selector) ==
                Placed(before, BaseOf(c.selector), c.start, Padded(source, 0xFF)))
        << c.name << ": the region holds the source and nothing else changed";
    EXPECT_THAT(rig.observer.positions, ::testing::ElementsAre(40, 81, 100)) << c.name;
    EXPECT_THAT(rig.observer.Messages(), ::testing::IsEmpty()) << c.name;
  }
}

TEST(RegionWriterTest, UnitLoopEndsWhenTheSourceIsConsumed) {
  struct Case {
    size_t length;
    uint32_t units;
  };
  const Case cases[] = {
      {0, 1},  // nothing to read still writes one erased unit
      {1, 1}, {1023, 1}, {1024, 1}, {1025, 2}, {3072, 3}, {3073, 4},
  };
  for (const auto& c : cases) {
    WriterRig rig(5);
    const Bytes source = PseudoRandomBytes(c.length, 12);
    EXPECT_EQ(rig.Run(rig.Request(Region::Voice, rig.Source(source))), StepResult::Ok) << c.length;
    EXPECT_EQ(rig.Sent(), WriteReadPairs(kFlash, 0, c.units)) << c.length;
    Bytes expected = source;
    expected.resize(size_t{c.units} * kUnitSize, 0xFF);
    EXPECT_EQ(rig.device->Peek(kFlash, 0, expected.size()), expected) << c.length;
    EXPECT_EQ(rig.observer.positions.size(), c.units) << c.length;
    EXPECT_EQ(rig.observer.positions.back(), 100) << c.length;
  }
}

TEST(RegionWriterTest, SignatureIsAlwaysEightUnitsPaddedWithZeros) {
  for (const size_t length : {size_t{100}, size_t{8192}, size_t{9000}}) {
    WriterRig rig(8);
    const Bytes source = PseudoRandomBytes(length, 13);
    EXPECT_EQ(rig.Run(rig.Request(Region::Signature, rig.Source(source))), StepResult::Ok)
        << length;
    EXPECT_EQ(rig.Sent(), WriteReadPairs(kFlash, kSignatureAddress, 8)) << length;
    Bytes expected(source.begin(),
                   source.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(length, 8192)));
    expected.resize(8192, 0x00);
    EXPECT_EQ(rig.device->Peek(kFlash, kSignatureAddress, 8192), expected) << length;
    EXPECT_THAT(rig.observer.positions, ::testing::ElementsAre(12, 25, 37, 50, 62, 75, 87, 100))
        << length;
  }
}

TEST(RegionWriterTest, UnitReadBackDifferentOnceIsRewrittenOnce) {
  struct Case {
    Target target;
    uint32_t units;
    uint32_t corrupted;  // unit index within the region
  };
  const Case cases[] = {
      {kVoice, 3, 0},  // only the firmware refuses a first unit at once
      {kVoice, 3, 1}, {kDatabase, 3, 2}, {kFirmware24, 3, 1}, {kSignature, 8, 7},
  };
  for (const auto& c : cases) {
    const Target& t = c.target;
    WriterRig rig(t.type);
    const Bytes source = PseudoRandomBytes(size_t{c.units} * kUnitSize, 14);
    const uint32_t corrupted = t.start + c.corrupted * kUnitSize;
    rig.device->CorruptReads(t.selector, UnitNumber(corrupted), 1, emu::ByteRange{100, 4});
    EXPECT_EQ(rig.Run(rig.Request(t.region, rig.Source(source))), StepResult::Ok) << t.name;
    Traffic expected = WriteReadPairs(t.selector, t.start, c.units);
    const auto rewrite = expected.begin() + 2 * (c.corrupted + 1);
    expected.insert(rewrite,
                    {Command('W', t.selector, corrupted), Command('R', t.selector, corrupted)});
    EXPECT_EQ(rig.Sent(), expected) << t.name;
    EXPECT_EQ(rig.device->Peek(t.selector, t.start, source.size()), source) << t.name;
    EXPECT_THAT(rig.observer.Messages(), ::testing::IsEmpty()) << t.name;
  }
}

TEST(RegionWriterTest, UnitThatNeverReadsBackEqualParksAfterTheRewriteBound) {
  for (const Target& t : {kFirmware24, kVoice, kDatabase}) {
    WriterRig rig(t.type);
    const uint32_t second = t.start + kUnitSize;
    rig.device->CorruptReads(t.selector, UnitNumber(second), 1000);
    EXPECT_EQ(rig.Run(rig.Request(t.region, rig.Source(PseudoRandomBytes(3 * kUnitSize, 15)))),
              StepResult::Parked)
        << t.name;
    Traffic expected = WriteReadPairs(t.selector, t.start, 1);
    for (int i = 0; i <= kMaxUnitRewrites; ++i) {
      expected = Cat(expected, WriteReadPairs(t.selector, second, 1));
    }
    EXPECT_EQ(rig.Sent(), expected) << t.name << ": one write, 16 rewrites, nothing after";
    EXPECT_THAT(rig.observer.Messages(), ::testing::ElementsAre(kReconnectEvent)) << t.name;
    EXPECT_THAT(rig.observer.positions, ::testing::ElementsAre(33)) << t.name;
  }
}

TEST(RegionWriterTest, FirstFirmwareUnitThatReadsBackDifferentIsNotRetried) {
  struct Case {
    const char* name;
    std::function<void(emu::SimulatedDevice&)> fault;
    Traffic sent;
  };
  const uint32_t start = 0x08003000;
  const Case cases[] = {
      {"altered read",
       [&](emu::SimulatedDevice& d) { d.CorruptReads(kController, UnitNumber(start), 1); },
       {Command('W', kController, start), Command('R', kController, start)}},
      {"cable pulled after the write",
       [](emu::SimulatedDevice& d) { d.DisconnectAfter(1); },
       {Command('W', kController, start), Command('R', kController, start, false)}},
  };
  for (const auto& c : cases) {
    WriterRig rig(5);
    c.fault(*rig.device);
    EXPECT_EQ(rig.Run(rig.Request(Region::Firmware, rig.Source(PseudoRandomBytes(4096, 16)))),
              StepResult::Parked)
        << c.name;
    EXPECT_EQ(rig.Sent(), c.sent) << c.name;
    EXPECT_THAT(rig.observer.events, ::testing::ElementsAre(kFirstUnitErrorEvent, kReconnectEvent))
        << c.name;
  }
}

TEST(RegionWriterTest, LostLinkParksTheWriterOfALargeRegion) {
  for (const Target& t : {kFirmware24, kVoice, kDatabase}) {
    WriterRig rig(t.type);
    rig.device->DisconnectAfter(3);  // the second unit's read-back is the first to fail
    EXPECT_EQ(rig.Run(rig.Request(t.region, rig.Source(PseudoRandomBytes(3 * kUnitSize, 17)))),
              StepResult::Parked)
        << t.name;
    EXPECT_EQ(rig.Sent(), Cat(WriteReadPairs(t.selector, t.start, 1),
                              {Command('W', t.selector, t.start + kUnitSize),
                               Command('R', t.selector, t.start + kUnitSize, false)}))
        << t.name << ": no rewrite after a failed read";
    EXPECT_THAT(rig.observer.Messages(), ::testing::ElementsAre(kReconnectEvent)) << t.name;
  }
}

TEST(RegionWriterTest, ZeroUnitWhoseReadBackFailsEndsTheLoopWithLinkLost) {
  // The read-back buffer is cleared before each read, so an all-zero unit whose read failed
  // compares equal: the loop ends there instead of parking, and reports the lost link.
  WriterRig rig(5);
  rig.device->DisconnectAfter(1);
  EXPECT_EQ(rig.Run(rig.Request(Region::Voice, rig.Source(Bytes(3 * kUnitSize, 0x00)))),
            StepResult::LinkLost);
  EXPECT_THAT(rig.Sent(),
              ::testing::ElementsAre(Command('W', kFlash, 0), Command('R', kFlash, 0, false)));
  EXPECT_THAT(rig.observer.Messages(), ::testing::IsEmpty());
  EXPECT_THAT(rig.observer.positions, ::testing::ElementsAre(33));
}

TEST(RegionWriterTest, SignatureGoesOnPastUnitsThatDoNotReadBack) {
  const uint32_t start = kSignatureAddress;
  struct Case {
    const char* name;
    std::function<void(emu::SimulatedDevice&)> fault;
    bool verify;
    Traffic sent;
    StepResult expected;
    size_t sourceLength = 8192;
  };
  auto persistent = [](uint32_t unit) {
    return [unit](emu::SimulatedDevice& d) {
      d.CorruptReads(kFlash, UnitNumber(kSignatureAddress + unit * kUnitSize), 1000);
    };
  };
  auto withRewrites = [&](uint32_t unit) {
    Traffic traffic;
    for (uint32_t i = 0; i < 8; ++i) {
      const int writes = i == unit ? 1 + kMaxUnitRewrites : 1;
      for (int w = 0; w < writes; ++w) {
        traffic = Cat(traffic, WriteReadPairs(kFlash, start + i * kUnitSize, 1));
      }
    }
    return traffic;
  };
  // A unit the device never takes: its write and its read-back fail, and so does its read in
  // the verification.
  auto neverTaken = [](uint32_t unit) {
    return [unit](emu::SimulatedDevice& d) {
      const uint32_t number = UnitNumber(kSignatureAddress + unit * kUnitSize);
      d.FailMatching(kOpWriteUnit, number, kFlash);
      d.FailMatching(kOpReadUnit, number, kFlash);
    };
  };
  auto withFailedUnit = [&](uint32_t unit, bool verified) {
    Traffic traffic;
    for (uint32_t i = 0; i < 8; ++i) {
      const uint32_t address = start + i * kUnitSize;
      traffic.push_back(Command('W', kFlash, address, i != unit));
      traffic.push_back(Command('R', kFlash, address, i != unit));
    }
    for (uint32_t i = 0; verified && i < 8; ++i) {
      traffic.push_back(Command('R', kFlash, start + i * kUnitSize, i != unit));
    }
    return traffic;
  };
  // The signature goes on past a unit that does not read back, but the read that found the
  // cable pulled is the last command sent: the later units fail without reaching the device.
  Traffic unplugged = Cat(WriteReadPairs(kFlash, start, 1), {Command('W', kFlash, start + 1024)});
  unplugged.push_back(Command('R', kFlash, start + 1024, false));
  const Case cases[] = {
      // A unit that reads back, but never as written, is not held by the device: a
      // verification failure wherever it lies, with the check box off too, and not a lost link.
      {"a middle unit never reads back equal", persistent(3), false, withRewrites(3),
       StepResult::VerifyFailed},
      {"the last unit never reads back equal", persistent(7), false, withRewrites(7),
       StepResult::VerifyFailed},
      {"cable pulled", [](emu::SimulatedDevice& d) { d.DisconnectAfter(3); }, false, unplugged,
       StepResult::LinkLost},
      // The read-back file cannot be read either, and the difference comes first.
      {"cable pulled, verified", [](emu::SimulatedDevice& d) { d.DisconnectAfter(3); }, true,
       unplugged, StepResult::VerifyFailed},
      // A unit whose read-back failed is not held as far as the writer knows, though later
      // units read back well: the link was lost, not an Ok.
      {"a middle unit never taken", neverTaken(3), false, withFailedUnit(3, false),
       StepResult::LinkLost},
      {"the first unit never taken", neverTaken(0), false, withFailedUnit(0, false),
       StepResult::LinkLost},
      // Behind a short file the units are zeros, which the cleared read-back buffer equals, and
      // which the verification does not compare: the failed read alone tells.
      {"a zero unit behind a short file never taken, verified", neverTaken(3), true,
       withFailedUnit(3, true), StepResult::LinkLost, 1024},
  };
  for (const auto& c : cases) {
    WriterRig rig(8);
    c.fault(*rig.device);
    EXPECT_EQ(rig.Run(rig.Request(Region::Signature,
                                  rig.Source(PseudoRandomBytes(c.sourceLength, 18)), c.verify)),
              c.expected)
        << c.name;
    EXPECT_EQ(rig.Sent(), c.sent) << c.name;
    EXPECT_THAT(rig.observer.Messages(), ::testing::IsEmpty()) << c.name;
    EXPECT_EQ(rig.observer.positions.size(), 8u) << c.name;
  }
}

TEST(RegionWriterTest, SourceThatCannotBeOpenedWritesNothing) {
  for (const Target& t : {kFirmware24, kVoice, kDatabase, kSignature}) {
    WriterRig rig(t.type);
    for (const auto& source : {rig.dir / "absent.bin", rig.dir.path()}) {
      EXPECT_EQ(rig.Run(rig.Request(t.region, source, true)), StepResult::FileOpenFailed)
          << t.name << " " << source;
      EXPECT_THAT(rig.Sent(), ::testing::IsEmpty()) << t.name;
      EXPECT_THAT(rig.observer.events, ::testing::IsEmpty()) << t.name;
    }
  }
}

TEST(RegionWriterTest, SourceThatWouldRunPastTheMemoryWritesNothing) {
  // Type 24: controller memory 0x60000 with the firmware from 0x4000; type 5: 8 MiB of data
  // flash with the database at 0x410000. One byte more than fits spills into the next unit.
  struct Case {
    Target target;
    uint64_t fits;  // the longest source the region takes
  };
  const Case cases[] = {
      {kFirmware24, 0x60000 - 0x4000},
      {kVoice, kFlashSize},
      {kDatabase, kFlashSize - kDatabaseAddress},
  };
  for (const auto& c : cases) {
    WriterRig rig(c.target.type);
    const auto source = rig.Source(Bytes(static_cast<size_t>(c.fits) + 1, 0x5A));
    EXPECT_EQ(rig.Run(rig.Request(c.target.region, source, true)), StepResult::FileOpenFailed)
        << c.target.name;
    EXPECT_THAT(rig.Sent(), ::testing::IsEmpty()) << c.target.name;

    // The longest source that fits is written to the memory's last unit.
    std::filesystem::resize_file(source, c.fits);
    EXPECT_EQ(rig.Run(rig.Request(c.target.region, source)), StepResult::Ok) << c.target.name;
  }
}

TEST(RegionWriterTest, VerificationReadsTheRegionBackIntoItsFile) {
  struct Case {
    Target target;
    size_t sourceLength;
    std::string fileName;
    uint32_t readStart;
    uint32_t readUnits;
    StepResult expected;
  };
  const Case cases[] = {
      // The whole controller memory, boot loader included; compared from behind it.
      {kFirmware24, 2500, "VerifyFwData.bin", kControllerBase,
       ModelCatalogue::FwReadLength(24) / kUnitSize, StepResult::Ok},
      {kVoice, 2500, "VerifyImage.bin", 0, 3, StepResult::Ok},
      {kDatabase, 2500, "VerifyDb.bin", kDatabaseAddress, 3, StepResult::Ok},
      {kSignature, 8192, "VerifySignature.bin", kSignatureAddress, 8, StepResult::Ok},
      // A short signature verifies by its own bytes; the zero padding behind it is not the
      // source's to compare.
      {kSignature, 100, "VerifySignature.bin", kSignatureAddress, 8, StepResult::Ok},
  };
  for (const auto& c : cases) {
    const Target& t = c.target;
    WriterRig rig(t.type);
    const Bytes source = PseudoRandomBytes(c.sourceLength, 19);
    EXPECT_EQ(rig.Run(rig.Request(t.region, rig.Source(source), true)), c.expected) << t.name;
    const uint32_t units = t.region == Region::Signature ? 8 : 3;
    EXPECT_EQ(rig.Sent(), Cat(WriteReadPairs(t.selector, t.start, units),
                              Reads(t.selector, c.readStart, c.readUnits)))
        << t.name;
    EXPECT_EQ(rig.verifyPath, rig.dir / c.fileName) << t.name;
    EXPECT_TRUE(ReadFile(rig.verifyPath) ==
                rig.device->Peek(t.selector, c.readStart, size_t{c.readUnits} * kUnitSize))
        << t.name;
    if (t.region == Region::Signature) {
      EXPECT_THAT(rig.observer.Messages(), ::testing::IsEmpty()) << t.name;
    } else {
      EXPECT_THAT(rig.observer.Messages(), ::testing::ElementsAre(CheckingEvent(t.region)))
          << t.name;
    }
  }
}

TEST(RegionWriterTest, NoReadBackWithoutTheVerifyBox) {
  for (const Target& t : {kFirmware24, kVoice, kDatabase, kSignature}) {
    WriterRig rig(t.type);
    const auto source = rig.Source(PseudoRandomBytes(2048, 20));
    EXPECT_EQ(rig.Run(rig.Request(t.region, source, false)), StepResult::Ok) << t.name;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(rig.dir.path())) {
      files.push_back(entry.path());
    }
    EXPECT_THAT(files, ::testing::ElementsAre(source)) << t.name;
    EXPECT_TRUE(rig.verifyPath.empty()) << t.name;
    EXPECT_THAT(rig.observer.Messages(), ::testing::IsEmpty()) << t.name;
  }
}

TEST(RegionWriterTest, AlteredReadBackFailsTheVerification) {
  struct Case {
    Target target;
    uint32_t altered;  // byte address whose unit reads back altered once the loop is done
    StepResult expected;
  };
  const Case cases[] = {
      {kFirmware24, 0x08004400, StepResult::VerifyFailed},
      {kFirmware24, 0x08000400, StepResult::Ok},  // the boot loader is not compared
      {kVoice, 0x800, StepResult::VerifyFailed},
      {kDatabase, kDatabaseAddress, StepResult::VerifyFailed},
      {kSignature, kSignatureAddress + 7 * kUnitSize, StepResult::VerifyFailed},
  };
  for (const auto& c : cases) {
    const Target& t = c.target;
    WriterRig rig(t.type);
    const Bytes source = PseudoRandomBytes(t.region == Region::Signature ? 8192 : 3072, 21);
    // 100% is shown after the last unit matched: from there on only the read-back reads.
    rig.observer.onPosition = [&](int position) {
      if (position == 100) {
        rig.device->CorruptReads(t.selector, UnitNumber(c.altered), 1);
      }
    };
    EXPECT_EQ(rig.Run(rig.Request(t.region, rig.Source(source), true)), c.expected) << t.name;
    EXPECT_EQ(rig.device->Peek(t.selector, t.start, source.size()), source)
        << t.name << ": nothing is rewritten";
    const std::optional<Bytes> readBack = ReadFile(rig.verifyPath);
    ASSERT_TRUE(readBack) << t.name;
    const uint64_t base = t.selector == kController ? kControllerBase : t.start;
    const size_t at = static_cast<size_t>(c.altered - base);
    EXPECT_NE((*readBack)[at], rig.device->Peek(t.selector, c.altered, 1)[0]) << t.name;
  }
}

TEST(RegionWriterTest, StopRequestEndsTheWriteWithoutMoreTraffic) {
  enum class StopAt { BeforeStart, AfterSecondUnit, DuringErrorBox, AtCheckingText };
  struct Case {
    const char* name;
    Region region;
    StopAt at;
    size_t commands;  // sent before the writer gave up
    size_t events;    // shown before the writer gave up
  };
  const Case cases[] = {
      {"before the first unit", Region::Voice, StopAt::BeforeStart, 0, 0},
      {"after the second unit", Region::Voice, StopAt::AfterSecondUnit, 4, 2},
      {"while the first-unit error is shown", Region::Firmware, StopAt::DuringErrorBox, 2, 1},
      {"when verification starts", Region::Voice, StopAt::AtCheckingText, 10, 6},
  };
  for (const auto& c : cases) {
    WriterRig rig(5);
    RegionWrite request = rig.Request(c.region, rig.Source(PseudoRandomBytes(5 * kUnitSize, 22)),
                                      c.at == StopAt::AtCheckingText);
    switch (c.at) {
      case StopAt::BeforeStart:
        rig.stop.request_stop();
        break;
      case StopAt::AfterSecondUnit:
        rig.observer.onPosition = [&](int) {
          if (rig.observer.positions.size() == 2) {
            rig.stop.request_stop();
          }
        };
        break;
      case StopAt::DuringErrorBox:
        rig.device->CorruptReads(kController, UnitNumber(0x08003000), 1);
        rig.observer.onError = [&] { rig.stop.request_stop(); };
        break;
      case StopAt::AtCheckingText:
        rig.observer.onCell = [&] { rig.stop.request_stop(); };
        break;
    }
    EXPECT_EQ(rig.Run(request), StepResult::Parked) << c.name;
    EXPECT_EQ(rig.Sent().size(), c.commands) << c.name;
    EXPECT_EQ(rig.observer.events.size(), c.events) << c.name;
    EXPECT_FALSE(std::filesystem::exists(rig.dir / "VerifyImage.bin")) << c.name;
  }
}

TEST(ReadFlashRangeToFileTest, CopiesWholeUnitsFromTheStart) {
  struct Case {
    const char* name;
    uint32_t start;
    uint32_t length;
    uint32_t units;
  };
  const Case cases[] = {
      {"length 0 copies one unit", 0x1000, 0, 1},
      {"one byte", 0x1000, 1, 1},
      {"one unit", 0x1000, 1024, 1},
      {"one byte more", 0x1000, 1025, 2},
      {"the signature block", kSignatureAddress, 8192, 8},
  };
  for (const auto& c : cases) {
    WriterRig rig(5);
    rig.device->ClearRecording();
    const auto path = ReadFlashRangeToFile(DeviceLink{rig.host, rig.slots, kDrive}, rig.dir.path(),
                                           "range.bin", c.start, c.length);
    EXPECT_EQ(path, rig.dir / "range.bin") << c.name;
    EXPECT_EQ(ReadFile(path), rig.device->Peek(kFlash, c.start, size_t{c.units} * kUnitSize))
        << c.name;
    EXPECT_EQ(rig.Sent(), Reads(kFlash, c.start, c.units)) << c.name;
    EXPECT_THAT(rig.slots.Snapshot(), ::testing::Each(DriveSlotTable::kFree))
        << c.name << ": the channel was closed";
  }
}

TEST(ReadFlashRangeToFileTest, FailedReadAppendsTheBufferAsItStood) {
  WriterRig rig(5);
  rig.device->FailMatching(kOpReadUnit, UnitNumber(0x1400), kFlash);
  const auto path = ReadFlashRangeToFile(DeviceLink{rig.host, rig.slots, kDrive}, rig.dir.path(),
                                         "range.bin", 0x1000, 3 * kUnitSize);
  const Bytes first = rig.device->Peek(kFlash, 0x1000, kUnitSize);
  EXPECT_EQ(ReadFile(path), Cat(Cat(first, first), rig.device->Peek(kFlash, 0x1800, kUnitSize)));
}

TEST(ReadFlashRangeToFileTest, FileThatCannotBeCreatedStillGivesItsPath) {
  WriterRig rig(5);
  rig.device->ClearRecording();
  const auto folder = rig.dir / "missing";
  const auto path =
      ReadFlashRangeToFile(DeviceLink{rig.host, rig.slots, kDrive}, folder, "range.bin", 0, 4096);
  EXPECT_EQ(path, folder / "range.bin");
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_THAT(rig.Sent(), ::testing::IsEmpty()) << "nothing to copy into";
}

}  // namespace
}  // namespace korvan
