#include "flash/version_extraction.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/model_catalogue.h"
#include "flash/firmware_build_table.h"
#include "tests/flash/copy_fixtures.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

using testing::CopyMatchingRows;
using testing::Patch;
using testing::PseudoRandomBytes;
using testing::ScopedTempDir;
using testing::WriteCopy;
using testing::WriteSparseCopy;

DeviceInfo FreshInfo(int8_t type) {
  DeviceInfo info;
  info.typeCode = type;
  return info;
}

VersionRecordBytes Record(uint8_t country, uint8_t typeByte, VersionDigits digits) {
  return EncodeVersionRecord(country, typeByte, digits);
}

Patch RecordPatch(uint64_t offset, const VersionRecordBytes& record) {
  return {offset, std::vector<uint8_t>(record.begin(), record.end())};
}

// A controller-memory copy of `size` bytes on which exactly `rows` of the type's build table
// match (none by default), with `patches` in place.
std::vector<uint8_t> ControllerCopy(int8_t type, size_t size, const std::vector<Patch>& patches,
                                    const std::vector<size_t>& rows = {}) {
  if (const FirmwareBuildTable* table = FirmwareBuildTableFor(type)) {
    return CopyMatchingRows(size, *table, rows, patches);
  }
  std::vector<uint8_t> copy = PseudoRandomBytes(size, 5);
  for (const Patch& patch : patches) {
    std::copy(patch.bytes.begin(), patch.bytes.end(), copy.begin() + patch.offset);
  }
  return copy;
}

std::array<uint8_t, 8> Chars(const char (&text)[9]) {
  std::array<uint8_t, 8> chars{};
  std::copy(text, text + 8, chars.begin());
  return chars;
}

// A data-flash copy with a different database text at every place a database can start, so a
// text read from the wrong place shows. Its kept characters are given beside each text.
constexpr uint32_t kDbAreaOld = 0x190000;     // "10190401"
constexpr uint32_t kDbAreaMiddle = 0x300000;  // "21210615"
constexpr uint32_t kDbArea41 = 0x410000;      // "32230101"
constexpr uint32_t kDbArea48 = 0x480000;      // "43240220"
constexpr uint32_t kDbArea51 = 0x510000;      // "54250330"
constexpr uint32_t kDbArea80 = 0x800000;      // "65251231"
constexpr VersionDigits kAuxDigits{0, 1, 7, 3};

void WriteDatabaseCopy(const std::filesystem::path& path) {
  const auto text = [](uint32_t area, const std::string& chars) {
    return Patch{area + 12u, std::vector<uint8_t>(chars.begin(), chars.end())};
  };
  WriteSparseCopy(path, 0x800000 + 0x1000,
                  {
                      {0, {0, 3, 1, 2}},
                      text(kDbAreaOld, "V1.0_190401"),
                      text(kDbAreaMiddle, "V2.1_210615"),
                      text(kDbArea41, "V3.2_230101"),
                      text(kDbArea48, "V4.3_240220"),
                      text(kDbArea51, "V5.4_250330"),
                      text(kDbArea80, "V6.5_251231"),
                      {0x7FFFFC, {kAuxDigits.begin(), kAuxDigits.end()}},
                  });
}

