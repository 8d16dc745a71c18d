#include "device/command_block.h"

namespace korvan {
namespace {

Cdb MakeUnitCdb(uint8_t opcode, MemorySelector selector, uint32_t byteAddress) {
  const uint32_t unit = UnitNumber(byteAddress);
  Cdb cdb{};
  cdb[0] = opcode;
  cdb[1] = static_cast<uint8_t>(selector);
  cdb[2] = static_cast<uint8_t>(unit >> 24);
  cdb[3] = static_cast<uint8_t>(unit >> 16);
  cdb[4] = static_cast<uint8_t>(unit >> 8);
  cdb[5] = static_cast<uint8_t>(unit);
  cdb[8] = 1;  // one unit per command
  return cdb;
}

}  // namespace

Cdb MakeInquiryCdb() {
  Cdb cdb{};
  cdb[0] = kOpInquiry;
  cdb[4] = kInquiryAllocationLength;
  return cdb;
}

Cdb MakeReadUnitCdb(MemorySelector selector, uint32_t byteAddress) {
  return MakeUnitCdb(kOpReadUnit, selector, byteAddress);
}

Cdb MakeWriteUnitCdb(MemorySelector selector, uint32_t byteAddress) {
  return MakeUnitCdb(kOpWriteUnit, selector, byteAddress);
}

}  // namespace korvan
