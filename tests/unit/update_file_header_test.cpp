#include "device/update_file_header.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

class UpdateFileHeaderTest : public ::testing::Test {
 protected:
  fs::path Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  // A 16-byte header with the given component lengths, followed by `extra` bytes.
  static std::vector<uint8_t> Header(uint32_t fw, uint32_t voice, uint32_t db, uint16_t signature,
                                     size_t extra = 0) {
    std::vector<uint8_t> bytes(16 + extra, 0xEE);
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
      }
    };
    put32(1, fw);
    put32(5, voice);
    put32(9, db);
    bytes[13] = static_cast<uint8_t>(signature);
    bytes[14] = static_cast<uint8_t>(signature >> 8);
    return bytes;
  }

  testing::ScopedTempDir dir_{"korvan_header"};
};

TEST_F(UpdateFileHeaderTest, ReadsLittleEndianLengths) {
  const auto path = Write("a.bin", Header(0x0001D000, 0x002E0000, 0x00123456, 0x0164, 100));
  UpdateFileHeader header;
  ASSERT_EQ(ReadUpdateFileHeader(path, header), 1);
  EXPECT_EQ(header.FwLength(), 0x0001D000u);
  EXPECT_EQ(header.VoiceLength(), 0x002E0000u);
  EXPECT_EQ(header.DbLength(), 0x00123456u);
  EXPECT_EQ(header.SignatureLength(), 0x0164);
}

TEST_F(UpdateFileHeaderTest, ShortOrMissingFileLeavesTheHeaderAsItWas) {
  const auto good = Write("good.bin", Header(0x1234, 0, 0, 0));
  const auto shortFile = Write("short.bin", std::vector<uint8_t>(15, 0x11));
  UpdateFileHeader header;
  ASSERT_EQ(ReadUpdateFileHeader(good, header), 1);
  const auto before = header.bytes;
  EXPECT_EQ(ReadUpdateFileHeader(shortFile, header), 0);
  EXPECT_EQ(header.bytes, before);
  EXPECT_EQ(ReadUpdateFileHeader(dir_ / "missing.bin", header), 0);
  EXPECT_EQ(header.bytes, before);
}

TEST_F(UpdateFileHeaderTest, FirmwareImageLengthByModel) {
  const auto path = Write("u.bin", Header(0x00055500, 1, 2, 3, 4000));
  struct Case {
    int8_t type;
    uint32_t expected;
  };
  const Case cases[] = {
      {1, 16 + 4000},  // the whole file
      {2, 0x00055500}, {3, 0x00055500},  {7, 0x00055500},  {12, 0x00055500}, {26, 0x00055500},
      {0, 0x00055500}, {-5, 0x00055500}, {8, 0x3CF00},     {9, 0x3CF00},     {16, 0x3CF00},
      {18, 0x3CF00},   {19, 0x3CF00},    {20, 0x39F00},    {21, 0x39F00},    {22, 0x5CF00},
      {23, 0x5CF00},   {17, 0x00055500}, {24, 0x00055500},
  };
  for (const auto& c : cases) {
    UpdateFileHeader header;
    EXPECT_EQ(FwImageLength(path, c.type, header), c.expected) << "type " << int{c.type};
    if (c.type != 1) {
      EXPECT_EQ(header.FwLength(), 0x00055500u) << "the header is read first";
    }
  }
}

}  // namespace
}  // namespace korvan
