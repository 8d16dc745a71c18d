// `FirmwareBuildTable`s: builds of the older models that carry no version record and are told
// apart by the 8-bit sum of their first bytes. Pure data plus `ByteSum8`; the version
// extraction reads the tables, and the simulated device uses them to build matching images.
#pragma once

#include <cstdint>
#include <span>

#include "device/device_info.h"

namespace korvan {

// Sum of all bytes modulo 256, starting from 0.
uint8_t ByteSum8(std::span<const uint8_t> bytes);

struct FirmwareBuildRow {
  uint32_t length;  // bytes summed, from the table's start offset
  uint8_t sum;      // `ByteSum8` of those bytes
  VersionDigits digits;
};

struct FirmwareBuildTable {
  const char* name;                        // "T1".."T4", "TV"
  uint32_t startOffset;                    // where the summed bytes start in the memory copy
  std::span<const FirmwareBuildRow> rows;  // tried in this order
};

// Firmware builds of types 1-4, in the controller-memory copy from 0x3000.
const FirmwareBuildTable& BuildTableT1();
const FirmwareBuildTable& BuildTableT2();
const FirmwareBuildTable& BuildTableT3();
const FirmwareBuildTable& BuildTableT4();
// Voice builds of types 2-4, in the data-flash copy from 0.
const FirmwareBuildTable& BuildTableTV();

// The firmware table of `typeCode` (1-4), else nullptr.
const FirmwareBuildTable* FirmwareBuildTableFor(int8_t typeCode);

}  // namespace korvan
