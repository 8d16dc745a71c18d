// Finding the versions a device carries in the working copies of its memories: firmware
// version, country and layout variant from the controller-memory copy; voice, database and
// auxiliary versions from the data-flash copy. The detection worker runs one entry point after
// each copy; both only write `DeviceInfo`.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "device/device_info.h"
#include "device/version_record.h"
#include "flash/memory_copy_file.h"

namespace korvan {

// The database area opens with an 11-byte text 12 bytes in; eight of its characters are the
// version.
inline constexpr uint32_t kDatabaseTextOffset = 12;
inline constexpr size_t kDatabaseTextSize = 11;
// Type 8 keeps a second version in the last 4 bytes of the first 8 MiB of its data flash.
inline constexpr uint32_t kAuxVersionOffset = 0x7FFFFC;

struct AcceptedVersionRecord {
  uint8_t country;
  VersionDigits digits;
};

// A controller-memory record is accepted with the magic A4 5B, an accepted country and a type
// byte equal to `type` once its flag bit is cleared.
std::optional<AcceptedVersionRecord> AcceptVersionRecord(
    std::span<const uint8_t, kVersionRecordSize> record, int8_t type);

// `FindVersionRecord`: reads the record at the type's place in the controller-memory copy
// (zeros past the end of the copy) and, when it is accepted, sets `country` and `digits`.
// Nothing changes otherwise.
bool FindVersionRecord(MemoryCopyFile& copy, int8_t type, VersionDigits& digits, uint8_t& country);

// `layoutVariant` of type 3 or 4 when its firmware version came from a record: the database
// moved once more at v02.38 (type 3) and v02.43 (type 4); 2 from there on, 1 below.
uint8_t RecordLayoutVariant(int8_t type, const VersionDigits& digits);

// The eight version characters of a database text: positions 1, 3 and 5 to 10.
std::array<uint8_t, 8> DatabaseVersionFromText(std::span<const uint8_t, kDatabaseTextSize> text);

// Controller-memory copy: `fwVersion` (and `country` when a record is found) for every type
// with catalogue entries; `layoutVariant` too for types 3 and 4. Types 1-4 try their build
// table first: one matching row gives the version, several leave everything as it is, none
// lets the record decide. A copy that cannot be opened changes nothing.
void ExtractFirmwareVersion(int8_t type, const std::filesystem::path& copyPath, DeviceInfo& info);

// Data-flash copy: `voiceVersion` for types 2-6, 8, 9 and 16-27, `dbVersion` for all of them
// but type 2, `auxVersion` for type 8. Run it after `ExtractFirmwareVersion`: the database of
// types 3 and 4 lies where `layoutVariant` and `fwVersion` say. A copy that cannot be opened
// changes nothing.
void ExtractFlashVersions(int8_t type, const std::filesystem::path& copyPath, DeviceInfo& info);

}  // namespace korvan
