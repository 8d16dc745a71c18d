// The zip writer, read back with minizip's unzip side: what an extractor sees of each entry.
#include "emulator/zip_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "emulator/build_image.h"
#include "tests/emulator/zip_reader.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan::emu {
namespace {

namespace fs = std::filesystem;
using korvan::testing::FindEntry;
using korvan::testing::ReadZip;
using korvan::testing::ReadZipEntry;

constexpr unsigned long kStored = 0;
constexpr unsigned long kDeflated = 8;

// An update-file-like image: erased bytes with a pseudo-random stretch, as the packages carry.
std::vector<uint8_t> FirmwareLike(size_t size) {
  std::vector<uint8_t> bytes(size, 0xFF);
  FillPseudoRandom(std::span<uint8_t>(bytes).subspan(0x100, 0x4000), 42);
  return bytes;
}

TEST(ZipWriterTest, APackageOfFilesAndFoldersReadsBackAsWritten) {
  korvan::testing::ScopedTempDir dir("zip_writer");
  ZipEntry thumbs = ZipFileEntry("Thumbs.db", {1, 2, 3, 4, 5});
  thumbs.method = ZipEntry::Method::Store;
  thumbs.dosAttributes = kDosHidden | kDosSystem;
  ZipEntry firmware = ZipFileEntry("FW.BIN", FirmwareLike(0x100000));
  firmware.modified = {2021, 12, 31, 23, 59, 58};
  firmware.level = 9;
  const std::vector<ZipEntry> entries{
      ZipTextEntry("readme.txt", "line one\r\nline two\r\n"),
      thumbs,
      ZipFolderEntry("docs"),
      ZipTextEntry("docs/empty.txt", ""),
      firmware,
  };
  const fs::path path = dir / "package.zip";
  ASSERT_TRUE(WriteZip(path, entries).ok());

  const auto read = ReadZip(path);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->size(), entries.size());
  const std::array<const char*, 5> names{"readme.txt", "Thumbs.db", "docs/", "docs/empty.txt",
                                         "FW.BIN"};
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ((*read)[i].name, names[i]);
    EXPECT_EQ((*read)[i].bytes, entries[i].bytes) << names[i];
  }
  const ReadZipEntry& readThumbs = (*read)[1];
  EXPECT_EQ(readThumbs.method, kStored);
  EXPECT_EQ(readThumbs.compressedSize, 5u);
  EXPECT_EQ(readThumbs.externalAttributes & 0xFF, unsigned{kDosHidden | kDosSystem});
  const ReadZipEntry& docs = (*read)[2];
  EXPECT_EQ(docs.method, kStored);
  EXPECT_EQ(docs.externalAttributes & kDosFolder, kDosFolder);
  const ReadZipEntry& readFirmware = (*read)[4];
  EXPECT_EQ(readFirmware.method, kDeflated);
  EXPECT_LT(readFirmware.compressedSize, 0x8000u);  // the erased bytes compress away
  EXPECT_EQ(readFirmware.externalAttributes, 0u);
  EXPECT_EQ(readFirmware.versionMadeBy >> 8, 0u);  // MS-DOS
  EXPECT_EQ(readFirmware.time.tm_year, 2021u);
  EXPECT_EQ(readFirmware.time.tm_mon, 11u);
  EXPECT_EQ(readFirmware.time.tm_mday, 31u);
  EXPECT_EQ(readFirmware.time.tm_hour, 23u);
  EXPECT_EQ(readFirmware.time.tm_min, 59u);
  EXPECT_EQ(readFirmware.time.tm_sec, 58u);
  EXPECT_EQ((*read)[0].time.tm_year, 2023u);  // the default time
  EXPECT_EQ((*read)[0].flag & (1u << 11), 0u);
  EXPECT_TRUE((*read)[0].centralExtra.empty());
}

TEST(ZipWriterTest, UnixAttributesTimesAndUtf8NamesAreRecorded) {
  korvan::testing::ScopedTempDir dir("zip_writer");
  ZipEntry script = ZipTextEntry("Обновление/run.sh", "#!/bin/sh\n");
  script.unixMode = 0100755;
  script.unixTime = 0x6461F2C0;
  script.utf8Name = true;
  ZipEntry folder = ZipFolderEntry("Обновление/");
  folder.unixMode = 040755;
  const fs::path path = dir / "unix.zip";
  ASSERT_TRUE(WriteZip(path, std::vector<ZipEntry>{folder, script}).ok());

  const auto read = ReadZip(path);
  ASSERT_TRUE(read);
  const ReadZipEntry* readScript = FindEntry(*read, "Обновление/run.sh");
  ASSERT_NE(readScript, nullptr);
  EXPECT_EQ(readScript->versionMadeBy >> 8, 3u);  // Unix
  EXPECT_EQ(readScript->externalAttributes >> 16, 0100755u);
  EXPECT_NE(readScript->flag & (1u << 11), 0u);
  // "UT", 5 data bytes, modification time present, the time little-endian.
  const std::vector<uint8_t> timestamp{0x55, 0x54, 5, 0, 1, 0xC0, 0xF2, 0x61, 0x64};
  EXPECT_EQ(readScript->centralExtra, timestamp);
  EXPECT_EQ(readScript->localExtra, timestamp);
  const ReadZipEntry* readFolder = FindEntry(*read, "Обновление/");
  ASSERT_NE(readFolder, nullptr);
  EXPECT_EQ(readFolder->externalAttributes, (040755u << 16) | kDosFolder);
}

// Extraction tests need hostile packages: the writer must not tidy them.
TEST(ZipWriterTest, NamesAndDuplicatesGoInUnchanged) {
  korvan::testing::ScopedTempDir dir("zip_writer");
  const std::vector<std::string> names{"../escape.bin",    "/absolute.bin", "C:\\drive.bin",
                                       "..\\..\\back.bin", "same.bin",      "same.bin"};
  std::vector<ZipEntry> entries;
  for (const std::string& name : names) {
    entries.push_back(ZipTextEntry(name, name));
  }
  const fs::path path = dir / "hostile.zip";
  ASSERT_TRUE(WriteZip(path, entries).ok());
  const auto read = ReadZip(path);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ((*read)[i].name, names[i]);
    EXPECT_EQ(std::string((*read)[i].bytes.begin(), (*read)[i].bytes.end()), names[i]);
  }
}

TEST(ZipWriterTest, FailuresNameTheFileOrEntry) {
  korvan::testing::ScopedTempDir dir("zip_writer");
  ZipEntry folder = ZipFolderEntry("docs/");
  folder.bytes = {1};
  const ZipResult badFolder = WriteZip(dir / "bad.zip", std::vector<ZipEntry>{folder});
  EXPECT_NE(badFolder.error.find("docs/"), std::string::npos) << badFolder.error;

  const fs::path missing = dir / "no-such-folder" / "x.zip";
  const ZipResult noFolder = WriteZip(missing, std::vector<ZipEntry>{ZipTextEntry("a", "a")});
  EXPECT_NE(noFolder.error.find(missing.string()), std::string::npos) << noFolder.error;
}

}  // namespace
}  // namespace korvan::emu