TEST(AcceptVersionRecordTest, AcceptsMagicAcceptedCountryAndOwnType) {
  struct Case {
    const char* what;
    VersionRecordBytes record;
    int8_t type;
    bool accepted;
  };
  const Case cases[] = {
      {"Russia", Record(3, 3, {0, 2, 3, 7}), 3, true},
      {"Uzbekistan", Record(12, 9, {0, 1, 0, 4}), 9, true},
      {"third country", Record(109, 25, {1, 0, 0, 2}), 25, true},
      {"flag bit on the type", Record(3, 0x83, {0, 2, 3, 7}), 3, true},
      {"country 7", Record(7, 3, {0, 2, 3, 7}), 3, false},
      {"country 0", Record(0, 3, {0, 2, 3, 7}), 3, false},
      {"another type", Record(3, 4, {0, 2, 3, 7}), 3, false},
      {"another type with the flag bit", Record(3, 0x84, {0, 2, 3, 7}), 3, false},
      {"first magic byte wrong", {0xA5, 0x5B, 3, 3, 0, 2, 3, 7}, 3, false},
      {"second magic byte wrong", {0xA4, 0x5C, 3, 3, 0, 2, 3, 7}, 3, false},
      {"all zeros", {}, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto accepted = AcceptVersionRecord(c.record, c.type);
    ASSERT_EQ(accepted.has_value(), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(accepted->country, c.record[2]);
      EXPECT_EQ(accepted->digits,
                (VersionDigits{c.record[4], c.record[5], c.record[6], c.record[7]}));
    }
  }
}

// Every type reads its record at its own place; types 3 and 4 take their layout variant from
// the version; anything not accepted leaves the device record as it was.
TEST(ExtractFirmwareVersionTest, VersionRecordAtTheTypesPlace) {
  struct Case {
    const char* what;
    int8_t type;
    size_t copySize;  // the copy is cut here after the record is placed
    uint32_t recordAt;
    VersionRecordBytes record;
    bool accepted;
    uint8_t layoutVariant;
  };
  const Case cases[] = {
      {"type 1", 1, 0x10000, 0xFEF0, Record(3, 1, {0, 1, 0, 5}), true, 0xFF},
      {"type 2", 2, 0x10000, 0xFEF0, Record(12, 2, {0, 2, 1, 1}), true, 0xFF},
      {"type 3 below v02.38", 3, 0x20000, 0x1FEF0, Record(3, 3, {0, 2, 3, 7}), true, 1},
      {"type 3 from v02.38", 3, 0x20000, 0x1FEF0, Record(3, 3, {0, 2, 3, 8}), true, 2},
      {"type 3 flagged type byte", 3, 0x20000, 0x1FEF0, Record(3, 0x83, {0, 2, 1, 2}), true, 1},
      {"type 4 below v02.43", 4, 0x20000, 0x1FEF0, Record(12, 4, {0, 2, 4, 2}), true, 1},
      {"type 4 from v02.43", 4, 0x20000, 0x1FEF0, Record(12, 4, {0, 2, 4, 3}), true, 2},
      {"type 5", 5, 0x20000, 0x1FEF0, Record(109, 5, {0, 3, 0, 1}), true, 0xFF},
      {"type 6 flagged type byte", 6, 0x20000, 0x1FEF0, Record(3, 0x86, {0, 1, 2, 3}), true, 0xFF},
      {"type 8", 8, 0x40000, 0x3FEF0, Record(3, 0x88, {0, 1, 7, 3}), true, 0xFF},
      {"type 21", 21, 0x40000, 0x3FEF0, Record(12, 21, {0, 4, 0, 2}), true, 0xFF},
      {"type 17", 17, 0x60000, 0x5FEF0, Record(3, 17, {0, 5, 1, 0}), true, 0xFF},
      {"type 24", 24, 0x60000, 0x5FEF0, Record(3, 24, {0, 5, 2, 0}), true, 0xFF},
      {"type 25 after the boot loader", 25, 0x100000, 0x10000, Record(109, 25, {1, 0, 0, 2}), true,
       0xFF},
      {"type 27", 27, 0x100000, 0x10000, Record(3, 27, {1, 1, 0, 0}), true, 0xFF},
      {"wrong magic", 5, 0x20000, 0x1FEF0, {0xA4, 0x5C, 3, 5, 0, 3, 0, 1}, false, 0xFF},
      {"country 7", 3, 0x20000, 0x1FEF0, Record(7, 3, {0, 2, 3, 7}), false, 0xFF},
      {"another type's record", 6, 0x20000, 0x1FEF0, Record(3, 5, {0, 3, 0, 1}), false, 0xFF},
      {"record at another type's place", 8, 0x40000, 0x1FEF0, Record(3, 8, {0, 1, 7, 3}), false,
       0xFF},
      {"copy ends before the record", 3, 0x1FEF0, 0x1FEF0, Record(3, 3, {0, 2, 3, 7}), false, 0xFF},
  };
  ScopedTempDir dir;
  const auto path = dir / "TempFwData.bin";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> copy = ControllerCopy(c.type, c.recordAt + kVersionRecordSize,
                                               {RecordPatch(c.recordAt, c.record)});
    copy.resize(c.copySize);
    WriteCopy(path, copy);

    DeviceInfo expected = FreshInfo(c.type);
    if (c.accepted) {
      expected.fwVersion = {c.record[4], c.record[5], c.record[6], c.record[7]};
      expected.country = c.record[2];
      expected.layoutVariant = c.layoutVariant;
    }
    DeviceInfo info = FreshInfo(c.type);
    ExtractFirmwareVersion(c.type, path, info);
    EXPECT_EQ(info, expected);
  }
}

