#include "emulator/device_presets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/model_catalogue.h"
#include "device/version_record.h"
#include "flash/firmware_build_table.h"

namespace korvan::emu {
namespace {

namespace catalogue = ModelCatalogue;

// The extraction's view of a build-table row: `length` bytes from `start`, zeros past the end.
uint8_t PrefixSum(const std::vector<uint8_t>& image, uint32_t start, uint32_t length) {
  std::vector<uint8_t> buffer(length, 0);
  for (size_t i = 0; i < length && start + i < image.size(); ++i) {
    buffer[i] = image[start + i];
  }
  return ByteSum8(buffer);
}

std::vector<size_t> MatchingRows(const std::vector<uint8_t>& image,
                                 const FirmwareBuildTable& table) {
  std::vector<size_t> rows;
  for (size_t r = 0; r < table.rows.size(); ++r) {
    if (PrefixSum(image, table.startOffset, table.rows[r].length) == table.rows[r].sum) {
      rows.push_back(r);
    }
  }
  return rows;
}

std::vector<uint8_t> Bytes(const std::vector<uint8_t>& image, size_t offset, size_t length) {
  if (offset + length > image.size()) {
    return {};
  }
  return {image.begin() + static_cast<long>(offset),
          image.begin() + static_cast<long>(offset + length)};
}

std::vector<uint8_t> Record(uint8_t country, uint8_t type, const VersionDigits& digits) {
  const VersionRecordBytes record = EncodeVersionRecord(country, type, digits);
  return {record.begin(), record.end()};
}

PresetOptions Raw(uint8_t rawType) {
  PresetOptions options;
  options.rawType = rawType;
  return options;
}

TEST(EmuPresetsTest, InquiryNamesTheDeviceAndCarriesTheRawModelByte) {
  for (const size_t length : {size_t{36}, size_t{100}, size_t{136}}) {
    const std::vector<uint8_t> inquiry = MakeInquiryData(0x99, length);
    ASSERT_EQ(inquiry.size(), length);
    EXPECT_EQ(inquiry[0], 0x00);
    EXPECT_EQ(inquiry[1], 0x80);
    EXPECT_EQ(inquiry[4], length - 5);
    EXPECT_EQ(std::string(inquiry.begin() + 8, inquiry.begin() + 23), "Firmware Update");
    EXPECT_EQ(inquiry[24], 0x99);
    EXPECT_EQ(std::string(inquiry.begin() + 32, inquiry.begin() + 36), "1.00");
  }
  EXPECT_THROW(MakeInquiryData(5, 35), std::invalid_argument);
  EXPECT_THROW(MakeInquiryData(5, 137), std::invalid_argument);
}

TEST(EmuPresetsTest, ModelByteMapsToType) {
  const struct {
    uint8_t raw;
    int8_t type;
  } cases[] = {{0x05, 5}, {0x85, 5}, {0x00, 4}, {0x80, 4}, {0x1B, 27}, {0x7F, 127}, {0x07, 7}};
  for (const auto& c : cases) {
    EXPECT_EQ(EffectiveModelType(c.raw), c.type) << int{c.raw};
  }
}

// For every kind of model: the memories have the catalogue's sizes, and the records, the
// database text and the settings unit stand where the program will look for them.
TEST(EmuPresetsTest, ImagesFollowTheCatalogue) {
  const uint8_t rawTypes[] = {1,  2,  3,  4,  5,  6,  8,  9,    16,   17, 18, 19, 20,
                              21, 22, 23, 24, 25, 26, 27, 0x00, 0x86, 7,  12, 40};
  for (const uint8_t raw : rawTypes) {
    SCOPED_TRACE(::testing::Message() << "raw type " << int{raw});
    const PresetOptions options = Raw(raw);
    const DeviceImages images = MakePresetImages(options);
    const int8_t type = EffectiveModelType(raw);
    const bool known = catalogue::HasEntries(type);

    EXPECT_EQ(images.inquiry[24], raw);
    EXPECT_EQ(images.controller.size(), known ? catalogue::FwReadLength(type) : 0x10000u);
    EXPECT_EQ(images.flash.size(), catalogue::FlashSize(type));
    if (!known) {
      EXPECT_TRUE(images.memory2.empty());
      continue;
    }

    const auto typeByte = static_cast<uint8_t>(type);
    EXPECT_EQ(Bytes(images.controller, catalogue::ControllerVersionRecordOffset(type), 8),
              Record(kCountryRussia, typeByte, options.firmware));
    const uint32_t fwEnd = catalogue::FwEndOffset(type);
    if (fwEnd < images.controller.size()) {
      EXPECT_EQ(Bytes(images.controller, fwEnd, images.controller.size() - fwEnd),
                std::vector<uint8_t>(images.controller.size() - fwEnd, 0xFF))
          << "erased after the firmware area";
    }

    if (!images.flash.empty()) {
      EXPECT_EQ(Bytes(images.flash, 0, 4), Bytes({0, 0, 3, 1}, 0, 4)) << "voice digits first";
      const uint32_t recordAddress = catalogue::FlashVersionRecordAddress(type);
      if (recordAddress < images.flash.size()) {
        EXPECT_EQ(Bytes(images.flash, recordAddress, 8),
                  Record(kCountryRussia, typeByte, options.firmware));
      }
    }

    const DeviceInfo info = PresetDeviceInfo(options);
    const bool hasDatabase = (type >= 3 && type <= 6) || type == 8 || type == 9 || type >= 16;
    if (hasDatabase) {
      const uint32_t db = catalogue::DbFlashOffset(0, info, UpdateFileInfo{});
      const std::vector<uint8_t> text = Bytes(images.flash, db + 12, 11);
      EXPECT_EQ(std::string(text.begin(), text.end()), "V1.2_240517");
    }

    const auto unit = catalogue::SettingsUnit(type);
    ASSERT_TRUE(unit.has_value());
    const bool legacy = unit->selector == MemorySelector::LegacySettings;
    EXPECT_EQ(images.memory2.empty(), !legacy);
    const std::vector<uint8_t>& memory = legacy ? images.memory2 : images.flash;
    const size_t offset = unit->byteAddress - (legacy ? kLegacySettingsBase : 0);
    const std::vector<uint8_t> settings = Bytes(memory, offset, kUnitSize);
    ASSERT_EQ(settings.size(), kUnitSize);
    const size_t menuAt = type >= 25 ? kPacketPayloadOffset : 0;
    EXPECT_TRUE(std::equal(PresetMenuSettings().begin(), PresetMenuSettings().end(),
                           settings.begin() + static_cast<long>(menuAt)));
    EXPECT_EQ(Bytes(settings, 1020, 4), (legacy ? std::vector<uint8_t>(4, 0xFF)
                                                : std::vector<uint8_t>{0x19, 0x54, 0xAF, 0x13}));

    if (const FirmwareBuildTable* table = FirmwareBuildTableFor(type)) {
      EXPECT_TRUE(MatchingRows(images.controller, *table).empty())
          << "firmware with a record must not pass for a listed build";
    }
    if (type >= 2 && type <= 4) {
      EXPECT_TRUE(MatchingRows(images.flash, BuildTableTV()).empty());
    }
  }
}

TEST(EmuPresetsTest, DatabaseAddressFollowsTheFirmwareVersion) {
  const struct {
    uint8_t raw;
    VersionDigits firmware;
    std::optional<size_t> buildRow;
    uint32_t db;
    uint8_t layoutVariant;
  } cases[] = {
      {3, {0, 2, 1, 5}, {}, 0x300000, 1},
      {3, {0, 2, 3, 7}, {}, 0x300000, 1},
      {3, {0, 2, 3, 8}, {}, 0x410000, 2},
      {4, {0, 2, 4, 2}, {}, 0x300000, 1},
      {4, {0, 2, 4, 3}, {}, 0x410000, 2},
      {0x00, {0, 2, 4, 3}, {}, 0x410000, 2},  // old hardware is type 4
      {3, {}, 3, 0x300000, 0},                // build v02.10
      {3, {}, 0, 0x190000, 0},                // build v01.00
      {4, {}, 0, 0x190000, 0},                // build v00.45
      {5, {0, 2, 1, 5}, {}, 0x410000, 0xFF},
      {17, {0, 2, 1, 5}, {}, 0x480000, 0xFF},
      {25, {0, 2, 1, 5}, {}, 0x800000, 0xFF},
  };
  for (const auto& c : cases) {
    PresetOptions options = Raw(c.raw);
    options.firmware = c.firmware;
    options.firmwareBuildRow = c.buildRow;
    const DeviceImages images = MakePresetImages(options);
    const std::vector<uint8_t> text = Bytes(images.flash, c.db + 12, 11);
    EXPECT_EQ(std::string(text.begin(), text.end()), "V1.2_240517")
        << "raw " << int{c.raw} << " at 0x" << std::hex << c.db;
    EXPECT_EQ(PresetDeviceInfo(options).layoutVariant, c.layoutVariant) << "raw " << int{c.raw};
  }
}

TEST(EmuPresetsTest, FirmwareBuildRowsMatchExactlyOneRowAndCarryNoRecord) {
  for (uint8_t type = 1; type <= 4; ++type) {
    const FirmwareBuildTable& table = *FirmwareBuildTableFor(static_cast<int8_t>(type));
    for (size_t row = 0; row < table.rows.size(); ++row) {
      SCOPED_TRACE(::testing::Message() << "type " << int{type} << " row " << row);
      PresetOptions options = Raw(type);
      options.firmwareBuildRow = row;
      const DeviceImages images = MakePresetImages(options);
      EXPECT_EQ(MatchingRows(images.controller, table), std::vector<size_t>{row});
      const size_t recordAt = catalogue::ControllerVersionRecordOffset(static_cast<int8_t>(type));
      EXPECT_FALSE(images.controller[recordAt] == 0xA4 && images.controller[recordAt + 1] == 0x5B);
      EXPECT_EQ(PresetDeviceInfo(options).fwVersion, table.rows[row].digits);
    }
  }
}

TEST(EmuPresetsTest, VoiceBuildRowsMatchExactlyOneRow) {
  const FirmwareBuildTable& table = BuildTableTV();
  for (const uint8_t type : {uint8_t{2}, uint8_t{3}}) {
    for (size_t row = 0; row < table.rows.size(); ++row) {
      SCOPED_TRACE(::testing::Message() << "type " << int{type} << " row " << row);
      PresetOptions options = Raw(type);
      options.voiceBuildRow = row;
      if (type == 2 && (row == 4 || row == 10)) {
        // Both rows reach past the 2 MiB flash, so they sum the same bytes, and their sums
        // are equal: no type-2 flash can be one of them alone.
        EXPECT_THROW(MakePresetImages(options), std::invalid_argument);
        continue;
      }
      const DeviceImages images = MakePresetImages(options);
      EXPECT_EQ(MatchingRows(images.flash, table), std::vector<size_t>{row});
      EXPECT_EQ(PresetDeviceInfo(options).voiceVersion, table.rows[row].digits);
    }
  }
}

TEST(EmuPresetsTest, OptionsReachTheRecordsAndVersions) {
  PresetOptions options = Raw(8);
  options.firmware = {0, 1, 7, 3};
  options.voice = {0, 0, 4, 2};
  options.aux = {0, 2, 0, 9};
  options.country = kCountryUzbekistan;
  options.recordTypeFlag = true;
  options.database = {'2', '0', '2', '5', '0', '1', '3', '1'};
  const DeviceImages images = MakePresetImages(options);

  const std::vector<uint8_t> record = Record(12, 0x88, {0, 1, 7, 3});
  EXPECT_EQ(Bytes(images.controller, catalogue::ControllerVersionRecordOffset(8), 8), record);
  EXPECT_EQ(Bytes(images.flash, 0x7FD000, 8), record);
  EXPECT_EQ(Bytes(images.flash, 0x7FFFFC, 4), (std::vector<uint8_t>{0, 2, 0, 9}));
  EXPECT_EQ(Bytes(images.flash, 0, 4), (std::vector<uint8_t>{0, 0, 4, 2}));
  const std::vector<uint8_t> text = Bytes(images.flash, 0x410000 + 12, 11);
  EXPECT_EQ(std::string(text.begin(), text.end()), "V2.0_250131");

  const DeviceInfo info = PresetDeviceInfo(options);
  EXPECT_EQ(info.typeCode, 8);
  EXPECT_EQ(info.country, kCountryUzbekistan);
  EXPECT_EQ(info.fwVersion, (VersionDigits{0, 1, 7, 3}));
  EXPECT_EQ(info.voiceVersion, (VersionDigits{0, 0, 4, 2}));
  EXPECT_EQ(info.auxVersion, (VersionDigits{0, 2, 0, 9}));
  EXPECT_TRUE(info.legacyModel);
}

TEST(EmuPresetsTest, PresetDeviceInfoFollowsWhatEachModelReveals) {
  const struct {
    const char* what;
    PresetOptions options;
    DeviceInfo expected;
  } cases[] = {
      {"old hardware",
       Raw(0x00),
       {.typeCode = 4,
        .layoutVariant = 1,
        .typeForced = true,
        .fwVersion = {0, 2, 1, 5},
        .voiceVersion = {0, 0, 3, 1},
        .dbVersion = {'1', '2', '2', '4', '0', '5', '1', '7'},
        .country = 3,
        .legacyModel = true}},
      {"type 1: firmware only",
       Raw(1),
       {.typeCode = 1, .fwVersion = {0, 2, 1, 5}, .country = 3, .legacyModel = true}},
      {"type 2: voice only through the table",
       Raw(2),
       {.typeCode = 2, .fwVersion = {0, 2, 1, 5}, .country = 3, .legacyModel = true}},
      {"type 26",
       Raw(26),
       {.typeCode = 26,
        .fwVersion = {0, 2, 1, 5},
        .voiceVersion = {0, 0, 3, 1},
        .dbVersion = {'1', '2', '2', '4', '0', '5', '1', '7'},
        .country = 3,
        .packageCountry = 3}},
      {"no entries", Raw(7), {.typeCode = 7, .legacyModel = true}},
      {"beyond the catalogue", Raw(0x40), {.typeCode = 64}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PresetDeviceInfo(c.options), c.expected) << c.what;
  }

  PresetOptions badCountry = Raw(5);
  badCountry.country = 4;  // records with it are ignored
  const DeviceInfo info = PresetDeviceInfo(badCountry);
  EXPECT_EQ(info.fwVersion, kUnreadDigits);
  EXPECT_EQ(info.country, 0);
}

TEST(EmuPresetsTest, SettingsPacketOfTheLargeModels) {
  const DeviceImages images = MakePresetImages(Raw(25));
  const std::vector<uint8_t> unit = Bytes(images.flash, 0xFFC000, kUnitSize);
  ASSERT_EQ(unit.size(), kUnitSize);
  for (size_t i = 16; i < 22; ++i) {
    EXPECT_TRUE(unit[i] >= '0' && unit[i] <= '9') << "version digit " << i;
  }
  const size_t payload = unit[22] | (unit[23] << 8);
  EXPECT_EQ(payload, kPresetPacketPayloadLength);
  EXPECT_LE(24 + payload, 1020u) << "the packet must leave the signature alone";
  EXPECT_EQ(Bytes(unit, 1020, 4), (std::vector<uint8_t>{0x19, 0x54, 0xAF, 0x13}));
}

TEST(EmuPresetsTest, ImpossibleOptionsAreRefused) {
  auto with = [](uint8_t raw, auto change) {
    PresetOptions options = Raw(raw);
    change(options);
    return options;
  };
  const struct {
    const char* what;
    PresetOptions options;
  } cases[] = {
      {"firmware row for a model without a table",
       with(5, [](PresetOptions& o) { o.firmwareBuildRow = 0; })},
      {"firmware row past the table", with(3, [](PresetOptions& o) { o.firmwareBuildRow = 5; })},
      {"voice row for type 1", with(1, [](PresetOptions& o) { o.voiceBuildRow = 0; })},
      {"voice row past the table", with(4, [](PresetOptions& o) { o.voiceBuildRow = 16; })},
      {"INQUIRY too short", with(5, [](PresetOptions& o) { o.inquiryLength = 35; })},
      {"INQUIRY too long", with(5, [](PresetOptions& o) { o.inquiryLength = 137; })},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(MakePresetImages(c.options), std::invalid_argument) << c.what;
  }
}

TEST(EmuPresetsTest, ImagesAreDeterministicAndFirmwareDependsOnItsVersion) {
  PresetOptions options = Raw(6);
  const DeviceImages first = MakePresetImages(options);
  const DeviceImages again = MakePresetImages(options);
  EXPECT_EQ(first.controller, again.controller);
  EXPECT_EQ(first.flash, again.flash);
  options.firmware = {0, 2, 1, 6};
  const DeviceImages newer = MakePresetImages(options);
  EXPECT_NE(Bytes(first.controller, 0x3000, 0x1000), Bytes(newer.controller, 0x3000, 0x1000));
  EXPECT_EQ(Bytes(first.controller, 0, 0x3000), Bytes(newer.controller, 0, 0x3000))
      << "the boot loader does not change with the firmware";
}

TEST(EmuPresetsTest, TextForms) {
  EXPECT_EQ(ParseVersionDigits("0215"), (VersionDigits{0, 2, 1, 5}));
  for (const char* bad : {"215", "02155", "02a5", "", "-215"}) {
    EXPECT_FALSE(ParseVersionDigits(bad)) << bad;
  }
  const DatabaseVersion expected{'1', '2', '2', '4', '0', '5', '1', '7'};
  for (const char* good : {"1.2 240517", "v1.2 240517", "V1.2 240517"}) {
    EXPECT_EQ(ParseDatabaseVersion(good), expected) << good;
  }
  for (const char* bad :
       {"1.2-240517", "12 240517", "1.2 24051", "1.2 2405177", "vv1.2 240517", "1.2  40517", ""}) {
    EXPECT_FALSE(ParseDatabaseVersion(bad)) << bad;
  }
}

}  // namespace
}  // namespace korvan::emu
