// `VersionRecord`: the 8 bytes a firmware build, the data flash and every update file carry to
// say which model, country and firmware version they belong to:
//   A4 5B, country code, type (bit 7 is a flag), four firmware version digits.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "device/device_info.h"

namespace korvan {

inline constexpr uint8_t kVersionRecordMagic0 = 0xA4;
inline constexpr uint8_t kVersionRecordMagic1 = 0x5B;
inline constexpr size_t kVersionRecordSize = 8;

using VersionRecordBytes = std::array<uint8_t, kVersionRecordSize>;

constexpr VersionRecordBytes EncodeVersionRecord(uint8_t country, uint8_t type,
                                                 const VersionDigits& digits) {
  return {kVersionRecordMagic0,
          kVersionRecordMagic1,
          country,
          type,
          digits[0],
          digits[1],
          digits[2],
          digits[3]};
}

constexpr uint8_t VersionRecordCountry(std::span<const uint8_t, kVersionRecordSize> r) {
  return r[2];
}
// The type byte with its flag bit cleared.
constexpr uint8_t VersionRecordType(std::span<const uint8_t, kVersionRecordSize> r) {
  return r[3] & 0x7F;
}
constexpr VersionDigits VersionRecordDigits(std::span<const uint8_t, kVersionRecordSize> r) {
  return {r[4], r[5], r[6], r[7]};
}
constexpr bool HasVersionRecordMagic(std::span<const uint8_t, kVersionRecordSize> r) {
  return r[0] == kVersionRecordMagic0 && r[1] == kVersionRecordMagic1;
}

}  // namespace korvan