// Types 1-4: one matching build row gives the version (layout variant 0 on types 3 and 4) and
// the record is not read; several rows leave everything alone; only no row at all lets the
// record decide. Every copy long enough carries a valid record, so a record read shows in
// `country`.
TEST(ExtractFirmwareVersionTest, BuildTableBeforeRecord) {
  struct Case {
    const char* what;
    int8_t type;
    size_t copySize;
    std::vector<size_t> rows;
    VersionDigits fwVersion;
    uint8_t layoutVariant;
    uint8_t country;
  };
  const Case cases[] = {
      {"one T3 row", 3, 0x20000, {3}, {0, 2, 1, 0}, 0, 0},
      {"the first T3 row", 3, 0x20000, {0}, {0, 1, 0, 0}, 0, 0},
      {"one T4 row", 4, 0x20000, {6}, {0, 2, 2, 0}, 0, 0},
      {"one T1 row", 1, 0x10000, {1}, {0, 2, 0, 0}, 0xFF, 0},
      {"one T2 row", 2, 0x10000, {0}, {0, 1, 0, 2}, 0xFF, 0},
      {"T3 row matching through the zero fill past a short copy",
       3,
       0x3000 + 73060,
       {4},
       {0, 2, 2, 0},
       0,
       0},
      {"two T3 rows", 3, 0x20000, {0, 2}, kUnreadDigits, 0xFF, 0},
      {"two T4 rows", 4, 0x20000, {1, 6}, kUnreadDigits, 0xFF, 0},
      {"two T2 rows", 2, 0x10000, {0, 1}, kUnreadDigits, 0xFF, 0},
      {"no T3 row", 3, 0x20000, {}, {0, 2, 3, 7}, 1, 12},
      {"no T1 row", 1, 0x10000, {}, {0, 2, 3, 7}, 0xFF, 12},
  };
  ScopedTempDir dir;
  const auto path = dir / "TempFwData.bin";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const uint32_t recordAt = ModelCatalogue::ControllerVersionRecordOffset(c.type);
    std::vector<Patch> patches;
    if (recordAt + kVersionRecordSize <= c.copySize) {
      patches.push_back(RecordPatch(recordAt, Record(12, c.type, {0, 2, 3, 7})));
    }
    WriteCopy(path, ControllerCopy(c.type, c.copySize, patches, c.rows));

    DeviceInfo info = FreshInfo(c.type);
    ExtractFirmwareVersion(c.type, path, info);
    EXPECT_EQ(info.fwVersion, c.fwVersion);
    EXPECT_EQ(info.layoutVariant, c.layoutVariant);
    EXPECT_EQ(info.country, c.country);
  }
}

