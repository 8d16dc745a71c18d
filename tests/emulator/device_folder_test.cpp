#include "emulator/device_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "device/device_channel.h"
#include "emulator/simulated_disk_host.h"
#include "tests/emulator/small_device.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan::emu {
namespace {

namespace fs = std::filesystem;
using korvan::testing::ScopedTempDir;

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const fs::path& path, const std::string& text) {
  WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

TEST(EmuDeviceFolderTest, WritesTheFourFilesOfTheContract) {
  ScopedTempDir dir("emu_folder");
  const fs::path folder = dir / "nested/device";
  const DeviceImages images = testing::SmallDeviceImages(0x03, 60);
  ASSERT_TRUE(WriteDeviceFolder(folder, images).ok());
  EXPECT_EQ(ReadFile(folder / "inquiry.bin"), images.inquiry);
  EXPECT_EQ(ReadFile(folder / "controller.bin"), images.controller);
  EXPECT_EQ(ReadFile(folder / "flash.bin"), images.flash);
  EXPECT_EQ(ReadFile(folder / "memory2.bin"), images.memory2);

  // The same folder rewritten for a model without legacy memory loses its stale memory2.bin.
  DeviceImages noMemory2 = images;
  noMemory2.memory2.clear();
  ASSERT_TRUE(WriteDeviceFolder(folder, noMemory2).ok());
  EXPECT_FALSE(fs::exists(folder / "memory2.bin"));

  DeviceImages badInquiry = images;
  badInquiry.inquiry.resize(20);
  const FolderResult refused = WriteDeviceFolder(dir / "other", badInquiry);
  EXPECT_FALSE(refused.ok());
  EXPECT_NE(refused.error.find("inquiry.bin"), std::string::npos) << refused.error;
}

TEST(EmuDeviceFolderTest, LoadedDeviceAnswersFromTheFilesAndWritesPersist) {
  ScopedTempDir dir("emu_folder");
  const DeviceImages images = testing::SmallDeviceImages(0x85);
  ASSERT_TRUE(WriteDeviceFolder(dir.path(), images).ok());
  const UnitBuffer pattern = [] {
    UnitBuffer unit;
    for (size_t i = 0; i < unit.size(); ++i) {
      unit[i] = static_cast<uint8_t>(i ^ 0x5A);
    }
    return unit;
  }();

  {
    LoadedDevice loaded = LoadDeviceFolder(dir.path());
    ASSERT_TRUE(loaded.device) << loaded.error;
    SimulatedDiskHost host;
    host.Attach(9, loaded.device);
    DriveSlotTable slots;
    DeviceChannel channel(host, slots);
    DeviceInfo info;
    ASSERT_EQ(channel.ProbeDrive(9, info), 1);
    EXPECT_EQ(info.typeCode, static_cast<int8_t>(0x85));

    channel.Claim(9);
    ASSERT_EQ(channel.Open(), 1);
    UnitBuffer buffer{};
    ASSERT_EQ(channel.ReadUnit(buffer, MemorySelector::Controller, 0x08000C00), 1);
    EXPECT_EQ(buffer[0], testing::SmallDeviceByte(0, 0xC00));
    EXPECT_EQ(channel.WriteUnit(pattern, MemorySelector::DataFlash, 0x1C00), 1);
    EXPECT_EQ(channel.WriteUnit(pattern, MemorySelector::LegacySettings, 0x08080400), 1);
    // Units outside the files fail, and the files do not grow.
    EXPECT_EQ(channel.WriteUnit(pattern, MemorySelector::DataFlash, 0x2000), 0);
    EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::Controller, 0x08001000), 0);
    EXPECT_EQ(channel.ReadUnit(buffer, MemorySelector::LegacySettings, 0x08080800), 0);
    channel.Close();
  }

  const std::vector<uint8_t> flash = ReadFile(dir / "flash.bin");
  ASSERT_EQ(flash.size(), testing::kSmallFlashSize);
  EXPECT_TRUE(std::equal(pattern.begin(), pattern.end(), flash.begin() + 0x1C00));
  EXPECT_EQ(flash[0x1BFF], testing::SmallDeviceByte(1, 0x1BFF));
  const std::vector<uint8_t> memory2 = ReadFile(dir / "memory2.bin");
  EXPECT_TRUE(std::equal(pattern.begin(), pattern.end(), memory2.begin() + 0x400));

  // A fresh load sees what the last one wrote.
  LoadedDevice again = LoadDeviceFolder(dir.path());
  ASSERT_TRUE(again.device) << again.error;
  EXPECT_EQ(again.device->Peek(MemorySelector::DataFlash, 0x1C00, kUnitSize),
            std::vector<uint8_t>(pattern.begin(), pattern.end()));
}

TEST(EmuDeviceFolderTest, PartialLastUnitOfAFileFails) {
  ScopedTempDir dir("emu_folder");
  DeviceImages images = testing::SmallDeviceImages();
  images.flash.resize(2500);
  ASSERT_TRUE(WriteDeviceFolder(dir.path(), images).ok());
  LoadedDevice loaded = LoadDeviceFolder(dir.path());
  ASSERT_TRUE(loaded.device) << loaded.error;
  UnitBuffer buffer{};
  EXPECT_TRUE(loaded.device
                  ->Execute(MakeReadUnitCdb(MemorySelector::DataFlash, 0x400),
                            DataDirection::FromDevice, buffer)
                  .ok());
  EXPECT_FALSE(loaded.device
                   ->Execute(MakeReadUnitCdb(MemorySelector::DataFlash, 0x800),
                             DataDirection::FromDevice, buffer)
                   .ok());
}

