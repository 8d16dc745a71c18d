#include "device/model_catalogue.h"

#include <gtest/gtest.h>

#include <string>

namespace korvan {
namespace {

using namespace ModelCatalogue;

struct CatalogueRow {
  int code;
  const char* prefix;
  const char* identifier;
  uint32_t fwReadLength, flashSize, fwEndOffset, dbFlashOffset, fwFileOffset, voiceFileOffset,
      dbFileOffset, fixedFwImageLength;
};

// The model table as published for service centres; "-" entries are 0. Types 3 and 4 take
// their database start from the version rules (tested below), so their column holds 0 here.
// clang-format off
constexpr CatalogueRow kCatalogue[] = {
    {1,  "Aster_",        "ASTER",                   0x10000,  0,         0xFF00,   0,        0,       0,        0,        0},
    {2,  "Briar_",        "BRIAR",                   0x10000,  0x200000,  0xFF00,   0,        0x10,    0x1D010,  0,        0},
    {3,  "Cedar_",        "CEDAR",                   0x20000,  0x500000,  0x1FF00,  0,        0x10,    0x1D010,  0x2FD010, 0},
    {4,  "Dahlia_",       "DAHLIA",                  0x20000,  0x500000,  0x1FF00,  0,        0x10,    0x1D010,  0x2FD010, 0},
    {5,  "DahliaMax_",    "DAHLIA_MAX",              0x20000,  0x800000,  0x1FF00,  0x410000, 0x10,    0x1D010,  0x41D010, 0},
    {6,  "BriarMax_",     "BRIAR_MAX",               0x20000,  0x800000,  0x1FF00,  0x510000, 0x10,    0x1D010,  0x51D010, 0},
    {7,  "",              "",                        0,        0,         0,        0,        0,       0,        0,        0},
    {8,  "DahliaLite_",   "OldHardware_DAHLIA_LITE", 0x40000,  0x800000,  0x3FF00,  0x410000, 0x10,    0x100000, 0x500000, 0x3CF00},
    {9,  "DahliaLite_",   "DAHLIA_LITE",             0x40000,  0x800000,  0x3FF00,  0x410000, 0x3D010, 0x100000, 0x500000, 0x3CF00},
    {10, "", "", 0, 0, 0, 0, 0, 0, 0, 0},
    {11, "", "", 0, 0, 0, 0, 0, 0, 0, 0},
    {12, "", "", 0, 0, 0, 0, 0, 0, 0, 0},
    {13, "", "", 0, 0, 0, 0, 0, 0, 0, 0},
    {14, "", "", 0, 0, 0, 0, 0, 0, 0, 0},
    {15, "", "", 0, 0, 0, 0, 0, 0, 0, 0},
    {16, "FernOne_",      "FERN_ONE",                0x40000,  0x800000,  0x3FF00,  0x410000, 0x10,    0x100000, 0x500000, 0x3CF00},
    {17, "FernPlus_",     "FERN_PLUS",               0x60000,  0x800000,  0x5FF00,  0x480000, 0x10,    0x5D010,  0x51D010, 0},
    {18, "DahliaLite_",   "DAHLIA_LITE",             0x40000,  0x800000,  0x3FF00,  0x410000, 0x7A010, 0x100000, 0x500000, 0x3CF00},
    {19, "FernOne_",      "FERN_ONE",                0x40000,  0x800000,  0x3FF00,  0x410000, 0x3D010, 0x100000, 0x500000, 0x3CF00},
    {20, "DahliaLite_",   "DAHLIA_LITE",             0x40000,  0x800000,  0x3FF00,  0x410000, 0xB7010, 0x100000, 0x500000, 0x39F00},
    {21, "FernOne_",      "FERN_ONE",                0x40000,  0x800000,  0x3FF00,  0x410000, 0x7A010, 0x100000, 0x500000, 0x39F00},
    {22, "DahliaPlus_",   "DAHLIA_PLUS",             0x60000,  0x800000,  0x5FF00,  0x480000, 0x5D010, 0xC0000,  0x580010, 0x5CF00},
    {23, "DahliaPlus_",   "DAHLIA_PLUS",             0x60000,  0x800000,  0x5FF00,  0x480000, 0x10,    0xC0000,  0x580010, 0x5CF00},
    {24, "FernPlusAir_",  "FERN_PLUS_AIR",           0x60000,  0x800000,  0x5FF00,  0x480000, 0x10,    0x5D010,  0x51D010, 0},
    {25, "GorsePlusAir_", "GORSE_PLUS_AIR",          0x100000, 0x1000000, 0x100000, 0x800000, 0x10,    0x100010, 0x900010, 0},
    {26, "FernUltra_",    "FERN_ULTRA",              0x100000, 0x1000000, 0x100000, 0x800000, 0x10,    0x100010, 0x900010, 0},
    {27, "GorseTwoAir_",  "GORSE_TWO_AIR",           0x100000, 0x1000000, 0x100000, 0x800000, 0x10,    0x100010, 0x900010, 0},
};
// clang-format on

const CatalogueRow* RowFor(int code) {
  for (const auto& row : kCatalogue) {
    if (row.code == code) {
      return &row;
    }
  }
  return nullptr;
}

TEST(ModelCatalogueTest, EverySignedCodeAnswersTheTable) {
  constexpr CatalogueRow kEmpty{0, "", "", 0, 0, 0, 0, 0, 0, 0, 0};
  for (int code = -128; code <= 127; ++code) {
    SCOPED_TRACE("code " + std::to_string(code));
    const CatalogueRow* found = RowFor(code);
    const CatalogueRow& row = found ? *found : kEmpty;
    const auto type = static_cast<int8_t>(code);
    DeviceInfo device;
    device.typeCode = type;
    device.fwVersion = {0, 2, 1, 0};

    EXPECT_EQ(ModelPrefix(type), row.prefix);
    EXPECT_EQ(ModelIdentifier(type, false), row.identifier);
    EXPECT_EQ(FwReadLength(type), row.fwReadLength);
    EXPECT_EQ(FlashSize(type), row.flashSize);
    EXPECT_EQ(FwEndOffset(type), row.fwEndOffset);
    EXPECT_EQ(FwFileOffset(type), row.fwFileOffset);
    EXPECT_EQ(VoiceFileOffset(type), row.voiceFileOffset);
    EXPECT_EQ(DbFileOffset(type), row.dbFileOffset);
    EXPECT_EQ(FixedFwImageLength(type).value_or(0), row.fixedFwImageLength);
    EXPECT_EQ(HasEntries(type), *row.prefix != '\0');
    if (code != 3 && code != 4) {
      EXPECT_EQ(DbFlashOffset(0, device, {}), row.dbFlashOffset);
      EXPECT_EQ(DbFlashOffset(1, device, {}), row.dbFlashOffset);
    }
  }
}

TEST(ModelCatalogueTest, OnlyForcedType4IsOldHardware) {
  EXPECT_EQ(ModelIdentifier(4, true), "OldHardware");
  EXPECT_EQ(ModelIdentifier(4, false), "DAHLIA");
  EXPECT_EQ(ModelIdentifier(5, true), "DAHLIA_MAX");
}

TEST(ModelCatalogueTest, DatabaseStartOfTypes3And4FollowsTheVersionRules) {
  struct Case {
    int8_t type;
    int source;
    uint8_t layoutVariant;
    VersionDigits deviceVersion;
    std::array<uint16_t, 4> fileVersion;
    uint32_t expected;
  };
  constexpr std::array<uint16_t, 4> kNoFile{0xFF, 0xFF, 0xFF, 0xFF};
  const Case cases[] = {
      // The connected device: the layout found in its firmware decides, then its version.
      {3, 0, 2, {0, 1, 0, 0}, kNoFile, 0x410000},
      {4, 0, 1, {0, 1, 0, 0}, kNoFile, 0x300000},
      {3, 0, 0xFF, {0, 2, 1, 0}, kNoFile, 0x300000},
      {3, 0, 0xFF, {0, 2, 0, 9}, kNoFile, 0x190000},
      {4, 0, 0, {0, 2, 0, 9}, kNoFile, 0x190000},
      {4, 0, 0xFF, kUnreadDigits, kNoFile, 0x300000},
      // The update file: type 3 moves to the newest layout from v02.38, type 4 from v02.43.
      {4, 1, 2, {0, 0, 0, 0}, {0, 2, 4, 2}, 0x300000},
      {3, 1, 2, {0, 0, 0, 0}, {0, 2, 4, 2}, 0x410000},
      {3, 1, 0, {0, 0, 0, 0}, {0, 2, 3, 7}, 0x300000},
      {3, 1, 0, {0, 0, 0, 0}, {0, 2, 3, 8}, 0x410000},
      {4, 7, 0, {0, 0, 0, 0}, {0, 2, 4, 3}, 0x410000},
      {4, 1, 0, {0, 0, 0, 0}, {0, 2, 0, 9}, 0x190000},
      {4, 1, 0, {0, 0, 0, 0}, {0, 2, 1, 0}, 0x300000},
  };
  for (const auto& c : cases) {
    DeviceInfo device;
    device.typeCode = c.type;
    device.layoutVariant = c.layoutVariant;
    device.fwVersion = c.deviceVersion;
    UpdateFileInfo file;
    file.fileFwVersion = c.fileVersion;
    EXPECT_EQ(DbFlashOffset(c.source, device, file), c.expected)
        << "type " << int{c.type} << " source " << c.source << " layout " << int{c.layoutVariant};
  }
}

TEST(ModelCatalogueTest, BootLoaderRecordAndSettingsPlaces) {
  struct Case {
    int8_t type;
    uint32_t bootLoader;
    uint32_t controllerRecord;
    uint32_t flashRecord;
    MemorySelector settingsMemory;
    uint32_t settingsAddress;
  };
  const Case cases[] = {
      {1, 0x3000, 0xFEF0, 0x7FD000, MemorySelector::LegacySettings, 0x08080400},
      {2, 0x3000, 0xFEF0, 0x7FD000, MemorySelector::LegacySettings, 0x08080400},
      {3, 0x3000, 0x1FEF0, 0x7FD000, MemorySelector::LegacySettings, 0x08080400},
      {5, 0x3000, 0x1FEF0, 0x7FD000, MemorySelector::LegacySettings, 0x08080400},
      {6, 0x3000, 0x1FEF0, 0x7FD000, MemorySelector::DataFlash, 0x7FC000},
      {8, 0x3000, 0x3FEF0, 0x7FD000, MemorySelector::DataFlash, 0x7FC000},
      {20, 0x6000, 0x3FEF0, 0x7FD000, MemorySelector::DataFlash, 0x7FC000},
      {21, 0x6000, 0x3FEF0, 0x7FD000, MemorySelector::DataFlash, 0x7FC000},
      {17, 0x3000, 0x5FEF0, 0x7FD000, MemorySelector::DataFlash, 0x7FC000},
      {24, 0x4000, 0x5FEF0, 0x7FD000, MemorySelector::DataFlash, 0x7FC000},
      {25, 0x10000, 0x10000, 0xFFD000, MemorySelector::DataFlash, 0xFFC000},
      {27, 0x10000, 0x10000, 0xFFD000, MemorySelector::DataFlash, 0xFFC000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type));
    EXPECT_EQ(BootLoaderSize(c.type), c.bootLoader);
    EXPECT_EQ(IsLargeModel(c.type), c.type >= 25);
    EXPECT_EQ(ControllerVersionRecordOffset(c.type), c.controllerRecord);
    EXPECT_EQ(FlashVersionRecordAddress(c.type), c.flashRecord);
    const auto settings = SettingsUnit(c.type);
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->selector, c.settingsMemory);
    EXPECT_EQ(settings->byteAddress, c.settingsAddress);
  }
  EXPECT_EQ(ControllerVersionRecordOffset(7), 0u);
  EXPECT_FALSE(SettingsUnit(12).has_value());
}

