// The request block of the Windows SCSI pass-through: the SCSI_PASS_THROUGH_DIRECT structure of
// a 64-bit process followed by its sense area, built as plain little-endian bytes so that its
// layout is checked on every platform. The Windows host (device/windows/) sends it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "device/command_block.h"

namespace korvan {

// IOCTL_SCSI_PASS_THROUGH_DIRECT: the driver moves the data straight to and from the buffer the
// block points at.
inline constexpr uint32_t kIoctlScsiPassThroughDirect = 0x4D014;

// SCSI_PASS_THROUGH_DIRECT of a 64-bit process: where each field lies.
namespace pass_through {
inline constexpr size_t kLength = 0;               // uint16, the structure's size
inline constexpr size_t kScsiStatus = 2;           // uint8, written by the driver
inline constexpr size_t kPathId = 3;               // uint8
inline constexpr size_t kTargetId = 4;             // uint8
inline constexpr size_t kLun = 5;                  // uint8
inline constexpr size_t kCdbLength = 6;            // uint8
inline constexpr size_t kSenseInfoLength = 7;      // uint8
inline constexpr size_t kDataIn = 8;               // uint8, one of kScsiIoctlData*
inline constexpr size_t kDataTransferLength = 12;  // uint32, bytes actually moved on return
inline constexpr size_t kTimeOutValue = 16;        // uint32, seconds
inline constexpr size_t kDataBuffer = 24;          // pointer (uint64)
inline constexpr size_t kSenseInfoOffset = 32;     // uint32, from the start of the block
inline constexpr size_t kCdb = 36;                 // 16 bytes
inline constexpr size_t kStructureSize = 56;       // with the padding that aligns it to 8
}  // namespace pass_through

inline constexpr uint8_t kScsiIoctlDataOut = 0;
inline constexpr uint8_t kScsiIoctlDataIn = 1;

inline constexpr size_t kPassThroughSenseLength = 32;
inline constexpr size_t kPassThroughSenseOffset = pass_through::kStructureSize;
inline constexpr size_t kPassThroughRequestSize = kPassThroughSenseOffset + kPassThroughSenseLength;

// One request, passed to the system as both input and output buffer. Aligned as the structure
// it holds (it has a pointer field).
struct alignas(8) PassThroughRequest {
  std::array<uint8_t, kPassThroughRequestSize> bytes{};
};

// The block for one command: the 12-byte `cdb` (Lun a copy of its byte 1), one unit in
// `direction` through the buffer at `dataBuffer` (an address in the sending process), room for
// 32 bytes of sense data right after the structure, the command time-out in seconds. Every
// other byte is zero.
PassThroughRequest MakePassThroughRequest(const Cdb& cdb, DataDirection direction,
                                          uint64_t dataBuffer);

// What the driver wrote back into the block.
uint8_t PassThroughScsiStatus(const PassThroughRequest& request);
uint32_t PassThroughDataTransferLength(const PassThroughRequest& request);

}  // namespace korvan
