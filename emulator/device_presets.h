// Ready-made device contents for any model byte: INQUIRY data, a controller memory with boot
// loader, firmware and version record (or a listed build), a data flash with voice, database,
// version record and settings, and the legacy settings memory where the model keeps one. The
// sizes and addresses come from the ModelCatalogue, so the images are what the program expects.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "device/device_info.h"
#include "emulator/device_images.h"

namespace korvan::emu {

// The eight database characters the device shows as "v%c.%c %c%c%c%c%c%c".
using DatabaseVersion = std::array<char, 8>;

inline constexpr size_t kMinInquiryLength = 36;
inline constexpr size_t kMaxInquiryLength = 136;
// Controller memory of a model byte without catalogue entries.
inline constexpr uint32_t kUnknownModelControllerSize = 0x10000;
// Legacy settings memory of the models that have one (from 0x08080000).
inline constexpr uint32_t kMemory2Size = 0x800;
// Database area: header bytes, then the version text at +12.
inline constexpr uint32_t kDatabaseTextOffset = 12;
inline constexpr uint32_t kDatabaseTextLength = 11;
// Type 8 keeps a second version in the last 4 bytes of its 8 MiB data flash.
inline constexpr uint32_t kAuxVersionAddress = 0x7FFFFC;
// Bytes 1020-1023 of a data-flash settings unit.
inline constexpr std::array<uint8_t, 4> kSettingsSignature{0x19, 0x54, 0xAF, 0x13};
inline constexpr size_t kSettingsSignatureOffset = 1020;
// The settings packet of types 25-27: 16 header bytes, six version digits, uint16 LE length,
// payload.
inline constexpr size_t kPacketVersionOffset = 16;
inline constexpr size_t kPacketLengthOffset = 22;
inline constexpr size_t kPacketPayloadOffset = 24;
inline constexpr size_t kPresetPacketPayloadLength = 64;

struct PresetOptions {
  // INQUIRY byte 24 as the device reports it. The model is rawType & 0x7F, with 0 standing for
  // type 4 ("old hardware").
  uint8_t rawType = 5;
  VersionDigits firmware{0, 2, 1, 5};
  VersionDigits voice{0, 0, 3, 1};
  DatabaseVersion database{'1', '2', '2', '4', '0', '5', '1', '7'};
  VersionDigits aux{0, 1, 7, 3};  // type 8 only
  uint8_t country = kCountryRussia;
  bool recordTypeFlag = false;  // set bit 7 of the type byte in the version records
  // Types 1-4: the firmware is the build of this row of the model's table instead of carrying a
  // version record.
  std::optional<size_t> firmwareBuildRow;
  // Types 2-4: the voice is the build of this row of the voice table.
  std::optional<size_t> voiceBuildRow;
  size_t inquiryLength = kMinInquiryLength;  // 36..136
};

// rawType & 0x7F, with 0 turned into 4.
int8_t EffectiveModelType(uint8_t rawType);

// The images of `options`. Throws std::invalid_argument for options that cannot be built: an
// INQUIRY length outside 36..136, a build row for a model without that table or past its end,
// a voice row the model's flash cannot tell from another.
DeviceImages MakePresetImages(const PresetOptions& options);

// What a correct detection learns from a device made of these images (the DeviceInfo the
// images were laid out for). Throws like MakePresetImages for impossible build rows.
DeviceInfo PresetDeviceInfo(const PresetOptions& options);

// The INQUIRY data alone: "Firmware Update" at bytes 8-22, the raw type at 24.
std::vector<uint8_t> MakeInquiryData(uint8_t rawType, size_t length);

// The 48 menu setting bytes the presets put into the settings unit.
const std::array<uint8_t, 48>& PresetMenuSettings();

// Text forms used by the tool and by tests: "0215" for digits; "1.2 240517" or "v1.2 240517"
// for a database version. nullopt when the text does not have that form.
std::optional<VersionDigits> ParseVersionDigits(std::string_view text);
std::optional<DatabaseVersion> ParseDatabaseVersion(std::string_view text);

}  // namespace korvan::emu
