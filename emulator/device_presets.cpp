#include "emulator/device_presets.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "device/model_catalogue.h"
#include "device/version_record.h"
#include "emulator/build_image.h"
#include "flash/firmware_build_table.h"

namespace korvan::emu {
namespace {

namespace catalogue = ModelCatalogue;

constexpr uint8_t kErased = 0xFF;

// Voice bytes of a preset whose voice is not a listed build.
constexpr size_t kVoiceLength = 0x100000;
// Database bytes written from the database offset, header and text included.
constexpr size_t kDatabaseLength = 0x10000;
constexpr size_t kDatabaseHeaderLength = kDatabaseTextOffset + kDatabaseTextLength;

// Version thresholds that choose the data-flash layout of types 3 and 4 when the firmware
// version comes from its record.
constexpr uint32_t kType3NewLayoutVersion = PackVersion(0, 2, 3, 8);
constexpr uint32_t kType4NewLayoutVersion = PackVersion(0, 2, 4, 3);

bool KeepsDatabaseText(int8_t type) {
  return (type >= 3 && type <= 6) || type == 8 || type == 9 || (type >= 16 && type <= 27);
}

bool HasVoiceTable(int8_t type) {
  return type >= 2 && type <= 4;
}

bool HasSettingsPacket(int8_t type) {
  return type >= 25 && type <= 27;
}

uint32_t Packed(const VersionDigits& d) {
  return PackVersion(d[0], d[1], d[2], d[3]);
}

template <size_t N>
void Put(std::vector<uint8_t>& image, size_t offset, const std::array<uint8_t, N>& bytes) {
  std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
}

void PutText(std::vector<uint8_t>& image, size_t offset, std::string_view text) {
  std::copy(text.begin(), text.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
}

void PutLe32(std::vector<uint8_t>& image, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) {
    image[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

void FillRandom(std::vector<uint8_t>& image, size_t begin, size_t end, uint64_t seed) {
  end = std::min(end, image.size());
  if (begin < end) {
    FillPseudoRandom(std::span<uint8_t>(image).subspan(begin, end - begin), seed);
  }
}

uint8_t RecordTypeByte(int8_t type, const PresetOptions& options) {
  return static_cast<uint8_t>(type) | (options.recordTypeFlag ? 0x80 : 0x00);
}

// `table` is null for a model without such a table; `types` names the models that have one.
const FirmwareBuildRow& CheckedRow(const FirmwareBuildTable* table, std::optional<size_t> row,
                                   int8_t type, const char* what, const char* types) {
  if (table == nullptr) {
    throw std::invalid_argument(std::string(what) + " build rows exist only for types " + types +
                                ", not type " + std::to_string(type));
  }
  if (*row >= table->rows.size()) {
    throw std::invalid_argument(std::string(what) + " build row " + std::to_string(*row) +
                                " is past the end of table " + table->name + " (" +
                                std::to_string(table->rows.size()) + " rows)");
  }
  return table->rows[*row];
}

// Cortex-M style vector table, then code, then erased bytes: what a boot loader looks like.
void PutBootLoader(std::vector<uint8_t>& image, uint32_t size, int8_t type) {
  size = std::min<uint32_t>(size, static_cast<uint32_t>(image.size()));
  const uint32_t vectorBytes = 64;
  PutLe32(image, 0, 0x20005000);  // initial stack pointer
  for (uint32_t v = 4; v < vectorBytes; v += 4) {
    PutLe32(image, v, kControllerBase + 0x100 + 2 * v + 1);  // handlers, Thumb bit set
  }
  FillRandom(image, vectorBytes, size * 3 / 4, MixSeed({0xB007, static_cast<uint64_t>(type)}));
}

std::vector<uint8_t> MakeController(const PresetOptions& options, int8_t type) {
  const bool known = catalogue::HasEntries(type);
  std::vector<uint8_t> image(known ? catalogue::FwReadLength(type) : kUnknownModelControllerSize,
                             kErased);
  const uint32_t boot = catalogue::BootLoaderSize(type);
  const uint32_t fwEnd = known ? catalogue::FwEndOffset(type) : boot + 0x8000;
  PutBootLoader(image, boot, type);
  const uint64_t build =
      options.firmwareBuildRow ? 0x100 + *options.firmwareBuildRow : Packed(options.firmware);
  FillRandom(image, boot, fwEnd, MixSeed({0xF1, static_cast<uint64_t>(type), build}));
  if (!known) {
    return image;
  }

  const size_t recordOffset = catalogue::ControllerVersionRecordOffset(type);
  std::vector<Extent> keep;
  if (!options.firmwareBuildRow) {
    Put(image, recordOffset,
        EncodeVersionRecord(options.country, RecordTypeByte(type, options), options.firmware));
    keep.push_back({recordOffset, kVersionRecordSize});
  } else if (image[recordOffset] == kVersionRecordMagic0) {
    image[recordOffset] = 0x00;  // a listed build carries no record, not even by chance
  }
  if (const FirmwareBuildTable* table = FirmwareBuildTableFor(type)) {
    // Also without a chosen row: random firmware must not pass for a listed build.
    FitBuildRows(image, *table, options.firmwareBuildRow, keep);
  }
  return image;
}

// Only the data-flash settings units carry the signature; the legacy memory's does not.
void PutSettingsUnit(std::vector<uint8_t>& image, size_t offset, int8_t type, bool withSignature) {
  const auto& menu = PresetMenuSettings();
  if (!HasSettingsPacket(type)) {
    Put(image, offset, menu);
  } else {
    for (size_t i = 0; i < 16; ++i) {
      image[offset + i] = static_cast<uint8_t>(0xC0 + i);  // opaque to the updater
    }
    PutText(image, offset + kPacketVersionOffset, "000103");
    image[offset + kPacketLengthOffset] = static_cast<uint8_t>(kPresetPacketPayloadLength);
    image[offset + kPacketLengthOffset + 1] = static_cast<uint8_t>(kPresetPacketPayloadLength >> 8);
    for (size_t i = 0; i < kPresetPacketPayloadLength; ++i) {
      image[offset + kPacketPayloadOffset + i] =
          i < menu.size() ? menu[i] : static_cast<uint8_t>(i % 3);
    }
  }
  if (withSignature) {
    Put(image, offset + kSettingsSignatureOffset, kSettingsSignature);
  }
}

std::vector<uint8_t> MakeFlash(const PresetOptions& options, const DeviceInfo& info) {
  const int8_t type = info.typeCode;
  std::vector<uint8_t> image(catalogue::FlashSize(type), kErased);
  if (image.empty()) {
    return image;
  }
  std::vector<Extent> keep{{0, 4}};

  // Voice: its version digits, then sample data (as long as the chosen listed build).
  size_t voiceEnd = kVoiceLength;
  if (options.voiceBuildRow && HasVoiceTable(type)) {
    voiceEnd = CheckedRow(&BuildTableTV(), options.voiceBuildRow, type, "voice", "2-4").length;
  }
  FillRandom(image, 4, voiceEnd,
             MixSeed({0x70, static_cast<uint64_t>(type), Packed(options.voice),
                      options.voiceBuildRow.value_or(0xFFFF)}));
  Put(image, 0, options.voice);

  if (KeepsDatabaseText(type)) {
    const size_t db = catalogue::DbFlashOffset(0, info, UpdateFileInfo{});
    if (db + kDatabaseLength <= image.size()) {
      uint64_t dbSeed = 0xDB;
      for (const char c : options.database) {
        dbSeed = (dbSeed << 8) ^ static_cast<uint8_t>(c);
      }
      FillRandom(image, db, db + kDatabaseLength, MixSeed({dbSeed, static_cast<uint64_t>(type)}));
      PutText(image, db, "KDB");
      image[db + 3] = 0x01;                          // format
      PutLe32(image, db + 4, kDatabaseLength / 16);  // records
      PutLe32(image, db + 8, kDatabaseLength);       // bytes
      const DatabaseVersion& v = options.database;
      const char text[kDatabaseTextLength] = {'V',  v[0], '.',  v[1], '_', v[2],
                                              v[3], v[4], v[5], v[6], v[7]};
      PutText(image, db + kDatabaseTextOffset, std::string_view(text, kDatabaseTextLength));
      keep.push_back({db, kDatabaseHeaderLength});
    }
  }

  const size_t record = catalogue::FlashVersionRecordAddress(type);
  if (record + kVersionRecordSize <= image.size()) {
    Put(image, record,
        EncodeVersionRecord(options.country, RecordTypeByte(type, options), options.firmware));
  }
  if (type == 8 && kAuxVersionAddress + 4 <= image.size()) {
    Put(image, kAuxVersionAddress, options.aux);
  }
  if (const auto unit = catalogue::SettingsUnit(type);
      unit && unit->selector == MemorySelector::DataFlash &&
      unit->byteAddress + kUnitSize <= image.size()) {
    PutSettingsUnit(image, unit->byteAddress, type, true);
  }

  if (HasVoiceTable(type)) {
    FitBuildRows(image, BuildTableTV(), options.voiceBuildRow, keep);
  }
  return image;
}

std::vector<uint8_t> MakeMemory2(int8_t type) {
  const auto unit = catalogue::SettingsUnit(type);
  if (!unit || unit->selector != MemorySelector::LegacySettings) {
    return {};
  }
  std::vector<uint8_t> image(kMemory2Size, kErased);
  PutSettingsUnit(image, unit->byteAddress - kLegacySettingsBase, type, false);
  return image;
}

}  // namespace

int8_t EffectiveModelType(uint8_t rawType) {
  const auto type = static_cast<int8_t>(rawType & 0x7F);
  return type == 0 ? int8_t{4} : type;
}

const std::array<uint8_t, 48>& PresetMenuSettings() {
  // Language, bands, Smart GPS and its ranges, speed filters, database alerts, display: values
  // a device leaves the factory with (the X band on, so that turning it off is a change).
  static constexpr std::array<uint8_t, 48> kMenu{
      0, 0, 1, 1, 0, 0, 0, 0, 18, 10, 8, 8, 8, 12, 16, 20, 20, 10, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 1,  4,  2, 1, 3, 0,  0,  22, 26, 24, 0, 0, 1, 2, 2, 1};
  return kMenu;
}

std::vector<uint8_t> MakeInquiryData(uint8_t rawType, size_t length) {
  if (length < kMinInquiryLength || length > kMaxInquiryLength) {
    throw std::invalid_argument("INQUIRY length " + std::to_string(length) + " is outside 36..136");
  }
  std::vector<uint8_t> data(length, 0);
  data[0] = 0x00;  // direct-access block device
  data[1] = 0x80;  // removable medium
  data[2] = 0x02;  // version
  data[3] = 0x02;  // response data format
  data[4] = static_cast<uint8_t>(length - 5);
  PutText(data, 8, "Firmware");           // vendor identification
  PutText(data, 16, " Update         ");  // product identification, model byte at 24
  data[24] = rawType;
  PutText(data, 32, "1.00");  // product revision
  return data;
}

DeviceInfo PresetDeviceInfo(const PresetOptions& options) {
  DeviceInfo info;
  const int8_t type = EffectiveModelType(options.rawType);
  info.typeCode = type;
  info.typeForced = (options.rawType & 0x7F) == 0;
  info.legacyModel = type >= 1 && type <= 8;
  if (options.firmwareBuildRow) {
    CheckedRow(FirmwareBuildTableFor(type), options.firmwareBuildRow, type, "firmware", "1-4");
  }
  if (options.voiceBuildRow) {
    CheckedRow(HasVoiceTable(type) ? &BuildTableTV() : nullptr, options.voiceBuildRow, type,
               "voice", "2-4");
  }
  if (!catalogue::HasEntries(type)) {
    return info;  // nothing is read from such a device
  }
  if (HasSettingsPacket(type)) {
    info.packageCountry = kCountryRussia;
  }

  // A record counts only with an accepted country.
  const bool recordAccepted = IsAcceptedCountry(options.country);
  if (options.firmwareBuildRow) {
    info.fwVersion = FirmwareBuildTableFor(type)->rows[*options.firmwareBuildRow].digits;
    if (type == 3 || type == 4) {
      info.layoutVariant = 0;
    }
  } else if (recordAccepted) {
    info.fwVersion = options.firmware;
    info.country = options.country;
    if (type == 3 || type == 4) {
      const uint32_t threshold = type == 3 ? kType3NewLayoutVersion : kType4NewLayoutVersion;
      info.layoutVariant = Packed(options.firmware) < threshold ? 1 : 2;
    }
  }
  // The data-flash record is read after the firmware, and only while the country is unknown.
  if (recordAccepted && !IsAcceptedCountry(info.country) &&
      catalogue::FlashVersionRecordAddress(type) + kVersionRecordSize <=
          catalogue::FlashSize(type)) {
    info.country = options.country;
    info.fwVersion = options.firmware;
  }

  if (type == 2) {
    if (options.voiceBuildRow) {
      info.voiceVersion = BuildTableTV().rows[*options.voiceBuildRow].digits;
    }
  } else if (HasVoiceTable(type) && options.voiceBuildRow) {
    info.voiceVersion = BuildTableTV().rows[*options.voiceBuildRow].digits;
  } else if (catalogue::FlashSize(type) > 0) {
    info.voiceVersion = options.voice;
  }
  if (KeepsDatabaseText(type)) {
    std::copy(options.database.begin(), options.database.end(), info.dbVersion.begin());
  }
  if (type == 8) {
    info.auxVersion = options.aux;
  }
  return info;
}

DeviceImages MakePresetImages(const PresetOptions& options) {
  const DeviceInfo info = PresetDeviceInfo(options);  // checks the build rows
  const int8_t type = info.typeCode;
  DeviceImages images;
  images.inquiry = MakeInquiryData(options.rawType, options.inquiryLength);
  images.controller = MakeController(options, type);
  images.flash = MakeFlash(options, info);
  images.memory2 = MakeMemory2(type);
  return images;
}

std::optional<VersionDigits> ParseVersionDigits(std::string_view text) {
  if (text.size() != 4) {
    return std::nullopt;
  }
  VersionDigits digits{};
  for (size_t i = 0; i < 4; ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return std::nullopt;
    }
    digits[i] = static_cast<uint8_t>(text[i] - '0');
  }
  return digits;
}

std::optional<DatabaseVersion> ParseDatabaseVersion(std::string_view text) {
  if (!text.empty() && (text.front() == 'v' || text.front() == 'V')) {
    text.remove_prefix(1);
  }
  // c.c cccccc
  if (text.size() != 10 || text[1] != '.' || text[3] != ' ') {
    return std::nullopt;
  }
  DatabaseVersion version{};
  size_t n = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == 1 || i == 3) {
      continue;
    }
    if (text[i] <= ' ' || text[i] > '~') {
      return std::nullopt;
    }
    version[n++] = text[i];
  }
  return version;
}

}  // namespace korvan::emu
