#include "flash/firmware_build_table.h"

#include <array>

namespace korvan {
namespace {

constexpr uint32_t kFirmwareTableStart = 0x3000;
constexpr uint32_t kVoiceTableStart = 0;

constexpr std::array<FirmwareBuildRow, 2> kRowsT1{{
    {26588, 0x80, {0, 1, 0, 2}},
    {27264, 0x4B, {0, 2, 0, 0}},
}};

constexpr std::array<FirmwareBuildRow, 2> kRowsT2{{
    {30244, 0x2B, {0, 1, 0, 2}},
    {30916, 0x6C, {0, 2, 0, 0}},
}};

constexpr std::array<FirmwareBuildRow, 5> kRowsT3{{
    {72532, 0xE4, {0, 1, 0, 0}},
    {72628, 0xC5, {0, 1, 0, 1}},
    {72912, 0x92, {0, 2, 0, 0}},
    {73040, 0x0E, {0, 2, 1, 0}},
    {73072, 0xAF, {0, 2, 2, 0}},
}};

constexpr std::array<FirmwareBuildRow, 7> kRowsT4{{
    {117488, 0x14, {0, 0, 4, 5}},
    {108352, 0x0C, {0, 1, 0, 0}},
    {112860, 0x06, {0, 1, 1, 0}},
    {113744, 0x88, {0, 1, 1, 1}},
    {114844, 0x24, {0, 2, 0, 0}},
    {116016, 0xAD, {0, 2, 1, 0}},
    {116384, 0x2C, {0, 2, 2, 0}},
}};

constexpr std::array<FirmwareBuildRow, 16> kRowsTV{{
    {1293188, 0x74, {0, 0, 0, 6}},
    {2592024, 0xD0, {0, 0, 2, 1}},
    {2759550, 0x93, {0, 0, 2, 2}},
    {2849277, 0x25, {0, 0, 2, 3}},
    {2881953, 0x9D, {0, 0, 2, 4}},
    {2924244, 0x70, {0, 0, 2, 5}},
    {2212763, 0xD1, {0, 0, 2, 6}},
    {2129940, 0x73, {0, 0, 2, 7}},
    {2830571, 0x71, {0, 0, 2, 8}},
    {2205063, 0xE4, {0, 0, 2, 9}},
    {2933542, 0x9D, {0, 0, 3, 0}},
    {2278994, 0xA6, {0, 0, 3, 1}},
    {2828475, 0xA5, {0, 0, 3, 2}},
    {2962812, 0x30, {0, 0, 3, 3}},
    {2225441, 0x5E, {0, 0, 3, 4}},
    {2866107, 0x47, {0, 0, 3, 5}},
}};

const FirmwareBuildTable kT1{"T1", kFirmwareTableStart, kRowsT1};
const FirmwareBuildTable kT2{"T2", kFirmwareTableStart, kRowsT2};
const FirmwareBuildTable kT3{"T3", kFirmwareTableStart, kRowsT3};
const FirmwareBuildTable kT4{"T4", kFirmwareTableStart, kRowsT4};
const FirmwareBuildTable kTV{"TV", kVoiceTableStart, kRowsTV};

}  // namespace

uint8_t ByteSum8(std::span<const uint8_t> bytes) {
  uint32_t sum = 0;
  for (const uint8_t b : bytes) {
    sum += b;
  }
  return static_cast<uint8_t>(sum);
}

const FirmwareBuildTable& BuildTableT1() {
  return kT1;
}
const FirmwareBuildTable& BuildTableT2() {
  return kT2;
}
const FirmwareBuildTable& BuildTableT3() {
  return kT3;
}
const FirmwareBuildTable& BuildTableT4() {
  return kT4;
}
const FirmwareBuildTable& BuildTableTV() {
  return kTV;
}

const FirmwareBuildTable* FirmwareBuildTableFor(int8_t typeCode) {
  switch (typeCode) {
    case 1:
      return &kT1;
    case 2:
      return &kT2;
    case 3:
      return &kT3;
    case 4:
      return &kT4;
    default:
      return nullptr;
  }
}

}  // namespace korvan
