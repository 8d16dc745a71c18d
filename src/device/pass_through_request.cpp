#include "device/pass_through_request.h"

#include <algorithm>

#include "device/scsi_transport.h"
#include "device/unit.h"

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
// After the two above, which it needs.
#include <ntddscsi.h>

#include <bit>
#endif

namespace korvan {

#ifdef _WIN32
// The bytes built below are the system's own structure.
static_assert(std::endian::native == std::endian::little);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == pass_through::kStructureSize);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Length) == pass_through::kLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, ScsiStatus) == pass_through::kScsiStatus);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, PathId) == pass_through::kPathId);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TargetId) == pass_through::kTargetId);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Lun) == pass_through::kLun);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, CdbLength) == pass_through::kCdbLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoLength) ==
              pass_through::kSenseInfoLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataIn) == pass_through::kDataIn);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength) ==
              pass_through::kDataTransferLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue) == pass_through::kTimeOutValue);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == pass_through::kDataBuffer);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT::DataBuffer) == sizeof(uint64_t));
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) ==
              pass_through::kSenseInfoOffset);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == pass_through::kCdb);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT::Cdb) == 16);
static_assert(alignof(SCSI_PASS_THROUGH_DIRECT) <= alignof(PassThroughRequest));
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == kIoctlScsiPassThroughDirect);
static_assert(SCSI_IOCTL_DATA_IN == kScsiIoctlDataIn);
static_assert(SCSI_IOCTL_DATA_OUT == kScsiIoctlDataOut);
#endif

namespace {

template <typename T>
void PutLittleEndian(PassThroughRequest& request, size_t offset, T value) {
  for (size_t i = 0; i < sizeof(T); ++i) {
    request.bytes[offset + i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
  }
}

}  // namespace

PassThroughRequest MakePassThroughRequest(const Cdb& cdb, DataDirection direction,
                                          uint64_t dataBuffer) {
  namespace pt = pass_through;
  PassThroughRequest request;
  PutLittleEndian<uint16_t>(request, pt::kLength, pt::kStructureSize);
  request.bytes[pt::kLun] = cdb[1];
  request.bytes[pt::kCdbLength] = static_cast<uint8_t>(cdb.size());
  request.bytes[pt::kSenseInfoLength] = kPassThroughSenseLength;
  request.bytes[pt::kDataIn] =
      direction == DataDirection::FromDevice ? kScsiIoctlDataIn : kScsiIoctlDataOut;
  // A whole unit for every command, INQUIRY included: the device answers what it was asked for
  // (its allocation length) and the driver tells how much came.
  PutLittleEndian<uint32_t>(request, pt::kDataTransferLength, kUnitSize);
  PutLittleEndian<uint32_t>(request, pt::kTimeOutValue, kCommandTimeoutSeconds);
  PutLittleEndian<uint64_t>(request, pt::kDataBuffer, dataBuffer);
  PutLittleEndian<uint32_t>(request, pt::kSenseInfoOffset, kPassThroughSenseOffset);
  std::copy(cdb.begin(), cdb.end(), request.bytes.begin() + pt::kCdb);
  return request;
}

uint8_t PassThroughScsiStatus(const PassThroughRequest& request) {
  return request.bytes[pass_through::kScsiStatus];
}

uint32_t PassThroughDataTransferLength(const PassThroughRequest& request) {
  uint32_t value = 0;
  for (size_t i = 0; i < sizeof value; ++i) {
    value |= uint32_t{request.bytes[pass_through::kDataTransferLength + i]} << (8 * i);
  }
  return value;
}

}  // namespace korvan
