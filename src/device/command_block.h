// The three 12-byte command blocks the device understands: INQUIRY, read one unit (0xC8) and
// write one unit (0xCA). Built here for the channel; decoded here for the simulated device.
#pragma once

#include <array>
#include <cstdint>

#include "device/unit.h"

namespace korvan {

using Cdb = std::array<uint8_t, 12>;

inline constexpr uint8_t kOpInquiry = 0x12;
inline constexpr uint8_t kOpReadUnit = 0xC8;
inline constexpr uint8_t kOpWriteUnit = 0xCA;
// INQUIRY asks for at most 136 bytes although 1024 are transferred.
inline constexpr uint8_t kInquiryAllocationLength = 0x88;

// The memory a vendor command addresses (CDB byte 1).
enum class MemorySelector : uint8_t {
  Controller = 0,      // boot loader and firmware, byte addresses from 0x08000000
  DataFlash = 1,       // voice, database, version record, settings, from 0
  LegacySettings = 2,  // settings unit of the older models, from 0x08080000
};

inline constexpr uint32_t kControllerBase = 0x08000000;
inline constexpr uint32_t kDataFlashBase = 0x00000000;
inline constexpr uint32_t kLegacySettingsBase = 0x08080000;

enum class DataDirection : uint8_t { FromDevice, ToDevice };

Cdb MakeInquiryCdb();
// Unit number = byteAddress / 1024, big-endian in bytes 2-5; one unit (byte 8).
Cdb MakeReadUnitCdb(MemorySelector selector, uint32_t byteAddress);
Cdb MakeWriteUnitCdb(MemorySelector selector, uint32_t byteAddress);

// Decoding, for the device side and for tests.
constexpr uint8_t CdbOpcode(const Cdb& cdb) {
  return cdb[0];
}
constexpr uint8_t CdbSelector(const Cdb& cdb) {
  return cdb[1];
}
constexpr uint32_t CdbUnit(const Cdb& cdb) {
  return (uint32_t{cdb[2]} << 24) | (uint32_t{cdb[3]} << 16) | (uint32_t{cdb[4]} << 8) |
         uint32_t{cdb[5]};
}

}  // namespace korvan
