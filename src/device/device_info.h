// The records of what the program has learnt about the connected device (`DeviceInfo`) and
// about the chosen update file (`UpdateFileInfo`). Plain values: the window thread owns the
// current ones; workers fill copies and hand them back.
#pragma once

#include <array>
#include <cstdint>

namespace korvan {

// Four version digits, most significant first (v d0 d1 . d2 d3); all 0xFF means "not read".
using VersionDigits = std::array<uint8_t, 4>;

inline constexpr VersionDigits kUnreadDigits{0xFF, 0xFF, 0xFF, 0xFF};

// Country codes of version records and device records.
inline constexpr uint8_t kCountryRussia = 3;
inline constexpr uint8_t kCountryUzbekistan = 12;
inline constexpr uint8_t kCountryThird = 109;

constexpr bool IsAcceptedCountry(uint8_t country) {
  return country == kCountryRussia || country == kCountryUzbekistan || country == kCountryThird;
}

// The digits as one number, first digit in the top byte: v02.43 is 0x00020403.
constexpr uint32_t PackVersion(uint32_t d0, uint32_t d1, uint32_t d2, uint32_t d3) {
  return (d0 << 24) | (d1 << 16) | (d2 << 8) | d3;
}

struct DeviceInfo {
  int8_t typeCode = 0;           // `DeviceTypeCode`
  uint8_t layoutVariant = 0xFF;  // data-flash layout 0, 1 or 2 of types 3 and 4
  bool typeForced = false;       // the device reported type 0 and typeCode was forced to 4
  VersionDigits fwVersion = kUnreadDigits;
  VersionDigits voiceVersion = kUnreadDigits;
  std::array<uint8_t, 8> dbVersion{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  VersionDigits auxVersion = kUnreadDigits;  // second version of type 8 devices
  uint8_t country = 0;         // 3, 12 or 109 once known; anything else: not known yet
  uint8_t packageCountry = 0;  // country of the download package: 0 none, 3 or 12
  bool legacyModel = false;    // 1 <= typeCode <= 8

  bool operator==(const DeviceInfo&) const = default;
};

struct UpdateFileInfo {
  std::array<uint16_t, 4> fileFwVersion{0x00FF, 0x00FF, 0x00FF, 0x00FF};
  std::array<uint16_t, 4> fileVoiceVersion{0x00FF, 0x00FF, 0x00FF, 0x00FF};
  uint8_t fileCountry = 0;
  bool fileAccepted = false;  // required by the Upload command

  bool operator==(const UpdateFileInfo&) const = default;
};

void ResetDeviceInfo(DeviceInfo& info);
void ResetUpdateFileInfo(UpdateFileInfo& info);

}  // namespace korvan