TEST(ExtractFlashVersionsTest, VoiceFromTheVoiceTableOrTheLeadingDigits) {
  struct Case {
    const char* what;
    int8_t type;
    std::vector<size_t> voiceRows;
    VersionDigits voiceVersion;
  };
  const Case cases[] = {
      {"type 2, one voice row", 2, {5}, {0, 0, 2, 5}},
      {"type 2, no voice row", 2, {}, kUnreadDigits},
      {"type 2, two voice rows", 2, {1, 9}, kUnreadDigits},
      {"type 3, one voice row", 3, {13}, {0, 0, 3, 3}},
      {"type 3, no voice row", 3, {}, {0, 3, 1, 2}},
      {"type 4, one voice row", 4, {0}, {0, 0, 0, 6}},
      {"type 4, two voice rows", 4, {0, 15}, {0, 3, 1, 2}},
      {"type 5 ignores the voice table", 5, {5}, {0, 3, 1, 2}},
      {"type 26", 26, {}, {0, 3, 1, 2}},
  };
  ScopedTempDir dir;
  const auto path = dir / "TempImageData.bin";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteCopy(path, CopyMatchingRows(0x300000, BuildTableTV(), c.voiceRows, {{0, {0, 3, 1, 2}}}));

    DeviceInfo info = FreshInfo(c.type);
    info.voiceVersion = {9, 9, 9, 9};  // whatever stood there before
    ExtractFlashVersions(c.type, path, info);
    EXPECT_EQ(info.voiceVersion, c.voiceVersion);
  }
}

TEST(ExtractFlashVersionsTest, DatabaseTextAtTheModelsDatabaseArea) {
  struct Case {
    const char* what;
    int8_t type;
    uint8_t layoutVariant;
    VersionDigits fwVersion;
    std::array<uint8_t, 8> dbVersion;
  };
  const Case cases[] = {
      {"type 3, layout 2", 3, 2, {0, 2, 3, 8}, Chars("32230101")},
      {"type 4, layout 1", 4, 1, {0, 2, 4, 0}, Chars("21210615")},
      {"type 4 without a layout, old version", 4, 0xFF, {0, 1, 0, 0}, Chars("10190401")},
      {"type 5", 5, 0xFF, {0, 3, 0, 1}, Chars("32230101")},
      {"type 6", 6, 0xFF, kUnreadDigits, Chars("54250330")},
      {"type 8", 8, 0xFF, kUnreadDigits, Chars("32230101")},
      {"type 9", 9, 0xFF, kUnreadDigits, Chars("32230101")},
      {"type 17", 17, 0xFF, kUnreadDigits, Chars("43240220")},
      {"type 22", 22, 0xFF, kUnreadDigits, Chars("43240220")},
      {"type 25", 25, 0xFF, kUnreadDigits, Chars("65251231")},
      {"type 2 has no database text", 2, 0xFF, kUnreadDigits, DeviceInfo{}.dbVersion},
  };
  ScopedTempDir dir;
  const auto path = dir / "TempImageData.bin";
  WriteDatabaseCopy(path);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DeviceInfo info = FreshInfo(c.type);
    info.layoutVariant = c.layoutVariant;
    info.fwVersion = c.fwVersion;
    ExtractFlashVersions(c.type, path, info);
    EXPECT_EQ(info.dbVersion, c.dbVersion);
    // Only type 8 keeps a second version.
    EXPECT_EQ(info.auxVersion, c.type == 8 ? kAuxDigits : kUnreadDigits);
  }
}

