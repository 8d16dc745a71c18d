#include "device/model_catalogue.h"

#include <array>

namespace korvan::ModelCatalogue {
namespace {

// One row per code 0..27; codes without entries are all zeros. `dbFlashOffset` is 0 for types
// 3 and 4, whose database start follows the version rules below.
struct ModelEntry {
  std::string_view prefix;
  std::string_view identifier;
  uint32_t fwReadLength;
  uint32_t flashSize;
  uint32_t fwEndOffset;
  uint32_t dbFlashOffset;
  uint32_t fwFileOffset;
  uint32_t voiceFileOffset;
  uint32_t dbFileOffset;
  uint32_t fixedFwImageLength;  // 0: the length comes from the file
};

constexpr ModelEntry kNoEntry{};

// clang-format off
constexpr std::array<ModelEntry, 28> kModels{{
    /*  0 */ kNoEntry,
    /*  1 */ {"Aster_",        "ASTER",                   0x10000,  0,         0xFF00,   0,        0,       0,        0,        0},
    /*  2 */ {"Briar_",        "BRIAR",                   0x10000,  0x200000,  0xFF00,   0,        0x10,    0x1D010,  0,        0},
    /*  3 */ {"Cedar_",        "CEDAR",                   0x20000,  0x500000,  0x1FF00,  0,        0x10,    0x1D010,  0x2FD010, 0},
    /*  4 */ {"Dahlia_",       "DAHLIA",                  0x20000,  0x500000,  0x1FF00,  0,        0x10,    0x1D010,  0x2FD010, 0},
    /*  5 */ {"DahliaMax_",    "DAHLIA_MAX",              0x20000,  0x800000,  0x1FF00,  0x410000, 0x10,    0x1D010,  0x41D010, 0},
    /*  6 */ {"BriarMax_",     "BRIAR_MAX",               0x20000,  0x800000,  0x1FF00,  0x510000, 0x10,    0x1D010,  0x51D010, 0},
    /*  7 */ kNoEntry,
    /*  8 */ {"DahliaLite_",   "OldHardware_DAHLIA_LITE", 0x40000,  0x800000,  0x3FF00,  0x410000, 0x10,    0x100000, 0x500000, 0x3CF00},
    /*  9 */ {"DahliaLite_",   "DAHLIA_LITE",             0x40000,  0x800000,  0x3FF00,  0x410000, 0x3D010, 0x100000, 0x500000, 0x3CF00},
    /* 10 */ kNoEntry,
    /* 11 */ kNoEntry,
    /* 12 */ kNoEntry,
    /* 13 */ kNoEntry,
    /* 14 */ kNoEntry,
    /* 15 */ kNoEntry,
    /* 16 */ {"FernOne_",      "FERN_ONE",                0x40000,  0x800000,  0x3FF00,  0x410000, 0x10,    0x100000, 0x500000, 0x3CF00},
    /* 17 */ {"FernPlus_",     "FERN_PLUS",               0x60000,  0x800000,  0x5FF00,  0x480000, 0x10,    0x5D010,  0x51D010, 0},
    /* 18 */ {"DahliaLite_",   "DAHLIA_LITE",             0x40000,  0x800000,  0x3FF00,  0x410000, 0x7A010, 0x100000, 0x500000, 0x3CF00},
    /* 19 */ {"FernOne_",      "FERN_ONE",                0x40000,  0x800000,  0x3FF00,  0x410000, 0x3D010, 0x100000, 0x500000, 0x3CF00},
    /* 20 */ {"DahliaLite_",   "DAHLIA_LITE",             0x40000,  0x800000,  0x3FF00,  0x410000, 0xB7010, 0x100000, 0x500000, 0x39F00},
    /* 21 */ {"FernOne_",      "FERN_ONE",                0x40000,  0x800000,  0x3FF00,  0x410000, 0x7A010, 0x100000, 0x500000, 0x39F00},
    /* 22 */ {"DahliaPlus_",   "DAHLIA_PLUS",             0x60000,  0x800000,  0x5FF00,  0x480000, 0x5D010, 0xC0000,  0x580010, 0x5CF00},
    /* 23 */ {"DahliaPlus_",   "DAHLIA_PLUS",             0x60000,  0x800000,  0x5FF00,  0x480000, 0x10,    0xC0000,  0x580010, 0x5CF00},
    /* 24 */ {"FernPlusAir_",  "FERN_PLUS_AIR",           0x60000,  0x800000,  0x5FF00,  0x480000, 0x10,    0x5D010,  0x51D010, 0},
    /* 25 */ {"GorsePlusAir_", "GORSE_PLUS_AIR",          0x100000, 0x1000000, 0x100000, 0x800000, 0x10,    0x100010, 0x900010, 0},
    /* 26 */ {"FernUltra_",    "FERN_ULTRA",              0x100000, 0x1000000, 0x100000, 0x800000, 0x10,    0x100010, 0x900010, 0},
    /* 27 */ {"GorseTwoAir_",  "GORSE_TWO_AIR",           0x100000, 0x1000000, 0x100000, 0x800000, 0x10,    0x100010, 0x900010, 0},
}};
// clang-format on

const ModelEntry& Entry(int8_t typeCode) {
  if (typeCode < 0 || typeCode > kLastModelCode) {
    return kNoEntry;
  }
  return kModels[static_cast<size_t>(typeCode)];
}

constexpr std::string_view kOldHardwareIdentifier = "OldHardware";

// Database starts of types 3 and 4.
constexpr uint32_t kDbLayoutOld = 0x190000;
constexpr uint32_t kDbLayoutMiddle = 0x300000;
constexpr uint32_t kDbLayoutNew = 0x410000;
constexpr uint32_t kMiddleLayoutFrom = PackVersion(0, 2, 1, 0);    // v02.10
constexpr uint32_t kNewLayoutFromType3 = PackVersion(0, 2, 3, 8);  // v02.38
constexpr uint32_t kNewLayoutFromType4 = PackVersion(0, 2, 4, 3);  // v02.43

uint32_t Packed(const VersionDigits& d) {
  return PackVersion(d[0], d[1], d[2], d[3]);
}

// The file's digits are 16-bit; they pack the same way, in 32-bit arithmetic.
uint32_t Packed(const std::array<uint16_t, 4>& d) {
  return PackVersion(d[0], d[1], d[2], d[3]);
}

uint32_t DeviceDbLayout(const DeviceInfo& device) {
  if (device.layoutVariant == 2) {
    return kDbLayoutNew;
  }
  if (device.layoutVariant == 1) {
    return kDbLayoutMiddle;
  }
  return Packed(device.fwVersion) >= kMiddleLayoutFrom ? kDbLayoutMiddle : kDbLayoutOld;
}

uint32_t FileDbLayout(int8_t typeCode, const UpdateFileInfo& file) {
  const uint32_t version = Packed(file.fileFwVersion);
  const uint32_t newFrom = typeCode == 3 ? kNewLayoutFromType3 : kNewLayoutFromType4;
  if (version >= newFrom) {
    return kDbLayoutNew;
  }
  return version >= kMiddleLayoutFrom ? kDbLayoutMiddle : kDbLayoutOld;
}

constexpr uint32_t kRecordBeforeFwEnd = 16;
constexpr uint32_t kFlashRecordLow = 0x7FD000;
constexpr uint32_t kFlashRecordHigh = 0xFFD000;
constexpr uint32_t kLegacySettingsUnit = 0x08080400;
constexpr uint32_t kFlashSettingsLow = 0x7FC000;
constexpr uint32_t kFlashSettingsHigh = 0xFFC000;

}  // namespace

bool IsLargeModel(int8_t typeCode) {
  return typeCode >= 25 && typeCode <= 27;
}

uint32_t BootLoaderSize(int8_t typeCode) {
  switch (typeCode) {
    case 20:
    case 21:
      return 0x6000;
    case 24:
      return 0x4000;
    case 25:
    case 26:
    case 27:
      return 0x10000;
    default:
      return 0x3000;
  }
}

bool HasEntries(int8_t typeCode) {
  return !Entry(typeCode).prefix.empty();
}

std::string_view ModelPrefix(int8_t typeCode) {
  return Entry(typeCode).prefix;
}

std::string_view ModelIdentifier(int8_t typeCode, bool typeForced) {
  if (typeCode == 4 && typeForced) {
    return kOldHardwareIdentifier;
  }
  return Entry(typeCode).identifier;
}

uint32_t FwReadLength(int8_t typeCode) {
  return Entry(typeCode).fwReadLength;
}
uint32_t FlashSize(int8_t typeCode) {
  return Entry(typeCode).flashSize;
}
uint32_t FwEndOffset(int8_t typeCode) {
  return Entry(typeCode).fwEndOffset;
}
uint32_t FwFileOffset(int8_t typeCode) {
  return Entry(typeCode).fwFileOffset;
}
uint32_t VoiceFileOffset(int8_t typeCode) {
  return Entry(typeCode).voiceFileOffset;
}
uint32_t DbFileOffset(int8_t typeCode) {
  return Entry(typeCode).dbFileOffset;
}

uint32_t DbFlashOffset(int source, const DeviceInfo& device, const UpdateFileInfo& file) {
  const int8_t typeCode = device.typeCode;
  if (typeCode == 3 || typeCode == 4) {
    return source == 0 ? DeviceDbLayout(device) : FileDbLayout(typeCode, file);
  }
  return Entry(typeCode).dbFlashOffset;
}

std::optional<uint32_t> FixedFwImageLength(int8_t typeCode) {
  const uint32_t length = Entry(typeCode).fixedFwImageLength;
  return length != 0 ? std::optional<uint32_t>(length) : std::nullopt;
}

uint32_t ControllerVersionRecordOffset(int8_t typeCode) {
  if (!HasEntries(typeCode)) {
    return 0;
  }
  if (IsLargeModel(typeCode)) {
    return BootLoaderSize(typeCode);  // right at the start of the firmware
  }
  return FwEndOffset(typeCode) - kRecordBeforeFwEnd;
}

uint32_t FlashVersionRecordAddress(int8_t typeCode) {
  return IsLargeModel(typeCode) ? kFlashRecordHigh : kFlashRecordLow;
}

std::optional<UnitLocation> SettingsUnit(int8_t typeCode) {
  if (!HasEntries(typeCode)) {
    return std::nullopt;
  }
  if (typeCode <= 5) {
    return UnitLocation{MemorySelector::LegacySettings, kLegacySettingsUnit};
  }
  if (IsLargeModel(typeCode)) {
    return UnitLocation{MemorySelector::DataFlash, kFlashSettingsHigh};
  }
  return UnitLocation{MemorySelector::DataFlash, kFlashSettingsLow};
}

}  // namespace korvan::ModelCatalogue