TEST(DeviceRecordsTest, ResetGivesTheUnreadState) {
  DeviceInfo device;
  device.typeCode = 26;
  device.fwVersion = {1, 2, 3, 4};
  device.dbVersion.fill('1');
  device.country = 3;
  device.legacyModel = true;
  ResetDeviceInfo(device);
  EXPECT_EQ(device.typeCode, 0);
  EXPECT_EQ(device.layoutVariant, 0xFF);
  EXPECT_FALSE(device.typeForced);
  EXPECT_EQ(device.fwVersion, kUnreadDigits);
  EXPECT_EQ(device.voiceVersion, kUnreadDigits);
  EXPECT_EQ(device.auxVersion, kUnreadDigits);
  for (uint8_t b : device.dbVersion) {
    EXPECT_EQ(b, 0xFF);
  }
  EXPECT_EQ(device.country, 0);
  EXPECT_EQ(device.packageCountry, 0);
  EXPECT_FALSE(device.legacyModel);

  UpdateFileInfo file;
  file.fileFwVersion = {0, 1, 7, 3};
  file.fileAccepted = true;
  file.fileCountry = 12;
  ResetUpdateFileInfo(file);
  EXPECT_EQ(file.fileFwVersion, (std::array<uint16_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(file.fileVoiceVersion, (std::array<uint16_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(file.fileCountry, 0);
  EXPECT_FALSE(file.fileAccepted);
}

}  // namespace
}  // namespace korvan
