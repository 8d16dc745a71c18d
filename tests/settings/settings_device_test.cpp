// The settings unit on simulated devices: reading it into Parameters.ini when the form opens,
// and the writers of upload modes 5, 6 and 7 with their read-back loop and its failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "device/device_info.h"
#include "emulator/device_images.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"
#include "flash/region_writer.h"
#include "settings/device_settings_reader.h"
#include "settings/parameters_ini.h"
#include "settings/settings_unit_writer.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

static_assert(kMaxSettingsRewrites == kMaxUnitRewrites);

constexpr int kDrive = 3;

std::string Slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct SettingsDevice {
  explicit SettingsDevice(uint8_t type) {
    emu::PresetOptions preset;
    preset.rawType = type;
    device = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
    host.Attach(kDrive, device);
  }

  int Write(SettingsUnitWriter& writer, int mode) {
    DeviceChannel channel(host, slots);
    channel.Claim(kDrive);
    channel.Open();
    const int result = writer.WriteSettingsBlock(channel, mode);
    channel.Close();
    return result;
  }

  size_t CountCommands(uint8_t opcode) const {
    const auto cdbs = device->RecordedCdbs();
    return static_cast<size_t>(
        std::count_if(cdbs.begin(), cdbs.end(), [&](const Cdb& cdb) { return cdb[0] == opcode; }));
  }

  emu::SimulatedDiskHost host;
  DriveSlotTable slots;
  std::shared_ptr<emu::SimulatedDevice> device;
  testing::ScopedTempDir folder{"korvan_settings"};
  std::filesystem::path ini = ParametersIniPath(folder.path());
};

// A value per setting that differs from the presets' bytes and includes negative ones.
MenuValues SampleValues() {
  MenuValues values{};
  for (size_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<int>(i * 5) - 30;
  }
  return values;
}

UnitBuffer PatternBlock() {
  UnitBuffer block;
  for (size_t i = 0; i < block.size(); ++i) {
    block[i] = static_cast<uint8_t>(i * 7 + 3);
  }
  return block;
}

TEST(SettingsReadTest, UnitGoesIntoParametersIniAsSignedBytes) {
  struct Case {
    uint8_t type;
    MemorySelector selector;
    uint32_t address;
  };
  const Case cases[] = {{3, MemorySelector::LegacySettings, 0x08080400},
                        {6, MemorySelector::DataFlash, 0x7FC000},
                        {24, MemorySelector::DataFlash, 0x7FC000}};
  for (const Case& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type));
    SettingsDevice run(c.type);
    const uint8_t edge[] = {0xFF, 0x80, 0x7F};
    ASSERT_TRUE(run.device->Poke(c.selector, c.address + 45, edge));
    UnitBuffer unit{};
    ASSERT_EQ(
        ReadDeviceSettings(run.host, run.slots, kDrive, static_cast<int8_t>(c.type), run.ini, unit),
        SettingsReadResult::Read);
    const auto values = ReadMenuValues(run.ini);
    ASSERT_TRUE(values.has_value());
    for (size_t i = 0; i < 45; ++i) {
      EXPECT_EQ((*values)[i], emu::PresetMenuSettings()[i]) << i;
    }
    EXPECT_EQ((*values)[45], -1);
    EXPECT_EQ((*values)[46], -128);
    EXPECT_EQ((*values)[47], 127);
    EXPECT_EQ(run.device->Peek(c.selector, c.address, kUnitSize),
              std::vector<uint8_t>(unit.begin(), unit.end()));
    EXPECT_EQ(run.slots.Find(kDrive), -1) << "the channel keeps no slot";
  }
}

TEST(SettingsReadTest, FailedReadLeavesParametersIniAlone) {
  SettingsDevice run(24);
  const std::string before = "[Menu]\nLaser=1\n";
  std::ofstream(run.ini, std::ios::binary) << before;
  run.device->FailMatching(kOpReadUnit, UnitNumber(0x7FC000), MemorySelector::DataFlash);
  UnitBuffer unit{};
  EXPECT_EQ(ReadDeviceSettings(run.host, run.slots, kDrive, 24, run.ini, unit),
            SettingsReadResult::LinkLost);
  EXPECT_EQ(Slurp(run.ini), before);

  // A drive without device: the open fails, and so does the read.
  EXPECT_EQ(ReadDeviceSettings(run.host, run.slots, kDrive + 1, 24, run.ini, unit),
            SettingsReadResult::LinkLost);
  EXPECT_EQ(Slurp(run.ini), before);
}

TEST(SettingsWriteTest, EachModeWritesItsUnit) {
  struct Case {
    uint8_t type;
    int mode;
    MemorySelector selector;
    uint32_t address;
  };
  const Case cases[] = {
      {3, 5, MemorySelector::LegacySettings, 0x08080400},
      {6, 6, MemorySelector::DataFlash, 0x7FC000},
      {24, 6, MemorySelector::DataFlash, 0x7FC000},
      {26, 7, MemorySelector::DataFlash, 0xFFC000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " mode " + std::to_string(c.mode));
    SettingsDevice run(c.type);
    ASSERT_EQ(run.device->Peek(c.selector, c.address, kUnitSize).size(), kUnitSize);
    ASSERT_TRUE(WriteMenuValues(run.ini, SampleValues()));
    SettingsUnitWriter writer(run.ini);
    // Whatever the block held before stays outside the bytes the mode sets.
    writer.SetSettingsWriteBlock(PatternBlock());
    run.device->ClearRecording();

    ASSERT_EQ(run.Write(writer, c.mode), kSettingsWritten);

    UnitBuffer expected = PatternBlock();
    if (c.mode != 7) {
      for (size_t i = 0; i < kMenuSettingCount; ++i) {
        expected[i] = static_cast<uint8_t>(SampleValues()[i]);
      }
    }
    if (c.mode != 5) {
      std::copy(emu::kSettingsSignature.begin(), emu::kSettingsSignature.end(),
                expected.begin() + 1020);
    }
    EXPECT_EQ(writer.SettingsWriteBlock(), expected);
    EXPECT_EQ(run.device->Peek(c.selector, c.address, kUnitSize),
              std::vector<uint8_t>(expected.begin(), expected.end()));
    // One write and one read-back, both of that unit only.
    const auto cdbs = run.device->RecordedCdbs();
    ASSERT_EQ(cdbs.size(), 2u);
    EXPECT_EQ(cdbs[0][0], kOpWriteUnit);
    EXPECT_EQ(cdbs[1][0], kOpReadUnit);
    for (const Cdb& cdb : cdbs) {
      EXPECT_EQ(cdb[1], static_cast<uint8_t>(c.selector));
      EXPECT_EQ(CdbUnit(cdb), UnitNumber(c.address));
    }
  }
}

