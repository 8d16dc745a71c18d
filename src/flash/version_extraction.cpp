#include "flash/version_extraction.h"

#include "device/model_catalogue.h"
#include "flash/build_table_match.h"
#include "flash/firmware_build_table.h"

namespace korvan {
namespace {

// First versions whose database sits at the newest place.
constexpr uint32_t kNewLayoutFromType3 = PackVersion(0, 2, 3, 8);
constexpr uint32_t kNewLayoutFromType4 = PackVersion(0, 2, 4, 3);

constexpr uint8_t kLayoutFromTable = 0;
constexpr uint8_t kLayoutMiddle = 1;
constexpr uint8_t kLayoutNew = 2;

bool HasLayoutVariant(int8_t type) {
  return type == 3 || type == 4;
}

uint32_t Packed(const VersionDigits& d) {
  return PackVersion(d[0], d[1], d[2], d[3]);
}

// Voice images without a build-table entry start with their own four version digits.
void ReadLeadingVoiceVersion(MemoryCopyFile& copy, DeviceInfo& info) {
  VersionDigits digits{};
  if (copy.ReadZeroFilled(0, digits)) {
    info.voiceVersion = digits;
  }
}

void ExtractVoiceVersion(int8_t type, MemoryCopyFile& copy, DeviceInfo& info) {
  if (type == 2) {
    // Type 2 voices are known only by their table entry.
    info.voiceVersion = kUnreadDigits;
    const BuildTableMatches voice = ScanBuildTable(copy, BuildTableTV());
    if (voice.matches == 1) {
      info.voiceVersion = voice.digits;
    }
    return;
  }
  if (HasLayoutVariant(type)) {
    const BuildTableMatches voice = ScanBuildTable(copy, BuildTableTV());
    if (voice.matches == 1) {
      info.voiceVersion = voice.digits;
      return;
    }
  }
  ReadLeadingVoiceVersion(copy, info);
}

void ExtractDatabaseVersion(int8_t type, MemoryCopyFile& copy, DeviceInfo& info) {
  DeviceInfo device = info;
  device.typeCode = type;
  const uint64_t offset =
      uint64_t{ModelCatalogue::DbFlashOffset(0, device, {})} + kDatabaseTextOffset;
  std::array<uint8_t, kDatabaseTextSize> text{};
  if (copy.ReadZeroFilled(offset, text)) {
    info.dbVersion = DatabaseVersionFromText(text);
  }
}

}  // namespace

std::optional<AcceptedVersionRecord> AcceptVersionRecord(
    std::span<const uint8_t, kVersionRecordSize> record, int8_t type) {
  if (!HasVersionRecordMagic(record) || !IsAcceptedCountry(VersionRecordCountry(record)) ||
      VersionRecordType(record) != static_cast<uint8_t>(type)) {
    return std::nullopt;
  }
  return AcceptedVersionRecord{VersionRecordCountry(record), VersionRecordDigits(record)};
}

bool FindVersionRecord(MemoryCopyFile& copy, int8_t type, VersionDigits& digits, uint8_t& country) {
  const uint32_t offset = ModelCatalogue::ControllerVersionRecordOffset(type);
  if (offset == 0) {
    return false;  // no such model
  }
  VersionRecordBytes record{};
  if (!copy.ReadZeroFilled(offset, record)) {
    return false;
  }
  const std::optional<AcceptedVersionRecord> accepted = AcceptVersionRecord(record, type);
  if (!accepted) {
    return false;
  }
  country = accepted->country;
  digits = accepted->digits;
  return true;
}

uint8_t RecordLayoutVariant(int8_t type, const VersionDigits& digits) {
  const uint32_t newFrom = type == 3 ? kNewLayoutFromType3 : kNewLayoutFromType4;
  return Packed(digits) < newFrom ? kLayoutMiddle : kLayoutNew;
}

std::array<uint8_t, 8> DatabaseVersionFromText(std::span<const uint8_t, kDatabaseTextSize> text) {
  return {text[1], text[3], text[5], text[6], text[7], text[8], text[9], text[10]};
}

void ExtractFirmwareVersion(int8_t type, const std::filesystem::path& copyPath, DeviceInfo& info) {
  if (!ModelCatalogue::HasEntries(type)) {
    return;
  }
  MemoryCopyFile copy(copyPath);
  if (!copy.IsOpen()) {
    return;
  }
  if (const FirmwareBuildTable* table = FirmwareBuildTableFor(type)) {
    const BuildTableMatches build = ScanBuildTable(copy, *table);
    if (build.matches == 1) {
      info.fwVersion = build.digits;
      if (HasLayoutVariant(type)) {
        info.layoutVariant = kLayoutFromTable;
      }
      return;
    }
    if (build.matches > 1) {
      return;  // ambiguous: trust neither row nor record
    }
  }
  VersionDigits digits{};
  if (!FindVersionRecord(copy, type, digits, info.country)) {
    return;
  }
  info.fwVersion = digits;
  if (HasLayoutVariant(type)) {
    info.layoutVariant = RecordLayoutVariant(type, digits);
  }
}

void ExtractFlashVersions(int8_t type, const std::filesystem::path& copyPath, DeviceInfo& info) {
  // Type 1 has no data flash worth copying.
  if (!ModelCatalogue::HasEntries(type) || type == 1) {
    return;
  }
  MemoryCopyFile copy(copyPath);
  if (!copy.IsOpen()) {
    return;
  }
  ExtractVoiceVersion(type, copy, info);
  if (type != 2) {
    ExtractDatabaseVersion(type, copy, info);
  }
  if (type == 8) {
    VersionDigits aux{};
    if (copy.ReadZeroFilled(kAuxVersionOffset, aux)) {
      info.auxVersion = aux;
    }
  }
}

}  // namespace korvan
