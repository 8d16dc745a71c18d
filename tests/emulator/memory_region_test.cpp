#include "emulator/memory_region.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/support/scoped_temp_dir.h"

namespace korvan::emu {
namespace {

std::vector<uint8_t> Counting(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(i);
  }
  return bytes;
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(EmuMemoryTest, CoversOnlyRangesWhollyInside) {
  const RamMemory memory(0x08000000, std::vector<uint8_t>(4096));
  const struct {
    uint64_t address;
    uint64_t length;
    bool covered;
  } cases[] = {
      {0x08000000, 1024, true},   // first unit
      {0x08000C00, 1024, true},   // last unit
      {0x08001000, 1024, false},  // just past the end
      {0x08000E00, 1024, false},  // straddles the end
      {0x07FFFC00, 1024, false},  // just below the base
      {0x08000000, 4096, true},   // the whole memory
      {0x08000000, 4097, false},
      {0x08001000, 0, true},  // an empty range at the very end
      {0, 1024, false},
      {uint64_t{0xFFFFFFFF} * 1024, 1024, false},  // the highest unit number there is
      {UINT64_MAX - 10, 1024, false},              // sums that would wrap
  };
  for (const auto& c : cases) {
    EXPECT_EQ(memory.Covers(c.address, c.length), c.covered)
        << std::hex << c.address << " +" << std::dec << c.length;
  }
}

TEST(EmuMemoryTest, RamReadsAndWritesInPlaceAndRefusesOutside) {
  RamMemory memory(0x400, Counting(2048));
  std::vector<uint8_t> unit(1024, 0xEE);
  ASSERT_TRUE(memory.Read(0x800, unit));
  const std::vector<uint8_t> counting = Counting(2048);
  EXPECT_EQ(unit, std::vector<uint8_t>(counting.begin() + 1024, counting.end()));

  std::vector<uint8_t> written(1024, 0x5A);
  ASSERT_TRUE(memory.Write(0x400, written));
  EXPECT_TRUE(std::equal(written.begin(), written.end(), memory.bytes().begin()));

  std::vector<uint8_t> untouched(1024, 0xEE);
  EXPECT_FALSE(memory.Read(0xC00, untouched));
  EXPECT_EQ(untouched, std::vector<uint8_t>(1024, 0xEE));
  EXPECT_FALSE(memory.Write(0, written));
}

TEST(EmuMemoryTest, FileWritesPersistAndPartialUnitsFail) {
  korvan::testing::ScopedTempDir dir("emu_memory");
  const auto path = dir / "memory.bin";
  WriteFile(path, Counting(2500));  // two whole units and a partial third

  {
    auto opened = FileMemory::Open(0x08000000, path);
    ASSERT_TRUE(opened.memory) << opened.error;
    FileMemory& memory = *opened.memory;
    EXPECT_EQ(memory.size(), 2500u);
    std::vector<uint8_t> unit(1024);
    ASSERT_TRUE(memory.Read(0x08000400, unit));
    EXPECT_EQ(unit[0], static_cast<uint8_t>(1024));
    EXPECT_FALSE(memory.Read(0x08000800, unit)) << "the third unit is not wholly in the file";
    ASSERT_TRUE(memory.Write(0x08000400, std::vector<uint8_t>(1024, 0xA5)));
  }

  const std::vector<uint8_t> after = ReadFile(path);
  ASSERT_EQ(after.size(), 2500u) << "writes must not grow or cut the file";
  EXPECT_EQ(after[1023], 0xFF);  // byte 1023 of the counting pattern: unchanged
  EXPECT_EQ(after[1024], 0xA5);
  EXPECT_EQ(after[2047], 0xA5);
  EXPECT_EQ(after[2048], static_cast<uint8_t>(2048));
}

TEST(EmuMemoryTest, FileOpenFailuresNameTheFile) {
  korvan::testing::ScopedTempDir dir("emu_memory");
  auto missing = FileMemory::Open(0, dir / "absent.bin");
  EXPECT_FALSE(missing.memory);
  EXPECT_NE(missing.error.find("absent.bin"), std::string::npos) << missing.error;

  auto folder = FileMemory::Open(0, dir.path());
  EXPECT_FALSE(folder.memory);
  EXPECT_NE(folder.error.find(dir.path().string()), std::string::npos) << folder.error;

  // A character device opens fine but has no length to serve as a memory.
#ifdef _WIN32
  auto device = FileMemory::Open(0, "NUL");
#else
  auto device = FileMemory::Open(0, "/dev/null");
#endif
  EXPECT_FALSE(device.memory);
  EXPECT_NE(device.error.find("not a regular file"), std::string::npos) << device.error;
}

TEST(EmuMemoryTest, ReadOnlyFileServesReadsAndFailsWrites) {
  korvan::testing::ScopedTempDir dir("emu_memory");
  const auto path = dir / "rom.bin";
  WriteFile(path, Counting(1024));
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  if (std::ofstream(path, std::ios::binary | std::ios::app)) {
    GTEST_SKIP() << "this user may write a read-only file (root, or wine run by root)";
  }
  auto opened = FileMemory::Open(0, path);
  ASSERT_TRUE(opened.memory) << opened.error;
  EXPECT_FALSE(opened.memory->writable());
  std::vector<uint8_t> unit(1024);
  EXPECT_TRUE(opened.memory->Read(0, unit));
  EXPECT_FALSE(opened.memory->Write(0, unit));
}

}  // namespace
}  // namespace korvan::emu