TEST(SettingsWriteTest, BlockIsNeverCleared) {
  SettingsDevice run(26);  // a data flash that holds both units
  ASSERT_TRUE(WriteMenuValues(run.ini, SampleValues()));
  SettingsUnitWriter writer(run.ini);
  EXPECT_EQ(writer.SettingsWriteBlock(), UnitBuffer{});
  ASSERT_EQ(run.Write(writer, 6), kSettingsWritten);
  // Mode 7 afterwards sends the block as mode 6 left it.
  const UnitBuffer afterMode6 = writer.SettingsWriteBlock();
  ASSERT_EQ(run.Write(writer, 7), kSettingsWritten);
  EXPECT_EQ(run.device->Peek(MemorySelector::DataFlash, 0xFFC000, kUnitSize),
            std::vector<uint8_t>(afterMode6.begin(), afterMode6.end()));
}

TEST(SettingsWriteTest, ReadBackLoopIsBounded) {
  struct Case {
    uint32_t corruptedReads;
    int result;
    size_t writes;
  };
  const Case cases[] = {
      {3, kSettingsWritten, 4},
      {kMaxSettingsRewrites, kSettingsWritten, kMaxSettingsRewrites + 1},
      {kMaxSettingsRewrites + 1, kSettingsNotConfirmed, kMaxSettingsRewrites + 1},
      {1000, kSettingsNotConfirmed, kMaxSettingsRewrites + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("corrupted reads " + std::to_string(c.corruptedReads));
    SettingsDevice run(24);
    ASSERT_TRUE(WriteMenuValues(run.ini, SampleValues()));
    SettingsUnitWriter writer(run.ini);
    run.device->CorruptReads(MemorySelector::DataFlash, UnitNumber(0x7FC000), c.corruptedReads,
                             emu::ByteRange{1023, 1});
    run.device->ClearRecording();
    EXPECT_EQ(run.Write(writer, 6), c.result);
    EXPECT_EQ(run.CountCommands(kOpWriteUnit), c.writes);
  }
}

TEST(SettingsWriteTest, LostLinkFails) {
  struct Case {
    const char* what;
    void (*fault)(emu::SimulatedDevice&);
    size_t writes;
  };
  const Case cases[] = {
      {"unplugged after the write", [](emu::SimulatedDevice& d) { d.DisconnectAfter(1); }, 1},
      {"read-back refused",
       [](emu::SimulatedDevice& d) {
         d.FailMatching(kOpReadUnit, UnitNumber(0x7FC000), MemorySelector::DataFlash);
       },
       1},
      {"second read-back refused after a bad one",
       [](emu::SimulatedDevice& d) {
         d.CorruptReads(MemorySelector::DataFlash, UnitNumber(0x7FC000), 1);
         d.FailNthCommand(4);
       },
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SettingsDevice run(24);
    ASSERT_TRUE(WriteMenuValues(run.ini, SampleValues()));
    SettingsUnitWriter writer(run.ini);
    run.device->ClearRecording();
    c.fault(*run.device);
    EXPECT_EQ(run.Write(writer, 6), kSettingsLinkLost);
    EXPECT_EQ(run.CountCommands(kOpWriteUnit), c.writes);
  }
}

TEST(SettingsWriteTest, IncompleteParametersIniWritesNothing) {
  for (const int mode : {5, 6}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    for (const bool fileExists : {false, true}) {
      SettingsDevice run(mode == 5 ? 3 : 24);
      if (fileExists) {
        ASSERT_TRUE(WriteMenuValues(run.ini, SampleValues()));
        // Drop one key: the rest of the file is fine.
        std::stringstream kept;
        std::ifstream in(run.ini);
        for (std::string line; std::getline(in, line);) {
          if (line.rfind("Lochin=", 0) != 0) {
            kept << line << "\n";
          }
        }
        std::ofstream(run.ini, std::ios::trunc) << kept.str();
      }
      SettingsUnitWriter writer(run.ini);
      const uint64_t before = run.device->CommandCount();
      EXPECT_EQ(run.Write(writer, mode), kSettingsSourceMissing);
      EXPECT_EQ(run.device->CommandCount(), before);
      EXPECT_EQ(writer.SettingsWriteBlock(), UnitBuffer{});
    }
  }
}

TEST(SettingsWriteTest, UnknownModeSendsNothing) {
  SettingsDevice run(24);
  SettingsUnitWriter writer(run.ini);
  const uint64_t before = run.device->CommandCount();
  for (const int mode : {0, 3, 4, 8, -1}) {
    EXPECT_EQ(run.Write(writer, mode), kSettingsLinkLost) << mode;
  }
  EXPECT_EQ(run.device->CommandCount(), before);
}

}  // namespace
}  // namespace korvan