// Types 3 and 4 the way detection runs them: the firmware copy decides the layout, the layout
// decides where the database text is read.
TEST(ExtractFlashVersionsTest, FirmwareDecidesWhereTypes3And4KeepTheirDatabase) {
  struct Case {
    const char* what;
    int8_t type;
    std::vector<size_t> rows;
    std::optional<VersionDigits> recordDigits;
    VersionDigits fwVersion;
    uint8_t layoutVariant;
    std::array<uint8_t, 8> dbVersion;
  };
  const Case cases[] = {
      {"type 3 row of v02.10", 3, {3}, std::nullopt, {0, 2, 1, 0}, 0, Chars("21210615")},
      {"type 3 row of v01.00", 3, {0}, std::nullopt, {0, 1, 0, 0}, 0, Chars("10190401")},
      {"type 3 record v02.37",
       3,
       {},
       VersionDigits{0, 2, 3, 7},
       {0, 2, 3, 7},
       1,
       Chars("21210615")},
      {"type 3 record v02.38",
       3,
       {},
       VersionDigits{0, 2, 3, 8},
       {0, 2, 3, 8},
       2,
       Chars("32230101")},
      {"type 4 row of v02.00", 4, {4}, std::nullopt, {0, 2, 0, 0}, 0, Chars("10190401")},
      {"type 4 row of v02.10", 4, {5}, std::nullopt, {0, 2, 1, 0}, 0, Chars("21210615")},
      {"type 4 record v02.42",
       4,
       {},
       VersionDigits{0, 2, 4, 2},
       {0, 2, 4, 2},
       1,
       Chars("21210615")},
      {"type 4 record v02.43",
       4,
       {},
       VersionDigits{0, 2, 4, 3},
       {0, 2, 4, 3},
       2,
       Chars("32230101")},
  };
  ScopedTempDir dir;
  const auto fwPath = dir / "TempFwData.bin";
  const auto flashPath = dir / "TempImageData.bin";
  WriteDatabaseCopy(flashPath);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Patch> patches;
    if (c.recordDigits) {
      patches.push_back(RecordPatch(0x1FEF0, Record(3, c.type, *c.recordDigits)));
    }
    WriteCopy(fwPath, ControllerCopy(c.type, 0x20000, patches, c.rows));

    DeviceInfo info = FreshInfo(c.type);
    ExtractFirmwareVersion(c.type, fwPath, info);
    ExtractFlashVersions(c.type, flashPath, info);
    EXPECT_EQ(info.fwVersion, c.fwVersion);
    EXPECT_EQ(info.layoutVariant, c.layoutVariant);
    EXPECT_EQ(info.dbVersion, c.dbVersion);
  }
}

TEST(ExtractFlashVersionsTest, WhatLiesPastTheEndOfAShortCopyReadsAsZeros) {
  ScopedTempDir dir;
  const auto path = dir / "TempImageData.bin";
  WriteCopy(path, std::vector<uint8_t>{0, 1, 2});  // type 8 looks for 8 MiB

  DeviceInfo info = FreshInfo(8);
  ExtractFlashVersions(8, path, info);
  EXPECT_EQ(info.voiceVersion, (VersionDigits{0, 1, 2, 0}));
  EXPECT_EQ(info.dbVersion, (std::array<uint8_t, 8>{}));
  EXPECT_EQ(info.auxVersion, (VersionDigits{0, 0, 0, 0}));
}

TEST(VersionExtractionTest, CopiesThatCannotBeReadChangeNothing) {
  ScopedTempDir dir;
  const auto missing = dir / "no such copy.bin";
  for (int type = -1; type <= 28; ++type) {
    SCOPED_TRACE(::testing::Message() << "missing copy, type " << type);
    const DeviceInfo before = FreshInfo(static_cast<int8_t>(type));
    DeviceInfo info = before;
    ExtractFirmwareVersion(static_cast<int8_t>(type), missing, info);
    ExtractFlashVersions(static_cast<int8_t>(type), missing, info);
    EXPECT_EQ(info, before);
  }
  // A folder opens like a file but every read fails.
  for (const int8_t type : {1, 2, 3, 4, 5, 8, 25}) {
    SCOPED_TRACE(::testing::Message() << "unreadable copy, type " << int{type});
    const DeviceInfo before = FreshInfo(type);
    DeviceInfo info = before;
    ExtractFirmwareVersion(type, dir.path(), info);
    ExtractFlashVersions(type, dir.path(), info);
    EXPECT_EQ(info, before);
  }
}

TEST(VersionExtractionTest, TypesWithoutCopiesAreNotExtracted) {
  ScopedTempDir dir;
  const auto path = dir / "copy.bin";
  WriteDatabaseCopy(path);
  for (const int8_t type : {0, 7, 10, 12, 15, 28, 127, -128}) {
    SCOPED_TRACE(::testing::Message() << "type " << int{type});
    const DeviceInfo before = FreshInfo(type);
    DeviceInfo info = before;
    ExtractFirmwareVersion(type, path, info);
    ExtractFlashVersions(type, path, info);
    EXPECT_EQ(info, before);
  }
  // Type 1 has a firmware copy only.
  DeviceInfo info = FreshInfo(1);
  ExtractFlashVersions(1, path, info);
  EXPECT_EQ(info, FreshInfo(1));
}

}  // namespace
}  // namespace korvan