TEST(EmuDeviceFolderTest, BrokenFoldersAreRefusedWithTheReason) {
  const struct {
    const char* what;
    uint8_t rawType;
    void (*damage)(const fs::path& folder);
    const char* errorMentions;  // nullptr: the folder loads
  } cases[] = {
      {"no folder", 5, [](const fs::path& f) { fs::remove_all(f); }, "does not exist"},
      {"a file instead of a folder", 5,
       [](const fs::path& f) {
         fs::remove_all(f);
         WriteFile(f, {1, 2, 3});
       },
       "not a folder"},
      {"no inquiry.bin", 5, [](const fs::path& f) { fs::remove(f / "inquiry.bin"); },
       "inquiry.bin"},
      {"inquiry.bin too short", 5,
       [](const fs::path& f) {
         WriteFile(f / "inquiry.bin", MakeInquiryData(5, 36));
         fs::resize_file(f / "inquiry.bin", 35);
       },
       "35 bytes"},
      {"inquiry.bin too long", 5,
       [](const fs::path& f) { WriteFile(f / "inquiry.bin", std::vector<uint8_t>(137)); },
       "137 bytes"},
      {"no controller.bin", 5, [](const fs::path& f) { fs::remove(f / "controller.bin"); },
       "controller.bin"},
      {"empty controller.bin", 5,
       [](const fs::path& f) { fs::resize_file(f / "controller.bin", 0); }, "controller.bin"},
      {"no flash.bin for a model with data flash", 5,
       [](const fs::path& f) { fs::remove(f / "flash.bin"); }, "flash.bin"},
      {"no flash.bin for type 1", 1, [](const fs::path& f) { fs::remove(f / "flash.bin"); },
       nullptr},
      {"empty flash.bin for a model with data flash", 5,
       [](const fs::path& f) { fs::resize_file(f / "flash.bin", 0); }, nullptr},
      {"no memory2.bin", 5, [](const fs::path& f) { fs::remove(f / "memory2.bin"); }, nullptr},
      {"latency.txt with a line break", 5,
       [](const fs::path& f) { WriteText(f / "latency.txt", "1000\n"); }, nullptr},
      {"latency.txt not a number", 5,
       [](const fs::path& f) { WriteText(f / "latency.txt", "1 ms\n"); }, "latency.txt"},
      {"latency.txt negative", 5, [](const fs::path& f) { WriteText(f / "latency.txt", "-5"); },
       "latency.txt"},
      {"latency.txt empty", 5, [](const fs::path& f) { WriteText(f / "latency.txt", ""); },
       "latency.txt"},
      {"latency.txt above ten seconds", 5,
       [](const fs::path& f) { WriteText(f / "latency.txt", "10000001"); }, "latency.txt"},
      {"latency.txt far too long", 5,
       [](const fs::path& f) { WriteText(f / "latency.txt", std::string(4096, '1')); },
       "latency.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir dir("emu_folder");
    const fs::path folder = dir / "device";
    ASSERT_TRUE(WriteDeviceFolder(folder, testing::SmallDeviceImages(c.rawType)).ok());
    c.damage(folder);
    const LoadedDevice loaded = LoadDeviceFolder(folder);
    if (c.errorMentions == nullptr) {
      EXPECT_TRUE(loaded.device) << loaded.error;
      continue;
    }
    EXPECT_FALSE(loaded.device);
    EXPECT_NE(loaded.error.find(c.errorMentions), std::string::npos) << loaded.error;
  }
}

TEST(EmuDeviceFolderTest, LatencyFileMakesEveryCommandTakeThatLong) {
  ScopedTempDir dir("emu_folder");
  ASSERT_TRUE(WriteDeviceFolder(dir.path(), testing::SmallDeviceImages(0x05)).ok());
  ASSERT_TRUE(WriteDeviceLatency(dir.path(), std::chrono::microseconds(20'000)).ok());
  EXPECT_EQ(ReadFile(dir / "latency.txt"), (std::vector<uint8_t>{'2', '0', '0', '0', '0', '\n'}));

  const LoadedDevice loaded = LoadDeviceFolder(dir.path());
  ASSERT_TRUE(loaded.device) << loaded.error;
  UnitBuffer unit{};
  // A lower bound only: sleeping never ends early, however busy the machine.
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 3; ++i) {
    loaded.device->Execute(MakeInquiryCdb(), DataDirection::FromDevice, unit);
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));

  // Without a latency the file goes, and with it the delay.
  ASSERT_TRUE(WriteDeviceLatency(dir.path(), std::nullopt).ok());
  EXPECT_FALSE(fs::exists(dir / "latency.txt"));
}

TEST(EmuDeviceFolderTest, MissingOrEmptyMemoriesAreMemoriesTheDeviceLacks) {
  ScopedTempDir dir("emu_folder");
  ASSERT_TRUE(WriteDeviceFolder(dir.path(), testing::SmallDeviceImages(1)).ok());
  fs::remove(dir / "flash.bin");
  fs::resize_file(dir / "memory2.bin", 0);
  LoadedDevice loaded = LoadDeviceFolder(dir.path());
  ASSERT_TRUE(loaded.device) << loaded.error;
  EXPECT_EQ(loaded.device->MemorySize(MemorySelector::DataFlash), 0u);
  EXPECT_EQ(loaded.device->MemorySize(MemorySelector::LegacySettings), 0u);
  UnitBuffer buffer{};
  EXPECT_EQ(loaded.device
                ->Execute(MakeReadUnitCdb(MemorySelector::DataFlash, 0), DataDirection::FromDevice,
                          buffer)
                .status,
            CommandStatus::DeviceStatus);
}

}  // namespace
}  // namespace korvan::emu
