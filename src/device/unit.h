// The device moves data in units of 1024 bytes: every command transfers exactly one unit and
// every byte address is turned into a unit number by dividing by the unit size.
#pragma once

#include <array>
#include <cstdint>

namespace korvan {

// `UnitSize`: the transfer length of every command and the divisor of every byte address.
inline constexpr uint32_t kUnitSize = 1024;

using UnitBuffer = std::array<uint8_t, kUnitSize>;

// The unit that holds `byteAddress` (the remainder is dropped, so address 1023 is unit 0).
constexpr uint32_t UnitNumber(uint32_t byteAddress) {
  return byteAddress / kUnitSize;
}

}  // namespace korvan
